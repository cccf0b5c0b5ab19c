// The C library's printf as the reference that Format's float directives are checked against
// (by the unit tests and the fuzz target alike).
#pragma once

#include <cstdio>
#include <string>

namespace vnxtest {

// snprintf of one double with a "%.*" directive and its precision.
inline std::string PrintfText(const char* directive, int precision, double v) {
  const int n = std::snprintf(nullptr, 0, directive, precision, v);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), directive, precision, v);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

}  // namespace vnxtest
