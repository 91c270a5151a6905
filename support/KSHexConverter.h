#pragma once
// Hexadecimal text of bytes: two upper-case digits per byte, high nibble first, no separators.

#include "support/KSString.h"

#include <cstddef>
#include <cstdint>

class CKSHexConverter : public CKSString {
public:
    CKSHexConverter(const void* bytes, std::size_t length);
    // The value's four bytes least significant first, so 1 gives "01000000".
    explicit CKSHexConverter(std::uint32_t value);
};
