// BLOB reading against the server: a 100,000-byte large object read outside and inside the
// application's transaction, a deleted object, and asynchronous connections.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLCursorVtbl;

namespace {

class BlobLive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (TestServer::Get().port.empty()) return;
    TestServer::Get().Psql(
        "set role vnx83; drop table if exists public.blobs;"
        "create table public.blobs (id int, obj lo, memo text, raw bytea);"
        "insert into public.blobs values "
        "(1, lo_from_bytea(0, convert_to(repeat('0123456789', 10000), 'SQL_ASCII'))::oid, 'memo one', '\\x000102'),"
        "(2, 0::oid, null, null),"
        "(3, lo_from_bytea(0, '\\x41')::oid, 'memo three', '\\x0a0b');");
  }
  void SetUp() override { VNX_REQUIRE_SERVER(); }

  static std::string Expected() {
    std::string s;
    for (int i = 0; i < 10000; ++i) s += "0123456789";
    return s;
  }
};

TEST_F(BlobLive, LargeObjectOutsideATransactionOpensAndEndsItsOwn) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  Cursor c = s.Query("select obj from public.blobs where id = 1");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  s.trace.Clear();
  std::uint32_t size = 0;
  std::int32_t blank = 1;
  ASSERT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &size, &blank), 0) << ErrorOf(c);
  EXPECT_EQ(blank, 0);
  EXPECT_EQ(size, 100000u);
  EXPECT_TRUE(s.trace.Contains(6, "Starting BLOB mandatory transaction: BEGIN;"));
  EXPECT_TRUE(s.trace.Contains(6, "Ending BLOB transaction: END;"));
  s.trace.Clear();
  std::string data(size, '\0');
  ASSERT_EQ(c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), data.data(), &blank, size), 0) << ErrorOf(c);
  EXPECT_EQ(data, Expected());
  EXPECT_TRUE(s.trace.Contains(6, "Starting BLOB mandatory transaction: BEGIN;"));
  EXPECT_TRUE(s.trace.Contains(6, "Ending BLOB transaction: END;"));
  // Length 0 reads nothing and reports a blank value.
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), data.data(), &blank, std::uint32_t(0)), 0);
  EXPECT_EQ(blank, -1);
  // Without a buffer nothing is read.
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), nullptr, &blank, size), vnx::DBXERR_FAILED);
  EXPECT_EQ(ErrorOf(c), "getBlob of column 1 was given no buffer for its 100000 bytes.");
}

TEST_F(BlobLive, TransactionBegunWithSqlIsLeftToTheApplication) {
  // Whether the read works or fails, the application's transaction is neither ended (its
  // work would be committed) nor rolled back.
  struct Case {
    const char* query;
    bool bySize;  // getBlobSize, else getBlob
    bool fails;
  };
  const Case cases[] = {{"select obj from public.blobs where id = 1", true, false},
                        {"select obj from public.blobs where id = 1", false, false},
                        {"select 4000000000::oid::lo as obj", true, true},
                        {"select 4000000000::oid::lo as obj", false, true}};
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.query) + (k.bySize ? ", getBlobSize" : ", getBlob"));
    LiveSession s;
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    s.MustExec("create temporary table mine (a int)");
    s.MustExec("begin");
    s.MustExec("insert into mine values (1)");
    Cursor c = s.Query(k.query);
    ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
    std::uint32_t size = 0;
    std::int32_t blank = 0;
    std::string data(100000, '\0');
    const SQLResult rc = k.bySize ? c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &size, &blank)
                                  : c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), data.data(), &blank,
                                           std::uint32_t(data.size()));
    EXPECT_EQ(rc, k.fails ? vnx::DBXERR_FAILED : vnx::DBXERR_NONE) << ErrorOf(c);
    // Still the application's transaction: open after a good read, failed after a bad one.
    Command probe = s.NewCommand();
    Cursor r;
    EXPECT_EQ(probe.call(&vnx::ISQLCommandVtbl::executeImmediate, "select 1", r.out()),
              k.fails ? vnx::DBXERR_FAILED : vnx::DBXERR_NONE) << ErrorOf(probe);
    s.MustExec("rollback");
    Cursor count = s.Query("select count(*)::int4 from mine");
    ASSERT_EQ(count.call(&ISQLCursorVtbl::next), 0);
    EXPECT_EQ(ValueAsText(count, 1), "0") << "the application's insert was committed";
  }
}

TEST_F(BlobLive, LargeObjectInsideTheApplicationsTransactionSendsNoTransactionStatements) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
  ASSERT_EQ(s.conn.call(&vnx::ISQLConnectionVtbl::beginTransaction, &tx), 0) << s.ConnError();
  Cursor c = s.Query("select obj from public.blobs where id = 1");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  s.trace.Clear();
  std::uint32_t size = 0;
  std::int32_t blank = 1;
  ASSERT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &size, &blank), 0);
  std::string data(size, '\0');
  ASSERT_EQ(c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), data.data(), &blank, size), 0);
  EXPECT_EQ(data, Expected());
  for (const auto& line : s.trace.lines) EXPECT_NE(line.category, 6) << line.text;
  EXPECT_EQ(s.conn.call(&vnx::ISQLConnectionVtbl::commit, &tx), 0);
}

TEST_F(BlobLive, ZeroIdentifierReadsAsBlank) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0);
  Cursor c = s.Query("select obj, memo, raw from public.blobs where id = 2");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  std::uint32_t size = 77;
  std::int32_t blank = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &size, &blank), 0);
  EXPECT_EQ(blank, -1);
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(2), &size, &blank), 0);
  EXPECT_EQ(blank, -1);
  EXPECT_EQ(size, 0u);
}

TEST_F(BlobLive, DeletedLargeObjectFailsAndEndsTheDriversTransaction) {
  TestServer::Get().Psql(
      "set role vnx83; delete from public.blobs where id = 9;"
      "insert into public.blobs values (9, lo_from_bytea(0, '\\x41')::oid, null, null);"
      "select lo_unlink(obj::oid) from public.blobs where id = 9;");
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0);
  Cursor c = s.Query("select obj from public.blobs where id = 9");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  s.trace.Clear();
  std::uint32_t size = 0;
  std::int32_t blank = 0;
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &size, &blank), vnx::DBXERR_FAILED);
  std::string error = ErrorOf(c);
  EXPECT_EQ(error.rfind("Cannot open the BLOB field [", 0), 0u) << error;
  EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
  EXPECT_TRUE(s.trace.Contains(2, "Cannot open the BLOB field"));
  EXPECT_TRUE(s.trace.Contains(6, "Ending BLOB transaction: ROLLBACK;"));
  // The connection is not left inside the failed transaction.
  EXPECT_EQ(s.Exec("select 1"), 0);

  char buf[8];
  EXPECT_EQ(c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), buf, &blank, std::uint32_t(1)), vnx::DBXERR_FAILED);
  EXPECT_EQ(ErrorOf(c).rfind("Cannot open the BLOB field [", 0), 0u);
  EXPECT_EQ(s.Exec("select 1"), 0);
}

TEST_F(BlobLive, ByteaAndMemoValuesComeFromTheResult) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0);
  Cursor c = s.Query("select memo, raw from public.blobs where id in (1, 3) order by id");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  std::uint32_t memoSize = 0, rawSize = 0;
  std::int32_t blank = 0;
  // Sizes of both columns first, then the data: each value is its own.
  c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &memoSize, &blank);
  c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(2), &rawSize, &blank);
  EXPECT_EQ(memoSize, 8u);
  EXPECT_EQ(rawSize, 3u);
  std::string memo(memoSize, '\0'), raw(rawSize, '\0');
  c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), memo.data(), &blank, memoSize);
  c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(2), raw.data(), &blank, rawSize);
  EXPECT_EQ(memo, "memo one");
  EXPECT_EQ(raw, std::string("\0\1\2", 3));
  // A smaller buffer gets only its length; a second getBlob unescapes again.
  char two[2];
  c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(2), two, &blank, std::uint32_t(2));
  EXPECT_EQ(std::string(two, 2), std::string("\0\1", 2));
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &memoSize, &blank);
  EXPECT_EQ(memoSize, 10u);
}

TEST_F(BlobLive, AsynchronousConnectionIsBackInNonBlockingModeAfterEveryBlobCall) {
  SessionOptions async;
  async.async = true;
  LiveSession s(async);
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  void* handle = nullptr;
  std::int16_t len = 0;
  s.conn.call(&vnx::ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, &handle, std::int16_t(sizeof handle), &len);
  // libpq is in the process already, opened by the driver with global visibility.
  auto isNonBlocking = reinterpret_cast<int (*)(void*)>(dlsym(RTLD_DEFAULT, "PQisnonblocking"));
  ASSERT_NE(isNonBlocking, nullptr);
  ASSERT_EQ(isNonBlocking(handle), 1);

  Cursor c = s.Query("select obj from public.blobs where id = 1");
  ASSERT_EQ(c.call(&ISQLCursorVtbl::next), 0);
  std::uint32_t size = 0;
  std::int32_t blank = 0;
  ASSERT_EQ(c.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &size, &blank), 0) << ErrorOf(c);
  EXPECT_EQ(isNonBlocking(handle), 1);
  std::string data(size, '\0');
  ASSERT_EQ(c.call(&ISQLCursorVtbl::getBlob, std::uint16_t(1), data.data(), &blank, size), 0) << ErrorOf(c);
  EXPECT_EQ(data, Expected());
  EXPECT_EQ(isNonBlocking(handle), 1);
  c.reset();
  // After a failure too: no object has this identifier (above 2^31, read as unsigned).
  Cursor missing = s.Query("select 4000000000::oid::lo as obj");
  ASSERT_EQ(missing.call(&ISQLCursorVtbl::next), 0);
  EXPECT_EQ(missing.call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(1), &size, &blank), vnx::DBXERR_FAILED);
  EXPECT_NE(ErrorOf(missing).find("4000000000"), std::string::npos) << ErrorOf(missing);
  EXPECT_EQ(isNonBlocking(handle), 1);
  EXPECT_EQ(s.Exec("select 1"), 0);
}

}  // namespace
