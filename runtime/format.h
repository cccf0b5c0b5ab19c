// Format-style text building in the manner of the runtime's Format: directives
// %[index:][-][width][.precision]type with the types d, u, x, s, f, g and e, and %% for a
// percent sign. Numbers are always written with "." as decimal separator; callers that
// want the process locale's separator format that piece themselves.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace vnx::rt {

struct FormatArg {
  enum class Kind { Int, UInt, Float, Text };
  Kind kind;
  std::int64_t i = 0;
  std::uint64_t u = 0;
  double f = 0;
  std::string_view s;

  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>, int> = 0>
  FormatArg(T v) : kind(Kind::Int), i(v) {}
  template <class T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> &&
                                          !std::is_same_v<T, bool>, int> = 0>
  FormatArg(T v) : kind(Kind::UInt), u(v) {}
  FormatArg(bool v) : kind(Kind::Int), i(v ? 1 : 0) {}
  FormatArg(double v) : kind(Kind::Float), f(v) {}
  FormatArg(float v) : kind(Kind::Float), f(v) {}
  FormatArg(std::string_view v) : kind(Kind::Text), s(v) {}
  FormatArg(const std::string& v) : kind(Kind::Text), s(v) {}
  FormatArg(const char* v) : kind(Kind::Text), s(v ? std::string_view(v) : std::string_view()) {}
};

// Fills the template; raises EConvertError when a directive and its argument do not fit.
std::string FormatList(std::string_view fmt, std::initializer_list<FormatArg> args);

template <class... Args>
std::string Format(std::string_view fmt, const Args&... args) {
  return FormatList(fmt, {FormatArg(args)...});
}

}  // namespace vnx::rt
