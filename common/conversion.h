// Value conversion: the server's text form of values to the binary values the getters hand
// out, and parameter values to text for SQL. Server text always uses "." as decimal
// separator and "," as group separator; none of these routines consults the process locale.
#pragma once

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/dbx_types.h"
#include "runtime/bcd.h"

namespace vnx {

// The runtime's date-time value: days since 30 December 1899, time of day as the fraction.
using TDateTime = double;

// Splits at `sep`; a backslash takes the next character literally. Empty text: no element.
std::vector<std::string> SplitText(std::string_view text, char sep);

// "t" / "f"; anything else raises rt::EDatabaseError "Invalid boolean value [%s].".
[[noreturn]] void InvalidBoolean(std::string_view text);
inline bool TextToBoolean(std::string_view text) {
  if (text.size() == 1 && (text[0] == 't' || text[0] == 'f')) return text[0] == 't';
  InvalidBoolean(text);
}
std::string BooleanToText(bool value);

// Date, time or time-stamp text (ISO "T" accepted, a zone offset dropped) to a moment.
// Raises EVNXConvertError "Invalid Date/Time value [%s]" for text of another shape, and the
// runtime's EConvertError for fields that are not numbers or out of range.
TDateTime TextToDateTime(std::string_view text, char fracSep);
// DateTimeToDayNumber(TextToDateTime(text, fracSep)), with a date column's own form
// ("YYYY-MM-DD") read straight to its day number.
std::int32_t TextToDayNumber(std::string_view text, char fracSep);
// The same reading into a record, without range checks beyond the record's field sizes.
// Fields of a part the text lacks are zero.
void TextToSQLTimeStamp(std::string_view text, char fracSep, TSQLTimeStamp& out);

// "2004-05-06" for fldDATE, "07:08:09" for fldTIME, both joined by a blank otherwise.
std::string DateTimeToText(TDateTime moment, std::uint16_t fieldType);
// "2004-05-06 07:08:09.005" (Fractions are milliseconds; more than 999 raises).
std::string SQLTimeStampToText(const TSQLTimeStamp& ts, char fracSep);

// Every a becomes b; every other c becomes d (a NUL d writes a NUL).
void ExchangeSeparators(std::string& text, char a, char b, char c, char d);

// The array literal of a one-dimensional variant array: {1, 2, 3}, {"a", "b"}. The argument
// points to the variant record (rt::TVarData) whose kind carries the varArray flag. String
// elements are quoted with a backslash before an inner double quote or backslash; other
// scalar kinds are written soundly (see conversion.cpp); kinds without a text form raise
// EVNXTypeError.
std::string ArrayToText(const void* variantArray);

// Blank-separated OIDs; a part that is not a number raises EVNXConvertError
// "Invalid value in OidVector [%s]".
std::vector<std::int32_t> TextToOidVector(std::string_view text);

// --- Inline readings of the getters: no allocation unless they fail -------------------
// Decimal integers; raise rt::EConvertError "'%s' is not a valid integer value".
// The general integer readings (TextToInteger and TextToInt64 below read the usual short
// texts inline and fall back to these).
std::int32_t TextToIntegerSlow(std::string_view text);
std::int64_t TextToInt64Slow(std::string_view text);

namespace detail {
// Eight digit characters (first at the lowest address) to their number, or false when one
// of them is no digit. A byte XOR "0" is 0 to 9 exactly for a digit; adding 0x76 sets its
// top bit from 10 on. The three multiplications join 1, 2, then 4 digits at a time.
inline bool EightDigits(const char* p, std::uint64_t& out) noexcept {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  w ^= 0x3030303030303030ull;
  if (((w | (w + 0x7676767676767676ull)) & 0x8080808080808080ull) != 0) return false;
  w = (w * 2561) >> 8;
  w = ((w & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
  out = ((w & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
  return true;
}

// "[-]digits" with at most `maxDigits` digits, which cannot overflow; false otherwise.
template <class T, unsigned maxDigits>
inline bool ShortInteger(std::string_view text, T& out) noexcept {
  static_assert(std::endian::native == std::endian::little, "EightDigits assumes little-endian order");
  const char* p = text.data();
  std::size_t n = text.size();
  const bool negative = n != 0 && *p == '-';
  p += negative;
  n -= negative;
  if (n == 0 || n > maxDigits) return false;
  std::uint64_t v = 0;
  std::size_t i = 0;
  if (n >= 8) {
    if (!EightDigits(p, v)) return false;
    i = 8;
  }
  for (; i < n; ++i) {
    const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(p[i])) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
  }
  out = negative ? static_cast<T>(0 - static_cast<T>(v)) : static_cast<T>(v);
  return true;
}
}  // namespace detail

// Every integer value of a result passes here: the usual short text is read inline, the
// rest (signs, long or invalid texts) by the general reading with its messages.
inline std::int32_t TextToInteger(std::string_view text) {
  std::int32_t v;
  return detail::ShortInteger<std::int32_t, 9>(text, v) ? v : TextToIntegerSlow(text);
}
inline std::int64_t TextToInt64(std::string_view text) {
  std::int64_t v;
  return detail::ShortInteger<std::int64_t, 18>(text, v) ? v : TextToInt64Slow(text);
}
// Floating point with "." as separator; "$" money text (a sign before the "$" is kept,
// "," group separators dropped); NaN and infinities as the server writes them. Raises
// rt::EConvertError "'%s' is not a valid floating point value".
double TextToFloatSlow(std::string_view text);
// The usual text (digits, sign, point, exponent) is read inline; money, "+", NaN and the
// infinities, and invalid text take the general reading with its message.
inline double TextToFloat(std::string_view text) {
  double v;
  const char* end = text.data() + text.size();
  if (!text.empty() && text[0] != '+') {
    const auto r = std::from_chars(text.data(), end, v, std::chars_format::general);
    if (r.ec == std::errc() && r.ptr == end && (v - v) == 0) return v;
  }
  return TextToFloatSlow(text);
}
// Decimal text to BCD; precision and scale come from the text's digits. Raises
// rt::EConvertError "%s is not a valid BCD value".
inline TBcd TextToBcd(std::string_view text) { return rt::TextToBcd(text); }
// PQunescapeBytea of a value text; empty when libpq cannot unescape it.
std::string UnescapeBytea(const char* text);

// The getDate / getTime encodings of a moment: day number (1 January of year 1 is day 1,
// 30 December 1899 is 693594) and milliseconds since midnight.
std::int32_t DateTimeToDayNumber(TDateTime moment);
std::int32_t DateTimeToMilliseconds(TDateTime moment);

}  // namespace vnx
