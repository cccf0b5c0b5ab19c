// Result cursors against the server: a table with a column of every mapped type, read
// through every getter, described with default options and with the options that change
// the descriptions; and the guards around column numbers and conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <cstring>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLCursorVtbl;

namespace {

constexpr const char* kCreateAllTypes = R"SQL(
set role vnx83;
drop table if exists public.alltypes;
create table public.alltypes (
  id serial primary key, c_int2 int2, c_int4 int4, c_int8 int8, c_float4 float4, c_float8 float8,
  c_num numeric(10,2), c_numfree numeric, c_money money, c_bool bool, c_char "char",
  c_bpchar char(5), c_varchar varchar(30), c_varfree varchar, c_text text, c_bytea bytea,
  c_date date, c_time time, c_timetz timetz, c_ts timestamp, c_tstz timestamptz,
  c_interval interval, c_arr int4[], c_notnull int4 not null default 0, c_lo lo);
insert into public.alltypes (c_int2, c_int4, c_int8, c_float4, c_float8, c_num, c_numfree, c_money,
  c_bool, c_char, c_bpchar, c_varchar, c_varfree, c_text, c_bytea, c_date, c_time, c_timetz, c_ts,
  c_tstz, c_interval, c_arr, c_notnull, c_lo)
values (-123, 2147483647, -9223372036854775808, 1.5, 2.25e100, 12345678.91, -0.000123, 1234.50,
  true, 'x', 'ab', 'O''Brien', 'unbounded varchar', 'hello text', decode('00ff41', 'hex'), '2004-05-06',
  '07:08:09.5', '07:08:09+05', '2004-05-06 07:08:09.05', '2004-05-06 07:08:09+00',
  '1 day 02:03:04', '{1,2,3}', 5,
  lo_from_bytea(0, convert_to(repeat('0123456789', 10000), 'SQL_ASCII'))::oid);
insert into public.alltypes (c_notnull) values (7);
)SQL";

class CursorLive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (TestServer::Get().port.empty()) return;
    TestServer::Get().Psql(std::string("set standard_conforming_strings = off;\n") + kCreateAllTypes);
  }
  void SetUp() override { VNX_REQUIRE_SERVER(); }

  static Cursor Select(const LiveSession& s, const std::string& where = "order by id") {
    return s.Query("select * from public.alltypes " + where);
  }
};

struct Described {
  std::uint16_t type, subType;
  std::uint32_t length;
  std::int16_t precision, scale;
  std::int32_t searchable;
};

Described Describe(const Cursor& c, std::uint16_t col) {
  Described d{};
  char name[128];
  c.call(&ISQLCursorVtbl::getColumnName, col, name);  // so that int8 reports itself
  c.call(&ISQLCursorVtbl::getColumnType, col, &d.type, &d.subType);
  c.call(&ISQLCursorVtbl::getColumnLength, col, &d.length);
  c.call(&ISQLCursorVtbl::getColumnPrecision, col, &d.precision);
  c.call(&ISQLCursorVtbl::getColumnScale, col, &d.scale);
  c.call(&ISQLCursorVtbl::isSearchable, col, &d.searchable);
  return d;
}

TEST_F(CursorLive, DescribesEveryMappedTypeWithDefaultOptions) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = Select(s);
  std::uint16_t count = 0;
  ASSERT_EQ(c.call(&ISQLCursorVtbl::getColumnCount, &count), 0);
  ASSERT_EQ(count, 25);
  using namespace vnx;
  const Described expected[] = {
      {fldINT32, 0, 4, 0, 0, -1},             {fldINT16, 0, 2, 0, 0, -1},
      {fldINT32, 0, 4, 0, 0, -1},             {fldINT64, 0, 8, 0, 0, -1},
      {fldFLOAT, 0, 4, 0, 0, -1},             {fldFLOAT, 0, 8, 0, 0, -1},
      {fldFMTBCD, 0, 0, 10, 2, -1},           {fldFMTBCD, 0, 0, 38, 38, -1},
      {fldFLOAT, fldstMONEY, 8, 0, 0, -1},    {fldBOOL, 0, 1, 0, 0, -1},
      {fldZSTRING, fldstFIXED, 4, 4, 0, -1},  {fldZSTRING, fldstFIXED, 5, 5, 0, -1},
      {fldZSTRING, 0, 30, 30, 0, -1},         {fldBLOB, fldstMEMO, 0, 0, 0, 0},
      {fldBLOB, fldstMEMO, 0, 0, 0, 0},       {fldBLOB, fldstGRAPHIC, 0, 0, 0, 0},
      {fldDATE, 0, 4, 0, 0, -1},              {fldTIME, 0, 8, 0, 0, -1},
      {fldTIME, 0, 12, 0, 0, 0},              {fldDATETIME, 0, 8, 0, 0, -1},
      {fldDATETIME, 0, 8, 0, 0, 0},           {fldZSTRING, 0, 100, 100, 0, -1},
      {fldZSTRING, 0, 0, 32767, 0, 0},        {fldINT32, 0, 4, 0, 0, -1},
      {fldBLOB, fldstBINARY, 0, 0, 0, 0},
  };
  for (std::uint16_t col = 1; col <= count; ++col) {
    Described d = Describe(c, col);
    const Described& e = expected[col - 1];
    EXPECT_EQ(d.type, e.type) << "column " << col;
    EXPECT_EQ(d.subType, e.subType) << "column " << col;
    EXPECT_EQ(d.length, e.length) << "column " << col;
    EXPECT_EQ(d.precision, e.precision) << "column " << col;
    EXPECT_EQ(d.scale, e.scale) << "column " << col;
    EXPECT_EQ(d.searchable, e.searchable) << "column " << col;
  }
  // Asked for without its name first, the int8 column is a 32-bit one.
  std::uint16_t type = 0, sub = 0;
  c.call(&ISQLCursorVtbl::getColumnType, std::uint16_t(4), &type, &sub);
  EXPECT_EQ(type, vnx::fldINT32);
  char name[64];
  c.call(&ISQLCursorVtbl::getColumnName, std::uint16_t(3), name);
  c.call(&ISQLCursorVtbl::getColumnType, std::uint16_t(4), &type, &sub);
  EXPECT_EQ(type, vnx::fldINT32);
  std::int32_t flag = 0;
  c.call(&ISQLCursorVtbl::isBlobSizeExact, std::uint16_t(16), &flag);
  EXPECT_EQ(flag, -1);
}

TEST_F(CursorLive, ReadsEveryValueThroughItsGetter) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = Select(s);
  std::int32_t blank = 1;
  // Before the first row every value reads as NULL.
  std::int32_t before = 7;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, std::uint16_t(3), &before, &blank), 0);
  EXPECT_EQ(blank, -1);
  EXPECT_EQ(before, 7);

  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  std::int16_t i16 = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getShort, std::uint16_t(2), &i16, &blank), 0);
  EXPECT_EQ(blank, 0);
  EXPECT_EQ(i16, -123);
  std::int32_t i32 = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, std::uint16_t(3), &i32, &blank), 0);
  EXPECT_EQ(i32, 2147483647);
  std::int64_t i64 = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, std::uint16_t(4), &i64, &blank), 0);
  EXPECT_EQ(i64, INT64_MIN);
  double d = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getDouble, std::uint16_t(5), &d, &blank), 0);
  EXPECT_EQ(d, 1.5);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getDouble, std::uint16_t(6), &d, &blank), 0);
  EXPECT_EQ(d, 2.25e100);

  vnx::TBcd bcd{};
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBcd, std::uint16_t(7), &bcd, &blank), 0);
  EXPECT_EQ(bcd.Precision, 10);
  EXPECT_EQ(bcd.SignSpecialPlaces, 2);
  const std::uint8_t digits[] = {0x12, 0x34, 0x56, 0x78, 0x91};
  EXPECT_EQ(std::memcmp(bcd.Fraction, digits, sizeof digits), 0);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBcd, std::uint16_t(8), &bcd, &blank), 0);
  EXPECT_EQ(bcd.SignSpecialPlaces & 0x80, 0x80);  // negative
  EXPECT_EQ(bcd.SignSpecialPlaces & 0x3F, 6);     // -0.000123 has six decimal places

  EXPECT_EQ(c.call(&ISQLCursorVtbl::getDouble, std::uint16_t(9), &d, &blank), 0);  // $1,234.50
  EXPECT_EQ(d, 1234.5);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getShort, std::uint16_t(10), &i16, &blank), 0);
  EXPECT_EQ(i16, 1);

  char text[64];
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(11), text, &blank), 0);
  EXPECT_STREQ(text, "x");
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(12), text, &blank), 0);
  EXPECT_STREQ(text, "ab   ");  // padding kept without TrimChar
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(13), text, &blank), 0);
  EXPECT_STREQ(text, "O'Brien");
  EXPECT_EQ(ValueAsText(c, 14), "unbounded varchar");
  EXPECT_EQ(ValueAsText(c, 15), "hello text");
  EXPECT_EQ(ValueAsText(c, 16), std::string("\0\xFF" "A", 3));

  std::int32_t day = 0, ms = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getDate, std::uint16_t(17), &day, &blank), 0);
  EXPECT_EQ(day, 731707);  // 6 May 2004
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getTime, std::uint16_t(18), &ms, &blank), 0);
  EXPECT_EQ(ms, ((7 * 60 + 8) * 60 + 9) * 1000 + 500);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getTime, std::uint16_t(19), &ms, &blank), 0);
  EXPECT_EQ(ms, ((7 * 60 + 8) * 60 + 9) * 1000);  // the zone offset is dropped
  vnx::TSQLTimeStamp ts{};
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getTimeStamp, std::uint16_t(20), &ts, &blank), 0);
  EXPECT_EQ(ts.Year, 2004);
  EXPECT_EQ(ts.Month, 5);
  EXPECT_EQ(ts.Day, 6);
  EXPECT_EQ(ts.Hour, 7);
  EXPECT_EQ(ts.Minute, 8);
  EXPECT_EQ(ts.Second, 9);
  EXPECT_EQ(ts.Fractions, 50u);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getTimeStamp, std::uint16_t(21), &ts, &blank), 0);
  EXPECT_EQ(ts.Hour, 7);
  EXPECT_EQ(ts.Fractions, 0u);
  EXPECT_EQ(ValueAsText(c, 22), "1 day 02:03:04");
  EXPECT_EQ(ValueAsText(c, 23), "{1,2,3}");
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, std::uint16_t(24), &i32, &blank), 0);
  EXPECT_EQ(i32, 5);

  // The second row: NULL everywhere but the NOT NULL column.
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  for (std::uint16_t col = 2; col <= 25; ++col) {
    if (col == 24) continue;
    char buf[40000];
    std::memset(buf, 0x5A, 16);
    std::uint16_t type = 0, sub = 0;
    c.call(&ISQLCursorVtbl::getColumnType, col, &type, &sub);
    blank = 0;
    SQLResult rc = 0;
    switch (type) {
      case vnx::fldINT16: case vnx::fldBOOL: rc = c.call(&ISQLCursorVtbl::getShort, col, buf, &blank); break;
      case vnx::fldINT32: rc = c.call(&ISQLCursorVtbl::getLong, col, buf, &blank); break;
      case vnx::fldFLOAT: rc = c.call(&ISQLCursorVtbl::getDouble, col, buf, &blank); break;
      case vnx::fldFMTBCD: rc = c.call(&ISQLCursorVtbl::getBcd, col, buf, &blank); break;
      case vnx::fldDATETIME: rc = c.call(&ISQLCursorVtbl::getTimeStamp, col, buf, &blank); break;
      case vnx::fldBLOB: {
        std::uint32_t len = 99;
        rc = c.call(&ISQLCursorVtbl::getBlobSize, col, &len, &blank);
        break;
      }
      case vnx::fldDATE: case vnx::fldTIME: {
        rc = c.call(type == vnx::fldDATE ? &ISQLCursorVtbl::getDate : &ISQLCursorVtbl::getTime, col, buf, &blank);
        std::int32_t zero = -1;
        std::memcpy(&zero, buf, 4);
        EXPECT_EQ(zero, 0) << "column " << col;  // a NULL date or time reads as 0
        EXPECT_EQ(rc, 0);
        EXPECT_EQ(blank, -1) << "column " << col;
        continue;
      }
      default: rc = c.call(&ISQLCursorVtbl::getString, col, buf, &blank); break;
    }
    EXPECT_EQ(rc, 0) << "column " << col;
    EXPECT_EQ(blank, -1) << "column " << col;
    if (type != vnx::fldBLOB) {
      EXPECT_EQ(static_cast<unsigned char>(buf[0]), 0x5A) << "column " << col;
    }
  }
  EXPECT_EQ(c.call(&ISQLCursorVtbl::next), vnx::DBXERR_EOF);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::next), vnx::DBXERR_EOF);
}

TEST_F(CursorLive, MappingOptionsChangeTheDescriptions) {
  LiveSession s(SessionOptions{.options = "TextAsBlob=False,ByteaMode=asVarBytes,Int8Mode=AsString,"
                                          "ArrayAsString=False,DBX4Compatible=True,LargeBcdAsString=True"});
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = Select(s);
  Described varfree = Describe(c, 14);
  EXPECT_EQ(varfree.type, vnx::fldZSTRING);
  EXPECT_EQ(varfree.precision, 32766);
  EXPECT_EQ(Describe(c, 15).type, vnx::fldBLOB);  // text stays a memo
  Described bytea = Describe(c, 16);
  EXPECT_EQ(bytea.type, vnx::fldVARBYTES);
  EXPECT_EQ(bytea.length, 32767u);
  Described int8 = Describe(c, 4);
  EXPECT_EQ(int8.type, vnx::fldZSTRING);
  EXPECT_EQ(int8.length, 20u);
  EXPECT_EQ(Describe(c, 23).type, vnx::fldUNKNOWN);
  EXPECT_EQ(Describe(c, 20).length, 16u);
  EXPECT_EQ(Describe(c, 7).type, vnx::fldBCD);
  Described numfree = Describe(c, 8);
  EXPECT_EQ(numfree.type, vnx::fldZSTRING);
  EXPECT_EQ(numfree.length, 16449u);  // -, 64 digits, the point and 16383 decimals

  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  char text[64];
  std::int32_t blank = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(4), text, &blank), 0);
  EXPECT_STREQ(text, "-9223372036854775808");
  std::uint8_t bytes[40000];
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBytes, std::uint16_t(16), bytes, &blank), 0);
  std::uint16_t n = 0;
  std::memcpy(&n, bytes, 2);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::memcmp(bytes + 2, "\0\xFF" "A", 3), 0);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(8), text, &blank), 0);
  EXPECT_STREQ(text, "-0.000123");
}

TEST_F(CursorLive, TrimCharAndInt4ModeAndExtendedInformation) {
  LiveSession s(SessionOptions{.options = "Int8Mode=AsInt4,GetExtendedFieldsInformation=True"});
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  s.conn.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnTrimChar, 1);
  s.trace.Clear();
  // Extended information is asked for when the statement names exactly one table.
  Cursor c = s.Query("select * from alltypes order by id");
  EXPECT_TRUE(s.trace.Contains(7, "Getting extended fields information"));
  std::int32_t flag = 0;
  c.call(&ISQLCursorVtbl::isNullable, std::uint16_t(24), &flag);
  EXPECT_EQ(flag, 0);  // NOT NULL
  c.call(&ISQLCursorVtbl::isNullable, std::uint16_t(2), &flag);
  EXPECT_EQ(flag, -1);
  c.call(&ISQLCursorVtbl::isAutoIncrement, std::uint16_t(1), &flag);
  EXPECT_EQ(flag, -1);  // serial
  c.call(&ISQLCursorVtbl::isAutoIncrement, std::uint16_t(2), &flag);
  EXPECT_EQ(flag, 0);
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  char text[16];
  std::int32_t blank = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(12), text, &blank), 0);
  EXPECT_STREQ(text, "ab");
  std::int32_t low[2] = {0, 0x5A5A5A5A};
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, std::uint16_t(4), low, &blank), 0);
  EXPECT_EQ(low[0], 0);  // the low 32 bits of -2^63
  EXPECT_EQ(low[1], 0x5A5A5A5A);
}

TEST_F(CursorLive, ExtendedInformationMatchesColumnsByNameAndOnlyForItsTable) {
  // ext_tbl is also a LIKE pattern that matches extxtbl, whose "note" is NOT NULL.
  TestServer::Get().Psql(
      "set role vnx83; drop table if exists public.ext_tbl, public.extxtbl;"
      "create table public.extxtbl (note int not null);"
      "create table public.ext_tbl (id serial, name text not null, note text);"
      "insert into public.ext_tbl (name) values ('n');");
  LiveSession s(SessionOptions{.options = "GetExtendedFieldsInformation=True"});
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select note, id, name, 1 as extra from ext_tbl");
  ASSERT_TRUE(c);
  std::int32_t nullable = 0, autoinc = 0;
  c.call(&ISQLCursorVtbl::isNullable, std::uint16_t(1), &nullable);
  EXPECT_EQ(nullable, -1);
  c.call(&ISQLCursorVtbl::isAutoIncrement, std::uint16_t(2), &autoinc);
  EXPECT_EQ(autoinc, -1);
  c.call(&ISQLCursorVtbl::isNullable, std::uint16_t(3), &nullable);
  EXPECT_EQ(nullable, 0);
  // A column the table does not have keeps the defaults.
  c.call(&ISQLCursorVtbl::isNullable, std::uint16_t(4), &nullable);
  EXPECT_EQ(nullable, -1);
  c.call(&ISQLCursorVtbl::isAutoIncrement, std::uint16_t(4), &autoinc);
  EXPECT_EQ(autoinc, 0);
}

TEST_F(CursorLive, BadColumnNumbersAndBadValuesReturnCodesWithTexts) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select 'abc'::varchar(10) as v, 'infinity'::timestamp as t, 'maybe'::text as b");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  std::int32_t value = 0, blank = 0;
  for (std::uint16_t col : {std::uint16_t(0), std::uint16_t(4), std::uint16_t(65535)}) {
    EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, col, &value, &blank), vnx::DBXERR_FAILED);
    EXPECT_NE(ErrorOf(c).find("Invalid column number"), std::string::npos);
    std::uint16_t type;
    EXPECT_EQ(c.call(&ISQLCursorVtbl::getColumnType, col, &type, &type), vnx::DBXERR_FAILED);
  }
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, std::uint16_t(1), &value, &blank), vnx::DBXERR_FAILED);
  EXPECT_EQ(ErrorOf(c), "'abc' is not a valid integer value");
  double d;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getDouble, std::uint16_t(1), &d, &blank), vnx::DBXERR_FAILED);
  vnx::TBcd bcd;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBcd, std::uint16_t(1), &bcd, &blank), vnx::DBXERR_FAILED);
  vnx::TSQLTimeStamp ts;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getTimeStamp, std::uint16_t(2), &ts, &blank), vnx::DBXERR_INVALID_CONVERSION);
  EXPECT_EQ(ErrorOf(c), "Invalid Date/Time value [infinity]");
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getDate, std::uint16_t(2), &value, &blank), vnx::DBXERR_INVALID_CONVERSION);
}

TEST_F(CursorLive, ResultWithoutColumnsHasNoColumns) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select");
  ASSERT_TRUE(c);
  std::uint16_t count = 99;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getColumnCount, &count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ErrorOf(c), "Query returned no fields.");
}

// An empty value and a NULL both come with length 0: only the second is blank.
TEST_F(CursorLive, EmptyValuesAreNotNull) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select ''::varchar(5) as e, null::varchar(5) as n, ''::text as t, null::text as u");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  char buf[8] = "xyz";
  std::int32_t blank = 7;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(1), buf, &blank), 0);
  EXPECT_EQ(blank, 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getString, std::uint16_t(2), buf, &blank), 0);
  EXPECT_EQ(blank, -1);
  std::uint32_t size = 99;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(3), &size, &blank), 0);
  EXPECT_EQ(blank, 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(4), &size, &blank), 0);
  EXPECT_EQ(blank, -1);
}

TEST_F(CursorLive, ValuesLongerThanTheDescribedSizeAreRefused) {
  LiveSession s(SessionOptions{.options = "ByteaMode=asVarBytes"});
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select decode(repeat('ab', 20000), 'escape') as big, point(123456.789, 987654.321) as p");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  std::vector<char> buf(100000);
  std::int32_t blank = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBytes, std::uint16_t(1), buf.data(), &blank), vnx::DBXERR_FAILED);
  EXPECT_NE(ErrorOf(c).find("does not fit"), std::string::npos) << ErrorOf(c);
  // A type outside the mapping is described wide enough for what the server writes (its
  // 16 bytes of storage once made 12 characters, too few for any point).
  EXPECT_EQ(ValueAsText(c, 2), "(123456.789,987654.321)");
}

// char(n) and varchar(n) hold n characters, each as many bytes as the client encoding needs.
TEST_F(CursorLive, MultibyteClientEncodingsWidenCharacterColumns) {
  struct Case {
    const char* charset;
    std::uint32_t varcharLength;  // of varchar(3)
    const char* text;             // 日本語 in that encoding
  };
  const Case cases[] = {
      {"/EUC_JP", 9, "\xC6\xFC\xCB\xDC\xB8\xEC"},
      {"/SJIS", 6, "\x93\xFA\x96\x7B\x8C\xEA"},
      {"/utf8", 12, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},  // as the server sends it
  };
  // A type whose name the client encoding cannot hold (the array type of this table) must
  // not keep the type catalogue from loading.
  TestServer::Get().Psql("create table if not exists public.\"cursor_typ\u00e9\" (x int4);");
  for (const Case& k : cases) {
    Driver driver = GetDriver(Library());
    Connection conn = NewConnection(driver);
    conn.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnServerCharSet, reinterpret_cast<vnx::OptionValue>(k.charset));
    ASSERT_EQ(conn.call(&vnx::ISQLConnectionVtbl::connect, TestServer::Get().SocketServerName().c_str(), kRole83, ""), 0)
        << ErrorOf(conn);
    Command c;
    conn.call(&vnx::ISQLConnectionVtbl::getSQLCommand, c.out());
    Cursor r;
    ASSERT_EQ(c.call(&vnx::ISQLCommandVtbl::executeImmediate,
                     "select convert_from(decode('e697a5e69cace8aa9e', 'hex'), 'UTF8')::varchar(3) as v", r.out()),
              0)
        << ErrorOf(c);
    std::uint32_t length = 0;
    r.call(&ISQLCursorVtbl::getColumnLength, std::uint16_t(1), &length);
    EXPECT_EQ(length, k.varcharLength) << k.charset;
    ASSERT_EQ(r.call(&ISQLCursorVtbl::next), 0);
    std::vector<char> buf(length + 1, '\0');
    std::int32_t blank = 0;
    EXPECT_EQ(r.call(&ISQLCursorVtbl::getString, std::uint16_t(1), buf.data(), &blank), 0) << ErrorOf(r);
    EXPECT_STREQ(buf.data(), k.text) << k.charset;
  }
}

}  // namespace

namespace {

// An asynchronous statement list: next moves on to the later results with rows, waiting on
// the socket; a failed later result fails next with the server's text.
TEST_F(CursorLive, AsynchronousStatementListsReadOnAndReportFailures) {
  struct Case {
    const char* sql;
    std::vector<std::string> rows;
    SQLResult end;
    const char* error;
  };
  const Case cases[] = {
      {"select 1 as a; select 1/0", {"1"}, vnx::DBXERR_FAILED, "division by zero"},
      {"select 1 as a; select 2 as a", {"1", "2"}, vnx::DBXERR_EOF, ""},
      {"select 1 as a; select 2 as a where false; set datestyle to iso; select 3 as a", {"1", "3"}, vnx::DBXERR_EOF, ""},
  };
  SessionOptions async;
  async.async = true;
  LiveSession s(async);
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  for (const Case& k : cases) {
    SCOPED_TRACE(k.sql);
    Cursor c = s.Query(k.sql);
    std::vector<std::string> rows;
    SQLResult rc;
    while ((rc = c.call(&ISQLCursorVtbl::next)) == 0) rows.push_back(ValueAsText(c, 1));
    EXPECT_EQ(rows, k.rows);
    EXPECT_EQ(rc, k.end);
    EXPECT_NE(ErrorOf(c).find(k.error), std::string::npos) << ErrorOf(c);
    EXPECT_EQ(c.call(&ISQLCursorVtbl::next), k.end);
  }
  // Waiting for a later result sleeps on the socket rather than spinning.
  Cursor c = s.Query("select 1 as a; select pg_sleep(1) as b");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  const std::clock_t cpu = std::clock();
  EXPECT_EQ(c.call(&ISQLCursorVtbl::next), 0) << ErrorOf(c);
  EXPECT_LT(static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC, 0.3);
  EXPECT_EQ(s.Exec("select 1"), 0);
}

}  // namespace
