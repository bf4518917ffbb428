#pragma once

#include "platform/clock.h"

namespace gandry {

// Date-times count days since 30 December 1899, with the time of day as the fraction (negative
// values lie before that day; their fraction still counts forward from midnight).
double EncodeDateTime(const CivilTime& time);
// The inverse, rounded to the nearest millisecond.
CivilTime DecodeDateTime(double date_time);
// The clock's local time as a date-time.
double LocalNow(Clock& clock);

}  // namespace gandry
