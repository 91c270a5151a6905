#pragma once
// The SHA-256 and size of a file taken from the bytes on their way to it, so that a manifest
// needs no second read of what was generated. Writers hand every byte that reached the file to
// Add, and the length of every hole they skipped to Skip; a hole counts as zeros only once bytes
// follow it, as it does in the file. The hashing runs on a thread of the digest's own, beside the
// generation: Add copies the bytes into a short queue of pieces and returns, and waits only when
// the hash falls that far behind.

#include "support/KSString.h"
#include "support/KSWinCrypto.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// Where writers report what reached a file.
class IWriteTap {
public:
    virtual ~IWriteTap() = default;
    virtual void Add(const void* bytes, std::size_t count) = 0;
    virtual void Skip(std::uint64_t count) = 0;
};

class CKSFileDigest : public IWriteTap {
public:
    // Bytes gathered into one piece for the hashing thread, and pieces waiting at most.
    static constexpr std::size_t kPieceBytes = 512 * 1024;
    static constexpr std::size_t kMaxWaiting = 4;

    CKSFileDigest() = default;
    // Ends the hashing thread.
    ~CKSFileDigest() override;
    CKSFileDigest(const CKSFileDigest&) = delete;
    CKSFileDigest& operator=(const CKSFileDigest&) = delete;

    // Starts a new file: nothing counted, a fresh hash.
    void Reset();
    void Add(const void* bytes, std::size_t count) override;
    void Skip(std::uint64_t count) override;
    // Ends the file: its size and the lower-case hexadecimal SHA-256; false when hashing failed
    // or Reset was never called.
    bool Finish(std::uint64_t& size, std::string& hex);

private:
    struct CPiece {
        std::unique_ptr<unsigned char[]> bytes;
        std::size_t used = 0;
    };

    void Append(const unsigned char* bytes, std::size_t count);
    void AddPendingZeros();
    // Queues the piece being filled (waiting while the queue is full) and takes a free one.
    void HandOver();
    // Waits until the hashing thread has hashed everything queued.
    void WaitIdle(std::unique_lock<std::mutex>& lock);
    void HasherMain();

    // Touched only by the hashing thread while it works on a piece, otherwise under m_mutex.
    std::optional<CKSWinHasher> m_hasher;
    std::uint64_t m_size = 0;
    std::uint64_t m_pendingZeros = 0;
    bool m_started = false;
    CPiece m_current;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<CPiece> m_waiting;
    std::vector<CPiece> m_free;
    bool m_hashing = false;
    bool m_failed = false;
    bool m_exit = false;
    std::thread m_thread;
};

// The lower-case hexadecimal SHA-256 and the size of a file read from the disk; false when it
// cannot be opened or read.
bool HashFileSha256(const CKSString& path, std::uint64_t& size, std::string& hex);
// The lower-case hexadecimal SHA-256 of bytes in memory; empty when hashing failed.
std::string Sha256Hex(std::string_view bytes);
