#include "engine/Randomizer.h"

#include <chrono>
#include <ctime>

using randomizer_detail::t_state;

thread_local constinit std::uint32_t randomizer_detail::t_state __attribute__((tls_model("initial-exec"))) =
    1;

void KSSrand(std::uint32_t seed) {
    t_state = seed;
}

void RandomPairs(std::uint32_t* out, std::size_t count) {
    // Eight values (sixteen draws) at a time, each draw's state taken straight from the state
    // at the start of the group, so the draws do not wait on one another; the values are those
    // of sixteen calls of KSRand in a row.
    std::uint32_t state = t_state;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint32_t states[16];
        for (std::size_t k = 0; k < 16; ++k) {
            states[k] = StateAfter(state, k + 1);
        }
        for (std::size_t j = 0; j < 8; ++j) {
            out[i + j] = (((states[2 * j] >> 16) & RANDMX) << 16) | ((states[2 * j + 1] >> 16) & RANDMX);
        }
        state = states[15];
    }
    for (; i < count; ++i) {
        state = state * 214013u + 2531011u;
        const std::uint32_t high = (state >> 16) & RANDMX;
        state = state * 214013u + 2531011u;
        out[i] = (high << 16) | ((state >> 16) & RANDMX);
    }
    t_state = state;
}

void SeedThread() {
    const auto seconds = static_cast<std::uint32_t>(std::time(nullptr));
    const auto counter =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::uint32_t seed = (seconds & 0xFFFFFu) | ((static_cast<std::uint32_t>(counter) & 0xFFFu) << 16);
    KSSrand(seed);
}

std::uint64_t RandomInRange(std::uint64_t low, std::uint64_t high) {
    const std::uint64_t n = high - low + 1; // modulo 2^64
    if (n == 0) {
        return low; // the whole 64-bit range: no draw
    }
    if (n == 1) {
        KSRand();
        return low;
    }
    if (n < 0xFFFFFFFFull) {
        // Two draws, the first in the high half; the divisor is n read as a signed 32-bit
        // number, and the remainder takes the sign of r (r is never negative here).
        const auto r = static_cast<std::int32_t>(RandomPair());
        std::int32_t m = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
        std::int64_t remainder = static_cast<std::int64_t>(r) % static_cast<std::int64_t>(m);
        if (remainder < 0) {
            remainder = -remainder;
        }
        return low + static_cast<std::uint64_t>(remainder);
    }
    // A wide range: four draws, each sign-extended before shifting, then halved until it fits.
    const auto d1 =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(KSRand())));
    const auto d2 =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(KSRand())));
    const auto d3 =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(KSRand())));
    const auto d4 =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(KSRand())));
    std::uint64_t g = d1 | (d2 << 16) | (d3 << 32) | (d4 << 47);
    while (g > high - low) {
        g >>= 1;
    }
    return low + g;
}

std::uint32_t Random24() {
    const std::uint32_t a = KSRand();
    const std::uint32_t b = KSRand();
    const std::uint32_t c = KSRand();
    return ((c & 0xFF) << 16) | ((b & 0xFF) << 8) | (a & 0xFF);
}
