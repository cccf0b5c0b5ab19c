// Reading the throwaway server's coordinates and running SQL on it as the superuser.
#include "tests/harness/test_server.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vnxtest {

const TestServer& TestServer::Get() {
  static const TestServer server = [] {
    TestServer s;
    const char* env = std::getenv("VNX_PGENV");
    if (!env) return s;
    std::ifstream in(env);
    if (!in) {
      s.problem = std::string("the server settings file ") + env + " named by VNX_PGENV cannot be read";
      return s;
    }
    std::string line;
    while (std::getline(in, line)) {
      auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "VNX_PGHOST") s.socketDir = value;
      else if (key == "VNX_PGPORT") s.port = value;
      else if (key == "VNX_PGDATABASE") s.database = value;
      else if (key == "VNX_PGMODE") s.plain = value == "plain";
      else if (key == "VNX_PGMAJOR") s.major = std::atoi(value.c_str());
      else if (key == "VNX_PGVERSION") s.version = value;
    }
    if (s.port.empty() || s.socketDir.empty() || s.database.empty())
      s.problem = std::string("the server settings file ") + env + " lacks the port, socket or database";
    return s;
  }();
  return server;
}

static std::string WithOptions(std::string name, const std::string& options, bool plain) {
  if (plain) name += ",AcceptNewerServers=True";
  if (!options.empty()) name += "," + options;
  return name;
}

std::string TestServer::SocketServerName(const std::string& options) const {
  return DatabaseServerName(database, options);
}

std::string TestServer::TcpServerName(const std::string& options) const {
  return WithOptions("127.0.0.1:" + port + "/" + database, options, plain);
}

std::string TestServer::DatabaseServerName(const std::string& otherDatabase, const std::string& options) const {
  return WithOptions(socketDir + ":" + port + "/" + otherDatabase, options, plain);
}

std::string TestServer::VersionTextPrefix() const {
  return plain ? "PostgreSQL " + version : std::string("PostgreSQL 8.3.23");
}

std::string TestServer::Psql(const std::string& sql, const std::string& db) const {
  // psql is a native program; the SQL goes through a file so that no quoting is needed.
  char path[] = "/tmp/vnxsqlXXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) {
    ADD_FAILURE() << "mkstemp";
    return {};
  }
  FILE* f = fdopen(fd, "w");
  std::fputs(sql.c_str(), f);
  std::fclose(f);
  std::string cmd = "/usr/lib/postgresql/15/bin/psql -X -q -A -t -v ON_ERROR_STOP=1 -h '" + socketDir +
                    "' -p " + port + " -U postgres -d " + db + " -f " + path + " 2>&1";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  std::array<char, 4096> buf{};
  while (p && std::fgets(buf.data(), buf.size(), p)) out += buf.data();
  int rc = p ? pclose(p) : -1;
  std::remove(path);
  EXPECT_EQ(rc, 0) << "psql failed: " << out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace vnxtest
