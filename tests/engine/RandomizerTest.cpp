#include "engine/Randomizer.h"

#include <gtest/gtest.h>

#include <vector>

#include <ctime>
#include <thread>

namespace {

// The draw that follows `draws` draws from `seed`: how many draws a call consumed shows in the
// value the next draw returns.
std::uint32_t NextAfter(std::uint32_t seed, int draws) {
    KSSrand(seed);
    for (int i = 0; i < draws; ++i) {
        KSRand();
    }
    return KSRand();
}

// Runs the call from `seed` and answers how many draws it consumed (up to 8).
template <typename Call>
int DrawsUsed(std::uint32_t seed, Call call) {
    KSSrand(seed);
    call();
    const std::uint32_t next = KSRand();
    for (int draws = 0; draws <= 8; ++draws) {
        if (NextAfter(seed, draws) == next) {
            return draws;
        }
    }
    return -1;
}

} // namespace

TEST(Random, SeedOneGivesTheRuntimeSequence) {
    KSSrand(1);
    EXPECT_EQ(KSRand(), 41u);
    EXPECT_EQ(KSRand(), 18467u);
    EXPECT_EQ(KSRand(), 6334u);
    KSSrand(12345);
    for (int i = 0; i < 10000; ++i) {
        ASSERT_LE(KSRand(), RANDMX);
    }
}

TEST(Random, EachThreadHasItsOwnState) {
    KSSrand(1);
    KSRand();
    std::uint32_t other = 0;
    std::thread thread([&other] {
        // A fresh thread starts from the runtime's initial state, 1.
        other = KSRand();
    });
    thread.join();
    EXPECT_EQ(other, 41u);
    EXPECT_EQ(KSRand(), 18467u); // undisturbed by the other thread
}

TEST(Random, RangeDrawCounts) {
    // One value: one draw, answered without looking at it.
    EXPECT_EQ(DrawsUsed(99, [] { EXPECT_EQ(RandomInRange(5, 5), 5u); }), 1);
    // The whole 64-bit range: no draw.
    EXPECT_EQ(DrawsUsed(99, [] { EXPECT_EQ(RandomInRange(0, UINT64_MAX), 0u); }), 0);
    EXPECT_EQ(DrawsUsed(99, [] { EXPECT_EQ(RandomInRange(7, 6), 7u); }), 0); // n wraps to 0 too

    // Narrow ranges: two draws; 0..3 answers the low two bits of the second.
    for (std::uint32_t seed : {1u, 2u, 77u, 4000u}) {
        const std::uint32_t second = NextAfter(seed, 1);
        EXPECT_EQ(DrawsUsed(seed, [second] { EXPECT_EQ(RandomInRange(0, 3), second & 3); }), 2);
    }

    // Wide ranges: four draws, always within the bounds.
    constexpr std::uint64_t low = 1073741824;
    constexpr std::uint64_t high = 8589934592;
    for (std::uint32_t seed = 0; seed < 2000; ++seed) {
        std::uint64_t value = 0;
        ASSERT_EQ(DrawsUsed(seed, [&value] { value = RandomInRange(low, high); }), 4);
        ASSERT_GE(value, low);
        ASSERT_LE(value, high);
    }
}

TEST(Random, NarrowRangesUseASignedDivisor) {
    // r = (a << 16) | b; the answer is low + r mod n for n below 2^31.
    KSSrand(1);
    EXPECT_EQ(RandomInRange(10, 109), 10 + ((41u << 16) | 18467u) % 100);
    // For n above 2^31 the divisor read as signed is n - 2^32, whose magnitude is 2^32 - n.
    KSSrand(1);
    const std::uint64_t n = 0xC0000000; // 2^32 - n = 0x40000000
    EXPECT_EQ(RandomInRange(0, n - 1), ((41u << 16) | 18467u) % 0x40000000u);
    // Near the 32-bit edge every answer stays in range.
    for (std::uint32_t seed = 0; seed < 500; ++seed) {
        KSSrand(seed);
        ASSERT_LE(RandomInRange(0, 0xFFFFFFFD), 0xFFFFFFFDu);
        ASSERT_LE(RandomInRange(100, 100 + 0x80000000ull), 100 + 0x80000000ull);
    }
}

TEST(Random, Random24TakesTheLowBytesOfThreeDraws) {
    KSSrand(1);
    // 41 = 0x29, 18467 = 0x4823, 6334 = 0x18BE
    EXPECT_EQ(Random24(), 0xBE2329u);
    EXPECT_EQ(DrawsUsed(1, [] { Random24(); }), 3);
    KSSrand(1);
    EXPECT_EQ(RandomPair(), (41u << 16) | 18467u);
}

TEST(Random, ClockSeedsFollowTheRule) {
    // seed = (seconds AND 0xFFFFF) OR ((counter AND 0xFFF) << 16): with the seconds known, at
    // most 4096 seeds are possible, all with bits 28 to 31 clear. The stream must come from one.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const auto before = static_cast<std::uint32_t>(std::time(nullptr));
        SeedThread();
        const std::uint32_t draws[3] = {KSRand(), KSRand(), KSRand()};
        const auto after = static_cast<std::uint32_t>(std::time(nullptr));
        bool found = false;
        for (std::uint32_t seconds = before; seconds <= after && !found; ++seconds) {
            for (std::uint32_t counter = 0; counter < 0x1000 && !found; ++counter) {
                KSSrand((seconds & 0xFFFFFu) | (counter << 16));
                found = KSRand() == draws[0] && KSRand() == draws[1] && KSRand() == draws[2];
            }
        }
        EXPECT_TRUE(found);
    }
}

TEST(RandomSource, BulkPairsEqualOneByOneDrawsAndLeaveTheSameState) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{8},
                                    std::size_t{9}, std::size_t{17}, std::size_t{511}}) {
        KSSrand(0xC0FFEE);
        std::vector<std::uint32_t> expected(count);
        for (std::uint32_t& value : expected) {
            value = RandomPair();
        }
        const std::uint32_t after = KSRand();

        KSSrand(0xC0FFEE);
        std::vector<std::uint32_t> bulk(count);
        RandomPairs(bulk.data(), count);
        EXPECT_EQ(bulk, expected) << count << " values";
        EXPECT_EQ(KSRand(), after) << "state after " << count << " values";
    }
}
