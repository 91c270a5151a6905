#include "generators/KSCRCFileCalculator.h"

#include "support/Crc32.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

std::uint32_t ReadLittleEndian(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

} // namespace

CKSCRCFileCalculator::CKSCRCFileCalculator(CKSLogger* logger) : CKSFileGenerator(logger) {
    SetDisplayName(u"CRC");
}

void CKSCRCFileCalculator::Calculate() {
    m_read = false;
    m_trailerMatched = false;
    m_contentCrc = 0;
    m_trailerValue = 0;
    m_bytesRead = 0;
    m_lastError = 0;
    CKSInFile file;
    errno = 0;
    if (!file.Create(m_fileName)) {
        m_lastError = errno != 0 ? errno : EIO;
        Logger().WarningF("Could not open %s for CRC calculation.", m_fileName);
        return;
    }
    std::uint32_t whole = 0;
    std::uint32_t content = 0;
    std::uint32_t expected = 0;
    std::uint64_t total = 0;
    std::vector<unsigned char> buffer(m_trailerCheck ? kReadSize : kWholeFileReadSize);
    std::array<unsigned char, 4> held{};
    std::size_t request = buffer.size();
    bool abandoned = false;
    while (file.IsOpen()) {
        if (m_keepGoing && !m_keepGoing()) {
            abandoned = true;
            break;
        }
        const std::size_t n = file.Read(buffer.data(), request);
        if (n == 0) {
            break;
        }
        request = n;
        total += n;
        whole = UpdateCrc32(whole, buffer.data(), n);
        if (!m_trailerCheck) {
            continue;
        }
        if (n >= 4) {
            content = UpdateCrc32(content, buffer.data(), n - 4);
            std::memcpy(held.data(), buffer.data() + n - 4, 4);
            expected = ReadLittleEndian(held.data());
        } else {
            // The trailer straddles two reads: it is the last 4 - n held bytes followed by the n
            // bytes just read, so the first n held bytes belong to the content.
            content = UpdateCrc32(content, held.data(), n);
            unsigned char last[4];
            std::memcpy(last, held.data() + n, 4 - n);
            std::memcpy(last + (4 - n), buffer.data(), n);
            expected = ReadLittleEndian(last);
        }
    }
    m_read = !file.ReadFailed() && !abandoned;
    m_contentCrc = content;
    m_trailerValue = expected;
    m_bytesRead = total;
    if (!m_read) {
        m_lastError = abandoned ? ECANCELED : (errno != 0 ? errno : EIO);
    }
    if (m_trailerCheck) {
        // A file shorter than its trailer has none; without this its few bytes (or none) would
        // be compared with bytes that were never read.
        m_trailerMatched = total >= 4 && content == expected;
        if (m_trailerMatched) {
            Logger().InfoF("CRC matched. (0x%X)", content);
        } else {
            Logger().WarningF("CRC mismatch. Calculated CRC: 0x%X.  Expected CRC: 0x%X.", content, expected);
        }
    } else {
        Logger().InfoF("CRC for %s: 0x%X", m_fileName, whole);
    }
    m_result = whole;
    file.Close();
}
