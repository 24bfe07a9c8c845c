// A seedable source of random numbers: the stand-in for the runtime's
// Random/Randomize. Each object is independent; DefaultRandom() is the one a
// thread uses when its caller hands none in, seeded from the clock.
#pragma once

#include <cstdint>
#include <random>

class TRandomSource {
public:
    TRandomSource();                       // seeded from the clock and the process
    explicit TRandomSource(uint64_t seed);
    void Seed(uint64_t seed) { engine_.seed(seed); }
    // A whole number in 0 .. range-1 (0 when range is 0).
    uint32_t Next(uint32_t range);
    // A float in [0, 1).
    double NextFloat();

private:
    std::mt19937_64 engine_;
};

TRandomSource& DefaultRandom();
