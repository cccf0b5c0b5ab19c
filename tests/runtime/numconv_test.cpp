// Locale-independent number reading and writing of the runtime support.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "runtime/exception.h"
#include "runtime/numconv.h"

namespace {

using namespace vnx::rt;

TEST(NumConv, IntegersAcceptSignsAndRejectEverythingElse) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("+2147483647"), INT32_MAX);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  for (const char* bad : {"", "-", "+", "+-1", " 1", "1 ", "1.0", "0x10", "2147483648", "12a"}) {
    std::int32_t v;
    EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
  }
  std::int64_t w;
  EXPECT_FALSE(TryStrToInt64("9223372036854775808", w));
  EXPECT_FALSE(TryStrToInt64("-9223372036854775809", w));
  EXPECT_FALSE(TryStrToInt64("9999999999999999999", w));    // 19 digits, past the range
  EXPECT_FALSE(TryStrToInt64("18446744073709551617", w));   // wraps in 64 unsigned bits
  EXPECT_FALSE(TryStrToInt64("-", w));
  // Leading zeros do not count towards the digits that fit.
  ASSERT_TRUE(TryStrToInt64("-000000000000000000000009223372036854775808", w));
  EXPECT_EQ(w, INT64_MIN);
  ASSERT_TRUE(TryStrToInt64("-0", w));
  EXPECT_EQ(w, 0);
  ASSERT_TRUE(TryStrToInt64("+00", w));
  EXPECT_EQ(w, 0);
  try {
    StrToInt("12a");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
  }
}

TEST(NumConv, FloatsReadTheServerNotation) {
  double v;
  ASSERT_TRUE(TryStrToFloat("1.5", v));
  EXPECT_EQ(v, 1.5);
  ASSERT_TRUE(TryStrToFloat("-1.5e-07", v));
  EXPECT_EQ(v, -1.5e-7);
  ASSERT_TRUE(TryStrToFloat("+2", v));
  EXPECT_EQ(v, 2);
  ASSERT_TRUE(TryStrToFloat("NaN", v));
  EXPECT_TRUE(std::isnan(v));
  ASSERT_TRUE(TryStrToFloat("-Infinity", v));
  EXPECT_EQ(v, -std::numeric_limits<double>::infinity());
  for (const char* bad : {"", "1,5", "1.5x", "--1", "1e999", " 1"}) EXPECT_FALSE(TryStrToFloat(bad, v)) << bad;
}

TEST(NumConv, FloatTextUsesPlainDigitsWhileTheySuffice) {
  EXPECT_EQ(FloatToText(0), "0");
  EXPECT_EQ(FloatToText(1.5), "1.5");
  EXPECT_EQ(FloatToText(-1.5), "-1.5");
  EXPECT_EQ(FloatToText(100), "100");
  EXPECT_EQ(FloatToText(0.1), "0.1");  // 15 digits hide the binary tail
  EXPECT_EQ(FloatToText(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatToText(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToText(1234567890123456.0), "1.23456789012346E15");
  EXPECT_EQ(FloatToText(0.00001), "0.00001");
  EXPECT_EQ(FloatToText(0.000001), "1E-6");
  EXPECT_EQ(FloatToText(1.5e20), "1.5E20");
  EXPECT_EQ(FloatToText(999999999999999.9), "1E15");  // rounding adds a digit
  EXPECT_EQ(FloatToText(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_EQ(FloatToText(-std::numeric_limits<double>::infinity()), "-Infinity");
  EXPECT_EQ(FloatToText(static_cast<double>(0.1f), 7), "0.1");
  // Rounding to 15 digits would carry these past the largest double.
  const double top = std::numeric_limits<double>::max();
  EXPECT_EQ(FloatToText(top), "1.7976931348623157E308");
  EXPECT_EQ(FloatToText(-top), "-1.7976931348623157E308");
  EXPECT_EQ(FloatToText(std::nextafter(top, 0.0)), "1.7976931348623155E308");
  EXPECT_EQ(FloatToText(1.797693134862314e308), "1.79769313486231E308");
}

TEST(NumConv, ProcessLocaleChangesNothing) {
  // scripts/setup.sh generates the locale: without it the test would prove nothing.
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing (scripts/setup.sh)";
  double v;
  EXPECT_TRUE(TryStrToFloat("1.5", v));
  EXPECT_EQ(v, 1.5);
  EXPECT_FALSE(TryStrToFloat("1,5", v));
  EXPECT_EQ(FloatToText(1.5), "1.5");
  std::setlocale(LC_ALL, "C");
}

}  // namespace
