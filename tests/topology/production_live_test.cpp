// Connections as production runs them (tests/server/topology.sh): verified TLS and libpq's own
// settings, several hosts, a standby, pgbouncer and pgpool-II, a silent server, a failover.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLCommandVtbl;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLCursorVtbl;

namespace {

std::string Env(const std::string& key) {
  static const std::map<std::string, std::string> env = [] {
    std::map<std::string, std::string> m;
    const char* file = std::getenv("VNX_TOPOENV");
    std::ifstream in(file ? file : "");
    for (std::string line; std::getline(in, line);)
      if (auto eq = line.find('='); eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
    return m;
  }();
  auto it = env.find("VNX_TOPO_" + key);
  return it == env.end() ? std::string() : it->second;
}

// A server name for the test database at host:port (a port key of the env file).
std::string Name(const std::string& host, const std::string& portKey, const std::string& options = "") {
  return host + ":" + Env(portKey) + "/" + Env("DATABASE") + ",AcceptNewerServers=True" + (options.empty() ? "" : "," + options);
}

struct Session {
  Driver driver = GetDriver(Library());
  Connection conn = NewConnection(driver);
  TraceLog trace;
  SQLResult rc;
  Session(const std::string& name, const std::string& user, std::string password = Env("PASSWORD"), bool async = false) {
    trace.Attach(conn);
    if (async) conn.call(&ISQLConnectionVtbl::SetOption, vnx::eConnBlockingMode, 1);
    rc = conn.call(&ISQLConnectionVtbl::connect, name.c_str(), user.c_str(), password.c_str());
  }
  std::string Host() const {
    char buf[256] = {};
    std::int16_t len = 0;
    conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnHostName, buf, std::int16_t(sizeof buf - 1), &len);
    return buf;
  }
  // The first value of a statement's first row as text, or "error: " and the command's text.
  std::string One(const std::string& sql) const {
    Command cmd;
    conn.call(&ISQLConnectionVtbl::getSQLCommand, cmd.out());
    Cursor c;
    if (cmd.call(&ISQLCommandVtbl::executeImmediate, sql.c_str(), c.out()) != 0) return "error: " + ErrorOf(cmd);
    if (!c) return "";
    if (c.call(&ISQLCursorVtbl::next) != 0) return "error: " + ErrorOf(c);
    return ValueAsText(c, 1);
  }
  // How many rows a query gives, read to its end (through batches with FetchRows).
  std::size_t Rows(const std::string& sql) const {
    Command cmd;
    conn.call(&ISQLConnectionVtbl::getSQLCommand, cmd.out());
    Cursor c;
    EXPECT_EQ(cmd.call(&ISQLCommandVtbl::executeImmediate, sql.c_str(), c.out()), 0) << ErrorOf(cmd);
    return c ? ReadAll(c).size() : 0;
  }
};

class Topology : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("PRIMARY_PORT").empty()) GTEST_SKIP() << "no topology: VNX_TOPOENV names none";
  }
};

TEST_F(Topology, TlsAndLibpqSettings) {
  const std::string tls = "sslmode=verify-full,sslrootcert=" + Env("CA");
  const struct {
    const char* what;
    std::string name, user, password, error;  // error: what the refusal says; empty: it connects
  } cases[] = {
      {"verify-full", Name("localhost", "PRIMARY_PORT", tls), Env("TLS_USER"), Env("PASSWORD"), ""},
      {"wrong CA", Name("localhost", "PRIMARY_PORT", "sslmode=verify-full,sslrootcert=" + Env("WRONG_CA")),
       Env("TLS_USER"), Env("PASSWORD"), "certificate verify failed"},
      {"wrong host", Name("wrong.example", "PRIMARY_PORT", "hostaddr=127.0.0.1," + tls), Env("TLS_USER"),
       Env("PASSWORD"), "does not match host name"},
      {"client certificate",
       Name("localhost", "PRIMARY_PORT", tls + ",sslcert=" + Env("CLIENT_CERT") + ",sslkey=" + Env("CLIENT_KEY")),
       Env("CERT_USER"), "", ""},
      {"channel binding without TLS", Name("127.0.0.1", "PRIMARY_PORT", "sslmode=disable,channel_binding=require"),
       Env("USER"), Env("PASSWORD"), "channel binding required"},
      {"RequireSSL", Name("127.0.0.1", "PRIMARY_PORT", "RequireSSL=True"), Env("PLAIN_USER"), Env("PASSWORD"),
       "SSL encryption"},
      {"service file", ",service=" + Env("SERVICE") + ",AcceptNewerServers=True", "", "", ""},
  };
  ::setenv("PGSERVICEFILE", Env("SERVICEFILE").c_str(), 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Session s(c.name, c.user, c.password);
    if (c.error.empty()) {
      ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
      EXPECT_TRUE(s.trace.Contains(4, "over TLS"));
      EXPECT_EQ(s.One("select ssl from pg_stat_ssl where pid = pg_backend_pid()"), "1");
    } else {
      EXPECT_NE(s.rc, 0);
      EXPECT_NE(ErrorOf(s.conn).find(c.error), std::string::npos) << ErrorOf(s.conn);
    }
  }
  // libpq settings reach the server; passwords never reach the trace; a key nobody knows
  // is named there.
  Session s(Name("127.0.0.1", "PRIMARY_PORT", "application_name=vnx topo app,password=zz9,NoSuchKey=1"), Env("USER"));
  ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
  EXPECT_EQ(s.One("select application_name from pg_stat_activity where pid = pg_backend_pid()"), "vnx topo app");
  EXPECT_TRUE(s.trace.Contains(4, "password=********"));
  EXPECT_TRUE(s.trace.Contains(8, "NoSuchKey"));
  for (const auto& l : s.trace.lines) EXPECT_EQ(l.text.find("zz9"), std::string::npos) << l.text;
}

TEST_F(Topology, SeveralHostsLandOnThePrimary) {
  const std::string primary = "127.0.0.1:" + Env("PRIMARY_PORT"), standby = "127.0.0.1:" + Env("STANDBY_PORT");
  for (const std::string& hosts : {standby + "," + primary, primary + "," + standby}) {
    SCOPED_TRACE(hosts);
    Session s(hosts + "/" + Env("DATABASE") + ",AcceptNewerServers=True,target_session_attrs=read-write", Env("USER"));
    ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
    EXPECT_EQ(s.One("select pg_is_in_recovery()"), "0");
    EXPECT_EQ(s.Host(), primary);
  }
}

TEST_F(Topology, StandbyReadsAndRefusesWrites) {
  Session primary(Name("127.0.0.1", "PRIMARY_PORT"), Env("USER"));
  ASSERT_EQ(primary.rc, 0) << ErrorOf(primary.conn);
  primary.One("create table if not exists topo_lo as select 1 as id, lo_from_bytea(0, 'standby bytes') as obj");
  std::this_thread::sleep_for(std::chrono::seconds(1));  // replication
  Session s(Name("127.0.0.1", "STANDBY_PORT", "FetchRows=2"), Env("USER"));
  ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
  EXPECT_EQ(s.One("select count(*) from generate_series(1, 5)"), "5");
  EXPECT_NE(s.One("create table topo_nope (i int)").find("read-only"), std::string::npos);
  // A batched read, metadata and a large object read work, and so does the session.
  EXPECT_EQ(s.Rows("select i from generate_series(1, 5) i"), 5u);
  MetaData md;
  ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::getSQLMetaData, md.out()), 0);
  Cursor tables;
  EXPECT_EQ(md.call(&vnx::ISQLMetaDataVtbl::getTables, "topo_lo", std::uint32_t(0), tables.out()), 0) << ErrorOf(md);
  EXPECT_EQ(s.One("select lo_get(obj) = 'standby bytes' from topo_lo"), "1");
  EXPECT_EQ(s.One("select 1"), "1");
}

TEST_F(Topology, PoolersKeepTheSessionsSettings) {
  const struct {
    const char* what;
    std::string name;
  } poolers[] = {
      {"pgbouncer, transactions", Name("127.0.0.1", "BOUNCER_PORT")},
      {"pgbouncer, sessions", "127.0.0.1:" + Env("BOUNCER_PORT") + "/" + Env("BOUNCER_SESSION_DATABASE") +
                                   ",AcceptNewerServers=True"},
      {"pgpool-II", Name("127.0.0.1", "PGPOOL_PORT")},
  };
  for (const auto& p : poolers) {
    SCOPED_TRACE(p.what);
    // Dates read right in every session: the database's own DateStyle is SQL, DMY, and
    // pgpool-II spreads sessions over both servers.
    for (int i = 0; i < 4; ++i) {
      // Every other session named so that pgpool-II surely sends it to the standby.
      Session s(p.name + (i % 2 ? ",application_name=" + Env("PGPOOL_STANDBY_APPNAME") : ""), Env("USER"));
      ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
      EXPECT_EQ(s.One("select date '2024-03-05'"), "2024-03-05");
      EXPECT_EQ(s.One("select repeat('x', 3) || decode('4142', 'hex')::text"), "xxx\\x4142");  // a memo
    }
    Session s(p.name + ",FetchRows=2", Env("USER"), Env("PASSWORD"), true);
    ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
    vnx::TTransactionDesc tx{1, 0, vnx::xilREADCOMMITTED, 0};
    ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::beginTransaction, &tx), 0) << ErrorOf(s.conn);
    EXPECT_EQ(s.Rows("select i from generate_series(1, 7) i"), 7u);
    EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::commit, &tx), 0) << ErrorOf(s.conn);
    // A parameter, and the metadata interface.
    Command param;
    s.conn.call(&ISQLConnectionVtbl::getSQLCommand, param.out());
    std::int32_t v = 41;
    param.call(&ISQLCommandVtbl::prepare, "select ? + 1", std::uint16_t(1));
    param.call(&ISQLCommandVtbl::setParameter, std::uint16_t(1), std::uint16_t(0), std::uint32_t(1),
               std::uint16_t(vnx::fldINT32), std::uint16_t(0), 0, 0, std::uint32_t(4), &v, 0);
    Cursor sum;
    ASSERT_EQ(param.call(&ISQLCommandVtbl::execute, sum.out()), 0) << ErrorOf(param);
    ASSERT_EQ(sum.call(&ISQLCursorVtbl::next), 0);
    EXPECT_EQ(ValueAsText(sum, 1), "42");
    MetaData md;
    ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::getSQLMetaData, md.out()), 0);
    Cursor tables;
    EXPECT_EQ(md.call(&vnx::ISQLMetaDataVtbl::getTables, "", std::uint32_t(0), tables.out()), 0) << ErrorOf(md);
    // CancelQuery from another thread ends a long statement.
    void* handle = nullptr;
    std::int16_t len = 0;
    s.conn.call(&ISQLConnectionVtbl::GetOption, vnx::eConnNativeHandle, &handle, std::int16_t(sizeof handle), &len);
    std::thread canceller([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      Library().cancelQuery()(static_cast<pg_conn*>(handle));
    });
    EXPECT_NE(s.One("select pg_sleep(20)").find("cancel"), std::string::npos);
    canceller.join();
    EXPECT_EQ(s.One("select 1"), "1");
  }
}

TEST_F(Topology, QueryTimeoutEndsAWaitForASilentServer) {
  Session s(Name("127.0.0.1", "PRIMARY_PORT", "QueryTimeout=1"), Env("USER"));
  ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
  const pid_t backend = std::stoi(s.One("select pg_backend_pid()"));
  ASSERT_EQ(::kill(backend, SIGSTOP), 0);
  const auto start = std::chrono::steady_clock::now();
  const std::string error = s.One("select count(*) from generate_series(1, 100000)");
  const auto waited = std::chrono::steady_clock::now() - start;
  ::kill(backend, SIGCONT);
  EXPECT_NE(error.find("QueryTimeout"), std::string::npos) << error;
  EXPECT_LT(waited, std::chrono::seconds(15));
}

// The last test: after it the primary is gone.
TEST_F(Topology, FailoverReachesThePromotedStandby) {
  const std::string hosts = "127.0.0.1:" + Env("PRIMARY_PORT") + ",127.0.0.1:" + Env("STANDBY_PORT");
  const std::string name = hosts + "/" + Env("DATABASE") + ",AcceptNewerServers=True,target_session_attrs=read-write";
  Session s(name, Env("USER"));
  ASSERT_EQ(s.rc, 0) << ErrorOf(s.conn);
  const std::string promote = std::string(VNX_TOPOLOGY_SCRIPT) + " promote " + std::getenv("VNX_TOPOSTATE");
  ASSERT_EQ(std::system(promote.c_str()), 0);
  EXPECT_EQ(s.One("select 1").rfind("error: ", 0), 0u);  // the server went away: a failure, at once
  s.conn.call(&ISQLConnectionVtbl::disconnect);
  ASSERT_EQ(s.conn.call(&ISQLConnectionVtbl::connect, name.c_str(), Env("USER").c_str(), Env("PASSWORD").c_str()), 0)
      << ErrorOf(s.conn);
  EXPECT_EQ(s.Host(), "127.0.0.1:" + Env("STANDBY_PORT"));
  EXPECT_EQ(s.One("create table topo_after_failover (i int)"), "");
}

}  // namespace
