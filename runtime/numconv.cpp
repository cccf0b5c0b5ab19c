// Locale-independent number reading and writing (see numconv.h).
#include "runtime/numconv.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "i18n/translate.h"
#include "resources/value_resources.h"
#include "runtime/exception.h"
#include "runtime/format.h"

namespace vnx::rt {

// Every integer value of a result passes here: one pass over the digits, without the
// general machinery of from_chars. An optional sign, then decimal digits only; a lone sign,
// "+-1", blanks and values outside 64 bits are refused.
bool TryStrToInt64(std::string_view text, std::int64_t& out) noexcept {
  const char* p = text.data();
  const char* end = p + text.size();
  bool negative = false;
  if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == end) return false;
  // Leading zeros aside, 19 digits always fit in 64 unsigned bits: the range is checked
  // once at the end instead of at every digit.
  while (end - p > 1 && *p == '0') ++p;
  if (end - p > 19) return false;
  std::uint64_t v = 0;
  for (; p != end; ++p) {
    const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
  }
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  if (v > limit) return false;
  out = negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
  return true;
}

bool TryStrToInt(std::string_view text, std::int32_t& out) noexcept {
  std::int64_t v;
  if (!TryStrToInt64(text, v) || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

std::int32_t StrToInt(std::string_view text) {
  std::int32_t v;
  if (!TryStrToInt(text, v)) throw EConvertError(Format(Res(res::SInvalidInteger), text));
  return v;
}

std::int64_t StrToInt64(std::string_view text) {
  std::int64_t v;
  if (!TryStrToInt64(text, v)) throw EConvertError(Format(Res(res::SInvalidInteger), text));
  return v;
}

bool TryStrToFloat(std::string_view text, double& out) noexcept {
  const char* p = text.data();
  const char* end = p + text.size();
  if (p != end && *p == '+') {
    ++p;
    if (p == end || *p == '-') return false;
  }
  if (p == end) return false;
  auto r = std::from_chars(p, end, out, std::chars_format::general);
  return r.ec == std::errc() && r.ptr == end;
}

std::string FloatToText(double value, int digits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (digits < 1) digits = 1;
  if (digits > 17) digits = 17;
  if (value == 0) return "0";
  // Round to the wanted digits first; the exponent of the rounded value decides the form.
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, digits - 1);
  // Rounding to the wanted digits can carry a value at the top of the range past it (DBL_MAX
  // with 15 digits is 1.79769313486232E308, which no double holds): such a value is written
  // with the shortest digits that read back as itself.
  double back;
  if (std::fabs(value) > 1e308 && std::from_chars(buf, r.ptr, back).ec != std::errc())
    r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
  const std::size_t e = sci.find('e');
  const int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());
  std::string mantissa(sci.substr(0, e));
  const bool negative = mantissa[0] == '-';
  if (negative) mantissa.erase(0, 1);
  std::string d;  // significant digits without the point, trailing zeros removed
  for (char c : mantissa)
    if (c != '.') d += c;
  while (d.size() > 1 && d.back() == '0') d.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent < -5 || exponent >= digits) {
    out += d[0];
    if (d.size() > 1) {
      out += '.';
      out.append(d, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += d;
  } else {
    const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
    if (d.size() <= intDigits) {
      out += d;
      out.append(intDigits - d.size(), '0');
    } else {
      out.append(d, 0, intDigits);
      out += '.';
      out.append(d, intDigits);
    }
  }
  return out;
}

}  // namespace vnx::rt
