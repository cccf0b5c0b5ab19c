// The throwaway server the live tests run against (started by tests/server/pgcluster.sh).
#pragma once

#include <string>

namespace vnxtest {

struct TestServer {
  std::string socketDir;  // unix socket directory
  std::string port;
  std::string database;
  // Why the server named by VNX_PGENV cannot be used; empty when it can or none is named.
  std::string problem;
  // Plain: a server as users run it (any major version), reached with AcceptNewerServers.
  // Otherwise Debian's 15 disguised by its roles as the older servers the driver expects.
  bool plain = false;
  int major = 15;
  std::string version;    // the server's own version number text ("15.14", "10.23")

  // Reads the file named by VNX_PGENV.
  static const TestServer& Get();

  // Server names for connect: over the unix socket, or over TCP on 127.0.0.1; a plain
  // server's names ask for AcceptNewerServers before the given options.
  std::string SocketServerName(const std::string& options = "") const;
  std::string TcpServerName(const std::string& options = "") const;
  // The name of another database on the server, over the unix socket.
  std::string DatabaseServerName(const std::string& otherDatabase, const std::string& options = "") const;
  // What version() of the ordinary test role begins with.
  std::string VersionTextPrefix() const;

  // Runs SQL as the superuser through psql; returns psql's output. Fails the test on error.
  std::string Psql(const std::string& sql, const std::string& database = "vnxtest") const;
};

// Test roles: each makes the disguised server report another version text. The ordinary
// role, kRole83, exists on a plain server too, without any settings.
inline constexpr const char kRole83[] = "vnx83";      // PostgreSQL 8.3.23
inline constexpr const char kRole71[] = "vnx71";      // PostgreSQL 7.1.3
inline constexpr const char kRole70[] = "vnx70";      // PostgreSQL 7.0.3
inline constexpr const char kRole84[] = "vnx84";      // PostgreSQL 8.4.0
inline constexpr const char kRoleEdb[] = "vnxedb";    // EnterpriseDB 8.3.0.12
inline constexpr const char kRoleUnknown[] = "vnxunk";
inline constexpr const char kRoleScram[] = "vnx_scram";
inline constexpr const char kScramPassword[] = "p w'd";

// Skips the calling test when no server is named (a test binary run by hand); fails it when
// the server named in the environment cannot be used, as under ctest.
#define VNX_REQUIRE_SERVER()                                                                     \
  do {                                                                                           \
    const ::vnxtest::TestServer& server_ = ::vnxtest::TestServer::Get();                         \
    if (!server_.problem.empty()) FAIL() << server_.problem;                                    \
    if (server_.port.empty()) GTEST_SKIP() << "no test server: VNX_PGENV names none";           \
  } while (0)

// A test that cannot apply to the server of this run says why and stands aside: one that
// needs the disguised roles (old version texts, 8.x settings), or one that needs a server
// served as it is.
#define VNX_ONLY_DISGUISED(why)                                                      \
  do {                                                                               \
    VNX_REQUIRE_SERVER();                                                            \
    if (::vnxtest::TestServer::Get().plain) GTEST_SKIP() << "plain server: " << why; \
  } while (0)
#define VNX_ONLY_PLAIN(why)                                                              \
  do {                                                                                   \
    VNX_REQUIRE_SERVER();                                                                \
    if (!::vnxtest::TestServer::Get().plain) GTEST_SKIP() << "disguised server: " << why; \
  } while (0)

}  // namespace vnxtest
