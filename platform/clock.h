// The clock: local date and time as the runtime's date-time value, a 64-bit
// float counting days from 30 December 1899 (the fraction is the time of day).
#pragma once

double NowAsDateTime();
// Milliseconds from an arbitrary start, for measuring intervals.
double TickCountMs();
