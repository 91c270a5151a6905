#pragma once
// The standard CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320), the same function as
// zlib's crc32: the value is inverted before and after each update and a new CRC starts at 0,
// so feeding data in pieces gives the same result as feeding it at once.

#include <cstddef>
#include <cstdint>

std::uint32_t UpdateCrc32(std::uint32_t previous, const void* data, std::size_t length);
// The same with the arguments in the other order.
inline std::uint32_t UpdateCrc32(const void* data, std::size_t length, std::uint32_t previous) {
    return UpdateCrc32(previous, data, length);
}
