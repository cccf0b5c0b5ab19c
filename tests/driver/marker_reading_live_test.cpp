// Texts whose strings and comments the driver must end where the server ends them: each is
// executed with parameters, with standard_conforming_strings on and off, and what the server
// computed (or refused) shows how it read the text the driver sent. A parameter value that
// escaped its literal would drop the victim table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLCommandVtbl;
using vnx::ISQLCursorVtbl;

namespace {

constexpr const char kDrop[] = "; drop table public.lexer_victim; --";
constexpr const char kError[] = "<error>";

struct Value {
  std::int32_t number;
  const char* text;  // a string parameter unless null
};
Value N(std::int32_t v) { return {v, nullptr}; }
Value S(const char* v) { return {0, v}; }

struct Reading {
  const char* sql;
  std::vector<Value> values;
  const char* whenOn;   // first column with standard_conforming_strings on, or kError
  const char* whenOff;  // the same with it off
};

const std::string kDollarValue = std::string("$$") + kDrop;
const std::string kBackslashValue = std::string("\\'") + kDrop;

const std::vector<Reading> kReadings = {
    // Block comments nest: the marker is inside the comment and stays there.
    {"select current_query() /* a /* b */ ? */", {S("*/ ; drop table public.lexer_victim; --")},
     "select current_query() /* a /* b */ ? */", "select current_query() /* a /* b */ ? */"},
    // A negative number after a minus must not start a line comment.
    {"select -?, ?::varchar", {N(-1), S("\n; drop table public.lexer_victim; --")}, "1", "1"},
    {"select 1-?", {N(-5)}, "6", "6"},
    // A line comment ends at LF as well as at CR.
    {"select ?::varchar -- ?\n|| ?::varchar", {S("a"), S("b")}, "ab", "ab"},
    {"select ?::varchar -- ?\r\n|| ?::varchar", {S("a"), S("b")}, "ab", "ab"},
    // E'...' takes backslash escapes; so does '...' with standard_conforming_strings off.
    {"select E'\\' ?, ' || ?::varchar", {S(kDrop)}, "' ?, ; drop table public.lexer_victim; --",
     "' ?, ; drop table public.lexer_victim; --"},
    {"select '\\' ?, ' || ?::varchar", {S(kDrop)}, kError, "' ?, ; drop table public.lexer_victim; --"},
    {"select E'it''s \\' ?' || ?::varchar", {S("!")}, "it's ' ?!", "it's ' ?!"},
    // Dollar-quoted strings, with and without a tag.
    {"select $$ ? $$ || ?::varchar", {S(kDollarValue.c_str())}, " ? $$; drop table public.lexer_victim; --",
     " ? $$; drop table public.lexer_victim; --"},
    {"select $q$ ? $$ ? $q$ || ?::varchar", {S("v")}, " ? $$ ? v", " ? $$ ? v"},
    {"select length(~$$1$$::int || $$ ? $$) || ?::varchar", {S("v")}, "5v", "5v"},
    // U&'...' and U&"..." (which the server refuses with standard_conforming_strings off).
    {"select U&'\\0041 ?' || ?::varchar", {S("v")}, "A ?v", kError},
    {"select ?::varchar as U&\"\\0041?\"", {S("v")}, "v", "v"},
    // A string goes on after a line break. A literal that would continue an escape string is
    // read by that string's rules; the driver ends the string first.
    {"select 'a'\n?::varchar", {S("b")}, "ab", "ab"},
    {"select E'a'\n?::varchar", {S(kBackslashValue.c_str())}, kError,
     "a\\'; drop table public.lexer_victim; --"},
    {"select E'a' -- c\n?::varchar", {S(kBackslashValue.c_str())}, kError,
     "a\\'; drop table public.lexer_victim; --"},
    {"select 'a'?::varchar", {S("b")}, kError, kError},
    {"select ?'b'", {S("a")}, kError, kError},
    // With parameters only the first statement runs; a ";" inside a string does not end it.
    {"select $$;$$ || ?::varchar; drop table public.lexer_victim", {S("v")}, ";v", ";v"},
    {"select E'\\';' || ?::varchar; drop table public.lexer_victim", {S("v")}, "';v", "';v"},
};

class MarkerReadingLive : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    VNX_REQUIRE_SERVER();
    session = std::make_unique<LiveSession>();
    ASSERT_EQ(session->connectResult, 0) << session->ConnError();
    session->MustExec(std::string("set standard_conforming_strings = ") + (GetParam() ? "on" : "off"));
  }

  // The first column of the first row, or kError when execute fails.
  std::string Run(const Reading& r) const {
    Command c = session->NewCommand();
    c.call(&ISQLCommandVtbl::prepare, r.sql, static_cast<std::uint16_t>(r.values.size()));
    std::uint16_t n = 0;
    for (const Value& v : r.values) {
      const std::uint16_t type = v.text ? vnx::fldZSTRING : vnx::fldINT32;
      const std::uint32_t length = v.text ? static_cast<std::uint32_t>(std::strlen(v.text) + 1) : 4;
      void* data = v.text ? static_cast<void*>(const_cast<char*>(v.text)) : const_cast<std::int32_t*>(&v.number);
      c.call(&ISQLCommandVtbl::setParameter, ++n, std::uint16_t(0), std::uint32_t(vnx::paramIN), type,
             std::uint16_t(0), std::int32_t(0), std::int32_t(0), length, data, std::int32_t(0));
    }
    Cursor cursor;
    if (c.call(&ISQLCommandVtbl::execute, cursor.out()) != 0) return kError;
    if (!cursor || cursor.call(&ISQLCursorVtbl::next) != 0) return "<no row>";
    return ValueAsText(cursor, 1);
  }

  std::unique_ptr<LiveSession> session;
};

TEST_P(MarkerReadingLive, ValuesStayInsideTheirLiterals) {
  for (const Reading& r : kReadings) {
    session->MustExec("drop table if exists public.lexer_victim; create table public.lexer_victim (a int)");
    EXPECT_EQ(Run(r), GetParam() ? r.whenOn : r.whenOff) << r.sql;
    Cursor victim;
    EXPECT_EQ(session->NewCommand().call(&ISQLCommandVtbl::executeImmediate, "select 1 from public.lexer_victim",
                                         victim.out()), 0)
        << "the victim table is gone after " << r.sql;
  }
}

// The server reads the text after converting it from the client encoding: in SJIS the byte
// 0x5C after a lead byte is part of a character, not a backslash.
TEST_P(MarkerReadingLive, BackslashBytesInsideCharactersAreNoEscapes) {
  session->MustExec("drop table if exists public.lexer_victim; create table public.lexer_victim (a int)");
  session->MustExec("select 1");  // the type catalogue is read before: it holds characters SJIS lacks
  session->MustExec("set client_encoding = 'SJIS'");
  EXPECT_EQ(Run({"select E'\x95\\' || ' ?' || ?::varchar", {S(kDrop)}, nullptr, nullptr}),
            std::string("\x95\\ ?") + kDrop);
  session->MustExec("select 1 from public.lexer_victim");
}

INSTANTIATE_TEST_SUITE_P(StandardConformingStrings, MarkerReadingLive, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

}  // namespace
