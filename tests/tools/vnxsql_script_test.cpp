// The shell's input handling and value texts: statement splitting, "?" marker counting,
// command-line parameters and the printed forms of dates, times and BCD numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "tools/vnxsql/script.h"
#include "tools/vnxsql/shell.h"
#include "tools/vnxsql/values.h"

using namespace vnxsql;

namespace {

std::vector<ScriptItem> Split(const std::string& text, bool standardStrings = false) {
  ScriptSplitter s;
  s.SetStandardStrings(standardStrings);
  std::vector<ScriptItem> items;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) s.AddLine(line, items);
  s.Finish(items);
  return items;
}

}  // namespace

TEST(VnxsqlScript, StatementsEndWithASemicolonAtTheEndOfALine) {
  auto items = Split("select 1,\n  2;\nselect 'a;\nb'; select 3;\n\\dt pub%\nupdate t set a = 1");
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].text, "select 1,\n  2;");
  // The quoted text spans a line end; the inner ";" at the end of a line is not an end.
  EXPECT_EQ(items[1].text, "select 'a;\nb'; select 3;");
  EXPECT_TRUE(items[2].meta);
  EXPECT_EQ(items[2].text, "\\dt pub%");
  EXPECT_FALSE(items[3].meta);
  EXPECT_EQ(items[3].text, "update t set a = 1");  // the end of the input ends it
}

TEST(VnxsqlScript, CommentsQuotesAndFunctionBodies) {
  auto items = Split(
      "-- a comment line; with a semicolon;\n"
      "select 1; -- trailing comment\n"
      "create function f() returns int language sql as $$\n"
      "  select 1;\n"
      "$$;\n"
      "select $tag$ it's; $tag$, 'it\\'s;', \"q;\n"
      "\";\n"
      "select /* a;\n b; */ 2;\n"
      ";\n"
      "\\q\n");
  ASSERT_EQ(items.size(), 5u);  // the lone ";" is no statement
  EXPECT_EQ(items[0].text, "select 1;");
  EXPECT_EQ(items[1].text, "create function f() returns int language sql as $$\n  select 1;\n$$;");
  EXPECT_EQ(items[2].text, "select $tag$ it's; $tag$, 'it\\'s;', \"q;\n\";");
  EXPECT_EQ(items[3].text, "select /* a;\n b; */ 2;");
  EXPECT_TRUE(items[4].meta);
  // A backslash inside a statement is not a command.
  auto inner = Split("select\n\\dt\n;");
  ASSERT_EQ(inner.size(), 1u);
  EXPECT_FALSE(inner[0].meta);
}

TEST(VnxsqlScript, MarkersAreCountedAsTheDriverFindsThem) {
  EXPECT_EQ(CountMarkers("select * from t where a = ? and b = ?"), 2);
  EXPECT_EQ(CountMarkers("select '?', \"?\", a?b, /* ? */ ?::int, (?)"), 2);
  EXPECT_EQ(CountMarkers("select 1 -- ?\n, ?"), 1);
  EXPECT_EQ(CountMarkers("select 1 -- ?\r, ?"), 1);
  EXPECT_EQ(CountMarkers("select $$?$$, E'\\' ?', /* /* ? */ ? */ ?"), 1);
  EXPECT_EQ(CountMarkers("insert into t values (?,?,?)"), 3);
  EXPECT_EQ(CountMarkers(""), 0);
}

// With standard_conforming_strings on, a backslash in a plain string is an ordinary
// character; E'...' strings (also after a doubled quote) take escapes either way.
TEST(VnxsqlScript, BackslashesAreReadAsTheServerSettingSays) {
  struct Case {
    const char* text;
    bool on;
    std::size_t statements;
    int markers;
  };
  const Case cases[] = {
      {"select 'C:\\', ?;\nselect 2;", true, 2, 1},
      {"select 'C:\\', ?;\nselect 2';", false, 1, 0},
      {"select E'it\\'s', ?;\nselect 2;", true, 2, 1},
      {"select e'a''\\'', ?;\nselect 2;", true, 2, 1},
      {"select xe'a\\', ?;\nselect 2;", true, 2, 1},
  };
  for (const Case& c : cases) {
    const auto items = Split(c.text, c.on);
    EXPECT_EQ(items.size(), c.statements) << c.text;
    EXPECT_EQ(CountMarkers(items[0].text, c.on), c.markers) << c.text;
  }
}

TEST(VnxsqlValues, DatesAndTimes) {
  std::int32_t day = 0;
  ASSERT_TRUE(TextToDayNumber("1900-01-01", day));
  EXPECT_EQ(day, 693596);
  ASSERT_TRUE(TextToDayNumber("0001-01-01", day));
  EXPECT_EQ(day, 1);
  EXPECT_EQ(DayNumberToText(693594), "1899-12-30");
  EXPECT_EQ(DayNumberToText(738946), "2024-03-01");
  ASSERT_TRUE(TextToDayNumber("2024-02-29", day));
  EXPECT_EQ(DayNumberToText(day), "2024-02-29");
  EXPECT_FALSE(TextToDayNumber("2023-02-29", day));
  EXPECT_FALSE(TextToDayNumber("2024-13-01", day));
  EXPECT_FALSE(TextToDayNumber("24-1", day));

  std::int32_t ms = 0;
  ASSERT_TRUE(TextToTime("13:45:07.25", ms));
  EXPECT_EQ(ms, ((13 * 60 + 45) * 60 + 7) * 1000 + 250);
  EXPECT_EQ(TimeToText(ms), "13:45:07.250");
  EXPECT_EQ(TimeToText(0), "00:00:00");
  EXPECT_FALSE(TextToTime("24:00", ms));

  vnx::TSQLTimeStamp ts{};
  ASSERT_TRUE(TextToTimeStamp("2004-05-06T07:08:09.005", ts));
  EXPECT_EQ(ts.Year, 2004);
  EXPECT_EQ(ts.Second, 9);
  EXPECT_EQ(ts.Fractions, 5u);
  EXPECT_EQ(TimeStampToText(ts), "2004-05-06 07:08:09.005");
  ts.Fractions = 0;
  EXPECT_EQ(TimeStampToText(ts), "2004-05-06 07:08:09");
}

TEST(VnxsqlValues, BcdTextRoundTrip) {
  for (const char* text : {"0", "-12.50", "123456789012345678901234567890.1234", "0.001", "7"}) {
    vnx::TBcd bcd;
    ASSERT_TRUE(TextToBcd(text, bcd)) << text;
    EXPECT_EQ(BcdToText(bcd), text);
  }
  vnx::TBcd bcd;
  ASSERT_TRUE(TextToBcd("+007.10", bcd));
  EXPECT_EQ(bcd.Precision, 3);
  EXPECT_EQ(bcd.SignSpecialPlaces, 2);
  EXPECT_EQ(BcdToText(bcd), "7.10");
  EXPECT_FALSE(TextToBcd("1e5", bcd));
  EXPECT_FALSE(TextToBcd("-", bcd));
  EXPECT_FALSE(TextToBcd(std::string(65, '9'), bcd));
  // A record with a digit nibble above 9 is not a number.
  bcd = vnx::TBcd{};
  bcd.Precision = 1;
  bcd.Fraction[0] = 0xA0;
  EXPECT_EQ(BcdToText(bcd), "");
}

TEST(VnxsqlValues, CommandLineParameters) {
  Param p;
  std::string why;
  ASSERT_TRUE(ParseParam("O'Brien", p, why));
  EXPECT_EQ(p.type, vnx::fldZSTRING);
  EXPECT_EQ(p.data, std::string("O'Brien\0", 8));
  ASSERT_TRUE(ParseParam("http://x", p, why));  // an unknown prefix is part of the text
  EXPECT_EQ(p.data, std::string("http://x\0", 9));
  ASSERT_TRUE(ParseParam("int8:-9223372036854775808", p, why));
  EXPECT_EQ(p.type, vnx::fldINT64);
  ASSERT_EQ(p.data.size(), 8u);
  ASSERT_TRUE(ParseParam("bytes:\\x00ff", p, why));
  EXPECT_EQ(p.type, vnx::fldBYTES);
  EXPECT_EQ(p.data, std::string("\0\xff", 2));
  ASSERT_TRUE(ParseParam("null", p, why));
  EXPECT_TRUE(p.null);
  ASSERT_TRUE(ParseParam("str:null", p, why));
  EXPECT_FALSE(p.null);
  EXPECT_FALSE(ParseParam("int:12x", p, why));
  EXPECT_NE(why.find("int:12x"), std::string::npos);
  EXPECT_FALSE(ParseParam("int2:40000", p, why));
  EXPECT_FALSE(ParseParam("bool:maybe", p, why));
  EXPECT_FALSE(ParseParam("bytes:abc", p, why));
  EXPECT_FALSE(ParseParam("date:2024-02-30", p, why));
}

TEST(VnxsqlShell, BadCommandLinesStopBeforeConnecting) {
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunShell({}, in, out, err), 2);
  EXPECT_NE(err.str().find("no server name"), std::string::npos);
  EXPECT_EQ(RunShell({"h/db", "-p", "int:x"}, in, out, err), 2);
  EXPECT_EQ(RunShell({"h/db", "--bogus"}, in, out, err), 2);
  EXPECT_EQ(RunShell({"h/db", "--library", "/nonexistent/libnothing.so"}, in, out, err), 2);
  EXPECT_NE(err.str().find("cannot load the driver"), std::string::npos);
  out.str("");
  EXPECT_EQ(RunShell({"--help"}, in, out, err), 0);
  EXPECT_NE(out.str().find("\\describe"), std::string::npos);
}
