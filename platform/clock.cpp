#include "platform/clock.h"

#include <chrono>
#include <ctime>

double NowAsDateTime() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // Seconds of the local wall clock since the Unix epoch, as if it were UTC.
    std::time_t wall = timegm(&local);
    return 25569.0 + static_cast<double>(wall) / 86400.0;
}

double TickCountMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}
