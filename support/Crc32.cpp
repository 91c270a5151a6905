#include "support/Crc32.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FAKEMILL_CRC_CLMUL 1
#include <immintrin.h>
#endif

namespace {

// The reflected form of the polynomial: bit i stands for the coefficient of x^(31 - i).
constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// Slicing-by-8 tables. table[0] is the classic byte table (entry i: i shifted right eight times,
// XOR-ing in the polynomial after each bit that falls out as 1); table[t] advances a byte by t
// further bytes of zeros. Computed by the compiler, so no thread ever builds or races on them.
using Crc32Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Crc32Tables MakeTables() {
    Crc32Tables table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ kPolynomial : crc >> 1;
        }
        table[0][i] = crc;
    }
    for (std::size_t t = 1; t < table.size(); ++t) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            table[t][i] = (table[t - 1][i] >> 8) ^ table[0][table[t - 1][i] & 0xFF];
        }
    }
    return table;
}

constexpr Crc32Tables kTables = MakeTables();

std::uint32_t LoadLittle32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The CRC register without the inversions: state in, state out.
std::uint32_t RawCrcTables(std::uint32_t crc, const unsigned char* p, std::size_t length) {
    const auto& t = kTables;
    while (length >= 8) {
        const std::uint32_t low = crc ^ LoadLittle32(p);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        length -= 8;
    }
    while (length-- > 0) {
        crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
    }
    return crc;
}

#if FAKEMILL_CRC_CLMUL

// Folding with carry-less multiplication.
//
// A 16-byte block loaded little-endian into a 128-bit register R stands for the polynomial
// poly(R) = sum of R[i] x^(127 - i): the CRC is reflected, so the first bit of the message is the
// highest power. With the low lane L (bytes 0..7) and the high lane H (bytes 8..15),
// poly(R) = poly64(L) x^64 + poly64(H), where poly64(h) = sum of h[i] x^(63 - i).
//
// Moving a block forward by D bytes multiplies it by x^(8D), and only its value modulo P counts:
//   poly(R) x^(8D) = poly64(L) x^(64 + 8D) + poly64(H) x^(8D)
//                  = poly64(L) (x^(64 + 8D) mod P) + poly64(H) (x^(8D) mod P)   (mod P).
// Carry-less multiplication of two lanes read this way yields the product times x (the product
// has 127 bits, one short of the register), so the constants are x^(63 + 8D) mod P and
// x^(8D - 1) mod P, each as a 64-bit lane whose bit i stands for x^(63 - i): the reflected
// 32-bit remainder in the upper half. The folded value is less than 96 bits wide, so it fits.
//
// Once the data is folded to a single block, that block followed by the remaining bytes has the
// same CRC as the whole message, and the table code finishes the job from a zero state.

// x^n mod P in the reflected 32-bit form.
constexpr std::uint32_t XPowerModP(unsigned n) {
    std::uint32_t value = 0x80000000u; // x^0
    for (unsigned i = 0; i < n; ++i) {
        value = (value & 1) != 0 ? (value >> 1) ^ kPolynomial : value >> 1;
    }
    return value;
}

constexpr std::uint64_t Lane(unsigned n) {
    return static_cast<std::uint64_t>(XPowerModP(n)) << 32;
}

// The pair of constants that folds a block forward by the given number of bytes.
struct FoldConstants {
    std::uint64_t low;  // multiplies the lane of bytes 0..7
    std::uint64_t high; // multiplies the lane of bytes 8..15
};

constexpr FoldConstants ConstantsFor(unsigned bytes) {
    return {Lane(63 + 8 * bytes), Lane(8 * bytes - 1)};
}

constexpr FoldConstants kFold64 = ConstantsFor(64);
constexpr FoldConstants kFold48 = ConstantsFor(48);
constexpr FoldConstants kFold32 = ConstantsFor(32);
constexpr FoldConstants kFold16 = ConstantsFor(16);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i value, __m128i constants) {
    const __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
    return _mm_xor_si128(low, high);
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse2"))) __m128i Constants(const FoldConstants& c) {
    return _mm_set_epi64x(static_cast<long long>(c.high), static_cast<long long>(c.low));
}

// Needs at least 64 bytes.
__attribute__((target("pclmul,sse2"))) std::uint32_t RawCrcClmul(std::uint32_t crc, const unsigned char* p,
                                                                 std::size_t length) {
    // The state enters as a change of the first four message bytes.
    __m128i a0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i a1 = Load(p + 16);
    __m128i a2 = Load(p + 32);
    __m128i a3 = Load(p + 48);
    p += 64;
    length -= 64;

    // Four independent chains keep the multiplier busy while each product is on its way.
    const __m128i fold64 = Constants(kFold64);
    while (length >= 64) {
        a0 = _mm_xor_si128(Fold(a0, fold64), Load(p));
        a1 = _mm_xor_si128(Fold(a1, fold64), Load(p + 16));
        a2 = _mm_xor_si128(Fold(a2, fold64), Load(p + 32));
        a3 = _mm_xor_si128(Fold(a3, fold64), Load(p + 48));
        p += 64;
        length -= 64;
    }

    // Fold the four chains into the last one.
    __m128i value = _mm_xor_si128(a3, Fold(a0, Constants(kFold48)));
    value = _mm_xor_si128(value, Fold(a1, Constants(kFold32)));
    const __m128i fold16 = Constants(kFold16);
    value = _mm_xor_si128(value, Fold(a2, fold16));

    while (length >= 16) {
        value = _mm_xor_si128(Fold(value, fold16), Load(p));
        p += 16;
        length -= 16;
    }

    unsigned char block[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(block), value);
    return RawCrcTables(RawCrcTables(0, block, sizeof(block)), p, length);
}

using RawCrcFunction = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);

RawCrcFunction ChooseLongCrc() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") ? &RawCrcClmul : &RawCrcTables;
}

// Below this length the set-up of the folding costs more than it saves.
constexpr std::size_t kClmulThreshold = 128;

#endif

} // namespace

std::uint32_t UpdateCrc32(std::uint32_t previous, const void* data, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
#if FAKEMILL_CRC_CLMUL
    if (length >= kClmulThreshold) {
        // Chosen once for the process; a CPU without the instruction gets the table code.
        static const RawCrcFunction longCrc = ChooseLongCrc();
        return ~longCrc(~previous, p, length);
    }
#endif
    return ~RawCrcTables(~previous, p, length);
}

std::uint32_t UpdateCrc32Portable(std::uint32_t previous, const void* data, std::size_t length) {
    return ~RawCrcTables(~previous, static_cast<const unsigned char*>(data), length);
}
