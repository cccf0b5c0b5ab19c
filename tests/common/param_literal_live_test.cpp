// Parameter literals read back by a real server: escaping per connection, values that
// try to end their literal, and every literal type.
#include <gtest/gtest.h>

#include <cstring>

#include "common/conversion.h"
#include "common/errors.h"
#include "common/param_literal.h"
#include "parser/sql_parser.h"
#include "runtime/bcd.h"
#include "runtime/variant.h"
#include "tests/common/param_values.h"
#include "tests/common/live_connection.h"

namespace {

using namespace vnx;
using namespace vnxtest;

// Puts the literals in place of the "?" tokens, as the command does.
std::string Substitute(const std::string& sql, const std::vector<std::string>& literals) {
  TVNXSQLParser p(sql);
  std::string out;
  std::size_t next = 0;
  for (;;) {
    TVNXSQLToken t;
    p.NextToken(t);
    if (t.Text.empty()) return out;
    out += t.Text == "?" && next < literals.size() ? literals[next++] : t.Text;
  }
}

class ParamLiteralLive : public ::testing::Test {
 protected:
  void SetUp() override { VNX_REQUIRE_SERVER(); }

  static std::string Value(const Result& r, int col = 0) { return PQ.PQgetvalue(r.get(), 0, col); }
};

const std::string kNasty = "a'b\\c\\'; select 'x";

TEST_F(ParamLiteralLive, EscapingFollowsEachConnection) {
  Connection off = ConnectAs(kRole83);  // standard_conforming_strings off for the test roles
  ASSERT_NE(PQ.PQescapeStringConn, nullptr) << "this libpq lacks PQescapeStringConn";
  Connection on = ConnectAs(kRole83);
  Exec(on.get(), "set standard_conforming_strings = on");
  for (PGconn* c : {off.get(), on.get()}) {
    const std::string lit = QuoteLiteral(EscapeStringLiteral(kNasty, c));
    Result r = Exec(c, "select " + lit);
    EXPECT_EQ(PQ.PQnfields(r.get()), 1);
    EXPECT_EQ(Value(r), kNasty) << lit;
  }
  // A SET in the middle of the session is followed too.
  Exec(off.get(), "set standard_conforming_strings = on");
  Result r = Exec(off.get(), "select " + QuoteLiteral(EscapeStringLiteral(kNasty, off.get())));
  EXPECT_EQ(Value(r), kNasty);
}

TEST_F(ParamLiteralLive, ValuesCannotLeaveTheirLiteral) {
  const std::string text = "\n', 'injected";
  for (const char* setting : {"off", "on"}) {
    Connection c = ConnectAs(kRole83);
    Exec(c.get(), std::string("set standard_conforming_strings = ") + setting);
    const std::string sql = Substitute(
        "select -?, ?", {FormatParamLiteral(Param<std::int32_t>(fldINT32, -1), false, "UTF8", c.get()),
                         FormatParamLiteral(Bytes(fldZSTRING, text), false, "UTF8", c.get())});
    Result r = Exec(c.get(), sql);
    ASSERT_EQ(PQ.PQnfields(r.get()), 2) << sql;
    EXPECT_EQ(Value(r, 0), "1");
    EXPECT_EQ(Value(r, 1), text);
    // The same with stored-procedure casts.
    const std::string sql2 = Substitute(
        "select -?, -?", {FormatParamLiteral(Param<std::int16_t>(fldINT16, -2), true, "UTF8", c.get()),
                          FormatParamLiteral(Param<std::int64_t>(fldINT64, -3), true, "UTF8", c.get())});
    Result r2 = Exec(c.get(), sql2);
    ASSERT_EQ(PQ.PQnfields(r2.get()), 2) << sql2;
    EXPECT_EQ(Value(r2, 0) + Value(r2, 1), "23");
  }
}

TEST_F(ParamLiteralLive, ByteStringsRoundTrip) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (const char* settings : {"set standard_conforming_strings = off; set bytea_output = escape",
                               "set standard_conforming_strings = on; set bytea_output = hex"}) {
    Connection c = ConnectAs(kRole83);
    Exec(c.get(), settings);
    for (auto [type, sub] : {std::pair{fldVARBYTES, 0}, {fldBYTES, 0}, {fldBLOB, fldstBINARY}}) {
      const std::string lit = FormatParamLiteral(Bytes(type, bytes, static_cast<std::uint16_t>(sub)), false, "UTF8", c.get());
      Result r = Exec(c.get(), "select " + lit + "::bytea");
      EXPECT_EQ(UnescapeBytea(PQ.PQgetvalue(r.get(), 0, 0)), bytes) << settings;
    }
  }
}

TEST_F(ParamLiteralLive, EveryTypeReadsBack) {
  Connection c = ConnectAs(kRole83);
  Exec(c.get(), "set datestyle = 'ISO, YMD'; set extra_float_digits = 0");
  auto lit = [&](const CommandParam& p, bool proc = false) { return FormatParamLiteral(p, proc, "UTF8", c.get()); };
  rt::TVarData items[2]{};
  items[0].VType = rt::varString;
  items[0].VString = "caf\xE9 \"q\"";
  items[1].VType = rt::varString;
  items[1].VString = "b\\s";
  alignas(rt::TVarArray) unsigned char desc[sizeof(rt::TVarArray) + 8]{};
  auto* a = reinterpret_cast<rt::TVarArray*>(desc);
  a->DimCount = 1;
  a->ElementSize = sizeof(rt::TVarData);
  a->Data = items;
  a->Bounds[0].ElementCount = 2;
  rt::TVarData v{};
  v.VType = rt::varArray | rt::varVariant;
  v.VArray = a;
  const void* address = &v;

  const std::pair<std::string, std::string> cases[] = {
      {lit(Bytes(fldZSTRING, "caf\xE9")), "caf\xC3\xA9"},
      {lit(Bytes(fldBLOB, "memo'", fldstMEMO)), "memo'"},
      {lit(Param<std::uint8_t>(fldBOOL, 1)) + "::text", "true"},
      {"(" + lit(Param<std::int16_t>(fldINT16, -32768), true) + ")::text", "-32768"},
      {"(" + lit(Param<std::int64_t>(fldINT64, INT64_MIN), true) + ")::text", "-9223372036854775808"},
      {"pg_typeof(" + lit(Param<std::int16_t>(fldINT16, -7), true) + ")::text", "smallint"},
      {"pg_typeof(" + lit(Param<std::int64_t>(fldINT64, 5), true) + ")::text", "bigint"},
      {lit(Param<std::int64_t>(fldINT64, INT64_MIN)) + "::text", "-9223372036854775808"},
      {lit(Param<std::int32_t>(fldINT32, -1)) + "::int2::text", "-1"},
      {lit(Param<double>(fldFLOAT, 1.5)) + "::float8", "1.5"},
      {lit(Param<double>(fldFLOAT, -1.25e-20)) + "::float8", "-1.25e-20"},
      {lit(Param<double>(fldFLOAT, -1.7976931348623157e308)) + "::float8 = '-1.7976931348623157e308'", "t"},
      {lit(Param(fldFMTBCD, rt::TextToBcd("-12345678901234567890.123456789"))) + "::numeric",
       "-12345678901234567890.123456789"},
      {lit(Param<std::int32_t>(fldDATE, 731708)) + "::date", "2004-05-07"},
      {lit(Param<std::int32_t>(fldTIME, 49507250)) + "::time", "13:45:07"},
      {lit(Param(fldTIMESTAMP, TSQLTimeStamp{2004, 5, 6, 7, 8, 9, 5})) + "::timestamp",
       "2004-05-06 07:08:09.005"},
      {lit(Param(fldARRAY, address)) + "::text[]", "{\"caf\xC3\xA9 \\\"q\\\"\",\"b\\\\s\"}"},
      {"(" + lit(Param(fldARRAY, address)) + "::text[])[2]", "b\\s"},
  };
  for (const auto& [expr, expected] : cases) {
    Result r = Exec(c.get(), "select " + expr);
    EXPECT_EQ(Value(r), expected) << expr;
  }
}

TEST_F(ParamLiteralLive, TextInvalidForTheConnectionIsRefused) {
  Connection c = ConnectAs(kRole83);
  ASSERT_STREQ(PQ.PQparameterStatus(c.get(), "client_encoding"), "UTF8");
  // Latin-1 bytes declared as already fitting the connection: not valid UTF-8.
  EXPECT_THROW(FormatParamLiteral(Bytes(fldZSTRING, "caf\xE9"), false, "LATIN1", c.get()), EVNXConvertError);
}

}  // namespace
