#include "engine/KSOutFile.h"

#include "engine/KSFileDigest.h"
#include "support/KSException.h"
#include "support/KSLogger.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int OpenNative(const std::string& native, int flags) {
    if (!PathFitsPlatform(native)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return ::open(native.c_str(), flags | O_CLOEXEC, 0644);
}

} // namespace

bool CKSBaseFile::Close() {
    if (!IsOpen()) {
        return false;
    }
    try {
        Flush(nullptr);
        CompleteFile();
    } catch (...) {
        // The file is closed even when its last write failed: otherwise every later Create on
        // this object would retry the failed write, and its bytes could follow into the next file.
        DiscardBuffered();
        Adopt(-1);
        throw;
    }
    const bool closed = m_fd.Reset();
    m_position = 0;
    return closed;
}

void CKSBaseFile::Abandon() {
    DiscardBuffered();
    Adopt(-1);
}

bool CKSBaseFile::Create(const CKSString& path) {
    return Create(std::string_view(path.ToUtf8()));
}

bool CKSBaseFile::Create(std::string_view nativePath) {
    if (IsOpen()) {
        Close();
    }
    Adopt(OpenNative(std::string(nativePath), O_WRONLY | O_CREAT | O_TRUNC));
    return IsOpen();
}

bool CKSBaseFile::CreateExclusive(const CKSString& path) {
    if (IsOpen()) {
        Close();
    }
    Adopt(OpenNative(path.ToUtf8(), O_WRONLY | O_CREAT | O_EXCL));
    return IsOpen();
}

std::uint64_t CKSBaseFile::Flush(CKSLogger*) {
    if (IsOpen()) {
        ::fdatasync(m_fd.Get());
    }
    return 0;
}

std::uint64_t CKSBaseFile::GetSize() const {
    struct stat info {};
    if (!IsOpen() || ::fstat(m_fd.Get(), &info) != 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t CKSBaseFile::Read(void* buffer, std::size_t count) {
    if (!IsOpen()) {
        return 0;
    }
    const long n = ReadFromDescriptor(m_fd.Get(), buffer, count);
    m_readFailed = n < 0;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

bool CKSBaseFile::SkipForward(std::uint64_t bytes) {
    if (!IsOpen() || bytes > static_cast<std::uint64_t>(INT64_MAX) - m_position) {
        return false;
    }
    m_position += bytes;
    if (m_tap != nullptr) {
        m_tap->Skip(bytes);
    }
    return true;
}

bool CKSBaseFile::WriteToDescriptor(const void* data, std::size_t count, std::size_t& written) {
    const bool done = WriteAllAt(m_fd.Get(), data, count, m_position, &written);
    m_position += written;
    return done;
}

CKSOutFile::~CKSOutFile() {
    // A destructor must not throw: the failure of the last write is reported and dropped.
    try {
        Flush(nullptr);
    } catch (const CKSException& failure) {
        try {
            KSDebugOutput(std::u16string(failure.View()) + u"\n");
        } catch (...) {
        }
    } catch (...) {
    }
}

void CKSOutFile::DiscardBuffered() {
    m_buffered = 0;
    for (COutputStage* stage : m_stages) {
        stage->Discard();
    }
    m_stages.clear();
}

void CKSOutFile::SetStages(std::vector<COutputStage*> stages) {
    m_stages = std::move(stages);
    for (std::size_t i = 0; i < m_stages.size(); ++i) {
        m_stages[i]->Attach(i + 1 < m_stages.size() ? static_cast<IByteSink*>(m_stages[i + 1]) : &m_fileSink);
    }
}

void CKSOutFile::CompleteFile() {
    // Each stage hands what it held to the next, which may hold it again: in order.
    const std::vector<COutputStage*> stages = std::move(m_stages);
    m_stages.clear();
    for (COutputStage* stage : stages) {
        stage->Finish();
    }
}

bool CKSOutFile::SkipForward(std::uint64_t bytes) {
    if (!HasStages()) {
        return CKSBaseFile::SkipForward(bytes);
    }
    if (!IsOpen()) {
        return false;
    }
    Flush(nullptr);
    static const char kZeros[4096] = {};
    while (bytes > 0) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(bytes, sizeof kZeros));
        PutThroughStages(kZeros, piece);
        bytes -= piece;
    }
    return true;
}

void CKSOutFile::PutThroughStages(const void* data, std::size_t count) {
    m_stages.front()->Put(static_cast<const char*>(data), count);
}

void CKSOutFile::WriteOut(const void* data, std::size_t count) {
    std::size_t written = 0;
    const bool done = WriteToDescriptor(data, count, written);
    const int error = errno;
    if (IWriteTap* tap = GetWriteTap()) {
        tap->Add(data, written);
    }
    if (!done) {
        throw CKSFatalException("Failed to write to file: %u", static_cast<std::uint32_t>(error));
    }
}

void CKSOutFile::SetCapacity(std::uint64_t capacity) {
    if (!m_buffer && capacity > 0) {
        m_capacity = capacity;
    }
}

std::size_t CKSOutFile::Write(const void* data, std::size_t count) {
    if (!IsOpen() || count == 0) {
        return 0;
    }
    if (!m_buffer) {
        m_buffer = std::make_unique_for_overwrite<std::byte[]>(m_capacity); // filled before it is read
        m_bufferSize = m_capacity;
    }
    if (count > m_bufferSize) {
        // Too big for the buffer: what is buffered goes first, then the data goes straight out.
        Flush(nullptr);
        if (HasStages()) {
            PutThroughStages(data, count);
        } else {
            WriteOut(data, count); // all of it, or a fatal error
        }
        return count;
    }
    if (m_buffered + count > m_bufferSize) {
        Flush(nullptr);
    }
    std::memcpy(m_buffer.get() + m_buffered, data, count);
    m_buffered += count;
    return count;
}

std::size_t CKSOutFile::WriteWide(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(2 * text.size());
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return Write(bytes.data(), bytes.size());
}

std::size_t CKSOutFile::WriteNarrow(std::string_view text) {
    return Write(text.data(), text.size());
}

std::size_t CKSOutFile::WriteByte(std::uint8_t byte) {
    return PutByte(byte);
}

std::uint64_t CKSOutFile::Flush(CKSLogger* logger) {
    if (!IsOpen()) {
        return 0;
    }
    const std::uint64_t buffered = m_buffered;
    if (buffered == 0) {
        return 0; // nothing to hand to the system
    }
    if (HasStages()) {
        // The stages write what they pass on; a failure there ends the file as any write does.
        m_buffered = 0;
        PutThroughStages(m_buffer.get(), static_cast<std::size_t>(buffered));
        return buffered;
    }
    std::size_t written = 0;
    const bool done = WriteToDescriptor(m_buffer.get(), static_cast<std::size_t>(buffered), written);
    if (IWriteTap* tap = GetWriteTap()) {
        tap->Add(m_buffer.get(), written);
    }
    if (!done) {
        const int error = errno;
        // Keep only the bytes that did not reach the file, so a later flush does not repeat any.
        if (written > 0) {
            std::memmove(m_buffer.get(), m_buffer.get() + written,
                         static_cast<std::size_t>(buffered - written));
            m_buffered = buffered - written;
        }
        throw CKSFatalException("Failed to write to file: %u", static_cast<std::uint32_t>(error));
    }
    if (written < buffered && logger != nullptr) {
        logger->WarningF("Write truncated (0x%X) %u instead of %u\r\n", static_cast<std::uint32_t>(errno),
                         static_cast<std::uint32_t>(written), static_cast<std::uint32_t>(buffered));
    }
    m_buffered = 0;
    return written;
}

bool CKSInFile::Create(const CKSString& path) {
    if (IsOpen()) {
        CKSBaseFile::Close();
    }
    const std::string native = path.ToUtf8();
    Adopt(PathFitsPlatform(native) ? ::open(native.c_str(), O_RDONLY | O_CLOEXEC) : -1);
    return IsOpen();
}
