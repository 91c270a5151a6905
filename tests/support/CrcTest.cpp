#include "support/Crc32.h"

#include <gtest/gtest.h>

#ifdef FAKEMILL_HAVE_ZLIB
#include <zlib.h>
#endif

#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace {

// The definition itself, one bit at a time: the reference both fast paths must match.
std::uint32_t BitwiseCrc32(std::uint32_t previous, const unsigned char* data, std::size_t length) {
    std::uint32_t crc = ~previous;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
    }
    return ~crc;
}

std::vector<unsigned char> RandomBytes(std::size_t count, unsigned seed) {
    std::vector<unsigned char> bytes(count);
    std::mt19937 random(seed);
    for (auto& byte : bytes) {
        byte = static_cast<unsigned char>(random());
    }
    return bytes;
}

} // namespace

TEST(Crc32, StandardCheckValueAndEmptyInput) {
    const char* check = "123456789";
    EXPECT_EQ(UpdateCrc32(0, check, 9), 0xCBF43926u);
    EXPECT_EQ(UpdateCrc32Portable(0, check, 9), 0xCBF43926u);
    EXPECT_EQ(UpdateCrc32(check, 9, 0), 0xCBF43926u);
    EXPECT_EQ(UpdateCrc32(0, nullptr, 0), 0u);
    EXPECT_EQ(UpdateCrc32(0x12345678u, "", 0), 0x12345678u);
    EXPECT_EQ(UpdateCrc32Portable(0xFFFFFFFFu, nullptr, 0), 0xFFFFFFFFu);
}

TEST(Crc32, EveryLengthAndAlignmentMatchesTheDefinition) {
    const std::vector<unsigned char> bytes = RandomBytes(4096 + 64, 7);
    for (std::size_t offset = 0; offset < 16; ++offset) {
        for (std::size_t length = 0; length <= 1100; ++length) {
            const unsigned char* p = bytes.data() + offset;
            const std::uint32_t previous = static_cast<std::uint32_t>(length * 2654435761u);
            const std::uint32_t expected = BitwiseCrc32(previous, p, length);
            ASSERT_EQ(UpdateCrc32(previous, p, length), expected)
                << "offset " << offset << " length " << length;
            ASSERT_EQ(UpdateCrc32Portable(previous, p, length), expected)
                << "offset " << offset << " length " << length;
        }
    }
    // Longer runs exercise the four-lane loop many times over.
    for (std::size_t length : {4096u, 4095u, 4097u - 16u, 4096u + 63u}) {
        const unsigned char* p = bytes.data() + 1;
        ASSERT_EQ(UpdateCrc32(0, p, length), BitwiseCrc32(0, p, length)) << length;
    }
}

TEST(Crc32, PiecesGiveTheSameResultAsTheWhole) {
    const std::vector<unsigned char> bytes = RandomBytes(100000, 11);
    const std::uint32_t whole = UpdateCrc32(0, bytes.data(), bytes.size());
    std::mt19937 random(3);
    std::uint32_t crc = 0;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t piece = std::min<std::size_t>(random() % 3000, bytes.size() - done);
        crc = UpdateCrc32(crc, bytes.data() + done, piece);
        done += piece;
    }
    EXPECT_EQ(crc, whole);
    EXPECT_EQ(whole, BitwiseCrc32(0, bytes.data(), bytes.size()));
}

#ifdef FAKEMILL_HAVE_ZLIB
TEST(Crc32, EqualsZlibOnEveryLengthAndAlignment) {
    const std::vector<unsigned char> bytes = RandomBytes(1 << 20, 5);
    for (std::size_t offset = 0; offset < 32; ++offset) {
        for (std::size_t length = 0; length < 700; length += (length < 300 ? 1 : 7)) {
            const unsigned char* p = bytes.data() + offset;
            ASSERT_EQ(UpdateCrc32(0xA5A5A5A5u, p, length), crc32(0xA5A5A5A5u, p, static_cast<uInt>(length)))
                << "offset " << offset << " length " << length;
        }
    }
    const std::size_t big = bytes.size() - 13;
    EXPECT_EQ(UpdateCrc32(0, bytes.data() + 13, big), crc32(0, bytes.data() + 13, static_cast<uInt>(big)));
    EXPECT_EQ(UpdateCrc32Portable(0, bytes.data() + 13, big),
              crc32(0, bytes.data() + 13, static_cast<uInt>(big)));
}
#endif

TEST(Crc32, FirstUseFromSeveralThreadsAtOnceAgrees) {
    // Nothing may be built lazily without a guard: threads racing on the first call all get
    // the right answer (the sanitizer build watches this test too).
    const std::vector<unsigned char> bytes = RandomBytes(70000, 13);
    const std::uint32_t expected = BitwiseCrc32(0, bytes.data(), bytes.size());
    std::atomic<bool> go{false};
    std::vector<std::uint32_t> results(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&, t] {
            while (!go) {
            }
            std::uint32_t crc = 0;
            for (std::size_t i = 0; i < bytes.size(); i += 7000) {
                crc = UpdateCrc32(crc, bytes.data() + i, std::min<std::size_t>(7000, bytes.size() - i));
            }
            results[t] = crc;
        });
    }
    go = true;
    for (auto& thread : threads) {
        thread.join();
    }
    for (std::uint32_t result : results) {
        EXPECT_EQ(result, expected);
    }
}
