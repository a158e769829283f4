// Range-checked conversions from floating point to the integers of view positions and pixel
// coordinates: NaN becomes 0 and values beyond the target range are clamped to it.
#pragma once
#include <cmath>
#include <cstdint>

// Truncates towards zero into [-2^63 + 1024, 2^63 - 1024] (the bounds are exact doubles).
inline int64_t TruncToInt64(double value) {
    constexpr double LIMIT = 9223372036854774784.0;
    if (!(value == value)) return 0;
    if (value >= LIMIT) return static_cast<int64_t>(LIMIT);
    if (value <= -LIMIT) return -static_cast<int64_t>(LIMIT);
    return static_cast<int64_t>(value);
}

// Truncates towards zero into the 32-bit range.
inline int32_t TruncToInt32(double value) {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// Pixel coordinates are kept within +-2^20: far beyond any window, and safe for every sum the
// drawing code forms from them.
constexpr double PIXEL_LIMIT = 1048576.0;

inline int ToPixel(double value) {
    if (!(value == value)) return 0;
    if (value >= PIXEL_LIMIT) return static_cast<int>(PIXEL_LIMIT);
    if (value <= -PIXEL_LIMIT) return -static_cast<int>(PIXEL_LIMIT);
    return static_cast<int>(value);
}

// Clamps a value into [low, high] (NaN gives low).
inline double ClampDouble(double value, double low, double high) {
    if (!(value >= low)) return low;
    return value > high ? high : value;
}
