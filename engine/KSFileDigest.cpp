#include "engine/KSFileDigest.h"

#include "support/PosixFile.h"

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

std::string LowerHex(const std::vector<unsigned char>& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const unsigned char byte : bytes) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 15]);
    }
    return hex;
}

} // namespace

void CKSFileDigest::Reset() {
    m_hasher.reset();
    m_hasher.emplace(&CDebugErrHandler::Instance(), kAlgorithmSha256);
    m_size = 0;
    m_pendingZeros = 0;
    m_failed = false;
}

void CKSFileDigest::AddPendingZeros() {
    static constexpr unsigned char kZeros[4096] = {};
    while (m_pendingZeros > 0) {
        const std::size_t piece =
            m_pendingZeros < sizeof kZeros ? static_cast<std::size_t>(m_pendingZeros) : sizeof kZeros;
        m_failed = m_failed || !m_hasher->HashData(kZeros, piece);
        m_size += piece;
        m_pendingZeros -= piece;
    }
}

void CKSFileDigest::Add(const void* bytes, std::size_t count) {
    if (!m_hasher || count == 0) {
        return;
    }
    AddPendingZeros();
    m_failed = m_failed || !m_hasher->HashData(bytes, count);
    m_size += count;
}

void CKSFileDigest::Skip(std::uint64_t count) {
    if (m_hasher) {
        m_pendingZeros += count;
    }
}

bool CKSFileDigest::Finish(std::uint64_t& size, std::string& hex) {
    if (!m_hasher || m_failed) {
        return false;
    }
    m_hasher->Finalize();
    if (m_hasher->GetResult().empty()) {
        return false;
    }
    size = m_size;
    hex = LowerHex(m_hasher->GetResult());
    m_hasher.reset();
    return true;
}

bool HashFileSha256(const CKSString& path, std::uint64_t& size, std::string& hex) {
    const std::string native = path.ToUtf8();
    CUniqueFd file(::open(native.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.IsValid()) {
        return false;
    }
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    constexpr std::size_t kPiece = 1 << 20;
    const auto buffer = std::make_unique<unsigned char[]>(kPiece);
    CKSFileDigest digest;
    digest.Reset();
    for (;;) {
        const long n = ReadFromDescriptor(file.Get(), buffer.get(), kPiece);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        digest.Add(buffer.get(), static_cast<std::size_t>(n));
    }
    return digest.Finish(size, hex);
}
