// BCD record conversions (see bcd.h).
#include "runtime/bcd.h"

#include <cstring>

#include "i18n/translate.h"
#include "resources/value_resources.h"
#include "runtime/exception.h"
#include "runtime/format.h"

namespace vnx::rt {
namespace {

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

enum class ReadResult { Ok, Invalid, Overflow };

// Every numeric value of a result passes here: the usual text, [-]digits[.digits] with at
// most 64 digits, is checked and packed in one pass. Anything else (too many digits, "+",
// invalid text) returns false and takes the general reading below.
bool ReadPlain(std::string_view text, TBcd& out) noexcept {
  out = TBcd{};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  p += negative;
  const char* const first = p;
  while (p != end && *p == '0') ++p;  // leading zeros are not kept
  const bool zeroSeen = p != first;
  // At most 64 characters: the digits then fit the record whatever the loop meets.
  if (end - p > kMaxBcdDigits) return false;
  const char* dot = static_cast<const char*>(std::memchr(p, '.', static_cast<std::size_t>(end - p)));
  const char* const intEnd = dot ? dot : end;
  const char* frac = dot ? dot + 1 : end;
  // Digits are checked without a branch each: c - "0" taken as a byte is 0 to 9 for a
  // digit and 10 to 255 for anything else, so d + 6 stays below 16 only for digits.
  unsigned bad = 0, any = 0, k = 0;
  auto digit = [&bad](char c) {
    const unsigned d = static_cast<unsigned char>(c - '0');
    bad |= d + 6;
    return d;
  };
  auto put = [&](unsigned high, unsigned low) {
    const unsigned byte = high << 4 | low;
    out.Fraction[k >> 1] = static_cast<std::uint8_t>(byte);
    any |= byte;
    k += 2;
  };
  // Two digits make a byte; an odd integer part shares its last byte with the fraction.
  const char* q = p;
  for (; intEnd - q >= 2; q += 2) put(digit(q[0]), digit(q[1]));
  if (q != intEnd) {
    const unsigned high = digit(*q);
    if (frac != end) put(high, digit(*frac++));
    else put(high, 0), --k;
  }
  for (; end - frac >= 2; frac += 2) put(digit(frac[0]), digit(frac[1]));
  if (frac != end) put(digit(*frac), 0), --k;
  if (bad >= 16) return false;
  unsigned n = k;
  const unsigned places = dot ? static_cast<unsigned>(end - dot - 1) : 0;
  if (!(zeroSeen || n > 0) || places > static_cast<unsigned>(kMaxBcdScale)) return false;
  if (n == 0) n = 1;  // "0" keeps one digit, whose nibble is already 0
  out.Precision = static_cast<std::uint8_t>(n);
  out.SignSpecialPlaces = static_cast<std::uint8_t>(places | (negative && any ? 0x80 : 0));
  return true;
}

ReadResult Read(std::string_view text, TBcd& out) noexcept {
  if (ReadPlain(text, out)) return ReadResult::Ok;
  std::memset(&out, 0, sizeof out);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const std::size_t intStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  const std::size_t intEnd = i;
  std::size_t fracStart = i, fracEnd = i;
  if (i < text.size() && text[i] == '.') {
    fracStart = ++i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    fracEnd = i;
  }
  if (i != text.size() || (intEnd == intStart && fracEnd == fracStart)) return ReadResult::Invalid;

  std::size_t firstInt = intStart;
  while (firstInt < intEnd && text[firstInt] == '0') ++firstInt;
  std::string_view intDigits = text.substr(firstInt, intEnd - firstInt);
  std::string_view fracDigits = text.substr(fracStart, fracEnd - fracStart);
  if (intDigits.size() > kMaxBcdDigits) return ReadResult::Overflow;

  // Texts that fit whole, as every numeric value of a result does, are packed straight from
  // the text; the rest is rounded below.
  if (intDigits.size() + fracDigits.size() <= kMaxBcdDigits && fracDigits.size() <= kMaxBcdScale) {
    std::size_t n = 0;
    bool zero = true;
    auto put = [&](char c) {
      const int d = c - '0';
      zero = zero && d == 0;
      out.Fraction[n / 2] |= static_cast<std::uint8_t>(n % 2 ? d : d << 4);
      ++n;
    };
    for (char c : intDigits) put(c);
    for (char c : fracDigits) put(c);
    if (n == 0) put('0');  // "0" keeps one digit
    out.Precision = static_cast<std::uint8_t>(n);
    out.SignSpecialPlaces = static_cast<std::uint8_t>(fracDigits.size() | (negative && !zero ? 0x80 : 0));
    return ReadResult::Ok;
  }

  // Up to 64 digits plus one for a carry out of rounding.
  char digits[kMaxBcdDigits + 2];
  std::size_t keepFrac = fracDigits.size();
  if (keepFrac > static_cast<std::size_t>(kMaxBcdScale)) keepFrac = kMaxBcdScale;
  if (intDigits.size() + keepFrac > kMaxBcdDigits) keepFrac = kMaxBcdDigits - intDigits.size();
  const bool roundUp = keepFrac < fracDigits.size() && fracDigits[keepFrac] >= '5';

  std::size_t n = 0;
  for (char c : intDigits) digits[n++] = c;
  for (std::size_t k = 0; k < keepFrac; ++k) digits[n++] = fracDigits[k];
  std::size_t intCount = intDigits.size();
  if (roundUp) {
    std::size_t k = n;
    while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
    if (k > 0) {
      ++digits[k - 1];
    } else {
      // All nines: the carry adds an integer digit in front.
      std::memmove(digits + 1, digits, n);
      digits[0] = '1';
      ++n;
      ++intCount;
      if (intCount > kMaxBcdDigits) return ReadResult::Overflow;
      if (n > kMaxBcdDigits) {
        --n;  // the dropped digit is a 0 of the fraction
        --keepFrac;
      }
    }
  }
  if (n == 0) digits[n++] = '0';  // ".5" style texts have no integer digit; "0" keeps one

  bool zero = true;
  for (std::size_t k = 0; k < n; ++k) {
    const int d = digits[k] - '0';
    if (d) zero = false;
    out.Fraction[k / 2] |= static_cast<std::uint8_t>(k % 2 ? d : d << 4);
  }
  out.Precision = static_cast<std::uint8_t>(n);
  out.SignSpecialPlaces = static_cast<std::uint8_t>(keepFrac | (negative && !zero ? 0x80 : 0));
  return ReadResult::Ok;
}

}  // namespace

bool TryTextToBcd(std::string_view text, TBcd& out) noexcept {
  return Read(text, out) == ReadResult::Ok;
}

TBcd TextToBcd(std::string_view text) {
  TBcd out;
  switch (Read(text, out)) {
    case ReadResult::Ok: return out;
    case ReadResult::Overflow: throw EConvertError(Format(Res(res::SBcdOverflow), text));
    case ReadResult::Invalid: break;
  }
  throw EConvertError(Format(Res(res::SInvalidBcd), text));
}

std::string BcdToText(const TBcd& value) {
  const int precision = value.Precision;
  const int scale = value.SignSpecialPlaces & 0x3F;
  if (precision > kMaxBcdDigits || scale > precision)
    throw EConvertError(Format(Res(res::SInvalidBcdRecord), precision, scale));
  std::string digits;
  digits.reserve(static_cast<std::size_t>(precision));
  for (int k = 0; k < precision; ++k) {
    const std::uint8_t b = value.Fraction[k / 2];
    const int d = k % 2 ? (b & 0x0F) : (b >> 4);
    if (d > 9) throw EConvertError(Format(Res(res::SInvalidBcdRecord), precision, scale));
    digits += static_cast<char>('0' + d);
  }
  const std::size_t intCount = static_cast<std::size_t>(precision - scale);
  std::size_t first = 0;
  while (first < intCount && digits[first] == '0') ++first;
  std::string intPart = first < intCount ? digits.substr(first, intCount - first) : "0";
  std::string fracPart = digits.substr(intCount);
  bool zero = intPart == "0" && fracPart.find_first_not_of('0') == std::string::npos;
  std::string out = (value.SignSpecialPlaces & 0x80) && !zero ? "-" : "";
  out += intPart;
  if (!fracPart.empty()) {
    out += '.';
    out += fracPart;
  }
  return out;
}

}  // namespace vnx::rt
