#include "platform/random.h"

#include <chrono>
#include <unistd.h>

TRandomSource::TRandomSource() {
    uint64_t seed = static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    seed ^= static_cast<uint64_t>(getpid()) << 32;
    seed ^= reinterpret_cast<uintptr_t>(this);
    engine_.seed(seed);
}

TRandomSource::TRandomSource(uint64_t seed) : engine_(seed) {}

uint32_t TRandomSource::Next(uint32_t range) {
    if (range == 0) return 0;
    return static_cast<uint32_t>(std::uniform_int_distribution<uint64_t>(0, range - 1)(engine_));
}

double TRandomSource::NextFloat() { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

TRandomSource& DefaultRandom() {
    thread_local TRandomSource source;
    return source;
}
