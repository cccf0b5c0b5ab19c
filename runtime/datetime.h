// The runtime's date and time encodings: TDateTime (days since 30 December 1899, time of day
// as the fraction; before that day the fraction still counts forward from midnight) and the
// time-stamp pair (day number counted from 1 January of year 1 as day 1, milliseconds since
// midnight). Years run from 1 to 9999.
#pragma once

#include <cstdint>

namespace vnx::rt {

using TDateTime = double;

inline constexpr std::int32_t kDateDelta = 693594;  // day number of 30 December 1899
inline constexpr std::int32_t kMSecsPerDay = 86400000;
inline constexpr std::int32_t kMaxDayNumber = 3652059;  // 31 December 9999

struct DateTimeFields {
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

// Days since 30 December 1899 of a calendar date; false when the date does not exist or
// lies outside the years 1 to 9999.
bool TryEncodeDate(int year, int month, int day, double& out) noexcept;
// Fraction of a day; false unless hour < 24, minute < 60, second < 60, ms < 1000.
bool TryEncodeTime(int hour, int minute, int second, int ms, double& out) noexcept;

// Raises EConvertError "Invalid argument to time encode".
TDateTime EncodeTime(int hour, int minute, int second, int ms);
// Raises EConvertError "''%s'' is not a valid date and time" with the fields rendered
// as yyyy-mm-dd hh:nn:ss.zzz.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms);

// Day number and milliseconds of a moment, rounded to the millisecond. Raises
// EConvertError "''%s'' is not a valid date and time" for a moment outside the years
// 1 to 9999 (or not a number).
void DateTimeToTimeStamp(TDateTime moment, std::int32_t& dayNumber, std::int32_t& ms);
// The moment of a day number and time; raises EConvertError "'%d.%d' is not a valid
// timestamp" when the day is below 1 or past 9999, or the time is not within one day.
TDateTime TimeStampToDateTime(std::int32_t dayNumber, std::int32_t ms);

// Calendar fields of a day number (1 to kMaxDayNumber) and of a time stamp pair.
void DayNumberToDate(std::int32_t dayNumber, int& year, int& month, int& day) noexcept;
DateTimeFields DecodeTimeStamp(std::int32_t dayNumber, std::int32_t ms) noexcept;
// Calendar fields of a moment, rounded to the millisecond (raises as DateTimeToTimeStamp).
DateTimeFields DecodeDateTime(TDateTime moment);

}  // namespace vnx::rt
