#pragma once
// Hashes one whole file the way the hash calculator does: CRC-32 shown least significant byte
// first, or MD5, SHA1 or SHA256 in upper-case hexadecimal.

#include "support/KSString.h"

#include <cstddef>
#include <cstdint>

class ICryptoErrorSink;

// Bytes handed to the hash per read.
inline constexpr std::size_t kHashReadSize = 34816;

// The hash text of the file; false when it cannot be opened or read to its end, or hashing
// failed (a file that fails in the middle has no hash: the hash of a part would pass for the
// file's). errorCode, when given, receives the system's error code (0 on success). An unknown
// code is reported to the sink as error 87 and hashed as MD5.
bool HashFileWithCode(const CKSString& path, std::uint32_t code, ICryptoErrorSink* sink, CKSString& result,
                      std::uint32_t* errorCode = nullptr);
