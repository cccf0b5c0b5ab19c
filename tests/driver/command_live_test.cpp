// Commands against the server: parameters of every literal type round-trip through an
// insert and a select, markers are found only where they are markers, stored procedures,
// affected rows, errors, cancelling and a server that goes away.
#include <gtest/gtest.h>
#include <iconv.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLCommandVtbl;
using vnx::ISQLCursorVtbl;

namespace {

class CommandLive : public ::testing::Test {
 protected:
  void SetUp() override {
    VNX_REQUIRE_SERVER();
    session = std::make_unique<LiveSession>();
    ASSERT_EQ(session->connectResult, 0) << session->ConnError();
  }
  std::unique_ptr<LiveSession> session;

  // setParameter with the buffer of a value.
  template <class T>
  static SQLResult Param(const Command& c, std::uint16_t n, std::uint16_t type, const T& value,
                         std::uint16_t subType = 0, std::uint32_t length = sizeof(T)) {
    return c.call(&ISQLCommandVtbl::setParameter, n, std::uint16_t(0), std::uint32_t(vnx::paramIN), type, subType,
                  std::int32_t(0), std::int32_t(0), length, const_cast<void*>(static_cast<const void*>(&value)),
                  std::int32_t(0));
  }
  static SQLResult Text(const Command& c, std::uint16_t n, const char* text, std::uint16_t type = vnx::fldZSTRING,
                        std::uint16_t subType = 0) {
    return c.call(&ISQLCommandVtbl::setParameter, n, std::uint16_t(0), std::uint32_t(vnx::paramIN), type, subType,
                  std::int32_t(0), std::int32_t(0), static_cast<std::uint32_t>(std::strlen(text) + 1),
                  const_cast<char*>(text), std::int32_t(0));
  }
  static SQLResult Null(const Command& c, std::uint16_t n, std::uint16_t type) {
    return c.call(&ISQLCommandVtbl::setParameter, n, std::uint16_t(0), std::uint32_t(vnx::paramIN), type,
                  std::uint16_t(0), std::int32_t(0), std::int32_t(0), std::uint32_t(0), nullptr, std::int32_t(1));
  }
};

TEST_F(CommandLive, ParametersOfEveryLiteralTypeRoundTrip) {
  session->MustExec(
      "drop table if exists public.params_rt; create table public.params_rt (s varchar(50), i16 int2, i32 int4, "
      "i64 int8, f float8, n numeric(20,4), b bool, d date, t time, ts timestamp, by bytea, m text, bl bytea, "
      "arr text, nul int4, u varchar(10))");
  Command c = session->NewCommand();
  ASSERT_EQ(c.call(&ISQLCommandVtbl::prepare,
                   "insert into public.params_rt values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                   std::uint16_t(16)), 0);
  std::int32_t paramCount = 0;
  std::int16_t len = 0;
  c.call(&ISQLCommandVtbl::GetOption, vnx::eCommParamCount, &paramCount, std::int16_t(4), &len);
  EXPECT_EQ(paramCount, 16);

  EXPECT_EQ(Text(c, 1, "O'Brien \\ \"q\""), 0);
  EXPECT_EQ(Param(c, 2, vnx::fldINT16, std::int16_t(-7)), 0);
  EXPECT_EQ(Param(c, 3, vnx::fldINT32, std::int32_t(-2147483647 - 1)), 0);
  EXPECT_EQ(Param(c, 4, vnx::fldINT64, std::int64_t(9223372036854775807LL)), 0);
  EXPECT_EQ(Param(c, 5, vnx::fldFLOAT, 1.0 / 3), 0);
  vnx::TBcd bcd{};
  bcd.Precision = 6;
  bcd.SignSpecialPlaces = 0x80 | 2;  // -1234.56
  bcd.Fraction[0] = 0x12;
  bcd.Fraction[1] = 0x34;
  bcd.Fraction[2] = 0x56;
  EXPECT_EQ(Param(c, 6, vnx::fldBCD, bcd), 0);
  EXPECT_EQ(Param(c, 7, vnx::fldBOOL, std::uint8_t(1)), 0);
  EXPECT_EQ(Param(c, 8, vnx::fldDATE, std::int32_t(731708)), 0);                 // 7 May 2004
  EXPECT_EQ(Param(c, 9, vnx::fldTIME, std::int32_t(49507250)), 0);               // 13:45:07.250
  vnx::TSQLTimeStamp ts{2004, 5, 6, 7, 8, 9, 5};
  EXPECT_EQ(Param(c, 10, vnx::fldTIMESTAMP, ts), 0);
  const char bytes[] = {'\0', '\'', '\\', 'x', static_cast<char>(0xFF)};
  EXPECT_EQ(c.call(&ISQLCommandVtbl::setParameter, std::uint16_t(11), std::uint16_t(0), std::uint32_t(1),
                   std::uint16_t(vnx::fldBYTES), std::uint16_t(0), std::int32_t(0), std::int32_t(0),
                   std::uint32_t(sizeof bytes), const_cast<char*>(bytes), std::int32_t(0)), 0);
  EXPECT_EQ(Text(c, 12, "memo 'text'", vnx::fldBLOB, vnx::fldstMEMO), 0);
  EXPECT_EQ(c.call(&ISQLCommandVtbl::setParameter, std::uint16_t(13), std::uint16_t(0), std::uint32_t(1),
                   std::uint16_t(vnx::fldBLOB), std::uint16_t(vnx::fldstBINARY), std::int32_t(0), std::int32_t(0),
                   std::uint32_t(sizeof bytes), const_cast<char*>(bytes), std::int32_t(0)), 0);
  EXPECT_EQ(Text(c, 14, "not an array"), 0);
  EXPECT_EQ(Null(c, 15, vnx::fldUINT32), 0);  // NULL even for a type without a literal
  // A string given with length 0 is read up to its terminator.
  EXPECT_EQ(c.call(&ISQLCommandVtbl::setParameter, std::uint16_t(16), std::uint16_t(0), std::uint32_t(1),
                   std::uint16_t(vnx::fldZSTRING), std::uint16_t(0), std::int32_t(0), std::int32_t(0),
                   std::uint32_t(0), const_cast<char*>("length 0"), std::int32_t(0)), 0);
  Cursor none;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::execute, none.out()), 0) << ErrorOf(c);
  EXPECT_FALSE(none);
  std::uint32_t rows = 0;
  c.call(&ISQLCommandVtbl::getRowsAffected, &rows);
  EXPECT_EQ(rows, 1u);

  Cursor r = session->Query(
      "select s, i16, i32, i64, f, n::text, b, d, t, ts, encode(by, 'hex'), m, encode(bl, 'hex'), arr, nul, u "
      "from public.params_rt");
  ASSERT_EQ(r.call(&ISQLCursorVtbl::next), 0);
  EXPECT_EQ(ValueAsText(r, 1), "O'Brien \\ \"q\"");
  EXPECT_EQ(ValueAsText(r, 2), "-7");
  EXPECT_EQ(ValueAsText(r, 3), "-2147483648");
  EXPECT_EQ(ValueAsText(r, 4), "9223372036854775807");
  double f = 0;
  std::int32_t blank = 0;
  r.call(&ISQLCursorVtbl::getDouble, std::uint16_t(5), &f, &blank);
  EXPECT_NEAR(f, 1.0 / 3, 1e-15);
  EXPECT_EQ(ValueAsText(r, 6), "-1234.5600");
  EXPECT_EQ(ValueAsText(r, 7), "1");
  std::int32_t day = 0, ms = 0;
  r.call(&ISQLCursorVtbl::getDate, std::uint16_t(8), &day, &blank);
  EXPECT_EQ(day, 731708);
  r.call(&ISQLCursorVtbl::getTime, std::uint16_t(9), &ms, &blank);
  EXPECT_EQ(ms, 49507000);  // a time parameter goes without its milliseconds
  vnx::TSQLTimeStamp back{};
  r.call(&ISQLCursorVtbl::getTimeStamp, std::uint16_t(10), &back, &blank);
  EXPECT_EQ(back.Second, 9);
  EXPECT_EQ(back.Fractions, 5u);
  EXPECT_EQ(ValueAsText(r, 11), "00275c78ff");
  EXPECT_EQ(ValueAsText(r, 12), "memo 'text'");
  EXPECT_EQ(ValueAsText(r, 13), "00275c78ff");
  EXPECT_EQ(ValueAsText(r, 14), "not an array");
  EXPECT_EQ(ValueAsText(r, 15), "NULL");
  EXPECT_EQ(ValueAsText(r, 16), "length 0");
}

TEST_F(CommandLive, MarkersInsideQuotesIdentifiersAndCommentsAreLeftAlone) {
  Command c = session->NewCommand();
  ASSERT_EQ(c.call(&ISQLCommandVtbl::prepare,
                   "select '?' as \"?\", ? as a /* ? */, ? as b -- ?\r\n", std::uint16_t(2)), 0);
  EXPECT_EQ(Param(c, 1, vnx::fldINT32, std::int32_t(-1)), 0);
  // A text that starts with a line break cannot turn what follows into a comment.
  EXPECT_EQ(Text(c, 2, "\nnext line -- x"), 0);
  Cursor r;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::execute, r.out()), 0) << ErrorOf(c);
  std::uint16_t columns = 0;
  r.call(&ISQLCursorVtbl::getColumnCount, &columns);
  EXPECT_EQ(columns, 3);
  char name[16];
  r.call(&ISQLCursorVtbl::getColumnName, std::uint16_t(1), name);
  EXPECT_STREQ(name, "?");
  ASSERT_EQ(r.call(&ISQLCursorVtbl::next), 0);
  EXPECT_EQ(ValueAsText(r, 1), "?");
  EXPECT_EQ(ValueAsText(r, 2), "-1");
  EXPECT_EQ(ValueAsText(r, 3), "\nnext line -- x");

  // "select -?" with -1 must not become a comment marker.
  Command neg = session->NewCommand();
  neg.call(&ISQLCommandVtbl::prepare, "select -?, 2", std::uint16_t(1));
  Param(neg, 1, vnx::fldINT32, std::int32_t(-1));
  Cursor r2;
  ASSERT_EQ(neg.call(&ISQLCommandVtbl::execute, r2.out()), 0) << ErrorOf(neg);
  r2.call(&ISQLCursorVtbl::getColumnCount, &columns);
  EXPECT_EQ(columns, 2);
}

TEST_F(CommandLive, WithParametersOnlyTheFirstStatementRuns) {
  session->MustExec("drop table if exists public.first_only; create table public.first_only (a int);"
                    "insert into public.first_only values (1), (2), (3)");
  Command c = session->NewCommand();
  c.call(&ISQLCommandVtbl::prepare, "update public.first_only set a = ?; delete from public.first_only",
         std::uint16_t(1));
  Param(c, 1, vnx::fldINT32, std::int32_t(9));
  Cursor none;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::execute, none.out()), 0) << ErrorOf(c);
  std::uint32_t rows = 0;
  c.call(&ISQLCommandVtbl::getRowsAffected, &rows);
  EXPECT_EQ(rows, 3u);
  Cursor r = session->Query("select count(*) from public.first_only where a = 9");
  r.call(&ISQLCursorVtbl::next);
  EXPECT_EQ(ValueAsText(r, 1), "3");
  // Without parameters both statements are sent.
  Command all = session->NewCommand();
  all.call(&ISQLCommandVtbl::prepare, "update public.first_only set a = 1; delete from public.first_only",
           std::uint16_t(0));
  ASSERT_EQ(all.call(&ISQLCommandVtbl::execute, none.out()), 0);
  Cursor r2 = session->Query("select count(*) from public.first_only");
  r2.call(&ISQLCursorVtbl::next);
  EXPECT_EQ(ValueAsText(r2, 1), "0");
}

TEST_F(CommandLive, MoreMarkersThanParametersSendsNothing) {
  Command c = session->NewCommand();
  c.call(&ISQLCommandVtbl::prepare, "select ?, ?", std::uint16_t(1));
  Param(c, 1, vnx::fldINT32, std::int32_t(1));
  session->trace.Clear();
  Cursor r;
  EXPECT_EQ(c.call(&ISQLCommandVtbl::execute, r.out()), vnx::DBXERR_FAILED);
  EXPECT_NE(ErrorOf(c).find("marker 2"), std::string::npos) << ErrorOf(c);
  EXPECT_FALSE(session->trace.Contains(1, "select"));
  EXPECT_EQ(c.call(&ISQLCommandVtbl::setParameter, std::uint16_t(2), std::uint16_t(0), std::uint32_t(1),
                   std::uint16_t(vnx::fldINT32), std::uint16_t(0), std::int32_t(0), std::int32_t(0), std::uint32_t(4),
                   nullptr, std::int32_t(0)),
            vnx::DBXERR_INVALID_PARAM_NUMBER);
  std::int32_t v = 5;
  EXPECT_EQ(Param(c, 0, vnx::fldINT32, v), vnx::DBXERR_INVALID_PARAM_NUMBER);
}

TEST_F(CommandLive, UnsupportedParameterTypesFailBeforeSending) {
  Command c = session->NewCommand();
  c.call(&ISQLCommandVtbl::prepare, "select ?", std::uint16_t(1));
  Param(c, 1, vnx::fldUINT32, std::uint32_t(1));
  Cursor r;
  EXPECT_EQ(c.call(&ISQLCommandVtbl::execute, r.out()), vnx::DBXERR_FAILED);
  EXPECT_EQ(ErrorOf(c), "Type [13] is not supported");
}

TEST_F(CommandLive, OutcomesRowsAffectedAndServerErrors) {
  session->MustExec("drop table if exists public.outcomes; create table public.outcomes (a int)");
  Command c = session->NewCommand();
  session->trace.Clear();
  Cursor none;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "insert into public.outcomes values (1), (2), (3)",
                   none.out()), 0);
  std::uint32_t rows = 0;
  c.call(&ISQLCommandVtbl::getRowsAffected, &rows);
  EXPECT_EQ(rows, 3u);
  EXPECT_TRUE(session->trace.Contains(1, "insert into public.outcomes"));
  EXPECT_TRUE(session->trace.Contains(10, "Command executed sucessfully"));
  EXPECT_TRUE(session->trace.Contains(10, "3 row(s) affected"));

  Cursor r;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "select a from public.outcomes", r.out()), 0);
  EXPECT_TRUE(r);
  c.call(&ISQLCommandVtbl::getRowsAffected, &rows);
  EXPECT_EQ(rows, 0u);

  EXPECT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "  \r\n ", none.out()), 0);
  EXPECT_EQ(ErrorOf(c), "Query is empty");

  session->trace.Clear();
  EXPECT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "select * from public.no_such_table", none.out()),
            vnx::DBXERR_FAILED);
  std::string error = ErrorOf(c);
  EXPECT_NE(error.find("relation \"public.no_such_table\" does not exist"), std::string::npos) << error;
  EXPECT_TRUE(session->trace.Contains(2, "does not exist"));
  EXPECT_EQ(c.call(&ISQLCommandVtbl::getNextCursor, none.out()), vnx::DBXERR_NOT_SUPPORTED);

  // A COPY from the client ends at once and leaves the connection usable.
  EXPECT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "copy public.outcomes from stdin", none.out()),
            vnx::DBXERR_FAILED);
  EXPECT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "select 1", r.out()), 0) << ErrorOf(c);
}

TEST_F(CommandLive, StoredProcedureInputsAndResultParameter) {
  session->MustExec(
      "create or replace function public.add3(a int4, b int4, c int4) returns int4 language sql as "
      "'select $1 * 100 + $2 * 10 + $3'");
  Command c = session->NewCommand();
  c.call(&ISQLCommandVtbl::SetOption, vnx::eCommStoredProc, 1);
  std::int32_t flag = 0;
  std::int16_t len = 0;
  c.call(&ISQLCommandVtbl::GetOption, vnx::eCommStoredProc, &flag, std::int16_t(4), &len);
  EXPECT_EQ(flag, 1);
  ASSERT_EQ(c.call(&ISQLCommandVtbl::prepare, "public.add3", std::uint16_t(4)), 0);
  // Inputs 1, 2 and 4 fill the markers in order; parameter 3 is the function's result.
  Param(c, 1, vnx::fldINT32, std::int32_t(1));
  Param(c, 2, vnx::fldINT32, std::int32_t(2));
  std::int32_t nothing = 0;
  c.call(&ISQLCommandVtbl::setParameter, std::uint16_t(3), std::uint16_t(0), std::uint32_t(vnx::paramRET),
         std::uint16_t(vnx::fldINT32), std::uint16_t(0), std::int32_t(0), std::int32_t(0), std::uint32_t(4), &nothing,
         std::int32_t(0));
  Param(c, 4, vnx::fldINT32, std::int32_t(3));
  session->trace.Clear();
  Cursor r;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::execute, r.out()), 0) << ErrorOf(c);
  EXPECT_TRUE(session->trace.Contains(1, "select public.add3(1, 2, 3)"));
  std::int32_t result = 0, blank = 1;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::getParameter, std::uint16_t(3), std::uint16_t(0), &result, std::int32_t(4),
                   &blank), 0) << ErrorOf(c);
  EXPECT_EQ(blank, 0);
  EXPECT_EQ(result, 123);
  // Reading it again finds the same row instead of running out of rows.
  result = 0;
  EXPECT_EQ(c.call(&ISQLCommandVtbl::getParameter, std::uint16_t(3), std::uint16_t(0), &result, std::int32_t(4),
                   &blank), 0);
  EXPECT_EQ(result, 123);

  Command fresh = session->NewCommand();
  EXPECT_EQ(fresh.call(&ISQLCommandVtbl::getParameter, std::uint16_t(1), std::uint16_t(0), &result, std::int32_t(4),
                       &blank), vnx::DBXERR_NO_OUTPUT_CURSOR);
  EXPECT_EQ(ErrorOf(fresh), "No paramaters retrieved from stored procedure.");
}

TEST_F(CommandLive, LongBytesOutputParametersFitTheScratchBuffer) {
  // Escaped bytea of printable bytes is as long as the bytes: the 2-byte length comes on top.
  session->MustExec(
      "create or replace function public.bytes_of(n int4) returns bytea language sql as "
      "$$ select convert_to(repeat('b', n), 'SQL_ASCII') $$");
  for (const std::uint32_t n : {32765u, 32766u, 40000u, 65535u}) {
    SCOPED_TRACE(n);
    Command c = session->NewCommand();
    c.call(&ISQLCommandVtbl::SetOption, vnx::eCommStoredProc, 1);
    ASSERT_EQ(c.call(&ISQLCommandVtbl::prepare, "public.bytes_of", std::uint16_t(2)), 0);
    Param(c, 1, vnx::fldINT32, static_cast<std::int32_t>(n));
    std::uint8_t none = 0;
    c.call(&ISQLCommandVtbl::setParameter, std::uint16_t(2), std::uint16_t(0), std::uint32_t(vnx::paramOUT),
           std::uint16_t(vnx::fldVARBYTES), std::uint16_t(0), std::int32_t(0), std::int32_t(0), std::uint32_t(1), &none,
           std::int32_t(0));
    Cursor r;
    ASSERT_EQ(c.call(&ISQLCommandVtbl::execute, r.out()), 0) << ErrorOf(c);
    std::string value(n + 2 + 16, 'Z');
    std::int32_t blank = 1;
    ASSERT_EQ(c.call(&ISQLCommandVtbl::getParameter, std::uint16_t(2), std::uint16_t(0), value.data(),
                     static_cast<std::int32_t>(n + 2), &blank), 0) << ErrorOf(c);
    std::uint16_t length = 0;
    std::memcpy(&length, value.data(), sizeof length);
    EXPECT_EQ(length, static_cast<std::uint16_t>(n));
    EXPECT_EQ(value.substr(2), std::string(n, 'b') + std::string(16, 'Z'));
  }
}

// A server message echoing a 70,000-character value: the length reported fits its 16 bits,
// the text handed over is exactly that long, and it ends between two characters.
struct LongErrorCase {
  const char* charSet;    // eConnServerCharSet; nullptr for the negotiated LATIN1
  const char* iconvName;  // the client encoding, for checking that no character was cut
  const char* character;
};

void PrintTo(const LongErrorCase& c, std::ostream* os) { *os << (c.charSet ? c.charSet : "negotiated"); }

class LongErrorText : public ::testing::TestWithParam<LongErrorCase> {};

bool ConvertsWhole(const std::string& text, const char* from) {
  iconv_t cd = iconv_open("UTF-8", from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(text.size() * 4, '\0');
  char* in = const_cast<char*>(text.data());
  char* o = out.data();
  std::size_t inLeft = text.size(), outLeft = out.size();
  const std::size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  return r != static_cast<std::size_t>(-1) && inLeft == 0;
}

TEST_P(LongErrorText, IsCutToWhatItsLengthCanState) {
  VNX_REQUIRE_SERVER();
  SessionOptions o;
  o.charSet = GetParam().charSet;
  LiveSession s(o);
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  std::string value;
  while (value.size() < 70000) value += GetParam().character;
  Command c = s.NewCommand();
  ASSERT_EQ(c.call(&ISQLCommandVtbl::prepare, "select cast(? as integer)", std::uint16_t(1)), 0);
  c.call(&ISQLCommandVtbl::setParameter, std::uint16_t(1), std::uint16_t(0), std::uint32_t(vnx::paramIN),
         std::uint16_t(vnx::fldZSTRING), std::uint16_t(0), std::int32_t(0), std::int32_t(0),
         static_cast<std::uint32_t>(value.size() + 1), value.data(), std::int32_t(0));
  Cursor r;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::execute, r.out()), vnx::DBXERR_FAILED);
  std::int16_t len = -1;
  ASSERT_EQ(c.call(&ISQLCommandVtbl::getErrorMessageLen, &len), 0);
  ASSERT_GT(len, 32000);
  std::string buffer(static_cast<std::size_t>(len) + 1 + 64, 'Z');
  ASSERT_EQ(c.call(&ISQLCommandVtbl::getErrorMessage, buffer.data()), 0);
  EXPECT_EQ(buffer.substr(static_cast<std::size_t>(len)), '\0' + std::string(64, 'Z')) << "written past the length";
  const std::string text = buffer.substr(0, static_cast<std::size_t>(len));
  EXPECT_NE(text.find("invalid input syntax for"), std::string::npos);  // "for integer" before 12
  EXPECT_TRUE(ConvertsWhole(text, GetParam().iconvName)) << "a character was cut: ..." << text.substr(text.size() - 8);
}

INSTANTIATE_TEST_SUITE_P(
    ClientEncodings, LongErrorText,
    ::testing::Values(LongErrorCase{nullptr, "ISO-8859-1", "x"}, LongErrorCase{"/utf8", "UTF-8", "\xC3\xA9"},
                      LongErrorCase{"/EUC_JP", "EUC-JP", "\xA4\xA2"},
                      LongErrorCase{"/SJIS", "SHIFT_JIS", "\x83\x5C"}));  // a trail byte that reads as "\\"

TEST(CommandLiveAsync, CancelQueryStopsALongStatement) {
  VNX_REQUIRE_SERVER();
  SessionOptions async;
  async.async = true;
  LiveSession s(async);
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  void* handle = nullptr;
  std::int16_t len = 0;
  s.conn.call(&vnx::ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, &handle, std::int16_t(sizeof handle), &len);
  ASSERT_NE(handle, nullptr);
  Command c = s.NewCommand();
  auto cancel = Library().cancelQuery();
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    cancel(static_cast<pg_conn*>(handle));
  });
  auto start = std::chrono::steady_clock::now();
  Cursor r;
  SQLResult rc = c.call(&ISQLCommandVtbl::executeImmediate, "select pg_sleep(60)", r.out());
  auto elapsed = std::chrono::steady_clock::now() - start;
  canceller.join();
  EXPECT_EQ(rc, vnx::DBXERR_FAILED);
  EXPECT_NE(ErrorOf(c).find("canceling statement due to user request"), std::string::npos) << ErrorOf(c);
  EXPECT_LT(elapsed, std::chrono::seconds(20));
  // The connection goes on working.
  EXPECT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "select 1", r.out()), 0) << ErrorOf(c);
}

TEST(CommandLiveAsync, CancelQueryLeavesSynchronousConnectionsAlone) {
  VNX_REQUIRE_SERVER();
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0);
  void* handle = nullptr;
  std::int16_t len = 0;
  s.conn.call(&vnx::ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, &handle, std::int16_t(sizeof handle), &len);
  ASSERT_NE(handle, nullptr);
  Command c = s.NewCommand();
  // The cancel comes while the statement runs, as one for an asynchronous connection would.
  auto cancel = Library().cancelQuery();
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancel(static_cast<pg_conn*>(handle));
  });
  Cursor r;
  EXPECT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "select pg_sleep(1.5)", r.out()), 0) << ErrorOf(c);
  canceller.join();
}

TEST(CommandLiveAsync, ServerGoingAwayFailsTheStatementAndAllowsAReconnect) {
  VNX_REQUIRE_SERVER();
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0);
  Cursor pid = s.Query("select pg_backend_pid()");
  pid.call(&ISQLCursorVtbl::next);
  std::string backend = ValueAsText(pid, 1);
  pid.reset();
  TestServer::Get().Psql("select pg_terminate_backend(" + backend + ")");
  Command c = s.NewCommand();
  Cursor r;
  EXPECT_EQ(c.call(&ISQLCommandVtbl::executeImmediate, "select 1", r.out()), vnx::DBXERR_FAILED);
  EXPECT_FALSE(ErrorOf(c).empty());
  c.reset();
  EXPECT_EQ(s.conn.call(&vnx::ISQLConnectionVtbl::disconnect), 0);
  std::string name = TestServer::Get().SocketServerName();
  ASSERT_EQ(s.conn.call(&vnx::ISQLConnectionVtbl::connect, name.c_str(), kRole83, ""), 0) << s.ConnError();
  EXPECT_EQ(s.Exec("select 1"), 0);
}

}  // namespace
