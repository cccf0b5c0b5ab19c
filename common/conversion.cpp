// Value conversion between the server's text form and dbExpress values (see conversion.h).
#include "common/conversion.h"

#include <bit>

#include <cstring>
#include <memory>

#include "common/encoding.h"
#include "common/errors.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/value_resources.h"
#include "runtime/bcd.h"
#include "runtime/datetime.h"
#include "runtime/format.h"
#include "runtime/numconv.h"
#include "runtime/variant.h"

namespace vnx {
namespace {

// Splits a view at `sep` into at most `max` parts without copying; returns the number of
// parts the whole text has (0 for an empty text). Date and time texts never hold the
// backslash that SplitText would honour, so the readings use this allocation-free form.
std::size_t SplitView(std::string_view text, char sep, std::string_view* parts, std::size_t max) {
  if (text.empty()) return 0;
  std::size_t count = 0, start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == sep) {
      if (count < max) parts[count] = text.substr(start, i - start);
      ++count;
      start = i + 1;
    }
  }
  return count;
}

bool Contains(std::string_view text, char c) noexcept { return text.find(c) != std::string_view::npos; }

[[noreturn]] void InvalidDateTime(std::string_view text) {
  throw EVNXConvertError(rt::Format(Res(res::SInvalidDateTimeValue), text));
}

struct MomentFields {
  bool hasDate = false, hasTime = false;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
};

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// Two digits at text[at], which the caller has checked exist.
bool TwoDigits(std::string_view text, std::size_t at, int& out) noexcept {
  if (!IsDigit(text[at]) || !IsDigit(text[at + 1])) return false;
  out = (text[at] - '0') * 10 + (text[at + 1] - '0');
  return true;
}

// The forms the server writes: "YYYY-MM-DD", "HH:MM:SS[<fracSep>digits]" and the two joined
// by a blank or "T". Every value of a date or time column passes here, so these are read
// in one pass; any other text (zone offsets, eras, five-digit years, odd widths) returns
// false and takes the general reading, which gives the same fields for the texts read here.
bool ReadServerMoment(std::string_view text, char fracSep, MomentFields& f) noexcept {
  const std::size_t n = text.size();
  std::size_t pos = 0;
  if (n >= 10 && text[4] == '-' && text[7] == '-') {
    int century, year;
    if (!TwoDigits(text, 0, century) || !TwoDigits(text, 2, year) || !TwoDigits(text, 5, f.month) ||
        !TwoDigits(text, 8, f.day))
      return false;
    f.year = century * 100 + year;
    f.hasDate = true;
    if (n == 10) return true;
    if (text[10] != ' ' && text[10] != 'T') return false;
    pos = 11;
  }
  if (n - pos < 8 || text[pos + 2] != ':' || text[pos + 5] != ':' || !TwoDigits(text, pos, f.hour) ||
      !TwoDigits(text, pos + 3, f.minute) || !TwoDigits(text, pos + 6, f.second))
    return false;
  pos += 8;
  f.hasTime = true;
  if (pos == n) return true;
  if (text[pos] != fracSep || pos + 1 == n) return false;
  // The first three digits of the fraction, padded with zeros, are the milliseconds.
  int ms = 0, used = 0;
  for (std::size_t i = pos + 1; i < n; ++i) {
    if (!IsDigit(text[i])) return false;
    if (used < 3) ms = ms * 10 + (text[i] - '0'), ++used;
  }
  for (; used < 3; ++used) ms *= 10;
  f.ms = ms;
  return true;
}

// Reads the date and time parts of a server text. Integer readings that fail raise the
// runtime's conversion error; texts of another shape raise "Invalid Date/Time value".
MomentFields ReadMoment(std::string_view text, char fracSep) {
  MomentFields fast;
  if (ReadServerMoment(text, fracSep, fast)) return fast;
  // The ISO form 2004-05-06T07:08:09 reads as if the "T" were a blank.
  char buf[64];
  std::string big;
  std::string_view work = text;
  if (text.size() > 10 && text[10] == 'T') {
    char* p = buf;
    if (text.size() > sizeof buf) {
      big.assign(text);
      p = big.data();
    } else {
      std::memcpy(buf, text.data(), text.size());
    }
    p[10] = ' ';
    work = std::string_view(p, text.size());
  }

  std::string_view parts[2];
  std::string_view datePart, timePart;
  const std::size_t n = SplitView(work, ' ', parts, 2);
  if (n == 1) {
    if (Contains(parts[0], ':'))
      timePart = parts[0];
    else if (Contains(parts[0], '-'))
      datePart = parts[0];
  } else if (n == 2) {
    datePart = parts[0];
    timePart = parts[1];
  } else {
    InvalidDateTime(text);
  }
  if (datePart.data() == nullptr && timePart.data() == nullptr) InvalidDateTime(text);

  MomentFields f;
  if (datePart.data() != nullptr) {
    std::string_view d[3];
    if (SplitView(datePart, '-', d, 3) < 3) InvalidDateTime(text);
    f.year = rt::StrToInt(d[0]);
    f.month = rt::StrToInt(d[1]);
    f.day = rt::StrToInt(d[2]);
    f.hasDate = true;
  }
  if (timePart.data() != nullptr) {
    // A zone offset (07:08:09-03, 07:08:09+05:30) is dropped without shifting the time.
    std::string_view z[1];
    std::string_view clock = timePart;
    if (SplitView(timePart, '-', z, 1) > 1 || SplitView(timePart, '+', z, 1) > 0) clock = z[0];
    std::string_view c[2];
    const std::size_t cn = SplitView(clock, fracSep, c, 2);
    if (cn >= 2 && !c[1].empty()) {
      char msText[3] = {'0', '0', '0'};
      std::memcpy(msText, c[1].data(), c[1].size() < 3 ? c[1].size() : 3);
      f.ms = rt::StrToInt(std::string_view(msText, 3));
    }
    std::string_view t[3];
    if (cn == 0 || SplitView(c[0], ':', t, 3) < 3) InvalidDateTime(text);
    f.hour = rt::StrToInt(t[0]);
    f.minute = rt::StrToInt(t[1]);
    f.second = rt::StrToInt(t[2]);
    f.hasTime = true;
  }
  return f;
}

// Application texts of an array element -------------------------------------------------

std::string Utf16ToApplication(const char16_t* s) {
  std::string utf8;
  if (!s) return utf8;
  for (; *s; ++s) {
    char32_t cp = *s;
    if (cp >= 0xD800 && cp <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[1] - 0xDC00);
      ++s;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // an unpaired surrogate
    }
    if (cp < 0x80) {
      utf8 += static_cast<char>(cp);
    } else if (cp < 0x800) {
      utf8 += static_cast<char>(0xC0 | (cp >> 6));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (cp >> 12));
      utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (cp >> 18));
      utf8 += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return Utf8ToApplication(utf8);
}

// Array literal element quoting: the server's array reader takes a backslash as escape
// inside double quotes, so both characters are escaped.
void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  out += '"';
}

// Size of the value of a scalar kind, as it sits in an array's data or behind a reference;
// 0 for kinds without a text form.
std::size_t KindSize(std::uint16_t kind) noexcept {
  switch (kind) {
    case rt::varShortInt: case rt::varByte: return 1;
    case rt::varSmallint: case rt::varWord: case rt::varBoolean: return 2;
    case rt::varInteger: case rt::varLongWord: case rt::varSingle: return 4;
    case rt::varDouble: case rt::varCurrency: case rt::varDate: case rt::varInt64:
    case rt::varUInt64: return 8;
    case rt::varOleStr: case rt::varStrArg: case rt::varUString: case rt::varString:
      return sizeof(void*);
    default: return 0;
  }
}

constexpr int kMaxArrayDepth = 32;

void AppendArray(std::string& out, const rt::TVarData& v, int depth);

[[noreturn]] void ElementNotSupported(std::uint16_t vtype) {
  throw EVNXTypeError(rt::Format(Res(res::SArrayElementNotSupported), vtype));
}

// Elements of kinds beyond integers, bytes and strings are written as the server reads
// them: numbers in decimal with ".", booleans as true/false, dates quoted, null and empty
// variants as NULL. Kinds without a text form (objects, errors, decimals) are refused.
void AppendElement(std::string& out, const rt::TVarData& e, int depth) {
  // A variant reference may point at itself or at a chain of any length.
  if (depth > kMaxArrayDepth) throw EVNXTypeError(rt::Format(Res(res::SArrayTooDeep), kMaxArrayDepth));
  const std::uint16_t vt = e.VType;
  if (vt & rt::varArray) return AppendArray(out, e, depth + 1);
  if (vt & rt::varByRef) {
    const std::uint16_t kind = vt & rt::varTypeMask;
    if (!e.VPointer) ElementNotSupported(vt);
    if (kind == rt::varVariant) return AppendElement(out, *static_cast<const rt::TVarData*>(e.VPointer), depth + 1);
    const std::size_t size = KindSize(kind);
    if (size == 0) ElementNotSupported(vt);
    rt::TVarData copy{};
    copy.VType = kind;
    std::memcpy(&copy.VInt64, e.VPointer, size);
    return AppendElement(out, copy, depth + 1);
  }
  switch (vt) {
    case rt::varEmpty: case rt::varNull: out += "NULL"; return;
    case rt::varSmallint: out += std::to_string(e.VSmallInt); return;
    case rt::varInteger: out += std::to_string(e.VInteger); return;
    case rt::varShortInt: out += std::to_string(e.VShortInt); return;
    case rt::varByte: out += std::to_string(e.VByte); return;
    case rt::varWord: out += std::to_string(e.VWord); return;
    case rt::varLongWord: out += std::to_string(e.VLongWord); return;
    case rt::varInt64: out += std::to_string(e.VInt64); return;
    case rt::varUInt64: out += std::to_string(e.VUInt64); return;
    case rt::varSingle: out += rt::FloatToText(e.VSingle, 7); return;
    case rt::varDouble: out += rt::FloatToText(e.VDouble, 15); return;
    case rt::varCurrency: {
      const std::int64_t c = e.VCurrency;
      const std::uint64_t mag = c < 0 ? 0 - static_cast<std::uint64_t>(c) : static_cast<std::uint64_t>(c);
      std::string frac = std::to_string(mag % 10000);
      frac.insert(0, 4 - frac.size(), '0');
      while (!frac.empty() && frac.back() == '0') frac.pop_back();
      out += c < 0 ? "-" : "";
      out += std::to_string(mag / 10000);
      if (!frac.empty()) out += "." + frac;
      return;
    }
    case rt::varBoolean: out += e.VBoolean ? "true" : "false"; return;
    case rt::varDate: AppendQuoted(out, DateTimeToText(e.VDate, fldDATETIME)); return;
    case rt::varString: AppendQuoted(out, e.VString ? std::string_view(e.VString) : std::string_view()); return;
    case rt::varOleStr: case rt::varStrArg: case rt::varUString:
      AppendQuoted(out, Utf16ToApplication(e.VOleStr));
      return;
    default: ElementNotSupported(vt);
  }
}

void AppendArray(std::string& out, const rt::TVarData& v, int depth) {
  if (depth > kMaxArrayDepth) throw EVNXTypeError(rt::Format(Res(res::SArrayTooDeep), kMaxArrayDepth));
  const rt::TVarArray* a = nullptr;
  if (v.VType & rt::varByRef)
    a = v.VPointer ? *static_cast<rt::TVarArray* const*>(v.VPointer) : nullptr;
  else
    a = v.VArray;
  if (!a || a->DimCount != 1)
    throw EVNXTypeError(rt::Format(Res(res::SArrayShapeNotSupported), v.VType, a ? a->DimCount : 0));
  const std::uint16_t kind = v.VType & rt::varTypeMask;
  const std::int32_t n = a->Bounds[0].ElementCount;
  // An empty array is written as the empty array literal, which the server reads.
  if (n <= 0) {
    out += "{}";
    return;
  }
  const std::size_t need = kind == rt::varVariant ? sizeof(rt::TVarData) : KindSize(kind);
  if (need == 0) ElementNotSupported(kind);
  if (a->ElementSize < 0 || static_cast<std::size_t>(a->ElementSize) < need || !a->Data)
    throw EVNXTypeError(rt::Format(Res(res::SArrayShapeNotSupported), v.VType, a->DimCount));
  const auto* base = static_cast<const std::uint8_t*>(a->Data);
  out += '{';
  for (std::int32_t i = 0; i < n; ++i) {
    if (i) out += ", ";
    const std::uint8_t* p = base + static_cast<std::size_t>(i) * static_cast<std::size_t>(a->ElementSize);
    if (kind == rt::varVariant) {
      rt::TVarData e;
      std::memcpy(&e, p, sizeof e);
      AppendElement(out, e, depth);
    } else {
      rt::TVarData e{};
      e.VType = kind;
      std::memcpy(&e.VInt64, p, need);
      AppendElement(out, e, depth);
    }
  }
  out += '}';
}

}  // namespace

std::vector<std::string> SplitText(std::string_view text, char sep) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  std::size_t count = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\')
      ++i;
    else if (text[i] == sep)
      ++count;
  }
  out.reserve(count);
  std::string current;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      if (i + 1 < text.size()) current += text[++i];
    } else if (c == sep) {
      out.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  out.push_back(std::move(current));
  return out;
}

void InvalidBoolean(std::string_view text) {
  throw rt::EDatabaseError(rt::Format(Res(res::SInvalidBooleanValue), text));
}

std::string BooleanToText(bool value) { return value ? "true" : "false"; }

TDateTime TextToDateTime(std::string_view text, char fracSep) {
  const MomentFields f = ReadMoment(text, fracSep);
  if (!f.hasDate) return rt::EncodeTime(f.hour, f.minute, f.second, f.ms);
  return rt::EncodeDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second, f.ms);
}

namespace {

// Two decimal digits at p; false when either is not a digit.
inline bool TwoAt(const char* p, unsigned& out) noexcept {
  const unsigned a = static_cast<unsigned>(static_cast<unsigned char>(p[0])) - '0';
  const unsigned b = static_cast<unsigned>(static_cast<unsigned char>(p[1])) - '0';
  out = a * 10 + b;
  return a <= 9 && b <= 9;
}

// Digits read at fixed places without a branch each: c - "0" taken as a byte is 0 to 9 for
// a digit and 10 to 255 for anything else, so every d + 6 stays below 16 only for digits.
struct FixedDigits {
  const char* p;
  unsigned bad = 0;
  unsigned At(std::size_t i) noexcept {
    const unsigned d = static_cast<unsigned char>(p[i] - '0');
    bad |= d + 6;
    return d;
  }
  bool Ok() const noexcept { return bad < 16; }
};

// Eight characters as one little-endian word, so that the fixed fields of dates and time
// stamps are checked and read eight characters at a time.
static_assert(std::endian::native == std::endian::little, "the word readings assume little-endian order");
struct Word8 {
  std::uint64_t w;
  explicit Word8(const char* p) noexcept { std::memcpy(&w, p, sizeof w); }
  // The values of the bytes `digits` selects (the others 0); false when one is no digit.
  // A byte XOR "0" is 0 to 9 exactly for a digit; adding 0x76 sets its top bit from 10 on,
  // and a byte of 0x80 or more has it set already.
  bool Digits(std::uint64_t digits, std::uint64_t& values) const noexcept {
    values = (w ^ 0x3030303030303030ull) & digits;
    return ((values | (values + 0x7676767676767676ull)) & 0x8080808080808080ull) == 0;
  }
  // The characters outside `digits` equal those of `fixed`.
  bool Fixed(std::uint64_t digits, std::uint64_t fixed) const noexcept { return (w & ~digits) == fixed; }
  // The two-digit number at byte k of digit values.
  static unsigned Pair(std::uint64_t values, int k) noexcept {
    return static_cast<unsigned>(((values * 10 + (values >> 8)) >> (8 * k)) & 0xFF);
  }
};
// "YYYY-MM-": digits at bytes 0-3, 5, 6, "-" at 4 and 7.
constexpr std::uint64_t kDateHeadDigits = 0x00FFFF00FFFFFFFFull;
constexpr std::uint64_t kDateHeadDashes = (0x2Dull << 32) | (0x2Dull << 56);
// "DD", the last two bytes of a word.
constexpr std::uint64_t kLastPair = 0xFFFF000000000000ull;
// "DD HH:MM": digits at 0, 1, 3, 4, 6, 7, the date/time separator at 2 and ":" at 5.
constexpr std::uint64_t kDayClockDigits = 0xFFFF00FFFF00FFFFull;
constexpr std::uint64_t kColonAt5 = 0x3Aull << 40;

bool IsLeapYear(unsigned y) noexcept { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

// The date "YYYY-MM-DD" exactly as the server writes it, checked against the calendar, to
// its day number; false for any other text.
bool ServerDateToDayNumber(std::string_view text, std::int32_t& out) noexcept {
  if (text.size() != 10) return false;
  const Word8 head(text.data()), tail(text.data() + 2);
  std::uint64_t h, t;
  if (!head.Digits(kDateHeadDigits, h) || !head.Fixed(kDateHeadDigits, kDateHeadDashes) ||
      !tail.Digits(kLastPair, t))
    return false;
  const unsigned y = Word8::Pair(h, 0) * 100 + Word8::Pair(h, 2), m = Word8::Pair(h, 5), d = Word8::Pair(t, 6);
  static constexpr unsigned char kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y == 0 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && IsLeapYear(y) ? 1u : 0u)) return false;
  // Days since 1 January 1970 by the civil calendar, then the day number of that date.
  const unsigned yy = y - (m <= 2);
  const unsigned era = yy / 400;
  const unsigned yoe = yy - era * 400;
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  out = static_cast<std::int32_t>(era * 146097 + doe) - 719468 + 719163;
  return true;
}

// "YYYY-MM-DD HH:MM:SS[<fracSep>digits]" exactly as the server writes a time stamp; false
// for any other text, which takes the general reading.
bool ServerTimeStamp(std::string_view text, char fracSep, TSQLTimeStamp& out) noexcept {
  const char* p = text.data();
  const std::size_t n = text.size();
  if (n < 19 || (p[10] != ' ' && p[10] != 'T')) return false;
  // "YYYY-MM-", "DD HH:MM" and, overlapping, "HH:MM:SS".
  const Word8 date(p), clock(p + 8), seconds(p + 11);
  std::uint64_t a, b, c;
  if (!date.Digits(kDateHeadDigits, a) || !date.Fixed(kDateHeadDigits, kDateHeadDashes) ||
      !clock.Digits(kDayClockDigits, b) || (clock.w & (0xFFull << 40)) != kColonAt5 || !seconds.Digits(kLastPair, c) ||
      (seconds.w & (0xFFull << 40)) != kColonAt5)
    return false;
  FixedDigits f{p};
  const unsigned y = Word8::Pair(a, 0) * 100 + Word8::Pair(a, 2), mo = Word8::Pair(a, 5), d = Word8::Pair(b, 0),
                 h = Word8::Pair(b, 3), mi = Word8::Pair(b, 6), s = Word8::Pair(c, 6);
  unsigned ms = 0;
  if (n > 19) {
    if (p[19] != fracSep || n == 20) return false;
    // The first three digits of the fraction, padded with zeros, are the milliseconds; the
    // rest must be digits too.
    ms = f.At(20) * 100;
    if (n > 21) ms += f.At(21) * 10;
    if (n > 22) ms += f.At(22);
    for (std::size_t i = 23; i < n; ++i) f.At(i);
  }
  if (!f.Ok()) return false;
  out.Year = static_cast<std::int16_t>(y);
  out.Month = static_cast<std::uint16_t>(mo);
  out.Day = static_cast<std::uint16_t>(d);
  out.Hour = static_cast<std::uint16_t>(h);
  out.Minute = static_cast<std::uint16_t>(mi);
  out.Second = static_cast<std::uint16_t>(s);
  out.Fractions = ms;
  return true;
}

// A date of year 10000 and later as the server writes it ("10000-01-01"), checked against
// the calendar, to its day number; false for any other text, and for a day number past 32
// bits (which no server date reaches: 5874897-12-31 is day 2145762068).
bool LateDateToDayNumber(std::string_view text, std::int32_t& out) noexcept {
  const std::size_t n = text.size();
  if (n < 11 || n > 16 || text[n - 6] != '-' || text[n - 3] != '-') return false;
  std::uint64_t y = 0;
  for (std::size_t i = 0; i < n - 6; ++i) {
    if (!IsDigit(text[i])) return false;
    y = y * 10 + static_cast<unsigned>(text[i] - '0');
  }
  int m, d;
  if (!TwoDigits(text, n - 5, m) || !TwoDigits(text, n - 2, d) || y < 10000) return false;
  static constexpr unsigned char kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && IsLeapYear(static_cast<unsigned>(y % 400)) ? 1 : 0))
    return false;
  // Days before 1 January of year y, then before the month, plus one.
  const std::uint64_t before = y - 1;
  std::uint64_t day = before * 365 + before / 4 - before / 100 + before / 400 + static_cast<unsigned>(d);
  for (int k = 0; k + 1 < m; ++k) day += kDays[k] + (k == 1 && IsLeapYear(static_cast<unsigned>(y % 400)) ? 1 : 0);
  if (day > INT32_MAX) return false;
  out = static_cast<std::int32_t>(day);
  return true;
}

}  // namespace

std::int32_t TextToDayNumber(std::string_view text, char fracSep) {
  std::int32_t day;
  if (ServerDateToDayNumber(text, day)) return day;
  // Dates past 9999 read as the day numbers they are, as time stamps of those years read as
  // their fields: a date's 32-bit day number holds every date the server has.
  if (LateDateToDayNumber(text, day)) return day;
  MomentFields f;
  double date;
  // The moment's detour through a floating-point day count gives the same day for a date
  // alone; texts that are not a valid plain date take it, with its failures.
  if (ReadServerMoment(text, fracSep, f) && !f.hasTime && rt::TryEncodeDate(f.year, f.month, f.day, date))
    return rt::kDateDelta + static_cast<std::int32_t>(date);
  return DateTimeToDayNumber(TextToDateTime(text, fracSep));
}

void TextToSQLTimeStamp(std::string_view text, char fracSep, TSQLTimeStamp& out) {
  if (ServerTimeStamp(text, fracSep, out)) return;
  const MomentFields f = ReadMoment(text, fracSep);
  // No calendar check, but a field that does not fit the record would come out as another
  // value: refuse it rather than truncate.
  auto fits16 = [](int v) { return v >= 0 && v <= 0xFFFF; };
  if (f.year < INT16_MIN || f.year > INT16_MAX || !fits16(f.month) || !fits16(f.day) ||
      !fits16(f.hour) || !fits16(f.minute) || !fits16(f.second))
    InvalidDateTime(text);
  out = TSQLTimeStamp{};
  out.Year = static_cast<std::int16_t>(f.year);
  out.Month = static_cast<std::uint16_t>(f.month);
  out.Day = static_cast<std::uint16_t>(f.day);
  out.Hour = static_cast<std::uint16_t>(f.hour);
  out.Minute = static_cast<std::uint16_t>(f.minute);
  out.Second = static_cast<std::uint16_t>(f.second);
  out.Fractions = static_cast<std::uint32_t>(f.ms);
}

// Years are written with four digits: the server would read a two-digit year as one of
// this century.
std::string DateTimeToText(TDateTime moment, std::uint16_t fieldType) {
  const rt::DateTimeFields f = rt::DecodeDateTime(moment);
  if (fieldType == fldDATE) return rt::Format("%.4d%s%.2d%s%.2d", f.Year, "-", f.Month, "-", f.Day);
  if (fieldType == fldTIME) return rt::Format("%.2d%s%.2d%s%.2d", f.Hour, ":", f.Minute, ":", f.Second);
  return rt::Format("%.4d%s%.2d%s%.2d %.2d%s%.2d%s%.2d", f.Year, "-", f.Month, "-", f.Day, f.Hour,
                    ":", f.Minute, ":", f.Second);
}

std::string SQLTimeStampToText(const TSQLTimeStamp& ts, char fracSep) {
  const char sep[2] = {fracSep, 0};
  std::string text = rt::Format("%.4d%s%.2d%s%.2d %.2d%s%.2d%s%.2d%s%.3d", ts.Year, "-", ts.Month,
                                "-", ts.Day, ts.Hour, ":", ts.Minute, ":", ts.Second, sep,
                                ts.Fractions);
  // Fractions count milliseconds; a larger count written as more digits would be read as
  // a different fraction of a second.
  if (ts.Fractions > 999) InvalidDateTime(text);
  return text;
}

void ExchangeSeparators(std::string& text, char a, char b, char c, char d) {
  for (char& ch : text) {
    if (ch == a)
      ch = b;
    else if (ch == c)
      ch = d;
  }
}

std::string ArrayToText(const void* variantArray) {
  if (!variantArray) ElementNotSupported(rt::varEmpty);
  rt::TVarData v;
  std::memcpy(&v, variantArray, sizeof v);
  if (!(v.VType & rt::varArray)) ElementNotSupported(v.VType);
  std::string out;
  AppendArray(out, v, 0);
  return out;
}

std::vector<std::int32_t> TextToOidVector(std::string_view text) {
  std::vector<std::int32_t> out;
  if (text.empty()) return out;
  std::string_view rest = text;
  for (;;) {
    const std::size_t blank = rest.find(' ');
    const std::string_view part = rest.substr(0, blank);
    std::int32_t v;
    std::int64_t wide;
    if (rt::TryStrToInt(part, v)) {
      out.push_back(v);
    } else if (rt::TryStrToInt64(part, wide) && wide > 0 && wide <= UINT32_MAX) {
      // OIDs are unsigned: those past 2^31 keep their bit pattern.
      out.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(wide)));
    } else {
      const std::string reason = rt::Format(Res(res::SInvalidInteger), part);
      throw EVNXConvertError(rt::Format(Res(res::SInvalidOidVector), reason));
    }
    if (blank == std::string_view::npos) break;
    rest.remove_prefix(blank + 1);
  }
  return out;
}

std::int32_t TextToIntegerSlow(std::string_view text) { return rt::StrToInt(text); }

std::int64_t TextToInt64Slow(std::string_view text) { return rt::StrToInt64(text); }

double TextToFloatSlow(std::string_view text) {
  double v;
  if (rt::TryStrToFloat(text, v)) return v;
  const std::size_t dollar = text.find('$');
  if (dollar != std::string_view::npos) {
    // Money: the sign may stand before the currency symbol and groups are separated by
    // ",", which the server writes only here.
    const bool negative = Contains(text.substr(0, dollar), '-');
    std::string digits;
    for (char c : text.substr(dollar + 1))
      if (c != ',') digits += c;
    if (rt::TryStrToFloat(digits, v)) return negative ? -v : v;
  }
  throw rt::EConvertError(rt::Format(Res(res::SInvalidFloat), text));
}

std::string UnescapeBytea(const char* text) {
  if (!text) return {};
  std::size_t length = 0;
  unsigned char* raw = PQ.PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &length);
  if (!raw) return {};
  std::unique_ptr<unsigned char, decltype(PQ.PQfreemem)> guard(raw, PQ.PQfreemem);
  return std::string(reinterpret_cast<const char*>(raw), length);
}

std::int32_t DateTimeToDayNumber(TDateTime moment) {
  std::int32_t day, ms;
  rt::DateTimeToTimeStamp(moment, day, ms);
  return day;
}

std::int32_t DateTimeToMilliseconds(TDateTime moment) {
  std::int32_t day, ms;
  rt::DateTimeToTimeStamp(moment, day, ms);
  return ms;
}

}  // namespace vnx
