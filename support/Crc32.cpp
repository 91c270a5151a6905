#include "support/Crc32.h"

#include <array>

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// Eight tables for slicing-by-8; built once, before first use, by the static initialiser.
struct Crc32Tables {
    std::array<std::array<std::uint32_t, 256>, 8> table{};
    Crc32Tables() {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t crc = i;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? (crc >> 1) ^ kPolynomial : crc >> 1;
            }
            table[0][i] = crc;
        }
        for (std::size_t t = 1; t < 8; ++t) {
            for (std::uint32_t i = 0; i < 256; ++i) {
                table[t][i] = (table[t - 1][i] >> 8) ^ table[0][table[t - 1][i] & 0xFF];
            }
        }
    }
};

const Crc32Tables& Tables() {
    static const Crc32Tables tables; // thread-safe one-time construction
    return tables;
}

} // namespace

std::uint32_t UpdateCrc32(std::uint32_t previous, const void* data, std::size_t length) {
    const auto& t = Tables().table;
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint32_t crc = ~previous;
    while (length >= 8) {
        const std::uint32_t low =
            crc ^ (static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                   static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        length -= 8;
    }
    while (length-- > 0) {
        crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
    }
    return ~crc;
}
