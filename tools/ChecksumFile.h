#pragma once
// Checksum files as md5sum, sha1sum and sha256sum write and check them, one line per file in the
// format of support/ChecksumLines.h.

#include "support/KSString.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ChecksumEntry {
    // As written in the file; a relative name is relative to the checksum file's folder.
    CKSString path;
    // Hexadecimal digits as found (any case).
    std::string digits;
};

struct ChecksumListing {
    std::vector<ChecksumEntry> entries;
    // Lines that are neither empty nor a checksum line (comments included).
    std::size_t unreadableLines = 0;
};

// Writes the whole file at once: it is replaced only when every line got there. False with the
// platform error (0 when the reason is unknown).
bool WriteChecksumFile(const CKSString& file, const std::vector<ChecksumEntry>& entries, int& error);
// False with the platform error when the file cannot be read (EFBIG for a line too long to be
// one of the format's).
bool ReadChecksumFile(const CKSString& file, ChecksumListing& listing, int& error);

// The calculator's algorithm code for a hash of that many hex digits (8 CRC-32, 32 MD5, 40 SHA1,
// 64 SHA256); 0 for any other length.
std::uint32_t HashCodeForDigits(std::size_t digits);
// The path an entry names: as it is when absolute, else joined to the checksum file's folder.
CKSString ResolveChecksumPath(const CKSString& checksumFile, const CKSString& listed);
