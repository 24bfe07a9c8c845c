// Rounding as the runtime does it: rnd rounds halves to even, trunc cuts
// toward zero, frac is what trunc leaves.
#pragma once

#include <cmath>
#include <cstdint>

inline int64_t RoundHalfEven(double x) {
    double r = std::floor(x);
    double diff = x - r;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    return static_cast<int64_t>(r);
}
inline int64_t Trunc(double x) { return static_cast<int64_t>(std::trunc(x)); }
inline double Frac(double x) { return x - std::trunc(x); }
