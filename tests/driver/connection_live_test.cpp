// Connecting and disconnecting as an application does, through the loaded driver library:
// the trace of a connect, version checks, logins, asynchronous mode, transactions and
// connection settings against the throwaway server.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/harness/dbx_client.h"
#include "tests/harness/live_session.h"
#include "tests/harness/test_server.h"

using namespace vnxtest;
using vnx::ISQLConnectionVtbl;

namespace {

struct TraceLine {
  std::string text;
  std::int32_t category;
  bool operator==(const TraceLine&) const = default;
};
std::ostream& operator<<(std::ostream& os, const TraceLine& l) { return os << l.category << ": " << l.text; }

std::vector<TraceLine> g_trace;

std::int32_t VNX_STDCALL Collect(std::int32_t, void* info) {
  auto* desc = static_cast<vnx::SQLTRACEDesc*>(info);
  g_trace.push_back({std::string(desc->pszTrace, strnlen(desc->pszTrace, sizeof desc->pszTrace)), desc->eTraceCat});
  return 0;
}

const DriverLibrary& Lib() {
  static DriverLibrary lib;
  return lib;
}

class ConnectionLive : public ::testing::Test {
 protected:
  void SetUp() override {
    VNX_REQUIRE_SERVER();
    g_trace.clear();
    driver = GetDriver(Lib());
    conn = NewConnection(driver);
  }

  void Trace() { SetOption(vnx::eConnCallBack, reinterpret_cast<vnx::OptionValue>(&Collect)); }
  SQLResult SetOption(std::uint32_t option, vnx::OptionValue value) {
    return conn.call(&ISQLConnectionVtbl::SetOption, option, value);
  }
  SQLResult SetText(std::uint32_t option, const char* text) {
    return SetOption(option, reinterpret_cast<vnx::OptionValue>(text));
  }
  SQLResult Connect(const std::string& serverName, const char* user = kRole83, const char* password = "") {
    return conn.call(&ISQLConnectionVtbl::connect, serverName.c_str(), user, password);
  }
  SQLResult Disconnect() { return conn.call(&ISQLConnectionVtbl::disconnect); }
  std::string Text(std::uint32_t option, std::int16_t maxLength = 200, std::int16_t* lengthOut = nullptr) {
    std::vector<char> buf(static_cast<std::size_t>(maxLength) + 1, '\x7f');
    std::int16_t length = -5;
    conn.call(&ISQLConnectionVtbl::GetOption, option, static_cast<void*>(buf.data()), maxLength, &length);
    if (lengthOut) *lengthOut = length;
    return std::string(buf.data());
  }
  SQLResult Begin(std::uint32_t isolation) {
    vnx::TTransactionDesc desc{1, 0, isolation, 0};
    return conn.call(&ISQLConnectionVtbl::beginTransaction, &desc);
  }
  SQLResult Commit() {
    vnx::TTransactionDesc desc{1, 0, 0, 0};
    return conn.call(&ISQLConnectionVtbl::commit, &desc);
  }
  SQLResult Rollback() {
    vnx::TTransactionDesc desc{1, 0, 0, 0};
    return conn.call(&ISQLConnectionVtbl::rollback, &desc);
  }
  std::vector<TraceLine> Lines(std::int32_t category) const {
    std::vector<TraceLine> r;
    for (const TraceLine& l : g_trace)
      if (l.category == category) r.push_back(l);
    return r;
  }
  bool Traced(const std::string& text, std::int32_t category) const {
    for (const TraceLine& l : g_trace)
      if (l.text == text && l.category == category) return true;
    return false;
  }

  Driver driver;
  Connection conn;
};

TEST_F(ConnectionLive, ConnectAndDisconnectTraceExactlyTheirLines) {
  // The loading lines appear on the first connect of the process only: a library copy of
  // its own makes this that first connect, whatever ran before.
  const DriverLibrary fresh = FreshLibraryCopy();
  driver = GetDriver(fresh);
  conn = NewConnection(driver);
  Trace();
  const TestServer& s = TestServer::Get();
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  EXPECT_EQ(ErrorOf(conn), "");
  ASSERT_EQ(Disconnect(), 0);

  std::vector<TraceLine> lines = g_trace;
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].category, 4);
  EXPECT_EQ(lines[0].text.rfind("Vornex Driver v4.23 [", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].text.back(), ']');
  EXPECT_EQ(lines[1], (TraceLine{"Vornex library: " + fresh.path(), 4}));
  lines.erase(lines.begin(), lines.begin() + 2);
  const std::vector<TraceLine> expected = {
      {std::string("Loading PostgreSQL interface Library ") + VNX_TEST_LIBPQ, 8},
      {std::string("Libpq: ") + VNX_TEST_LIBPQ, 8},
      {"Connecting to database " + s.database + " on server " + s.socketDir, 4},
      {"Connected in synchronous mode", 4},
      {"Server reached: host " + s.socketDir + ", port " + s.port + ", without TLS", 4},
      {"dbExpress protocol version: 2.5", 8},
      {"PostgreSQL libpq protocol version: 3.0", 8},
      {"Server encoding: UTF8", 4},
      {"No UNICODE support detected; a single-byte encoding will be used.", 8},
      {"Setting client encoding to LATIN1", 8},
      {"Client encoding: LATIN1", 4},
      {"Disconnecting from server on " + s.database, 4},
  };
  EXPECT_EQ(lines, expected);
}

TEST_F(ConnectionLive, SecondConnectDoesNotLoadAgainAndSetsTheEncodingExplicitly) {
  const TestServer& s = TestServer::Get();
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  Trace();
  // Connecting again on a connected object replaces the server connection.
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  for (const TraceLine& l : g_trace) EXPECT_EQ(l.text.find("Loading"), std::string::npos) << l;
  EXPECT_TRUE(Traced("Setting client encoding to LATIN1", 4));
  EXPECT_FALSE(Traced("No UNICODE support detected; a single-byte encoding will be used.", 8));
  EXPECT_EQ(Text(vnx::eConnServerCharSet), "/LATIN1");
  EXPECT_EQ(Text(vnx::eConnDatabaseName), s.database);
  Disconnect();
}

TEST_F(ConnectionLive, ServerVersionsAreCheckedWithoutTracingTheRefusal) {
  VNX_ONLY_DISGUISED("the version texts come from the disguised roles");
  const TestServer& s = TestServer::Get();
  Trace();
  EXPECT_EQ(Connect(s.SocketServerName(), kRole71), 0) << ErrorOf(conn);
  EXPECT_EQ(Connect(s.SocketServerName(), kRoleEdb), 0) << ErrorOf(conn);
  EXPECT_EQ(Connect(s.SocketServerName(), kRole83), 0) << ErrorOf(conn);

  EXPECT_EQ(Connect(s.SocketServerName(), kRole70), 0x2000);
  EXPECT_EQ(ErrorOf(conn),
            "Error: Vornex requires a PostgreSQL server 7.1 or newer. Yours is:\r"
            "PostgreSQL 7.0.3 on i686-pc-linux-gnu, compiled by gcc egcs-2.91.66");
  EXPECT_EQ(Connect(s.SocketServerName(), kRole84), 0x2000);
  EXPECT_EQ(ErrorOf(conn),
            "The Vornex Driver has not been tested with this server version "
            "[PostgreSQL 8.4.0 on i686-pc-linux-gnu, compiled by GCC gcc (GCC) 4.3.2]");
  EXPECT_EQ(Connect(s.SocketServerName(), kRoleUnknown), 0x2000);
  EXPECT_EQ(ErrorOf(conn), "Unknown server version [Ingres 9.2.0 on i686-pc-linux-gnu]");
  EXPECT_TRUE(Lines(2).empty());

  // A refused server leaves the connection open until disconnect closes it.
  void* handle = nullptr;
  conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, static_cast<void*>(&handle), std::int16_t(8),
            static_cast<std::int16_t*>(nullptr));
  EXPECT_NE(handle, nullptr);
  g_trace.clear();
  EXPECT_EQ(Disconnect(), 0);
  EXPECT_TRUE(Traced("Disconnecting from server on " + s.database, 4));
  EXPECT_EQ(ErrorOf(conn), "");
}

TEST_F(ConnectionLive, AcceptNewerServersAcceptsFrom71On) {
  VNX_ONLY_DISGUISED("the version texts come from the disguised roles");
  const TestServer& s = TestServer::Get();
  const std::pair<const char*, const char*> cases[] = {
      {kRole84, ""}, {kRole83, ""}, {kRole71, ""}, {kRoleEdb, ""},
      {kRole70, "Error: Vornex requires a PostgreSQL server 7.1 or newer. Yours is:\r"},
      {kRoleUnknown, "Unknown server version [Ingres"},
  };
  for (const auto& [role, refusal] : cases) {
    const SQLResult rc = Connect(s.SocketServerName("AcceptNewerServers=True"), role);
    EXPECT_EQ(rc, *refusal ? vnx::DBXERR_FAILED : vnx::DBXERR_NONE) << role << ": " << ErrorOf(conn);
    EXPECT_EQ(ErrorOf(conn).rfind(refusal, 0), 0u) << role << ": " << ErrorOf(conn);
  }
}

TEST_F(ConnectionLive, PasswordWithBlankAndQuoteLogsIn) {
  const TestServer& s = TestServer::Get();
  EXPECT_EQ(Connect(s.TcpServerName(), kRoleScram, kScramPassword), 0) << ErrorOf(conn);
  Disconnect();
}

TEST_F(ConnectionLive, RefusedLoginsAreReportedAndTracedAsErrors) {
  const TestServer& s = TestServer::Get();
  Trace();
  const std::string prefix = "Could not connect to the database server. Reason: [";
  EXPECT_EQ(Connect(s.TcpServerName(), kRoleScram, "p w'x"), 0x2000);
  std::string error = ErrorOf(conn);
  EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
  EXPECT_NE(error.find("password authentication failed"), std::string::npos) << error;
  EXPECT_EQ(error.substr(error.size() - 2), "].");
  ASSERT_EQ(Lines(2).size(), 1u);
  EXPECT_EQ(Lines(2)[0].text, error);

  g_trace.clear();
  EXPECT_EQ(Connect("127.0.0.1:1/" + s.database), 0x2000);
  error = ErrorOf(conn);
  EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
  ASSERT_EQ(Lines(2).size(), 1u);
  EXPECT_EQ(Lines(2)[0].text, error);
  EXPECT_FALSE(Traced("Connected in synchronous mode", 4));
  EXPECT_EQ(Disconnect(), 0);
}

TEST_F(ConnectionLive, ValuesCannotAddKeywordsToTheConnectionString) {
  const TestServer& s = TestServer::Get();
  // Were the name not quoted, libpq would read a second host keyword and fail to resolve it.
  EXPECT_EQ(Connect(s.socketDir + ":" + s.port + "/x host=elsewhere.invalid"), 0x2000);
  std::string error = ErrorOf(conn);
  EXPECT_NE(error.find("\"x host=elsewhere.invalid\" does not exist"), std::string::npos) << error;
  EXPECT_EQ(Connect(s.SocketServerName(), "vnx83' host='elsewhere.invalid"), 0x2000);
  error = ErrorOf(conn);
  EXPECT_NE(error.find("\"vnx83' host='elsewhere.invalid\" does not exist"), std::string::npos) << error;
}

TEST_F(ConnectionLive, RequireSSLAndConnectionTimeoutReachLibpq) {
  const TestServer& s = TestServer::Get();
  // The test server offers no SSL, so a connection that insists on it is refused.
  EXPECT_EQ(Connect(s.TcpServerName("ConnectionTimeout=5")), 0) << ErrorOf(conn);
  EXPECT_EQ(Connect(s.TcpServerName("RequireSSL=True")), 0x2000);
  EXPECT_NE(ErrorOf(conn).find("SSL"), std::string::npos) << ErrorOf(conn);
}

TEST_F(ConnectionLive, AsynchronousConnectionUsesANonBlockingHandle) {
  const TestServer& s = TestServer::Get();
  ASSERT_EQ(SetOption(vnx::eConnBlockingMode, 1), 0);
  Trace();
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  EXPECT_TRUE(Traced("Connected using asynchronous mode", 4));

  std::uint8_t blocking[2] = {7, 7};
  std::int16_t length = 0;
  conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnBlockingMode, static_cast<void*>(blocking), std::int16_t(1),
            &length);
  EXPECT_EQ(blocking[0], 0);
  EXPECT_EQ(blocking[1], 7);
  EXPECT_EQ(length, 1);

  PGconn* handle = nullptr;
  conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, static_cast<void*>(&handle), std::int16_t(8),
            &length);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(length, static_cast<std::int16_t>(sizeof(void*)));
  // The driver opened libpq with global visibility: the test can ask it about the handle.
  auto isNonBlocking = reinterpret_cast<int (*)(const PGconn*)>(dlsym(RTLD_DEFAULT, "PQisnonblocking"));
  ASSERT_NE(isNonBlocking, nullptr);
  EXPECT_EQ(isNonBlocking(handle), 1);

  // Statements go through the non-blocking path.
  EXPECT_EQ(Begin(vnx::xilREPEATABLEREAD), 0) << ErrorOf(conn);
  EXPECT_EQ(Commit(), 0) << ErrorOf(conn);
  std::int16_t versionLength = 0;
  EXPECT_EQ(Text(vnx::eConnServerVersion, 200, &versionLength).rfind(s.VersionTextPrefix(), 0), 0u);
  Disconnect();

  ASSERT_EQ(SetOption(vnx::eConnBlockingMode, 0), 0);
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnBlockingMode, static_cast<void*>(blocking), std::int16_t(1),
            &length);
  EXPECT_EQ(blocking[0], 1);
  conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, static_cast<void*>(&handle), std::int16_t(8),
            &length);
  EXPECT_EQ(isNonBlocking(handle), 0);
  Disconnect();
}

TEST_F(ConnectionLive, ServerVersionOption) {
  const TestServer& s = TestServer::Get();
  std::int16_t length = 0;
  // Not connected: an empty text, a failure, and the error text left alone.
  EXPECT_EQ(Text(vnx::eConnServerVersion, 10, &length), "");
  EXPECT_EQ(length, 0);
  std::vector<char> buf(11);
  EXPECT_EQ(conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnServerVersion, static_cast<void*>(buf.data()),
                      std::int16_t(10), &length),
            0x2000);

  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  Trace();
  EXPECT_EQ(Text(vnx::eConnServerVersion, 10, &length), "PostgreSQL");
  EXPECT_EQ(length, 11);
  EXPECT_TRUE(Traced("Getting PostgreSQL server version", 7));
  Disconnect();
}

TEST_F(ConnectionLive, TransactionsTraceTheirStepsAndSendOneStatementEach) {
  const TestServer& s = TestServer::Get();
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  Trace();
  EXPECT_EQ(Commit(), 0);  // nothing open: nothing sent, nothing traced
  EXPECT_EQ(Rollback(), 0);
  EXPECT_TRUE(g_trace.empty());

  EXPECT_EQ(Begin(vnx::xilCUSTOM), 0x000F);
  EXPECT_EQ(ErrorOf(conn), "Transaction mode not supported by PostgreSQL");
  EXPECT_EQ(Begin(vnx::xilDIRTYREAD), 0x000F);
  EXPECT_TRUE(g_trace.empty());

  EXPECT_EQ(Begin(vnx::xilREADCOMMITTED), 0) << ErrorOf(conn);
  EXPECT_EQ(ErrorOf(conn), "");
  // A second BEGIN keeps the open transaction; the server's warning arrives as a notice.
  EXPECT_EQ(Begin(vnx::xilCUSTOM), 0) << ErrorOf(conn);
  EXPECT_TRUE(Traced("there is already a transaction in progress", 8));
  EXPECT_EQ(Commit(), 0) << ErrorOf(conn);
  EXPECT_EQ(Begin(vnx::xilREPEATABLEREAD), 0) << ErrorOf(conn);
  EXPECT_EQ(Rollback(), 0) << ErrorOf(conn);
  const std::vector<TraceLine> steps = {
      {"Starting transaction", 5}, {"Starting transaction", 5},     {"Commiting transaction", 5},
      {"Starting transaction", 5}, {"Rolling back transaction", 5},
  };
  EXPECT_EQ(Lines(5), steps);

  std::uint32_t level = 9;
  conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnTxnIsoLevel, static_cast<void*>(&level), std::int16_t(4),
            static_cast<std::int16_t*>(nullptr));
  EXPECT_EQ(level, vnx::xilREPEATABLEREAD);

  // disconnect rolls back a transaction left open.
  EXPECT_EQ(Begin(vnx::xilREADCOMMITTED), 0) << ErrorOf(conn);
  g_trace.clear();
  Disconnect();
  ASSERT_EQ(g_trace.size(), 2u);
  EXPECT_EQ(g_trace[0], (TraceLine{"Rolling back transaction", 5}));
  EXPECT_EQ(g_trace[1], (TraceLine{"Disconnecting from server on " + s.database, 4}));
}

TEST(TransactionLive, CommitAfterAFailedStatementReportsTheRollback) {
  VNX_REQUIRE_SERVER();
  for (const bool async : {false, true}) {
    SCOPED_TRACE(async ? "asynchronous" : "synchronous");
    SessionOptions o;
    o.async = async;
    LiveSession s(o);
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    s.MustExec("create temporary table rolled (a int)");
    vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
    ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0) << s.ConnError();
    s.MustExec("insert into rolled values (1)");
    Command c = s.NewCommand();
    Cursor r;
    EXPECT_EQ(c.call(&vnx::ISQLCommandVtbl::executeImmediate, "select 1/0", r.out()), vnx::DBXERR_FAILED);
    s.trace.Clear();
    const std::string reason = "The transaction was rolled back, not committed: an earlier statement in it failed.";
    EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::commit, &tx), vnx::DBXERR_FAILED);
    EXPECT_EQ(s.ConnError(), reason);
    EXPECT_TRUE(s.trace.Contains(2, reason));
    // The transaction is over; the connection takes statements and transactions again.
    Cursor count = s.Query("select count(*)::int4 from rolled");
    ASSERT_EQ(count.call(&vnx::ISQLCursorVtbl::next), 0);
    EXPECT_EQ(ValueAsText(count, 1), "0");
    EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0) << s.ConnError();
    EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::commit, &tx), 0) << s.ConnError();
  }
}

TEST_F(ConnectionLive, SearchPathIsSetAndTraced) {
  const TestServer& s = TestServer::Get();
  ASSERT_EQ(SetText(vnx::eConnRoleName, "compat, pg_catalog, public"), 0);
  Trace();
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  EXPECT_TRUE(Traced("set search_path to compat, pg_catalog, public;", 4));
  Disconnect();

  ASSERT_EQ(SetText(vnx::eConnRoleName, "compat pg_catalog"), 0);
  EXPECT_EQ(Connect(s.SocketServerName()), 0x2000);
  EXPECT_NE(ErrorOf(conn).find("syntax error"), std::string::npos) << ErrorOf(conn);
  Disconnect();
}

TEST_F(ConnectionLive, OptionsInTheServerNameAndTheDatabaseName) {
  const TestServer& s = TestServer::Get();
  ASSERT_EQ(Connect(s.SocketServerName("TextAsBlob=False, int8mode=asbcd,")), 0) << ErrorOf(conn);
  // The database is reported without the options that followed it.
  std::int16_t length = 0;
  EXPECT_EQ(Text(vnx::eConnDatabaseName, 200, &length), s.database);
  EXPECT_EQ(length, static_cast<std::int16_t>(s.database.size() + 1));
  Disconnect();
  EXPECT_EQ(Text(vnx::eConnDatabaseName), "");
}

TEST_F(ConnectionLive, CharacterSetNamesChooseTheClientEncoding) {
  const TestServer& s = TestServer::Get();
  ASSERT_EQ(SetText(vnx::eConnServerCharSet, "latin1"), 0);
  EXPECT_EQ(Text(vnx::eConnServerCharSet), "latin1");
  Trace();
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  EXPECT_TRUE(Traced("Setting client encoding to LATIN1", 4));
  EXPECT_TRUE(Traced("Client encoding: LATIN1", 4));
  EXPECT_EQ(Text(vnx::eConnServerCharSet), "latin1/latin1");
  Disconnect();

  // A name the driver does not know leaves the choice to the server's report.
  ASSERT_EQ(SetText(vnx::eConnServerCharSet, "iso-8859-1"), 0);
  g_trace.clear();
  ASSERT_EQ(Connect(s.SocketServerName()), 0) << ErrorOf(conn);
  EXPECT_TRUE(Traced("No UNICODE support detected; a single-byte encoding will be used.", 8));
  EXPECT_EQ(Text(vnx::eConnServerCharSet), "iso-8859-1/LATIN1");
  Disconnect();

  // An encoding the server does not know fails connect without a trace.
  ASSERT_EQ(SetText(vnx::eConnServerCharSet, "/klingon"), 0);
  g_trace.clear();
  EXPECT_EQ(Connect(s.SocketServerName()), 0x2000);
  EXPECT_EQ(ErrorOf(conn), "Could not set client encoding to \"klingon\"");
  EXPECT_TRUE(Lines(2).empty());
  Disconnect();
}

}  // namespace
