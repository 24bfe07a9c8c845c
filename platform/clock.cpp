#include "platform/clock.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace {

TFixedClock* fixedClock = nullptr;

}  // namespace

TFixedClock::TFixedClock(double dateTime) : outer_(fixedClock), dateTime_(dateTime) { fixedClock = this; }

TFixedClock::~TFixedClock() { fixedClock = outer_; }

double NowAsDateTime() {
    if (fixedClock) return fixedClock->dateTime_;
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

namespace {

// Days from 1970-01-01 of a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day) {
    year -= month <= 2;
    long long era = (year >= 0 ? year : year - 399) / 400;
    unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr long long kDaysFrom1899To1970 = 25569;

}  // namespace

bool TryEncodeDate(int year, int month, int day, double& dateTime) {
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    if (day > lengths[month - 1] + (month == 2 && IsLeapYear(year))) return false;
    dateTime = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                                   kDaysFrom1899To1970);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, double& dateTime) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
        millisecond > 999)
        return false;
    dateTime = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
    return true;
}

void DecodeDate(double dateTime, int& year, int& month, int& day) {
    long long days = static_cast<long long>(std::floor(dateTime)) - kDaysFrom1899To1970;
    days += 719468;
    long long era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shifted = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
    month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    year = static_cast<int>(static_cast<long long>(yearOfEra) + era * 400 + (month <= 2));
}

void DecodeTime(double dateTime, int& hour, int& minute, int& second, int& millisecond) {
    double fraction = std::fabs(dateTime - std::trunc(dateTime));
    long long ms = std::llround(fraction * 86400000.0);
    if (ms >= 86400000) ms = 86399999;
    millisecond = static_cast<int>(ms % 1000);
    second = static_cast<int>(ms / 1000 % 60);
    minute = static_cast<int>(ms / 60000 % 60);
    hour = static_cast<int>(ms / 3600000);
}
