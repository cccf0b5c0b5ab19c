// Value conversion: server texts to values and parameter values to text.
#include <gtest/gtest.h>

#include <cmath>

#include <clocale>
#include <cstring>
#include <functional>

#include "common/conversion.h"
#include "common/errors.h"
#include "libpq/libpq_api.h"
#include "runtime/exception.h"
#include "runtime/variant.h"

namespace {

using namespace vnx;

template <class E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

TEST(Conversion, SplitTextHonoursBackslashesAndKeepsEmptyElements) {
  EXPECT_EQ(SplitText("a\\ b c", ' '), (std::vector<std::string>{"a b", "c"}));
  EXPECT_TRUE(SplitText("", ' ').empty());
  EXPECT_EQ(SplitText("a,,b", ','), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitText("a,", ','), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitText("a\\", ','), (std::vector<std::string>{"a"}));  // a trailing backslash is dropped
}

TEST(Conversion, Booleans) {
  EXPECT_TRUE(TextToBoolean("t"));
  EXPECT_FALSE(TextToBoolean("f"));
  EXPECT_EQ(MessageOf<rt::EDatabaseError>([] { TextToBoolean("true"); }), "Invalid boolean value [true].");
  EXPECT_THROW(TextToBoolean("T"), rt::EDatabaseError);
  EXPECT_EQ(BooleanToText(true), "true");
  EXPECT_EQ(BooleanToText(false), "false");
}

TSQLTimeStamp Stamp(std::string_view text) {
  TSQLTimeStamp ts;
  std::memset(&ts, 0xAB, sizeof ts);  // the reading must set every field
  TextToSQLTimeStamp(text, '.', ts);
  return ts;
}

std::string Fields(const TSQLTimeStamp& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d/%u/%u %u:%u:%u %u", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                t.Second, static_cast<unsigned>(t.Fractions));
  return buf;
}

TEST(Conversion, TimeStampTexts) {
  EXPECT_EQ(Fields(Stamp("2004-05-06 07:08:09.5")), "2004/5/6 7:8:9 500");
  EXPECT_EQ(Fields(Stamp("2004-05-06T07:08:09")), "2004/5/6 7:8:9 0");
  EXPECT_EQ(Fields(Stamp("2004-05-06 07:08:09-03")), "2004/5/6 7:8:9 0");
  EXPECT_EQ(Fields(Stamp("2004-05-06 07:08:09.123456+05:30")), "2004/5/6 7:8:9 123");
  EXPECT_EQ(Fields(Stamp("2004-05-06 07:08:09.05")), "2004/5/6 7:8:9 50");
  EXPECT_EQ(Fields(Stamp("2004-05-06 07:08:09.5+02")), "2004/5/6 7:8:9 500");
  // Characters just below "0" at a digit's place are not digits.
  for (const char* bad : {"2004-05-06 07:08:0/", "2,04-05-06 07:08:09", "2004-05-06 07:0.:09"})
    EXPECT_ANY_THROW(Stamp(bad)) << bad;
  EXPECT_EQ(Fields(Stamp("07:08:09")), "0/0/0 7:8:9 0");
  EXPECT_EQ(Fields(Stamp("2004-05-06")), "2004/5/6 0:0:0 0");
  EXPECT_EQ(Fields(Stamp("2004-05-06 24:00:00")), "2004/5/6 24:0:0 0");  // no range check here
  // The server's own forms and the rest read alike, whatever the fraction separator.
  TSQLTimeStamp ts{};
  TextToSQLTimeStamp("2004-05-06 07:08:09,25", ',', ts);
  EXPECT_EQ(Fields(ts), "2004/5/6 7:8:9 250");
  EXPECT_THROW(TextToSQLTimeStamp("2004-05-06 07:08:09.25", ',', ts), rt::EConvertError);
  EXPECT_EQ(Fields(Stamp("2004-05-06 07:08:09.")), "2004/5/6 7:8:9 0");
  EXPECT_EQ(Fields(Stamp("2004-05-06T07:08:09.0001")), "2004/5/6 7:8:9 0");
  EXPECT_EQ(Fields(Stamp("12004-05-06 7:8:9")), "12004/5/6 7:8:9 0");
  EXPECT_EQ(Fields(Stamp("2004-5-6")), "2004/5/6 0:0:0 0");
  EXPECT_THROW(Stamp("2004-05-06 07:08:09.5x"), rt::EConvertError);
}

TEST(Conversion, DateTimeTextsOfAnotherShapeAreRefused) {
  const char* invalid[] = {"2004-05-06 07:08:09 BC", "infinity", "", "2004-05 07:08:09", "07:08",
                           "2004-05-06 07:08", "-infinity", "2004-05-06  07:08:09", "2004-05-06 -03"};
  for (const char* t : invalid) {
    EXPECT_EQ(MessageOf<EVNXConvertError>([t] { TextToDateTime(t, '.'); }),
              std::string("Invalid Date/Time value [") + t + "]") << t;
    EXPECT_THROW(Stamp(t), EVNXConvertError) << t;
  }
  // A leading minus leaves the first date field empty.
  EXPECT_EQ(MessageOf<rt::EConvertError>([] { TextToDateTime("-2004-05-06", '.'); }),
            "'' is not a valid integer value");
  EXPECT_THROW(TextToDateTime("2004-05-06 07:08:x9", '.'), rt::EConvertError);
  // Fields that the record cannot hold are refused, not truncated.
  EXPECT_THROW(Stamp("40000-01-01"), EVNXConvertError);
  EXPECT_EQ(Stamp("32767-01-01").Year, 32767);
}

TEST(Conversion, DateTimeMoments) {
  const double m = TextToDateTime("2004-05-06 07:08:09.5", '.');
  EXPECT_EQ(DateTimeToDayNumber(m), 731707);
  EXPECT_EQ(DateTimeToMilliseconds(m), ((7 * 60 + 8) * 60 + 9) * 1000 + 500);
  EXPECT_EQ(DateTimeToText(m, fldDATE), "2004-05-06");
  EXPECT_EQ(DateTimeToText(m, fldTIME), "07:08:09");
  EXPECT_EQ(DateTimeToText(m, fldDATETIME), "2004-05-06 07:08:09");
  EXPECT_EQ(DateTimeToText(TextToDateTime("2004-05-06", '.'), fldTIMESTAMP), "2004-05-06 00:00:00");
  EXPECT_EQ(DateTimeToDayNumber(TextToDateTime("1900-01-01", '.')), 693596);
  const double t = TextToDateTime("07:08:09", '.');
  EXPECT_LT(t, 1);
  EXPECT_EQ(DateTimeToMilliseconds(t), ((7 * 60 + 8) * 60 + 9) * 1000);
  EXPECT_EQ(DateTimeToText(TextToDateTime("0005-01-02", '.'), fldDATE), "0005-01-02");
  EXPECT_THROW(TextToDateTime("24:00:00", '.'), rt::EConvertError);
  EXPECT_THROW(TextToDateTime("2004-02-30", '.'), rt::EConvertError);
}

TEST(Conversion, DayNumbersOfDateTexts) {
  // The direct reading of a date agrees with the reading through a moment.
  for (const char* t : {"2004-05-06", "1900-01-01", "0001-01-01", "9999-12-31", "1899-12-30", "1899-12-29",
                        "2004-05-06 07:08:09", "2004-5-6", "2000-02-29"})
    EXPECT_EQ(TextToDayNumber(t, '.'), DateTimeToDayNumber(TextToDateTime(t, '.'))) << t;
  EXPECT_EQ(TextToDayNumber("2004-05-06", '.'), 731707);
  EXPECT_EQ(TextToDayNumber("0001-01-01", '.'), 1);
  EXPECT_EQ(TextToDayNumber("10000-01-01", '.'), TextToDayNumber("9999-12-31", '.') + 1);
  EXPECT_EQ(TextToDayNumber("5874897-12-31", '.'), 2145762068);  // the server's last date
  EXPECT_EQ(TextToDayNumber("10400-03-01", '.') - TextToDayNumber("10400-02-28", '.'), 2);
  EXPECT_THROW(TextToDayNumber("2004-02-30", '.'), rt::EConvertError);
  EXPECT_THROW(TextToDayNumber("0000-01-01", '.'), rt::EConvertError);
  EXPECT_THROW(TextToDayNumber("10100-02-29", '.'), rt::EConvertError);
  for (const char* bad : {"2004-05-0/", "200.-05-06", "2004-0+-06"}) EXPECT_ANY_THROW(TextToDayNumber(bad, '.')) << bad;
  EXPECT_THROW(TextToDayNumber("infinity", '.'), EVNXConvertError);
}

TEST(Conversion, TimeStampsAsText) {
  TSQLTimeStamp ts{2004, 5, 6, 7, 8, 9, 5};
  EXPECT_EQ(SQLTimeStampToText(ts, '.'), "2004-05-06 07:08:09.005");
  EXPECT_EQ(Stamp(SQLTimeStampToText(ts, '.')).Fractions, 5u);
  ts.Fractions = 50;
  EXPECT_EQ(SQLTimeStampToText(ts, ','), "2004-05-06 07:08:09,050");
  ts.Fractions = 1000;
  EXPECT_THROW(SQLTimeStampToText(ts, '.'), EVNXConvertError);
}

TEST(Conversion, ExchangeSeparatorsSwapsBothWays) {
  std::string s = "1,234.5";
  ExchangeSeparators(s, '.', ',', ',', '.');
  EXPECT_EQ(s, "1.234,5");
}

TEST(Conversion, OidVectors) {
  EXPECT_EQ(TextToOidVector("23 25 1043"), (std::vector<std::int32_t>{23, 25, 1043}));
  EXPECT_TRUE(TextToOidVector("").empty());
  EXPECT_EQ(TextToOidVector("4294967295")[0], -1);  // unsigned OIDs keep their bits
  EXPECT_EQ(MessageOf<EVNXConvertError>([] { TextToOidVector("23 x 25"); }),
            "Invalid value in OidVector ['x' is not a valid integer value]");
  EXPECT_THROW(TextToOidVector("23  25"), EVNXConvertError);
}

TEST(Conversion, NumberReadings) {
  EXPECT_EQ(TextToInteger("-42"), -42);
  EXPECT_EQ(TextToInt64("-9223372036854775808"), INT64_MIN);
  // Eight digits and more are read eight at a time: every place is checked.
  EXPECT_EQ(TextToInteger("12345678"), 12345678);
  EXPECT_EQ(TextToInteger("-987654321"), -987654321);
  EXPECT_EQ(TextToInt64("200000600000"), 200000600000);
  EXPECT_EQ(TextToInt64("999999999999999999"), 999999999999999999);
  for (const char* bad : {"1234567/", "/2345678", "12345678:", "1234:678", "123456789012345/6", "1234 678"})
    EXPECT_THROW(TextToInt64(bad), rt::EConvertError) << bad;
  EXPECT_EQ(TextToFloat("+1.5"), 1.5);
  EXPECT_TRUE(std::isinf(TextToFloat("Infinity")));
  EXPECT_EQ(MessageOf<rt::EConvertError>([] { TextToInteger("4.2"); }), "'4.2' is not a valid integer value");
  EXPECT_EQ(TextToFloat("1.5"), 1.5);
  EXPECT_EQ(TextToFloat("$1.50"), 1.5);
  EXPECT_EQ(TextToFloat("-$1.50"), -1.5);
  EXPECT_EQ(TextToFloat("$-1.50"), -1.5);
  EXPECT_EQ(TextToFloat("$1,234.50"), 1234.5);
  EXPECT_EQ(TextToFloat("-$1,234,567.89"), -1234567.89);
  EXPECT_EQ(MessageOf<rt::EConvertError>([] { TextToFloat("1,5"); }), "'1,5' is not a valid floating point value");
  EXPECT_THROW(TextToFloat("$"), rt::EConvertError);
  EXPECT_THROW(TextToFloat("$x"), rt::EConvertError);
  const TBcd b = TextToBcd("123.450");
  EXPECT_EQ(b.SignSpecialPlaces & 63, 3);
}

TEST(Conversion, ReadingsIgnoreTheProcessLocale) {
  // scripts/setup.sh generates the locale: without it the test would prove nothing.
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing (scripts/setup.sh)";
  EXPECT_EQ(TextToFloat("1.5"), 1.5);
  EXPECT_EQ(TextToFloat("$1,234.50"), 1234.5);
  EXPECT_EQ(TextToBcd("1.5").SignSpecialPlaces, 1);
  std::setlocale(LC_ALL, "C");
}

TEST(Conversion, ByteaReading) {
  LoadLibpq(VNX_TEST_LIBPQ);
  EXPECT_EQ(UnescapeBytea("\\x610062"), std::string("a\0b", 3));
  EXPECT_EQ(UnescapeBytea("a\\000b\\\\"), std::string("a\0b\\", 4));
  EXPECT_EQ(UnescapeBytea(""), "");
  EXPECT_EQ(UnescapeBytea(nullptr), "");
}

// Variant arrays as an application lays them out.
struct VariantArray {
  rt::TVarData variant{};
  // Room for the descriptor and its one bound.
  alignas(rt::TVarArray) unsigned char descriptor[sizeof(rt::TVarArray) + 8]{};
  std::vector<rt::TVarData> elements;

  explicit VariantArray(std::vector<rt::TVarData> items, std::int32_t lowBound = 0)
      : elements(std::move(items)) {
    auto* a = reinterpret_cast<rt::TVarArray*>(descriptor);
    a->DimCount = 1;
    a->ElementSize = sizeof(rt::TVarData);
    a->Data = elements.data();
    a->Bounds[0].ElementCount = static_cast<std::int32_t>(elements.size());
    a->Bounds[0].LowBound = lowBound;
    variant.VType = rt::varArray | rt::varVariant;
    variant.VArray = a;
  }
  rt::TVarArray* Array() { return reinterpret_cast<rt::TVarArray*>(descriptor); }
};

rt::TVarData Int(std::int32_t v) {
  rt::TVarData d{};
  d.VType = rt::varInteger;
  d.VInteger = v;
  return d;
}

rt::TVarData Str(const char* s) {
  rt::TVarData d{};
  d.VType = rt::varString;
  d.VString = s;
  return d;
}

TEST(Conversion, ArraysOfIntegersAndStrings) {
  VariantArray ints({Int(1), Int(2), Int(3)}, 5);  // the low bound plays no part
  EXPECT_EQ(ArrayToText(&ints.variant), "{1, 2, 3}");
  VariantArray one({Int(-7)});
  EXPECT_EQ(ArrayToText(&one.variant), "{-7}");
  VariantArray strs({Str("a"), Str("b")});
  EXPECT_EQ(ArrayToText(&strs.variant), "{\"a\", \"b\"}");
  VariantArray empty({});
  EXPECT_EQ(ArrayToText(&empty.variant), "{}");
  // Quotes and backslashes inside an element cannot end it early.
  VariantArray tricky({Str("say \"hi\""), Str("back\\slash"), Str(nullptr)});
  EXPECT_EQ(ArrayToText(&tricky.variant), "{\"say \\\"hi\\\"\", \"back\\\\slash\", \"\"}");
}

TEST(Conversion, ArraysOfOtherKinds) {
  rt::TVarData b{}, dbl{}, cur{}, nul{}, byte{}, i64{}, wide{}, date{}, sgl{};
  b.VType = rt::varBoolean;
  b.VBoolean = -1;
  dbl.VType = rt::varDouble;
  dbl.VDouble = -2.5;
  cur.VType = rt::varCurrency;
  cur.VCurrency = -12345;  // -1.2345
  nul.VType = rt::varNull;
  byte.VType = rt::varByte;
  byte.VByte = 200;
  i64.VType = rt::varInt64;
  i64.VInt64 = INT64_MIN;
  static const char16_t kWide[] = u"\u00e9\"";
  wide.VType = rt::varOleStr;
  wide.VOleStr = kWide;
  date.VType = rt::varDate;
  date.VDate = 38113.25;  // 6 May 2004 06:00
  sgl.VType = rt::varSingle;
  sgl.VSingle = 0.1f;
  std::setlocale(LC_ALL, "C");  // wide strings go to Latin-1
  VariantArray mixed({b, dbl, cur, nul, byte, i64, wide, date, sgl});
  EXPECT_EQ(ArrayToText(&mixed.variant),
            "{true, -2.5, -1.2345, NULL, 200, -9223372036854775808, \"\xE9\\\"\", "
            "\"2004-05-06 06:00:00\", 0.1}");

  VariantArray inner({Int(1), Int(2)});
  VariantArray outer({inner.variant, inner.variant});
  EXPECT_EQ(ArrayToText(&outer.variant), "{{1, 2}, {1, 2}}");

  // An array of plain integers rather than of variants.
  std::int32_t raw[] = {4, 5};
  VariantArray typed({});
  typed.Array()->ElementSize = 4;
  typed.Array()->Data = raw;
  typed.Array()->Bounds[0].ElementCount = 2;
  typed.variant.VType = rt::varArray | rt::varInteger;
  EXPECT_EQ(ArrayToText(&typed.variant), "{4, 5}");
}

TEST(Conversion, ArraysThatCannotBeWritten) {
  rt::TVarData obj{};
  obj.VType = rt::varDispatch;
  VariantArray bad({Int(1), obj});
  EXPECT_EQ(MessageOf<EVNXTypeError>([&] { ArrayToText(&bad.variant); }),
            "Array elements of variant type 9 are not supported");
  VariantArray twoDims({Int(1)});
  twoDims.Array()->DimCount = 2;
  EXPECT_THROW(ArrayToText(&twoDims.variant), EVNXTypeError);
  rt::TVarData notArray = Int(3);
  EXPECT_THROW(ArrayToText(&notArray), EVNXTypeError);
  EXPECT_THROW(ArrayToText(nullptr), EVNXTypeError);
  VariantArray small({Int(1)});
  small.Array()->ElementSize = 4;  // too small for variants
  EXPECT_THROW(ArrayToText(&small.variant), EVNXTypeError);
  // A by-reference variant that refers to itself.
  rt::TVarData self{};
  self.VType = rt::varByRef | rt::varVariant;
  self.VPointer = &self;
  VariantArray loop({self});
  EXPECT_EQ(MessageOf<EVNXTypeError>([&] { ArrayToText(&loop.variant); }),
            "Array parameter nests arrays or variant references more than 32 levels deep");
}

}  // namespace
