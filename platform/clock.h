// The clock: local date and time as the runtime's date-time value, a 64-bit
// float counting days from 30 December 1899 (the fraction is the time of day).
#pragma once

double NowAsDateTime();
// Milliseconds from an arbitrary start, for measuring intervals.
double TickCountMs();

// While one is alive, NowAsDateTime reads the given date-time instead of the
// wall clock (the innermost one, when they nest), so that what depends on
// the date gives the same result at any hour: tests set one.
class TFixedClock {
public:
    explicit TFixedClock(double dateTime);
    ~TFixedClock();
    TFixedClock(const TFixedClock&) = delete;
    TFixedClock& operator=(const TFixedClock&) = delete;

private:
    TFixedClock* outer_;
    double dateTime_;
    friend double NowAsDateTime();
};

// Date-time values from and to their parts. The Try forms return false for
// parts out of range (month 13, 30 February, hour 24, ...).
bool TryEncodeDate(int year, int month, int day, double& dateTime);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, double& dateTime);
void DecodeDate(double dateTime, int& year, int& month, int& day);
void DecodeTime(double dateTime, int& hour, int& minute, int& second, int& millisecond);
