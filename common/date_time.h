#pragma once

namespace gandry {

// A calendar date and time of day, as the local clock shows it.
struct CivilTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Date-times count days since 30 December 1899, with the time of day as the fraction (negative
// values lie before that day; their fraction still counts forward from midnight).
double EncodeDateTime(const CivilTime& time);
// The inverse, rounded to the nearest millisecond.
CivilTime DecodeDateTime(double date_time);

}  // namespace gandry
