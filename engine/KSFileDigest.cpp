#include "engine/KSFileDigest.h"

#include "support/PosixFile.h"

#include <cstring>
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

CKSFileDigest::~CKSFileDigest() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_exit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CKSFileDigest::WaitIdle(std::unique_lock<std::mutex>& lock) {
    m_changed.wait(lock, [this] { return m_waiting.empty() && !m_hashing; });
}

void CKSFileDigest::Reset() {
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitIdle(lock);
    m_hasher.reset();
    m_hasher.emplace(&CDebugErrHandler::Instance(), kAlgorithmSha256);
    m_size = 0;
    m_pendingZeros = 0;
    m_failed = false;
    m_started = true;
    if (!m_current.bytes) {
        m_current.bytes = std::make_unique_for_overwrite<unsigned char[]>(kPieceBytes);
    }
    m_current.used = 0;
    if (!m_thread.joinable()) {
        m_thread = std::thread(&CKSFileDigest::HasherMain, this);
    }
}

void CKSFileDigest::HasherMain() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_exit || !m_waiting.empty(); });
        if (m_waiting.empty()) {
            return; // asked to end with nothing left
        }
        CPiece piece = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_hashing = true;
        lock.unlock();
        const bool hashed = m_hasher->HashData(piece.bytes.get(), piece.used);
        lock.lock();
        m_failed = m_failed || !hashed;
        m_hashing = false;
        piece.used = 0;
        m_free.push_back(std::move(piece));
        m_changed.notify_all();
    }
}

void CKSFileDigest::HandOver() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting.size() < kMaxWaiting; });
    m_waiting.push_back(std::move(m_current));
    if (!m_free.empty()) {
        m_current = std::move(m_free.back());
        m_free.pop_back();
    } else {
        m_current = CPiece{std::make_unique_for_overwrite<unsigned char[]>(kPieceBytes), 0};
    }
    lock.unlock();
    m_changed.notify_all();
}

void CKSFileDigest::Append(const unsigned char* bytes, std::size_t count) {
    while (count > 0) {
        const std::size_t room = kPieceBytes - m_current.used;
        const std::size_t piece = count < room ? count : room;
        if (bytes != nullptr) {
            std::memcpy(m_current.bytes.get() + m_current.used, bytes, piece);
            bytes += piece;
        } else {
            std::memset(m_current.bytes.get() + m_current.used, 0, piece);
        }
        m_current.used += piece;
        m_size += piece;
        count -= piece;
        if (m_current.used == kPieceBytes) {
            HandOver();
        }
    }
}

void CKSFileDigest::AddPendingZeros() {
    while (m_pendingZeros > 0) {
        const std::size_t piece =
            m_pendingZeros < kPieceBytes ? static_cast<std::size_t>(m_pendingZeros) : kPieceBytes;
        Append(nullptr, piece);
        m_pendingZeros -= piece;
    }
}

void CKSFileDigest::Add(const void* bytes, std::size_t count) {
    if (!m_started || count == 0) {
        return;
    }
    AddPendingZeros();
    Append(static_cast<const unsigned char*>(bytes), count);
}

void CKSFileDigest::Skip(std::uint64_t count) {
    if (m_started) {
        m_pendingZeros += count;
    }
}

bool CKSFileDigest::Finish(std::uint64_t& size, std::string& hex) {
    if (!m_started) {
        return false;
    }
    if (m_current.used > 0) {
        HandOver();
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    WaitIdle(lock);
    m_started = false;
    if (m_failed) {
        return false;
    }
    m_hasher->Finalize();
    if (m_hasher->GetResult().empty()) {
        return false;
    }
    size = m_size;
    hex = LowerHex(m_hasher->GetResult());
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
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kPiece);
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

std::string Sha256Hex(std::string_view bytes) {
    CKSWinHasher hasher(&CDebugErrHandler::Instance(), kAlgorithmSha256);
    if (!hasher.HashData(bytes.data(), bytes.size())) {
        return {};
    }
    hasher.Finalize();
    return LowerHex(hasher.GetResult());
}
