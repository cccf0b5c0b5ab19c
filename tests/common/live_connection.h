// A plain libpq connection to the throwaway server for the live tests of this area.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "libpq/libpq_api.h"
#include "tests/harness/test_server.h"

namespace vnxtest {

struct PGconnCloser {
  void operator()(PGconn* c) const { vnx::PQ.PQfinish(c); }
};
using Connection = std::unique_ptr<PGconn, PGconnCloser>;

inline Connection ConnectAs(const char* role) {
  vnx::LoadLibpq(VNX_TEST_LIBPQ);
  const TestServer& s = TestServer::Get();
  const std::string info = "host='" + s.socketDir + "' port=" + s.port + " dbname=" + s.database +
                           " user=" + role;
  Connection c(vnx::PQ.PQconnectdb(info.c_str()));
  EXPECT_EQ(vnx::PQ.PQstatus(c.get()), CONNECTION_OK) << vnx::PQ.PQerrorMessage(c.get());
  return c;
}

struct PGresultClearer {
  void operator()(PGresult* r) const { vnx::PQ.PQclear(r); }
};
using Result = std::unique_ptr<PGresult, PGresultClearer>;

inline Result Exec(PGconn* c, const std::string& sql) {
  Result r(vnx::PQ.PQexec(c, sql.c_str()));
  const ExecStatusType st = vnx::PQ.PQresultStatus(r.get());
  EXPECT_TRUE(st == PGRES_TUPLES_OK || st == PGRES_COMMAND_OK)
      << sql << ": " << vnx::PQ.PQerrorMessage(c);
  return r;
}

}  // namespace vnxtest
