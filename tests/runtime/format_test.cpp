// Format directives with precisions of any size, against the C library's printf.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "runtime/format.h"

namespace {

using vnx::rt::Format;

std::string Printf(const char* directive, int precision, double v) {
  const int n = std::snprintf(nullptr, 0, directive, precision, v);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), directive, precision, v);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

TEST(Format, FloatDirectivesOfAnyPrecision) {
  const double values[] = {0.0, 1.5, -2.0 / 3, 1e-300, 123456.789, std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min()};
  for (double v : values) {
    for (int precision : {1, 15, 63, 64, 100, 400, 1000}) {
      const std::string p = "%." + std::to_string(precision);
      // "%.Ne" writes N significant digits, printf's "%.*E" that many after the point.
      EXPECT_EQ(Format(p + "e", v), Printf("%.*E", precision - 1, v)) << p << "e of " << v;
      EXPECT_EQ(Format(p + "f", v), Printf("%.*f", precision, v)) << p << "f of " << v;
      EXPECT_EQ(Format(p + "g", v), Printf("%.*G", precision, v)) << p << "g of " << v;
    }
  }
}

}  // namespace
