#include "generators/WordDataLoader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

std::uint32_t ReadU32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint64_t ReadU64(const unsigned char* bytes) {
    return static_cast<std::uint64_t>(ReadU32(bytes)) | static_cast<std::uint64_t>(ReadU32(bytes + 4)) << 32;
}

} // namespace

CWordDataPersistor::CWordDataPersistor() : m_buffer(kBufferBytes) {}

int CWordDataPersistor::Open(const CKSString& path) {
    Close();
    const std::string native = path.ToUtf8();
    if (!PathFitsPlatform(native)) {
        return ENAMETOOLONG;
    }
    int fd = -1;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return errno;
    }
    m_fd.Reset(fd);
    return 0;
}

void CWordDataPersistor::Attach(CUniqueFd fd) {
    Close();
    m_fd = std::move(fd);
}

void CWordDataPersistor::AttachBytes(std::span<const std::byte> bytes) {
    Close();
    m_memory = bytes;
}

void CWordDataPersistor::Close() {
    m_fd.Reset();
    m_memory = {};
    m_memoryPosition = 0;
    m_position = 0;
    m_filled = 0;
}

std::optional<std::uint64_t> CWordDataPersistor::SourceSize() const {
    if (m_memory.data() != nullptr) {
        return m_memory.size();
    }
    struct stat info {};
    if (!m_fd.IsValid() || ::fstat(m_fd.Get(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

long CWordDataPersistor::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<unsigned char*>(buffer);
    if (m_memory.data() != nullptr) {
        const std::size_t piece = std::min(count, m_memory.size() - m_memoryPosition);
        std::memcpy(out, m_memory.data() + m_memoryPosition, piece);
        m_memoryPosition += piece;
        return static_cast<long>(piece);
    }
    std::size_t done = 0;
    while (done < count) {
        if (m_position == m_filled) {
            const long n = ReadFromDescriptor(m_fd.Get(), m_buffer.data(), m_buffer.size());
            if (n < 0) {
                m_lastError = errno;
                return -1;
            }
            if (n == 0) {
                break;
            }
            m_position = 0;
            m_filled = static_cast<std::size_t>(n);
        }
        const std::size_t piece = std::min(count - done, m_filled - m_position);
        std::memcpy(out + done, m_buffer.data() + m_position, piece);
        m_position += piece;
        done += piece;
    }
    return static_cast<long>(done);
}

int CWordDataLoader::ReadExactly(unsigned char* buffer, std::size_t count, int shortCode) {
    const long n = Read(buffer, count);
    if (n < 0) {
        // A failed read with no error code still must not look like success.
        return LastError() != 0 ? LastError() : EIO;
    }
    return static_cast<std::size_t>(n) == count ? 0 : shortCode;
}

int CWordDataLoader::CheckHeader(std::uint32_t& count) {
    count = 0;
    if (!IsOpen()) {
        return kNoFile;
    }
    unsigned char field[4];
    int result = ReadExactly(field, sizeof field, kBadHeader);
    if (result != 0) {
        return result;
    }
    if (ReadU32(field) != WordDataFormat::kMagic) {
        return kBadHeader;
    }
    if ((result = ReadExactly(field, sizeof field, kBadHeader)) != 0) {
        return result;
    }
    if (ReadU32(field) != WordDataFormat::kVersion) {
        return kBadHeader;
    }
    if ((result = ReadExactly(field, sizeof field, kBadHeader)) != 0) {
        return result;
    }
    count = ReadU32(field);
    return 0;
}

int CWordDataLoader::ReadWordRecord(SWordRecord& record) {
    unsigned char bytes[WordDataFormat::kWordRecordBytes];
    const int result = ReadExactly(bytes, sizeof bytes, kShortRecord);
    if (result != 0) {
        return result;
    }
    std::memcpy(record.text.data(), bytes, kWordTextBytes);
    record.hash = ReadU64(bytes + 24);
    record.length = ReadU32(bytes + 32);
    record.id = static_cast<std::int64_t>(ReadU64(bytes + 36));
    return 0;
}

int CWordDataLoader::ReadLinkCount(std::uint32_t& count) {
    unsigned char bytes[WordDataFormat::kLinkCountBytes];
    const int result = ReadExactly(bytes, sizeof bytes, kShortRecord);
    count = result == 0 ? ReadU32(bytes) : 0;
    return result;
}

int CWordDataLoader::ReadLink(SWordLink& link) {
    unsigned char bytes[WordDataFormat::kLinkRecordBytes];
    const int result = ReadExactly(bytes, sizeof bytes, kShortLinkRecord);
    if (result != 0) {
        return result;
    }
    link.hash = ReadU64(bytes);
    link.id = static_cast<std::int64_t>(ReadU64(bytes + 8));
    link.weight = ReadU32(bytes + 16);
    return 0;
}
