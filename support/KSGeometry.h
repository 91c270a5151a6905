#pragma once
// Rectangles and points in 32-bit coordinates: window placements kept in the settings and the
// shapes of generated pictures.

#include <cstdint>

struct KSRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct KSPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};
