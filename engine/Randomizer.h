#pragma once
// The one random source of generated content: a 15-bit linear congruential generator with its
// state per thread (state = state * 214013 + 2531011; result = bits 16 to 30), the seeding rule,
// and the closed-range draw every generator uses. Generated files depend on these exact rules.

#include <cstddef>
#include <cstdint>

inline constexpr std::uint32_t RANDMX = 0x7FFF;

// The next 15-bit value of the calling thread's generator.
std::uint32_t KSRand();
// Sets the calling thread's state.
void KSSrand(std::uint32_t seed);
// Seeds the calling thread from the clock: (seconds AND 0xFFFFF) OR ((counter AND 0xFFF) << 16).
void SeedThread();
// A value in [low, high]. Not uniform, by design: see the implementation for the exact draws.
std::uint64_t RandomInRange(std::uint64_t low, std::uint64_t high);
// 24 bits from three draws: the first draw's low byte is the lowest byte.
std::uint32_t Random24();
// (rand() << 16) | rand(), the 31-bit value many generators draw (bits 15 and 31 are always 0).
inline std::uint32_t RandomPair() {
    const std::uint32_t high = KSRand();
    return (high << 16) | KSRand();
}

// count values of (rand() << 16) | rand(), the same sequence as count RandomPair calls, made in
// one pass for the generators that fill large buffers.
void RandomPairs(std::uint32_t* out, std::size_t count);

// Marks the classes that draw from the random source. No state.
class CRandomizer {
public:
    virtual ~CRandomizer() = default;
};

// Seeds the constructing thread, as every generator does when it is made.
class CKSRandSeeder {
public:
    CKSRandSeeder() { SeedThread(); }
};
