// Eight threads, each with its own connection from one driver, run statements with
// parameters, BLOB reads, catalogue calls, transactions and cancelled statements at the same
// time. Built with ThreadSanitizer (build/tsan) this shows that connections share nothing
// unguarded; in the native tree LeakSanitizer adds that nothing is left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLCommandVtbl;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLCursorVtbl;
using vnx::ISQLMetaDataVtbl;

namespace {

constexpr int kThreads = 8;
constexpr char kRole[] = "vnx_stress";  // used by this test alone, so its backends can be counted
constexpr char kCancelled[] = "canceling statement due to user request";

// Statements per thread: 2000, or VNX_STRESS_STATEMENTS.
int StatementsPerThread() {
  const char* n = std::getenv("VNX_STRESS_STATEMENTS");
  return n && std::atoi(n) > 0 ? std::atoi(n) : 2000;
}

std::string LargeObjectText(int id) { return std::string(1000 * id, static_cast<char>('a' + id - 1)); }

// One thread's session. Every failure that is not a cancel is kept for the main thread.
class Worker {
 public:
  Worker(const Driver& driver, int id) : driver_(driver), id_(id) {}

  void Run(int statements) {
    conn_ = NewConnection(driver_);
    conn_.call(&ISQLConnectionVtbl::SetOption, vnx::eConnBlockingMode, 1);  // cancels need it
    const std::string name = TestServer::Get().SocketServerName();
    if (Check(conn_.call(&ISQLConnectionVtbl::connect, name.c_str(), kRole, ""), conn_, "connect")) {
      std::int16_t len = 0;
      conn_.call(&ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, &handle_, std::int16_t(sizeof handle_), &len);
      for (int i = 0; i < statements; ++i) {
        switch (i % 8) {
          case 0: case 1: case 2: case 7: Parameters(i); break;
          case 3: case 6: Blobs(i); break;
          case 4: Catalogue(i); break;
          default: if (i % 40 == 5) Cancel(); else Transaction(i); break;
        }
      }
      conn_.call(&ISQLConnectionVtbl::disconnect);
    }
    conn_.reset();
  }

  std::vector<std::string> failures;
  int cancels = 0;

 private:
  // True on success; a failure is a cancel (counted) or kept with its text.
  template <class Vtbl>
  bool Check(SQLResult rc, const Intf<Vtbl>& object, const std::string& what) {
    if (rc == 0) return true;
    const std::string text = ErrorOf(object);
    if (text.find(kCancelled) != std::string::npos) ++stray_;
    else failures.push_back(what + " (" + std::to_string(rc) + "): " + text);
    return false;
  }
  void Expect(bool ok, const std::string& what) {
    if (!ok) failures.push_back(what);
  }

  void Parameters(int i) {
    Command c;
    conn_.call(&ISQLConnectionVtbl::getSQLCommand, c.out());
    c.call(&ISQLCommandVtbl::prepare, "select ?::int4 + ?, ? as t", std::uint16_t(3));
    std::int32_t a = i, b = id_;
    const std::string text = "w" + std::to_string(id_) + "'q\\" + std::to_string(i);
    auto param = [&](std::uint16_t n, std::uint16_t type, const void* value, std::uint32_t size) {
      c.call(&ISQLCommandVtbl::setParameter, n, std::uint16_t(0), std::uint32_t(vnx::paramIN), type,
             std::uint16_t(0), std::int32_t(0), std::int32_t(0), size, const_cast<void*>(value), std::int32_t(0));
    };
    param(1, vnx::fldINT32, &a, 4);
    param(2, vnx::fldINT32, &b, 4);
    param(3, vnx::fldZSTRING, text.c_str(), static_cast<std::uint32_t>(text.size() + 1));
    Cursor r;
    if (!Check(c.call(&ISQLCommandVtbl::execute, r.out()), c, "parameters")) return;
    if (!Check(r.call(&ISQLCursorVtbl::next), r, "parameters next")) return;
    Expect(ValueAsText(r, 1) == std::to_string(i + id_) && ValueAsText(r, 2) == text,
           "parameters came back as " + ValueAsText(r, 1) + ", " + ValueAsText(r, 2));
  }

  void Blobs(int i) {
    const int id = i % 3 + 1;
    Command c;
    conn_.call(&ISQLConnectionVtbl::getSQLCommand, c.out());
    Cursor r;
    const std::string sql = "select obj, raw, memo from public.stress_blobs where id = " + std::to_string(id);
    if (!Check(c.call(&ISQLCommandVtbl::executeImmediate, sql.c_str(), r.out()), c, "blob query")) return;
    if (!Check(r.call(&ISQLCursorVtbl::next), r, "blob next")) return;
    const std::string expected[] = {LargeObjectText(id), std::string(id, '\x01') + '\0', "memo " + std::to_string(id)};
    for (std::uint16_t column = 1; column <= 3; ++column) {
      std::uint32_t size = 0;
      std::int32_t blank = 0;
      if (!Check(r.call(&ISQLCursorVtbl::getBlobSize, column, &size, &blank), r, "getBlobSize")) return;
      std::string data(size, '\0');
      if (!Check(r.call(&ISQLCursorVtbl::getBlob, column, data.data(), &blank, size), r, "getBlob")) return;
      Expect(data == expected[column - 1], "BLOB column " + std::to_string(column) + " of row " + std::to_string(id));
    }
  }

  void Catalogue(int i) {
    MetaData m;
    conn_.call(&ISQLConnectionVtbl::getSQLMetaData, m.out());
    Cursor r;
    SQLResult rc = i % 16 == 4 ? m.call(&ISQLMetaDataVtbl::getColumns, "public.stress_blobs", nullptr, std::uint32_t(0), r.out())
                               : m.call(&ISQLMetaDataVtbl::getTables, "stress%", std::uint32_t(0), r.out());
    if (!Check(rc, m, "catalogue")) return;
    int rows = 0;
    while (r.call(&ISQLCursorVtbl::next) == 0) ++rows;
    Expect(rows == (i % 16 == 4 ? 4 : 2), "catalogue rows: " + std::to_string(rows));
  }

  void Transaction(int i) {
    vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
    if (!Check(conn_.call(&ISQLConnectionVtbl::beginTransaction, &tx), conn_, "begin")) return;
    Command c;
    conn_.call(&ISQLConnectionVtbl::getSQLCommand, c.out());
    const std::string sql =
        "insert into public.stress_rows values (" + std::to_string(id_) + ", " + std::to_string(i) + ")";
    Cursor none;
    const bool inserted = Check(c.call(&ISQLCommandVtbl::executeImmediate, sql.c_str(), none.out()), c, "insert");
    std::uint32_t rows = 0;
    c.call(&ISQLCommandVtbl::getRowsAffected, &rows);
    if (inserted) Expect(rows == 1, "insert affected " + std::to_string(rows));
    // A transaction whose insert was cancelled can only be rolled back.
    if (inserted) Check(conn_.call(&ISQLConnectionVtbl::commit, &tx), conn_, "commit");
    else Check(conn_.call(&ISQLConnectionVtbl::rollback, &tx), conn_, "rollback");
  }

  // A long statement that another thread cancels. The cancel is sent once the statement
  // runs, and again only if it is still running a second later.
  void Cancel() {
    Command c;
    conn_.call(&ISQLConnectionVtbl::getSQLCommand, c.out());
    std::atomic<bool> done{false};
    auto cancel = Library().cancelQuery();
    std::thread canceller([&] {
      for (int wait = 50; !done; wait = 1000) {
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        if (!done) cancel(static_cast<pg_conn*>(handle_));
      }
    });
    Cursor r;
    const SQLResult rc = c.call(&ISQLCommandVtbl::executeImmediate, "select pg_sleep(30)", r.out());
    done = true;
    canceller.join();
    const std::string text = ErrorOf(c);
    if (rc == vnx::DBXERR_FAILED && text.find(kCancelled) != std::string::npos) ++cancels;
    else failures.push_back("the long statement ended with " + std::to_string(rc) + ": " + text);
  }

  const Driver& driver_;
  const int id_;
  Connection conn_;
  void* handle_ = nullptr;
  int stray_ = 0;  // cancels that reached a later statement: allowed, not counted as failures
};

// Backends of the test's role still open on the server, after waiting for them to go.
int OpenBackends() {
  std::string count;
  for (int i = 0; i < 50; ++i) {
    count = TestServer::Get().Psql(std::string("select count(*) from pg_stat_activity where usename = '") + kRole + "'");
    if (count == "0") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return std::atoi(count.c_str());
}

TEST(Concurrency, EightConnectionsOfOneDriverWorkSideBySide) {
  VNX_REQUIRE_SERVER();
  TestServer::Get().Psql(
      "set role vnx_stress; drop table if exists public.stress_blobs, public.stress_rows;"
      "create table public.stress_rows (worker int, n int);"
      "create table public.stress_blobs (id int, obj lo, raw bytea, memo text);"
      "insert into public.stress_blobs select i, lo_from_bytea(0, convert_to(repeat(chr(96 + i), 1000 * i), "
      "'SQL_ASCII'))::oid, decode(repeat('01', i) || '00', 'hex'), 'memo ' || i from generate_series(1, 3) i;");
  const int statements = StatementsPerThread();
  Driver driver = GetDriver(Library());
  std::vector<Worker> workers;
  for (int id = 0; id < kThreads; ++id) workers.emplace_back(driver, id);
  std::vector<std::thread> threads;
  for (Worker& w : workers) threads.emplace_back([&w, statements] { w.Run(statements); });
  for (std::thread& t : threads) t.join();

  for (const Worker& w : workers) {
    for (const std::string& f : w.failures) ADD_FAILURE() << f;
    EXPECT_EQ(w.cancels, (statements + 34) / 40) << "every long statement is cancelled";
  }
  EXPECT_EQ(RefCount(driver), 1) << "a connection or one of its objects was not freed";
  EXPECT_EQ(OpenBackends(), 0) << "a server connection was left open";
  const std::string committed =
      TestServer::Get().Psql("select count(*) = count(distinct (worker, n)) from public.stress_rows");
  EXPECT_EQ(committed, "t");
}

}  // namespace
