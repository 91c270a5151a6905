#pragma once
// The hash calculator's algorithms and its clipboard copy format.

#include "support/KSString.h"

#include <array>
#include <cstdint>
#include <string_view>

inline constexpr std::uint32_t kHashCodeCrc = 1;
inline constexpr std::uint32_t kHashCodeMd5 = 2;
inline constexpr std::uint32_t kHashCodeSha1 = 3;
inline constexpr std::uint32_t kHashCodeSha256 = 4;

struct HashKindInfo {
    const char16_t* shownName;
    std::uint32_t code;
};

// In the order of the calculator's list; the index is what the "hashtype" setting stores.
inline constexpr std::array<HashKindInfo, 4> kHashKinds{{
    {u"CRC (32-bit)", kHashCodeCrc},
    {u"MD5", kHashCodeMd5},
    {u"SHA1", kHashCodeSha1},
    {u"SHA256", kHashCodeSha256},
}};

// Copy option bits ("copyoptions").
inline constexpr std::uint32_t kCopyPrefix0x = 1;
inline constexpr std::uint32_t kCopyPathAndHash = 2;
inline constexpr std::uint32_t kCopyLowerCase = 4;

// Bounds of one copied line. The hash is cut at 80 characters, as the calculator shows it; the
// path is never cut below the platform's path limit, because a cut path names another file.
inline constexpr std::size_t kCopyHashBound = 80;
std::size_t CopyPathBound();

// One copied line: "%s%s%s\n" of (path and separator when kCopyPathAndHash is set), ("0x" when
// kCopyPrefix0x is set) and the hash (lower-cased when kCopyLowerCase is set).
std::u16string FormatCopyLine(std::u16string_view path, std::u16string_view hash, std::uint32_t options,
                              char16_t separator);

// The separator stored for "\t" and "\n" is the character itself; 0 (never stored) means ':'.
inline char16_t CopySeparatorOrDefault(std::uint32_t stored) {
    return stored == 0 ? u':' : static_cast<char16_t>(stored);
}
