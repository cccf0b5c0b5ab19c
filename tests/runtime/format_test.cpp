// Format directives with precisions of any size, against the C library's printf.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "runtime/format.h"
#include "tests/harness/printf_text.h"

namespace {

using vnx::rt::Format;
using vnxtest::PrintfText;

TEST(Format, FloatDirectivesOfAnyPrecision) {
  const double values[] = {0.0, 1.5, -2.0 / 3, 1e-300, 123456.789, std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::denorm_min()};
  for (double v : values) {
    for (int precision : {1, 15, 63, 64, 100, 400, 1000}) {
      const std::string p = "%." + std::to_string(precision);
      // "%.Ne" writes N significant digits, printf's "%.*E" that many after the point.
      EXPECT_EQ(Format(p + "e", v), PrintfText("%.*E", precision - 1, v)) << p << "e of " << v;
      EXPECT_EQ(Format(p + "f", v), PrintfText("%.*f", precision, v)) << p << "f of " << v;
      EXPECT_EQ(Format(p + "g", v), PrintfText("%.*G", precision, v)) << p << "g of " << v;
    }
  }
}

}  // namespace
