// A screen position computed in doubles, truncated toward zero to its pixel.
// A 32-bit x86 build evaluates in the x87's 80-bit registers, where
// 1280 * 0.3 comes out just below 384 instead of at it: a result within
// rounding noise of a whole pixel is that pixel, so both word sizes agree.
#pragma once

#include <climits>
#include <cmath>

// What is not a finite int becomes INT_MIN.
inline int to_pixel(double v) {
    if (!std::isfinite(v) || v >= 2147483648.0 || v <= -2147483649.0) return INT_MIN;
    const double whole = std::nearbyint(v);
    constexpr double NOISE = 1e-12;  // relative; x87 and SSE differ near 1e-16
    if (whole <= INT_MAX && whole >= INT_MIN && std::fabs(v - whole) <= std::fabs(whole) * NOISE)
        return static_cast<int>(whole);
    return static_cast<int>(v);
}
