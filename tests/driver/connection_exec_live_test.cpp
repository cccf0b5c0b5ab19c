// The connection's own routines against the throwaway server, called in-process: ExecQuery
// and ExecSQL in both modes, what connect learns from the server, isolation levels, a lost
// server connection, notices and the conversion of UTF-8 error texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/sql_connection.h"
#include "tests/harness/connection_access.h"
#include "driver/sql_driver.h"
#include "libpq/libpq_api.h"
#include "tests/harness/test_server.h"

using namespace vnx;
using vnxtest::TestServer;

namespace {

std::vector<std::pair<std::string, std::int32_t>> g_lines;

std::int32_t VNX_STDCALL Collect(std::int32_t, void* info) {
  auto* desc = static_cast<SQLTRACEDesc*>(info);
  g_lines.emplace_back(std::string(desc->pszTrace, strnlen(desc->pszTrace, sizeof desc->pszTrace)), desc->eTraceCat);
  return 0;
}

bool Traced(const std::string& text, std::int32_t category) {
  for (const auto& l : g_lines)
    if (l.first == text && l.second == category) return true;
  return false;
}

// One result, freed at the end of the scope.
struct Query {
  PGresult* result = nullptr;
  std::string error;
  bool ok = false;
  Query(TVNXISQLConnection* conn, const std::string& sql) { ok = conn->ExecQuery(sql, result, error); }
  ~Query() {
    if (result) PQ.PQclear(result);
  }
  std::string Value(int row = 0, int column = 0) const {
    return result && PQ.PQntuples(result) > row ? PQ.PQgetvalue(result, row, column) : "<none>";
  }
};

class ExecLive : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    VNX_REQUIRE_SERVER();
    g_lines.clear();
    driver = new TVNXISQLDriver(VNX_TEST_LIBPQ, "");
    driver->AddRef();
    conn = new TVNXISQLConnection(driver);
    conn->AddRef();
    conn->SetOption(eConnCallBack, reinterpret_cast<OptionValue>(&Collect));
    conn->SetOption(eConnBlockingMode, GetParam() ? 1 : 0);
  }
  void TearDown() override {
    if (conn) {
      conn->disconnect();
      conn->Release();
    }
    if (driver) driver->Release();
  }
  SQLResult Connect(const std::string& options = "", const char* role = vnxtest::kRole83) {
    return conn->connect(TestServer::Get().SocketServerName(options).c_str(), role, "");
  }

  TVNXISQLDriver* driver = nullptr;
  TVNXISQLConnection* conn = nullptr;
};

TEST_P(ExecLive, OutcomesOfExecQuery) {
  ASSERT_EQ(Connect(), 0) << conn->ErrorMessage;
  {
    Query q(conn, "select 1");
    EXPECT_TRUE(q.ok);
    EXPECT_EQ(q.error, "");
    EXPECT_EQ(q.Value(), "1");
  }
  {
    Query q(conn, "");
    EXPECT_FALSE(q.ok);
    EXPECT_EQ(q.error, "Query is empty");
    EXPECT_NE(q.result, nullptr);  // handed back for the caller to free
  }
  {
    Query q(conn, "select * from public.no_such_table");
    EXPECT_FALSE(q.ok);
    EXPECT_EQ(q.error, "relation \"public.no_such_table\" does not exist");
  }
  {
    // A statement list answers with its last result.
    Query q(conn, "create temp table t(x int); insert into t values (1), (2); select count(*) from t");
    EXPECT_TRUE(q.ok) << q.error;
    EXPECT_EQ(q.Value(), "2");
  }
  {
    Query q(conn, "insert into t values (3); insert into t values (4), (5)");
    EXPECT_TRUE(q.ok) << q.error;
    EXPECT_EQ(PQ.PQresultStatus(q.result), PGRES_COMMAND_OK);
    EXPECT_STREQ(PQ.PQcmdTuples(q.result), "2");
  }
  {
    Query q(conn, "select 1; select 2");
    EXPECT_TRUE(q.ok);
  }
  {
    // Whatever the list above left unread does not answer the next statement.
    Query q(conn, "select 3");
    EXPECT_TRUE(q.ok) << q.error;
    EXPECT_EQ(q.Value(), "3");
  }
  std::string error;
  EXPECT_TRUE(conn->ExecSQL("select 4", error));
  EXPECT_FALSE(conn->ExecSQL("select 1/0", error));
  EXPECT_EQ(error, "division by zero");
  EXPECT_TRUE(conn->ExecSQL("select 5", error)) << error;
}

TEST_P(ExecLive, WhatConnectLearnsFromTheServer) {
  ASSERT_EQ(Connect("TextAsBlob=False,int8mode=asbcd,ServerDecimalSeparator=;"), 0) << conn->ErrorMessage;
  EXPECT_EQ(conn->Database(), TestServer::Get().database);
  EXPECT_FALSE(conn->MappingOptions().TextAsBlob);
  EXPECT_EQ(conn->MappingOptions().Int8Mode, TVNXInt8Mode::AsBcd);
  EXPECT_EQ(conn->MappingOptions().MaxNameLength, 64);
  // The server's own separators replace the option.
  EXPECT_EQ(conn->ServerThousandSeparator(), ',');
  EXPECT_EQ(conn->Settings().ServerDecimalSeparator, '.');
  const std::string prefix = TestServer::Get().VersionTextPrefix();
  EXPECT_DOUBLE_EQ(conn->Server().Version, ServerVersionNumber(prefix));
  EXPECT_EQ(conn->Server().VersionText.rfind(prefix, 0), 0u) << conn->Server().VersionText;
  EXPECT_EQ(conn->ClientEncoding(), "LATIN1");
  Query q(conn, "show client_encoding");
  EXPECT_EQ(q.Value(), "LATIN1");
}

TEST_P(ExecLive, IsolationLevelAskedForIsApplied) {
  ASSERT_EQ(Connect(), 0) << conn->ErrorMessage;
  TTransactionDesc desc{1, 0, xilREPEATABLEREAD, 0};
  ASSERT_EQ(conn->beginTransaction(&desc), 0) << conn->ErrorMessage;
  EXPECT_EQ(Query(conn, "show transaction_isolation").Value(), "serializable");
  ASSERT_EQ(conn->commit(&desc), 0);
  desc.IsolationLevel = xilREADCOMMITTED;
  ASSERT_EQ(Query(conn, "set default_transaction_isolation to serializable").ok, true);
  ASSERT_EQ(conn->beginTransaction(&desc), 0) << conn->ErrorMessage;
  EXPECT_EQ(Query(conn, "show transaction_isolation").Value(), "read committed");
  EXPECT_TRUE(conn->InTransaction());
  ASSERT_EQ(conn->rollback(&desc), 0);
  EXPECT_FALSE(conn->InTransaction());
}

TEST_P(ExecLive, CommitOnALostConnectionKeepsTheTransactionForDisconnect) {
  ASSERT_EQ(Connect(), 0) << conn->ErrorMessage;
  TTransactionDesc desc{1, 0, xilREADCOMMITTED, 0};
  ASSERT_EQ(conn->beginTransaction(&desc), 0) << conn->ErrorMessage;
  int pid = PQ.PQbackendPID(conn->Handle());
  TestServer::Get().Psql("select pg_terminate_backend(" + std::to_string(pid) + ")");
  EXPECT_EQ(conn->commit(&desc), DBXERR_FAILED);
  EXPECT_FALSE(conn->ErrorMessage.empty());
  EXPECT_TRUE(conn->InTransaction());
  g_lines.clear();
  EXPECT_EQ(conn->disconnect(), 0);
  ASSERT_GE(g_lines.size(), 2u);
  EXPECT_EQ(g_lines[0], std::make_pair(std::string("Rolling back transaction"), 5));
  EXPECT_EQ(g_lines.back().second, 4);
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(conn->Handle(), nullptr);
  // The object connects again.
  EXPECT_EQ(Connect(), 0) << conn->ErrorMessage;
}

TEST_P(ExecLive, ServerNoticesReachTheTrace) {
  ASSERT_EQ(Connect(), 0) << conn->ErrorMessage;
  std::string error;
  ASSERT_TRUE(conn->ExecSQL("do $$ begin raise notice 'hello %', 42; end $$", error)) << error;
  EXPECT_TRUE(Traced("hello 42", 8));
}

TEST_P(ExecLive, Utf8ErrorTextsAreConvertedOnlyForTheExactName) {
  // The test process never chose a locale, so the application's character set is ISO-8859-1.
  conn->SetOption(eConnServerCharSet, reinterpret_cast<OptionValue>("/UTF8"));
  ASSERT_EQ(Connect(), 0) << conn->ErrorMessage;
  EXPECT_TRUE(Traced("Setting client encoding to UTF8", 4));
  EXPECT_TRUE(Traced("Client encoding: UTF8", 4));
  {
    Query q(conn, "select * from \"t\xC3\xA5" "ble\"");
    EXPECT_FALSE(q.ok);
    EXPECT_EQ(q.error, "relation \"t\xE5" "ble\" does not exist");
  }
  conn->disconnect();
  // The connect failure text is converted as well.
  EXPECT_EQ(conn->connect((TestServer::Get().socketDir + ":" + TestServer::Get().port + "/n\xC3\xB6" "db").c_str(),
                          vnxtest::kRole83, ""),
            DBXERR_FAILED);
  EXPECT_NE(conn->ErrorMessage.find("\"n\xF6" "db\""), std::string::npos) << conn->ErrorMessage;

  conn->SetOption(eConnServerCharSet, reinterpret_cast<OptionValue>("/utf8"));
  ASSERT_EQ(Connect(), 0) << conn->ErrorMessage;
  Query q(conn, "select * from \"t\xC3\xA5" "ble\"");
  EXPECT_EQ(q.error, "relation \"t\xC3\xA5" "ble\" does not exist");
}

TEST_P(ExecLive, SqlAsciiServerKeepsItsEncoding) {
  const TestServer& s = TestServer::Get();
  s.Psql("drop database if exists vnx_ascii; create database vnx_ascii encoding 'SQL_ASCII' template template0");
  if (!s.plain)
    s.Psql("create schema compat; grant usage on schema compat to public;"
           "create function compat.version() returns text language sql stable as $$"
           " select coalesce(nullif(current_setting('compat.version', true), ''), 'PostgreSQL 8.3.23') $$;",
           "vnx_ascii");
  ASSERT_EQ(conn->connect(s.DatabaseServerName("vnx_ascii").c_str(), vnxtest::kRole83, ""), 0)
      << conn->ErrorMessage;
  EXPECT_EQ(conn->ClientEncoding(), "SQL_ASCII");
  EXPECT_TRUE(Traced("Server encoding: SQL_ASCII", 4));
  EXPECT_TRUE(Traced("Client encoding: SQL_ASCII", 4));
  for (const auto& l : g_lines) EXPECT_EQ(l.first.find("Setting client encoding"), std::string::npos);
  conn->disconnect();
}

INSTANTIATE_TEST_SUITE_P(Modes, ExecLive, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Async" : "Sync"; });

}  // namespace
