// Format-style text building (see format.h).
#include "runtime/format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "runtime/exception.h"

namespace vnx::rt {
namespace {

[[noreturn]] void Invalid(std::string_view fmt) {
  throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

std::string Digits(std::uint64_t v, int base) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  std::string s(buf, r.ptr);
  if (base == 16)
    for (char& c : s)
      if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 32);
  return s;
}

// Precision of %d is the minimum number of digits, as in the runtime.
std::string Integer(bool negative, std::uint64_t magnitude, int precision, int base) {
  std::string d = Digits(magnitude, base);
  if (precision > 0 && static_cast<int>(d.size()) < precision)
    d.insert(0, static_cast<std::size_t>(precision) - d.size(), '0');
  return negative ? "-" + d : d;
}

// to_chars into a buffer that grows until the text fits: a precision of thousands of digits
// is legal, and a text cut short would leave bytes that were never written.
std::string ToChars(double v, std::chars_format format, int precision) {
  std::string s(64, '\0');
  for (;;) {
    const auto r = std::to_chars(s.data(), s.data() + s.size(), v, format, precision);
    if (r.ec == std::errc()) {
      s.resize(static_cast<std::size_t>(r.ptr - s.data()));
      return s;
    }
    s.resize(s.size() * 2);  // value_too_large is the only failure
  }
}

std::string Special(double v) {
  if (std::isnan(v)) return "NAN";
  return v < 0 ? "-INF" : "INF";
}

std::string Fixed(double v, int precision) {
  if (!std::isfinite(v)) return Special(v);
  return ToChars(v, std::chars_format::fixed, precision);
}

// Scientific and general forms write the exponent with a capital E.
std::string WithCapitalE(double v, std::chars_format format, int precision) {
  if (!std::isfinite(v)) return Special(v);
  std::string s = ToChars(v, format, precision);
  for (char& c : s)
    if (c == 'e') c = 'E';
  return s;
}

}  // namespace

std::string FormatList(std::string_view fmt, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(fmt.size() + 16);
  const FormatArg* argv = args.begin();
  const std::size_t argc = args.size();
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < fmt.size()) {
    char c = fmt[i];
    if (c != '%') {
      std::size_t j = fmt.find('%', i);
      if (j == std::string_view::npos) j = fmt.size();
      out.append(fmt.substr(i, j - i));
      i = j;
      continue;
    }
    ++i;
    if (i >= fmt.size()) Invalid(fmt);
    if (fmt[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    // [index:]
    auto readNumber = [&](int& value) {
      std::size_t start = i;
      value = 0;
      while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
        value = value * 10 + (fmt[i] - '0');
        if (value > 100000) Invalid(fmt);
        ++i;
      }
      return i > start;
    };
    std::size_t save = i;
    int number = 0;
    if (readNumber(number) && i < fmt.size() && fmt[i] == ':') {
      next = static_cast<std::size_t>(number);
      ++i;
    } else {
      i = save;
    }
    bool left = false;
    if (i < fmt.size() && fmt[i] == '-') {
      left = true;
      ++i;
    }
    int width = 0;
    readNumber(width);
    int precision = -1;
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      if (!readNumber(precision)) precision = 0;
    }
    if (i >= fmt.size()) Invalid(fmt);
    char type = static_cast<char>(fmt[i] | 0x20);
    ++i;
    if (next >= argc) Invalid(fmt);
    const FormatArg& a = argv[next++];
    std::string piece;
    switch (type) {
      case 'd':
        if (a.kind == FormatArg::Kind::Int)
          piece = Integer(a.i < 0, a.i < 0 ? 0 - static_cast<std::uint64_t>(a.i) : static_cast<std::uint64_t>(a.i),
                          precision, 10);
        else if (a.kind == FormatArg::Kind::UInt)
          piece = Integer(false, a.u, precision, 10);
        else
          Invalid(fmt);
        break;
      case 'u':
        if (a.kind == FormatArg::Kind::Int)
          piece = Integer(false, static_cast<std::uint64_t>(a.i), precision, 10);
        else if (a.kind == FormatArg::Kind::UInt)
          piece = Integer(false, a.u, precision, 10);
        else
          Invalid(fmt);
        break;
      case 'x':
        if (a.kind == FormatArg::Kind::Int)
          piece = Integer(false, static_cast<std::uint64_t>(a.i), precision, 16);
        else if (a.kind == FormatArg::Kind::UInt)
          piece = Integer(false, a.u, precision, 16);
        else
          Invalid(fmt);
        break;
      case 's':
        if (a.kind != FormatArg::Kind::Text) Invalid(fmt);
        piece.assign(a.s.substr(0, precision >= 0 ? static_cast<std::size_t>(precision) : a.s.size()));
        break;
      case 'f':
      case 'e':
      case 'g': {
        double v = a.kind == FormatArg::Kind::Float ? a.f
                   : a.kind == FormatArg::Kind::Int ? static_cast<double>(a.i)
                   : a.kind == FormatArg::Kind::UInt ? static_cast<double>(a.u)
                                                     : (Invalid(fmt), 0.0);
        if (type == 'f') piece = Fixed(v, precision < 0 ? 2 : precision);
        else if (type == 'e')
          piece = WithCapitalE(v, std::chars_format::scientific, precision < 0 ? 14 : (precision > 0 ? precision - 1 : 0));
        else
          piece = WithCapitalE(v, std::chars_format::general, precision <= 0 ? 15 : precision);
        break;
      }
      default:
        Invalid(fmt);
    }
    if (static_cast<int>(piece.size()) < width) {
      std::string pad(static_cast<std::size_t>(width) - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}

}  // namespace vnx::rt
