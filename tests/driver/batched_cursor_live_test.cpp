// Batched reading (FetchRows) against the server: every row across batch boundaries with one
// trace line per batch, a server error in a later batch, other statements while a read is
// open, release before the end, CancelQuery, and the transaction ending under a read.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLCursorVtbl;

namespace {

SessionOptions Batched(int rows, bool async = false) {
  SessionOptions o;
  o.options = "FetchRows=" + std::to_string(rows);
  o.async = async;
  return o;
}

// Reads column 1 (an integer) of up to `limit` rows; returns the code of the next that
// stopped the read (0 when the limit did).
SQLResult ReadInts(const Cursor& c, std::vector<std::int32_t>& out, int limit = INT_MAX) {
  for (int i = 0; i < limit; ++i) {
    const SQLResult rc = c.call(&ISQLCursorVtbl::next);
    if (rc != 0) return rc;
    std::int32_t v = 0, blank = 0;
    EXPECT_EQ(c.call(&ISQLCursorVtbl::getLong, std::uint16_t(1), &v, &blank), 0) << ErrorOf(c);
    out.push_back(v);
  }
  return 0;
}

std::vector<std::int32_t> Range(int from, int to) {
  std::vector<std::int32_t> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

std::size_t CountLines(const TraceLog& log, std::int32_t category, const std::string& prefix) {
  std::size_t n = 0;
  for (const auto& l : log.lines) n += l.category == category && l.text.rfind(prefix, 0) == 0;
  return n;
}

pg_conn* HandleOf(const LiveSession& s) {
  void* handle = nullptr;
  std::int16_t len = 0;
  s.conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, &handle, std::int16_t(sizeof handle), &len);
  return static_cast<pg_conn*>(handle);
}

class BatchedLive : public ::testing::Test {
 protected:
  void SetUp() override { VNX_REQUIRE_SERVER(); }
};

TEST_F(BatchedLive, ReadsEveryRowWithOneTraceLinePerBatch) {
  for (bool async : {false, true}) {
    for (int n : {1, 7, 100, 1000}) {
      SCOPED_TRACE("FetchRows=" + std::to_string(n) + (async ? " async" : ""));
      LiveSession s(Batched(n, async));
      ASSERT_EQ(s.connectResult, 0) << s.ConnError();
      s.trace.Clear();
      Cursor c = s.Query("select i, 'row ' || i as t from generate_series(1, 100) i");
      std::uint16_t columns = 0;
      c.call(&ISQLCursorVtbl::getColumnCount, &columns);
      EXPECT_EQ(columns, 2);  // described before the first row is read
      std::vector<std::int32_t> got;
      EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_EOF) << ErrorOf(c);
      EXPECT_EQ(got, Range(1, 100));
      EXPECT_EQ(ValueAsText(c, 2), "row 100");  // the last row stays current after the end
      EXPECT_EQ(c.call(&ISQLCursorVtbl::next), vnx::DBXERR_EOF);
      // One line per batch asked for: full batches, and the short (or empty) last one.
      EXPECT_EQ(CountLines(s.trace, 1, "FETCH FORWARD"), static_cast<std::size_t>(100 / n + 1));
      EXPECT_TRUE(s.trace.Contains(5, "Transaction for batched reading: BEGIN;"));
      EXPECT_TRUE(s.trace.Contains(5, "Transaction for batched reading: COMMIT;"));
    }
  }
}

TEST_F(BatchedLive, ServerErrorInALaterBatchFailsThatNext) {
  // In a transaction of the driver's own, and in the application's.
  for (bool appTransaction : {false, true}) {
    SCOPED_TRACE(appTransaction ? "application's transaction" : "driver's transaction");
    LiveSession s(Batched(10));
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
    if (appTransaction) {
      ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0);
    }
    Cursor c = s.Query("select i from generate_series(1, 200) i where 1 / (150 - i) <> 7");
    std::vector<std::int32_t> got;
    EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_FAILED);
    EXPECT_EQ(got, Range(1, 140));  // the batch holding row 150 failed whole
    EXPECT_NE(ErrorOf(c).find("division by zero"), std::string::npos) << ErrorOf(c);
    EXPECT_EQ(c.call(&ISQLCursorVtbl::next), vnx::DBXERR_FAILED);  // never an end of rows
    if (appTransaction) {
      EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::rollback, &tx), 0) << s.ConnError();
    }
    EXPECT_EQ(s.Exec("select 1"), 0);
  }
}

TEST_F(BatchedLive, OtherStatementsWhileAReadIsOpen) {
  TestServer::Get().Psql("set role vnx83; drop table if exists public.batch_side; create table public.batch_side (i int);");
  LiveSession s(Batched(10));
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select i from generate_series(1, 50) i");
  std::vector<std::int32_t> got;
  ASSERT_EQ(ReadInts(c, got, 15), 0);
  EXPECT_EQ(s.Exec("insert into public.batch_side values (1)"), 0);
  // A failing statement fails alone: neither the read nor the insert before it suffers.
  Command failing = s.NewCommand();
  Cursor none;
  EXPECT_EQ(failing.call(&vnx::ISQLCommandVtbl::executeImmediate, "select 1/0", none.out()), vnx::DBXERR_FAILED);
  EXPECT_NE(ErrorOf(failing).find("division by zero"), std::string::npos) << ErrorOf(failing);
  EXPECT_EQ(s.Exec("insert into public.batch_side values (2)"), 0);
  // A second batched read, read whole in the middle of the first.
  Cursor other = s.Query("select i from generate_series(1, 25) i");
  std::vector<std::int32_t> otherGot;
  EXPECT_EQ(ReadInts(other, otherGot), vnx::DBXERR_EOF) << ErrorOf(other);
  EXPECT_EQ(otherGot, Range(1, 25));
  // Ending the transaction the read lives in is refused, naming the read's cursor.
  vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
  EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), vnx::DBXERR_FAILED);
  EXPECT_NE(s.ConnError().find("vnx_fetch_"), std::string::npos) << s.ConnError();
  Command commit = s.NewCommand();
  EXPECT_EQ(commit.call(&vnx::ISQLCommandVtbl::executeImmediate, "commit", none.out()), vnx::DBXERR_FAILED);
  EXPECT_NE(ErrorOf(commit).find("vnx_fetch_"), std::string::npos) << ErrorOf(commit);

  EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_EOF) << ErrorOf(c);
  EXPECT_EQ(got, Range(1, 50));
  // The read's end committed the inserts: another session sees them.
  EXPECT_EQ(TestServer::Get().Psql("select count(*) from public.batch_side;"), "2");
  // And with the read over, transactions are the application's again.
  EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0) << s.ConnError();
  EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::commit, &tx), 0) << s.ConnError();
}

// Large objects are read between batches; one that fails leaves the read and the other
// statements' work alone.
TEST_F(BatchedLive, LargeObjectsBetweenBatches) {
  TestServer::Get().Psql(
      "set role vnx83; drop table if exists public.batch_lo, public.batch_side2;"
      "create table public.batch_side2 (i int);"
      "create table public.batch_lo as select i, case when i = 7 then 4000000000::oid::lo "
      "else lo_from_bytea(0, convert_to('object ' || i, 'SQL_ASCII'))::lo end as obj from generate_series(1, 30) i;");
  LiveSession s(Batched(5));
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select i, obj from public.batch_lo order by i");
  EXPECT_EQ(s.Exec("insert into public.batch_side2 values (1)"), 0);
  for (int i = 1; i <= 30; ++i) {
    ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0) << ErrorOf(c);
    std::uint32_t size = 0;
    std::int32_t blank = 0;
    const SQLResult rc = c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(2), &size, &blank);
    if (i == 7) {
      EXPECT_EQ(rc, vnx::DBXERR_FAILED);  // no such object
      continue;
    }
    ASSERT_EQ(rc, 0) << ErrorOf(c);
    std::string data(size, '\0');
    ASSERT_EQ(c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(2), data.data(), &blank, size), 0) << ErrorOf(c);
    EXPECT_EQ(data, "object " + std::to_string(i));
  }
  EXPECT_EQ(c.call(&ISQLCursorVtbl::next), vnx::DBXERR_EOF) << ErrorOf(c);
  EXPECT_EQ(TestServer::Get().Psql("select count(*) from public.batch_side2;"), "1");
}

TEST_F(BatchedLive, ReleaseBeforeTheEndClosesTheCursorAtOnce) {
  TestServer::Get().Psql("set role vnx83; drop table if exists public.batch_release; create table public.batch_release (i int);");
  LiveSession s(Batched(100));
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  s.trace.Clear();
  // The application keeps its command, as data-access layers do; releasing the cursor is
  // what ends the read.
  Command cmd = s.NewCommand();
  {
    // Row by row from a join: the first rows come at once, the rest only when asked for.
    ASSERT_EQ(cmd.call(&vnx::ISQLCommandVtbl::prepare,
                       "select a.i * 100000 + b.i from generate_series(0, 999) a(i), generate_series(1, 100000) b(i)",
                       std::uint16_t(0)), 0);
    Cursor c;
    ASSERT_EQ(cmd.call(&vnx::ISQLCommandVtbl::execute, c.out()), 0) << ErrorOf(cmd);
    std::vector<std::int32_t> got;
    ASSERT_EQ(ReadInts(c, got, 3), 0) << ErrorOf(c);
    EXPECT_EQ(s.Exec("insert into public.batch_release values (1)"), 0);
  }
  // The first batch and the one asked for ahead; no more rows crossed the network.
  EXPECT_EQ(CountLines(s.trace, 1, "FETCH FORWARD"), 2u);
  EXPECT_TRUE(s.trace.Contains(5, "Transaction for batched reading: COMMIT;"));
  EXPECT_EQ(TestServer::Get().Psql("select count(*) from public.batch_release;"), "1");
  EXPECT_EQ(s.Exec("select 1"), 0);
}

TEST_F(BatchedLive, CancelQueryEndsTheRead) {
  LiveSession s(Batched(10, true));
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  // A cancel that came while nothing ran is no cancel of the next statement's read.
  Library().cancelQuery()(HandleOf(s));
  Cursor c = s.Query("select i from generate_series(1, 1000) i");
  std::vector<std::int32_t> got;
  ASSERT_EQ(ReadInts(c, got, 15), 0) << ErrorOf(c);
  Library().cancelQuery()(HandleOf(s));
  EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_FAILED);
  EXPECT_LE(got.size(), 20u);  // what the current batch still held
  EXPECT_NE(ErrorOf(c).find("was cancelled"), std::string::npos) << ErrorOf(c);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::next), vnx::DBXERR_FAILED);
  EXPECT_EQ(s.Exec("select 1"), 0);
}

TEST_F(BatchedLive, TheApplicationsTransactionEndingEndsTheRead) {
  LiveSession s(Batched(5));
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
  ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0);
  Cursor c = s.Query("select i from generate_series(1, 100) i");
  std::vector<std::int32_t> got;
  ASSERT_EQ(ReadInts(c, got, 2), 0) << ErrorOf(c);
  ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::commit, &tx), 0) << s.ConnError();
  // Rows that had arrived are read; then a clear failure, never an end of rows.
  EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_FAILED);
  EXPECT_LE(got.size(), 10u);
  EXPECT_EQ(got, Range(1, static_cast<int>(got.size())));
  EXPECT_NE(ErrorOf(c).find("has ended"), std::string::npos) << ErrorOf(c);
}

}  // namespace
