// Rounding as the runtime does it: rnd rounds halves to even, trunc cuts
// toward zero, frac is what trunc leaves.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

inline int64_t RoundHalfEven(double x) {
    double r = std::floor(x);
    double diff = x - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    return static_cast<int64_t>(r);
}
inline int64_t Trunc(double x) { return static_cast<int64_t>(std::trunc(x)); }
inline double Frac(double x) { return x - std::trunc(x); }

// rnd for a value read from outside: NaN is 0 and anything beyond the
// 32-bit range stops at its edge.
inline int32_t RoundToInt32Saturated(double x) {
    if (std::isnan(x)) return 0;
    constexpr double low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
    if (x <= low) return std::numeric_limits<int32_t>::min();
    if (x >= high) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(RoundHalfEven(x));
}
inline int32_t TruncToInt32Saturated(double x) { return RoundToInt32Saturated(std::trunc(x)); }
