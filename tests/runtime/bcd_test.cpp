// BCD records to and from decimal text.
#include <gtest/gtest.h>

#include <string>

#include "runtime/bcd.h"
#include "runtime/exception.h"

namespace {

using vnx::TBcd;
using namespace vnx::rt;

std::string Nibbles(const TBcd& b) {
  std::string s;
  for (int k = 0; k < b.Precision; ++k) s += static_cast<char>('0' + (k % 2 ? b.Fraction[k / 2] & 15 : b.Fraction[k / 2] >> 4));
  return s;
}

TEST(Bcd, PrecisionAndScaleComeFromTheText) {
  TBcd b = TextToBcd("123.450");
  EXPECT_EQ(b.Precision, 6);
  EXPECT_EQ(b.SignSpecialPlaces, 3);
  EXPECT_EQ(b.Fraction[0], 0x12);
  EXPECT_EQ(b.Fraction[1], 0x34);
  EXPECT_EQ(b.Fraction[2], 0x50);
  EXPECT_EQ(b.Fraction[3], 0);

  b = TextToBcd("-0012.5");
  EXPECT_EQ(b.Precision, 3);
  EXPECT_EQ(b.SignSpecialPlaces, 0x80 | 1);
  EXPECT_EQ(Nibbles(b), "125");

  b = TextToBcd("0");
  EXPECT_EQ(b.Precision, 1);
  EXPECT_EQ(b.SignSpecialPlaces, 0);
  b = TextToBcd("-0.00");  // zero carries no sign
  EXPECT_EQ(b.Precision, 2);
  EXPECT_EQ(b.SignSpecialPlaces, 2);
  b = TextToBcd("0.5");
  EXPECT_EQ(b.Precision, 1);
  EXPECT_EQ(Nibbles(b), "5");
}

TEST(Bcd, TextThatIsNotADecimalFails) {
  for (const char* bad : {"", "-", ".", "1.2.3", "1e5", "NaN", " 1", "1,5", "abc", "12/4", "1-2", "12.3+", "123.4*5"}) {
    TBcd b;
    EXPECT_FALSE(TryTextToBcd(bad, b)) << bad;
  }
  try {
    TextToBcd("NaN");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "NaN is not a valid BCD value");
  }
}

TEST(Bcd, SixtyFourDigitsAreTheLimit) {
  const std::string d64(64, '9');
  TBcd b = TextToBcd(d64);
  EXPECT_EQ(b.Precision, 64);
  EXPECT_EQ(BcdToText(b), d64);
  EXPECT_THROW(TextToBcd("1" + d64), EConvertError);  // 65 integer digits
  EXPECT_THROW(TextToBcd(d64 + ".9"), EConvertError); // rounds up to 65 digits

  // A fraction past 64 digits is rounded, half away from zero.
  b = TextToBcd("1." + std::string(63, '0') + "5");
  EXPECT_EQ(b.Precision, 64);
  EXPECT_EQ(BcdToText(b), "1." + std::string(62, '0') + "1");
  b = TextToBcd("-0." + std::string(70, '3'));
  EXPECT_EQ(b.SignSpecialPlaces & 63, 63);
  EXPECT_EQ(BcdToText(b), "-0." + std::string(63, '3'));
  b = TextToBcd("9." + std::string(70, '9'));  // the carry reaches the integer part
  EXPECT_EQ(BcdToText(b), "10." + std::string(62, '0'));
  b = TextToBcd("0." + std::string(63, '0') + "9");
  EXPECT_EQ(BcdToText(b), "0." + std::string(62, '0') + "1");
}

TEST(Bcd, RecordsWriteAsPlainDecimals) {
  for (const char* t : {"0", "1", "-1", "123.450", "-0.001", "98765432109876543210.0123456789"})
    EXPECT_EQ(BcdToText(TextToBcd(t)), t);
  TBcd b{};
  b.Precision = 4;
  b.SignSpecialPlaces = 0x80 | 2;
  b.Fraction[0] = 0x00;
  b.Fraction[1] = 0x75;
  EXPECT_EQ(BcdToText(b), "-0.75");
  b.Precision = 65;
  EXPECT_THROW(BcdToText(b), EConvertError);
  b.Precision = 2;
  b.SignSpecialPlaces = 3;  // more decimals than digits
  EXPECT_THROW(BcdToText(b), EConvertError);
  b.SignSpecialPlaces = 0;
  b.Fraction[0] = 0x1A;  // not a digit
  EXPECT_THROW(BcdToText(b), EConvertError);
}

}  // namespace
