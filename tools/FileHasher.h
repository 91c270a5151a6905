#pragma once
// Hashes one whole file the way the hash calculator does: CRC-32 shown least significant byte
// first, or MD5, SHA1 or SHA256 in upper-case hexadecimal.

#include "support/KSString.h"

#include <cstddef>
#include <cstdint>
#include <functional>

class ICryptoErrorSink;

// Bytes handed to the hash per read.
inline constexpr std::size_t kHashReadSize = 34816;

// Asked before every read; answering false abandons the file, which then counts as failed.
using HashKeepGoing = std::function<bool()>;

// The hash text of the file; false when it cannot be opened or read to its end, hashing failed
// or keepGoing gave up. A file that cannot be read never yields a hash, not even the CRC of no
// bytes, and a read error in the middle never yields the hash of a part. On failure errorCode
// holds the platform error of the open or read (0 when the hash itself failed or was abandoned).
// An unknown code is reported to the sink as error 87 and hashed as MD5.
bool HashFile(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result,
              int& errorCode, const HashKeepGoing& keepGoing = {});

// How HashFile goes about one file.
struct HashFileOptions {
    // Asked before every read; answering false abandons the file.
    HashKeepGoing keepGoing;
    // Told after every read: the bytes hashed so far and the file's size (0 when unknown).
    std::function<void(std::uint64_t done, std::uint64_t size)> progress;
    // Anything but a regular file (a FIFO, a device, a folder) fails at once instead of being
    // read: a FIFO without a writer would otherwise hold the reader in open() for ever.
    bool regularFilesOnly = false;
};

bool HashFile(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result,
              int& errorCode, const HashFileOptions& options);

// The same without the error code.
bool HashFileWithCode(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result);
