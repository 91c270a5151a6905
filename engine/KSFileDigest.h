#pragma once
// The SHA-256 and size of a file taken from the bytes on their way to it, so that a manifest
// needs no second read of what was generated. Writers hand every byte that reached the file to
// Add, and the length of every hole they skipped to Skip; a hole counts as zeros only once bytes
// follow it, as it does in the file.

#include "support/KSString.h"
#include "support/KSWinCrypto.h"

#include <cstddef>
#include <cstdint>
#include <optional>

// Where writers report what reached a file.
class IWriteTap {
public:
    virtual ~IWriteTap() = default;
    virtual void Add(const void* bytes, std::size_t count) = 0;
    virtual void Skip(std::uint64_t count) = 0;
};

class CKSFileDigest : public IWriteTap {
public:
    CKSFileDigest() = default;

    // Starts a new file: nothing counted, a fresh hash.
    void Reset();
    void Add(const void* bytes, std::size_t count) override;
    void Skip(std::uint64_t count) override;
    // Ends the file: its size and the lower-case hexadecimal SHA-256; false when hashing failed
    // or Reset was never called.
    bool Finish(std::uint64_t& size, std::string& hex);

private:
    void AddPendingZeros();

    std::optional<CKSWinHasher> m_hasher;
    std::uint64_t m_size = 0;
    std::uint64_t m_pendingZeros = 0;
    bool m_failed = false;
};

// The lower-case hexadecimal SHA-256 and the size of a file read from the disk; false when it
// cannot be opened or read.
bool HashFileSha256(const CKSString& path, std::uint64_t& size, std::string& hex);
