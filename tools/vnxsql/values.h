// Value texts of the shell: the binary forms the driver hands out written as readable
// text, and parameter values given on the command line turned into those forms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/dbx_types.h"

namespace vnxsql {

// Exact decimal text of a BCD value ("-12.50"); empty for a malformed record.
std::string BcdToText(const vnx::TBcd& bcd);
// Reads plain decimal text ("-12.50", no exponent); false when it is not such a number or
// needs more than 64 digits.
bool TextToBcd(std::string_view text, vnx::TBcd& bcd);

// Dates travel as day numbers: days since 1 January of year 1, plus one.
std::string DayNumberToText(std::int32_t day);
bool TextToDayNumber(std::string_view text, std::int32_t& day);
// Times of day travel as milliseconds since midnight.
std::string TimeToText(std::int32_t ms);
bool TextToTime(std::string_view text, std::int32_t& ms);
// ISO form "YYYY-MM-DD HH:MM:SS", with ".mmm" when there are milliseconds.
std::string TimeStampToText(const vnx::TSQLTimeStamp& ts);
bool TextToTimeStamp(std::string_view text, vnx::TSQLTimeStamp& ts);

// The shortest text that reads back as the same double.
std::string DoubleToText(double v);

// Names of field type and subtype codes ("fldINT32", "fldstMEMO"); the number when unknown.
std::string FieldTypeName(std::uint16_t type);
std::string SubTypeName(std::uint16_t subType);

// One "?" parameter: what setParameter is given for it.
struct Param {
  std::uint16_t type = vnx::fldZSTRING;
  std::uint16_t subType = 0;
  std::string data;   // the value's bytes (a string keeps its terminating NUL)
  bool null = false;
};

// Reads a parameter written as [TYPE:]VALUE (TYPE one of str, int, int2, int8, float,
// num, bool, date, time, ts, bytes, memo; str when absent) or the word null. On failure
// returns false with the reason in error.
bool ParseParam(std::string_view given, Param& param, std::string& error);

}  // namespace vnxsql
