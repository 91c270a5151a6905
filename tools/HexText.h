#pragma once
// The hex text of the binary viewer: per byte two upper-case hexadecimal digits and a space.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

inline constexpr std::size_t kHexCharsPerByte = 3;

namespace hex_text_detail {
// Each cell holds the three characters of a byte and a spare fourth, so that a cell can be
// stored as one 32-bit word; the next cell's store then overwrites the spare.
struct Table {
    std::array<std::array<char, 4>, 256> cells{};
    constexpr Table() {
        constexpr char kDigits[] = "0123456789ABCDEF";
        for (std::size_t b = 0; b < 256; ++b) {
            cells[b] = {kDigits[b >> 4], kDigits[b & 0x0F], ' ', ' '};
        }
    }
};
inline constexpr Table kTable;
} // namespace hex_text_detail

// Writes exactly kHexCharsPerByte * count characters to out; answers the end of what it wrote.
inline char* FormatHexBytes(const unsigned char* bytes, std::size_t count, char* out) {
    if (count == 0) {
        return out;
    }
    for (std::size_t i = 0; i + 1 < count; ++i) {
        std::memcpy(out, hex_text_detail::kTable.cells[bytes[i]].data(), 4);
        out += kHexCharsPerByte;
    }
    // The last byte must not write past its three characters.
    std::memcpy(out, hex_text_detail::kTable.cells[bytes[count - 1]].data(), kHexCharsPerByte);
    return out + kHexCharsPerByte;
}
