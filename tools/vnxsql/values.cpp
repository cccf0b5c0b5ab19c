// Value texts of the shell (see values.h).
#include "tools/vnxsql/values.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace vnxsql {
namespace {

constexpr std::int32_t kDayNumberOf1970 = 719163;  // 1 January 1970 as a day number

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's algorithms).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

bool IsLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(std::int64_t y, unsigned m) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Reads exactly the digits of text as an unsigned number.
bool Digits(std::string_view text, unsigned& v) {
  if (text.empty() || text.size() > 9) return false;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && p == text.data() + text.size();
}

std::string Pad(std::int64_t v, int width) {
  std::string s = std::to_string(v < 0 ? -v : v);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return v < 0 ? "-" + s : s;
}

bool ParseDate(std::string_view text, std::int64_t& y, unsigned& m, unsigned& d) {
  const std::size_t a = text.find('-');
  const std::size_t b = a == std::string_view::npos ? a : text.find('-', a + 1);
  unsigned yy;
  if (b == std::string_view::npos || !Digits(text.substr(0, a), yy) || !Digits(text.substr(a + 1, b - a - 1), m) ||
      !Digits(text.substr(b + 1), d))
    return false;
  y = yy;
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysInMonth(y, m);
}

bool ParseClock(std::string_view text, unsigned& h, unsigned& mi, unsigned& s, unsigned& ms) {
  ms = 0;
  const std::size_t dot = text.find('.');
  if (dot != std::string_view::npos) {
    std::string frac(text.substr(dot + 1));
    if (frac.empty() || frac.size() > 3) return false;
    frac.resize(3, '0');
    if (!Digits(frac, ms)) return false;
    text = text.substr(0, dot);
  }
  const std::size_t a = text.find(':');
  const std::size_t b = a == std::string_view::npos ? a : text.find(':', a + 1);
  if (a == std::string_view::npos || !Digits(text.substr(0, a), h)) return false;
  if (b == std::string_view::npos) {
    s = 0;
    if (!Digits(text.substr(a + 1), mi)) return false;
  } else if (!Digits(text.substr(a + 1, b - a - 1), mi) || !Digits(text.substr(b + 1), s)) {
    return false;
  }
  return h < 24 && mi < 60 && s < 60;
}

}  // namespace

std::string BcdToText(const vnx::TBcd& bcd) {
  const int precision = bcd.Precision;
  const int places = bcd.SignSpecialPlaces & 0x3F;
  if (precision > 64 || places > precision) return {};
  std::string digits;
  for (int i = 0; i < precision; ++i) {
    const std::uint8_t byte = bcd.Fraction[i / 2];
    const int nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    if (nibble > 9) return {};
    digits += static_cast<char>('0' + nibble);
  }
  std::string whole = digits.substr(0, static_cast<std::size_t>(precision - places));
  const std::string frac = digits.substr(static_cast<std::size_t>(precision - places));
  const std::size_t nz = whole.find_first_not_of('0');
  whole = nz == std::string::npos ? "0" : whole.substr(nz);
  std::string out = whole;
  if (!frac.empty()) out += "." + frac;
  const bool zero = out.find_first_not_of("0.") == std::string::npos;
  if ((bcd.SignSpecialPlaces & 0x80) && !zero) out.insert(0, "-");
  return out;
}

bool TextToBcd(std::string_view text, vnx::TBcd& bcd) {
  bcd = vnx::TBcd{};
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const std::size_t dot = text.find('.');
  std::string_view whole = text.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
  if (whole.empty() && frac.empty()) return false;
  for (char c : whole)
    if (c < '0' || c > '9') return false;
  for (char c : frac)
    if (c < '0' || c > '9') return false;
  while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
  if (whole.empty()) whole = "0";
  const std::string digits = std::string(whole) + std::string(frac);
  if (digits.size() > 64 || frac.size() > 63) return false;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const auto nibble = static_cast<std::uint8_t>(digits[i] - '0');
    bcd.Fraction[i / 2] |= i % 2 == 0 ? static_cast<std::uint8_t>(nibble << 4) : nibble;
  }
  bcd.Precision = static_cast<std::uint8_t>(digits.size());
  bcd.SignSpecialPlaces = static_cast<std::uint8_t>(frac.size() | (negative ? 0x80 : 0));
  return true;
}

std::string DayNumberToText(std::int32_t day) {
  std::int64_t y;
  unsigned m, d;
  CivilFromDays(static_cast<std::int64_t>(day) - kDayNumberOf1970, y, m, d);
  return Pad(y, 4) + "-" + Pad(m, 2) + "-" + Pad(d, 2);
}

bool TextToDayNumber(std::string_view text, std::int32_t& day) {
  std::int64_t y;
  unsigned m, d;
  if (!ParseDate(text, y, m, d)) return false;
  day = static_cast<std::int32_t>(DaysFromCivil(y, m, d) + kDayNumberOf1970);
  return true;
}

std::string TimeToText(std::int32_t ms) {
  std::string out = Pad(ms / 3600000, 2) + ":" + Pad(ms / 60000 % 60, 2) + ":" + Pad(ms / 1000 % 60, 2);
  if (ms % 1000 != 0) out += "." + Pad(ms % 1000, 3);
  return out;
}

bool TextToTime(std::string_view text, std::int32_t& ms) {
  unsigned h, mi, s, f;
  if (!ParseClock(text, h, mi, s, f)) return false;
  ms = static_cast<std::int32_t>(((h * 60 + mi) * 60 + s) * 1000 + f);
  return true;
}

std::string TimeStampToText(const vnx::TSQLTimeStamp& ts) {
  std::string out = Pad(ts.Year, 4) + "-" + Pad(ts.Month, 2) + "-" + Pad(ts.Day, 2) + " " + Pad(ts.Hour, 2) + ":" +
                    Pad(ts.Minute, 2) + ":" + Pad(ts.Second, 2);
  if (ts.Fractions != 0) out += "." + Pad(ts.Fractions, 3);
  return out;
}

bool TextToTimeStamp(std::string_view text, vnx::TSQLTimeStamp& ts) {
  ts = vnx::TSQLTimeStamp{};
  std::size_t sep = text.find_first_of(" T");
  std::int64_t y;
  unsigned m, d, h = 0, mi = 0, s = 0, ms = 0;
  if (!ParseDate(text.substr(0, sep), y, m, d)) return false;
  if (sep != std::string_view::npos && !ParseClock(text.substr(sep + 1), h, mi, s, ms)) return false;
  ts.Year = static_cast<std::int16_t>(y);
  ts.Month = static_cast<std::uint16_t>(m);
  ts.Day = static_cast<std::uint16_t>(d);
  ts.Hour = static_cast<std::uint16_t>(h);
  ts.Minute = static_cast<std::uint16_t>(mi);
  ts.Second = static_cast<std::uint16_t>(s);
  ts.Fractions = ms;
  return true;
}

std::string DoubleToText(double v) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, p) : std::string("?");
}

std::string FieldTypeName(std::uint16_t type) {
  static const char* const names[] = {
      "fldUNKNOWN", "fldZSTRING", "fldDATE",    "fldBLOB",    "fldBOOL",    "fldINT16",   "fldINT32",
      "fldFLOAT",   "fldBCD",     "fldBYTES",   "fldTIME",    "fldTIMESTAMP", "fldUINT16", "fldUINT32",
      "fldFLOATIEEE", "fldVARBYTES", "fldLOCKINFO", "fldCURSOR", "fldINT64", "fldUINT64", "fldADT",
      "fldARRAY",   "fldREF",     "fldTABLE",   "fldDATETIME", "fldFMTBCD", "fldWIDESTRING"};
  return type < std::size(names) ? names[type] : std::to_string(type);
}

std::string SubTypeName(std::uint16_t subType) {
  switch (subType) {
    case 0: return "";
    case vnx::fldstMONEY: return "fldstMONEY";
    case vnx::fldstMEMO: return "fldstMEMO";
    case vnx::fldstBINARY: return "fldstBINARY";
    case vnx::fldstFMTMEMO: return "fldstFMTMEMO";
    case vnx::fldstOLEOBJ: return "fldstOLEOBJ";
    case vnx::fldstGRAPHIC: return "fldstGRAPHIC";
    case vnx::fldstFIXED: return "fldstFIXED";
    case vnx::fldstUNICODE: return "fldstUNICODE";
    default: return std::to_string(subType);
  }
}

namespace {

template <class T>
bool Integer(std::string_view text, T& v) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return !text.empty() && ec == std::errc() && p == text.data() + text.size();
}

template <class T>
void Store(Param& param, const T& value) {
  param.data.assign(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

bool ParseParam(std::string_view given, Param& param, std::string& error) {
  param = Param{};
  if (given == "null" || given == "NULL") {
    param.null = true;
    return true;
  }
  std::string_view type = "str", value = given;
  const std::size_t colon = given.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view prefix = given.substr(0, colon);
    static const char* const known[] = {"str", "text", "int", "int4", "int2", "int8", "float", "num",
                                        "bool", "date", "time", "ts", "bytes", "memo"};
    for (const char* k : known)
      if (prefix == k) {
        type = prefix;
        value = given.substr(colon + 1);
      }
  }
  auto bad = [&](const char* what) {
    error = "parameter \"" + std::string(given) + "\": " + what;
    return false;
  };
  if (type == "str" || type == "text" || type == "memo") {
    param.type = type == "memo" ? vnx::fldBLOB : vnx::fldZSTRING;
    param.subType = type == "memo" ? vnx::fldstMEMO : 0;
    param.data.assign(value.data(), value.size());
    param.data.push_back('\0');
  } else if (type == "int" || type == "int4") {
    std::int32_t v;
    if (!Integer(value, v)) return bad("not a 32-bit integer");
    param.type = vnx::fldINT32;
    Store(param, v);
  } else if (type == "int2") {
    std::int16_t v;
    if (!Integer(value, v)) return bad("not a 16-bit integer");
    param.type = vnx::fldINT16;
    Store(param, v);
  } else if (type == "int8") {
    std::int64_t v;
    if (!Integer(value, v)) return bad("not a 64-bit integer");
    param.type = vnx::fldINT64;
    Store(param, v);
  } else if (type == "float") {
    double v;
    auto [p, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (value.empty() || ec != std::errc() || p != value.data() + value.size()) return bad("not a number");
    param.type = vnx::fldFLOAT;
    Store(param, v);
  } else if (type == "num") {
    vnx::TBcd v;
    if (!TextToBcd(value, v)) return bad("not a decimal number of at most 64 digits");
    param.type = vnx::fldFMTBCD;
    Store(param, v);
  } else if (type == "bool") {
    std::uint8_t v;
    if (value == "true" || value == "t" || value == "1") v = 1;
    else if (value == "false" || value == "f" || value == "0") v = 0;
    else return bad("not true or false");
    param.type = vnx::fldBOOL;
    Store(param, v);
  } else if (type == "date") {
    std::int32_t v;
    if (!TextToDayNumber(value, v)) return bad("not a date YYYY-MM-DD");
    param.type = vnx::fldDATE;
    Store(param, v);
  } else if (type == "time") {
    std::int32_t v;
    if (!TextToTime(value, v)) return bad("not a time HH:MM[:SS[.mmm]]");
    param.type = vnx::fldTIME;
    Store(param, v);
  } else if (type == "ts") {
    vnx::TSQLTimeStamp v;
    if (!TextToTimeStamp(value, v)) return bad("not a time stamp YYYY-MM-DD[ HH:MM[:SS[.mmm]]]");
    param.type = vnx::fldTIMESTAMP;
    Store(param, v);
  } else {  // bytes, written as hexadecimal digits
    if (value.size() >= 2 && value[0] == '\\' && value[1] == 'x') value.remove_prefix(2);
    if (value.size() % 2 != 0) return bad("odd number of hexadecimal digits");
    param.type = vnx::fldBYTES;
    for (std::size_t i = 0; i < value.size(); i += 2) {
      unsigned byte;
      auto [p, ec] = std::from_chars(value.data() + i, value.data() + i + 2, byte, 16);
      if (ec != std::errc() || p != value.data() + i + 2) return bad("not hexadecimal digits");
      param.data.push_back(static_cast<char>(byte));
    }
  }
  return true;
}

}  // namespace vnxsql
