#pragma once
// The standard CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320), the same function as
// zlib's crc32: the value is inverted before and after each update and a new CRC starts at 0,
// so feeding data in pieces gives the same result as feeding it at once.

#include <cstddef>
#include <cstdint>

// On x86-64 CPUs with carry-less multiplication (checked once at run time) long inputs are folded
// with PCLMULQDQ; elsewhere, and for short inputs, slicing-by-8 tables do the work.
std::uint32_t UpdateCrc32(std::uint32_t previous, const void* data, std::size_t length);
// The table-driven code alone, whatever the CPU offers: the fallback, kept callable so that both
// paths can be checked against each other.
std::uint32_t UpdateCrc32Portable(std::uint32_t previous, const void* data, std::size_t length);
// The same with the arguments in the other order.
inline std::uint32_t UpdateCrc32(const void* data, std::size_t length, std::uint32_t previous) {
    return UpdateCrc32(previous, data, length);
}
