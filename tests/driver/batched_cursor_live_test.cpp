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
  // Each statement was committed when it returned: another session sees both rows now.
  EXPECT_EQ(TestServer::Get().Psql("select count(*) from public.batch_side;"), "2");
  // Transactions stay the application's: begin and commit while the read is open.
  vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
  EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0) << s.ConnError();
  EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::commit, &tx), 0) << s.ConnError();

  EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_EOF) << ErrorOf(c);
  EXPECT_EQ(got, Range(1, 50));
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
  }
  // The first batch and the one asked for ahead; no more rows crossed the network, and the
  // query's transaction is rolled back as a cancelled statement's.
  EXPECT_EQ(CountLines(s.trace, 1, "FETCH FORWARD"), 2u);
  EXPECT_TRUE(s.trace.Contains(5, "Transaction for batched reading: ROLLBACK;"));
  EXPECT_EQ(s.Exec("insert into public.batch_release values (1)"), 0);
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
  // A commit keeps the rest of the rows on the server and the read goes on (servers before 11
  // would run the query again: there it ends too); a rollback ends it, with a clear failure
  // once the rows that had arrived are read, never an end of rows.
  const bool kept = TestServer::Get().plain && TestServer::Get().major >= 11;
  for (bool commit : {true, false}) {
    LiveSession s(Batched(5));
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
    ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0);
    Cursor c = s.Query("select i from generate_series(1, 100) i");
    std::vector<std::int32_t> got;
    ASSERT_EQ(ReadInts(c, got, 2), 0) << ErrorOf(c);
    ASSERT_EQ(s.conn.call(commit ? &ISQLConnectionVtbl::commit : &ISQLConnectionVtbl::rollback, &tx), 0)
        << s.ConnError();
    const bool goesOn = commit && kept;
    EXPECT_EQ(ReadInts(c, got), goesOn ? vnx::DBXERR_EOF : vnx::DBXERR_FAILED) << ErrorOf(c);
    EXPECT_EQ(got, Range(1, goesOn ? 100 : static_cast<int>(got.size())));
    if (!goesOn) {
      EXPECT_NE(ErrorOf(c).find("has ended"), std::string::npos) << ErrorOf(c);
    }
  }
}

// Beside an open read, autocommit keeps its promise: a statement that returns success is
// committed then (another session sees it at once), its failure is its own, statement lists
// and statements that cannot run in a transaction block behave as without FetchRows, and a
// read's work equals a whole read's.
TEST_F(BatchedLive, StatementsBesideAReadRunOnTheirOwn) {
  using Steps = void (*)(const LiveSession&, const Cursor&, std::vector<std::int32_t>&);
  const struct {
    const char* name;
    const char* query;
    Steps steps;
  } cases[] = {
      {"deferred constraint", "select i from generate_series(1, 100) i",
       [](const LiveSession& s, const Cursor& c, std::vector<std::int32_t>& got) {
         EXPECT_EQ(s.Exec("insert into public.b19_c values (1)"), 0);
         Command insert = s.NewCommand();
         Cursor none;
         EXPECT_EQ(insert.call(&vnx::ISQLCommandVtbl::executeImmediate, "insert into public.b19_c values (999)",
                               none.out()), vnx::DBXERR_FAILED);
         EXPECT_EQ(TestServer::Get().Psql("select count(*) from public.b19_c;"), "1");
         EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_EOF) << ErrorOf(c);
       }},
      {"session ends", "select i from generate_series(1, 100) i",
       [](const LiveSession& s, const Cursor& c, std::vector<std::int32_t>& got) {
         EXPECT_EQ(s.Exec("insert into public.b19 values (1)"), 0);
         EXPECT_EQ(s.Exec("insert into public.b19 values (2)"), 0);
         TestServer::Get().Psql("select pg_terminate_backend(pid) from pg_stat_activity where query like "
                                "'%b19 values (2)%' and pid <> pg_backend_pid();");
         // Rows the server had still to send are missing: a failure, never an end of rows.
         // (Before 11 the first insert took every row into the driver: all are read.)
         const SQLResult rc = ReadInts(c, got);
         if (rc != vnx::DBXERR_EOF || got.size() != 100) {
           EXPECT_EQ(rc, vnx::DBXERR_FAILED) << ErrorOf(c);
         }
         EXPECT_EQ(TestServer::Get().Psql("select count(*) from public.b19;"), "2");
       }},
      {"list ending in rollback", "select i from generate_series(1, 100) i",
       [](const LiveSession& s, const Cursor& c, std::vector<std::int32_t>& got) {
         EXPECT_EQ(s.Exec("insert into public.b19 values (1)"), 0);
         EXPECT_EQ(s.Exec("insert into public.b19 values (2); rollback"), 0);
         EXPECT_EQ(s.Exec("insert into public.b19 values (3)"), 0);
         EXPECT_EQ(TestServer::Get().Psql("select string_agg(i::text, ',' order by i) from public.b19;"), "1,3");
         EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_EOF) << ErrorOf(c);
       }},
      {"vacuum", "select i from generate_series(1, 100) i",
       [](const LiveSession& s, const Cursor& c, std::vector<std::int32_t>& got) {
         EXPECT_EQ(s.Exec("vacuum public.b19"), 0) << ErrorOf(s.conn);
         EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_EOF) << ErrorOf(c);
       }},
      {"nextval, then another statement", "select nextval('public.b19_s')::int from generate_series(1, 100)",
       [](const LiveSession& s, const Cursor& c, std::vector<std::int32_t>& got) {
         EXPECT_EQ(s.Exec("insert into public.b19 values (1)"), 0);
         EXPECT_EQ(TestServer::Get().Psql("select last_value from public.b19_s;"), "100");
         EXPECT_EQ(ReadInts(c, got), vnx::DBXERR_EOF) << ErrorOf(c);
       }},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    TestServer::Get().Psql(
        "set role vnx83; drop table if exists public.b19, public.b19_c, public.b19_p;"
        "drop sequence if exists public.b19_s; create sequence public.b19_s; create table public.b19 (i int);"
        "create table public.b19_p (id int primary key); insert into public.b19_p values (1);"
        "create table public.b19_c (id int references public.b19_p deferrable initially deferred);");
    LiveSession s(Batched(5));
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    Cursor c = s.Query(k.query);
    std::vector<std::int32_t> got;
    ASSERT_EQ(ReadInts(c, got, 3), 0) << ErrorOf(c);
    k.steps(s, c, got);
    if (got.size() == 100) {
      EXPECT_EQ(got, Range(got.front(), got.front() + 99));
    }
  }
}

}  // namespace
