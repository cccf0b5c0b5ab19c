// Date and time encodings of the runtime support.
#include <gtest/gtest.h>

#include "runtime/datetime.h"
#include "runtime/exception.h"

namespace {

using namespace vnx::rt;

TEST(DateTime, DayNumbersOfTheEpoch) {
  double d;
  ASSERT_TRUE(TryEncodeDate(1899, 12, 30, d));
  EXPECT_EQ(d, 0);
  ASSERT_TRUE(TryEncodeDate(1900, 1, 1, d));
  EXPECT_EQ(d, 2);
  std::int32_t day, ms;
  DateTimeToTimeStamp(0, day, ms);
  EXPECT_EQ(day, 693594);
  DateTimeToTimeStamp(2, day, ms);
  EXPECT_EQ(day, 693596);
  int y, m, dd;
  DayNumberToDate(1, y, m, dd);
  EXPECT_EQ(y * 10000 + m * 100 + dd, 10101);
  DayNumberToDate(kMaxDayNumber, y, m, dd);
  EXPECT_EQ(y * 10000 + m * 100 + dd, 99991231);
  EXPECT_FALSE(TryEncodeDate(0, 12, 31, d));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, d));
  EXPECT_FALSE(TryEncodeDate(2003, 2, 29, d));
  EXPECT_TRUE(TryEncodeDate(2004, 2, 29, d));
}

TEST(DateTime, MomentsBeforeTheEpochCountTheTimeForward) {
  const double m = EncodeDateTime(1899, 12, 29, 6, 0, 0, 0);
  EXPECT_EQ(m, -1.25);
  const DateTimeFields f = DecodeDateTime(m);
  EXPECT_EQ(f.Day, 29);
  EXPECT_EQ(f.Hour, 6);
  const DateTimeFields g = DecodeDateTime(EncodeDateTime(1, 1, 1, 23, 59, 59, 999));
  EXPECT_EQ(g.Year, 1);
  EXPECT_EQ(g.MilliSecond, 999);
}

TEST(DateTime, EncodingFailuresCarryTheRuntimeTexts) {
  try {
    EncodeTime(24, 0, 0, 0);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument to time encode");
  }
  try {
    EncodeDateTime(2004, 13, 6, 7, 8, 9, 0);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "''2004-13-06 07:08:09.000'' is not a valid date and time");
  }
  try {
    TimeStampToDateTime(0, 5);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'0.5' is not a valid timestamp");
  }
  EXPECT_THROW(TimeStampToDateTime(1, -1), EConvertError);
  EXPECT_THROW(TimeStampToDateTime(1, kMSecsPerDay), EConvertError);  // would roll into the next day
  EXPECT_THROW(DecodeDateTime(1e12), EConvertError);
  EXPECT_THROW(DecodeDateTime(-700000), EConvertError);
}

TEST(DateTime, MillisecondsRoundTrip) {
  for (int ms : {0, 1, 499, 500, 999, 86399999}) {
    std::int32_t day, back;
    DateTimeToTimeStamp(TimeStampToDateTime(730000, ms), day, back);
    EXPECT_EQ(day, 730000);
    EXPECT_EQ(back, ms);
    DateTimeToTimeStamp(TimeStampToDateTime(1, ms), day, back);  // far before the epoch
    EXPECT_EQ(day, 1);
    EXPECT_EQ(back, ms);
  }
}

}  // namespace
