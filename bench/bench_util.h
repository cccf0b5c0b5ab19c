// Shared pieces of the benchmarks: timing and medians, the command line, the client
// library opened by hand for the baselines, and a driver session through the interfaces.
#pragma once

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/vnxsql/dbx_client.h"

namespace vnxbench {

inline double Now() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Peak and current resident memory of this process in kB (VmHWM, VmRSS).
long ProcStatusKb(const char* field);

struct Args {
  std::string server;    // [host][:port]/database, as for the driver
  std::string options;   // the driver's options (AcceptNewerServers=True, ...), for the driver only
  std::string user;      // empty: libpq's default, the user running the program
  std::string password;
  std::string library;   // the driver library
  std::string vendorLib = "libpq.so.5";
  int runs = 5;
  int rows = 200000;     // rows of the fetch benchmark's table
  int fetchRows = 0;     // the driver's FetchRows option; 0 reads results whole
  std::string mode;      // benchmark-specific
  bool Parse(int argc, char** argv);
  // The same server for a libpq connection string.
  std::string ConnInfo() const;
  // The server name the driver connects with: server, options and FetchRows=fetchRows.
  std::string DriverServerName(int fetchRows) const;
};

// The libpq functions the baselines use, bound with dlopen as the driver binds its own:
// neither the benchmarks nor the driver link libpq at build time.
struct RawPq {
  decltype(&::PQconnectdb) connectdb = nullptr;
  decltype(&::PQstatus) status = nullptr;
  decltype(&::PQerrorMessage) errorMessage = nullptr;
  decltype(&::PQfinish) finish = nullptr;
  decltype(&::PQexec) exec = nullptr;
  decltype(&::PQresultStatus) resultStatus = nullptr;
  decltype(&::PQntuples) ntuples = nullptr;
  decltype(&::PQnfields) nfields = nullptr;
  decltype(&::PQgetvalue) getvalue = nullptr;
  decltype(&::PQgetlength) getlength = nullptr;
  decltype(&::PQgetisnull) getisnull = nullptr;
  decltype(&::PQclear) clear = nullptr;
  decltype(&::PQescapeString) escapeString = nullptr;
  // Opens the library; false with the reason in error.
  bool Load(const std::string& name, std::string& error);
  // Connects and sets the client encoding the driver chooses for such a server; exits on failure.
  PGconn* Connect(const Args& args) const;
  // Runs a statement that must succeed; exits otherwise.
  void MustExec(PGconn* c, const std::string& sql) const;
};

// A connected driver session.
struct DriverSession {
  std::unique_ptr<vnxsql::DriverLibrary> lib;
  vnxsql::Driver driver;
  vnxsql::Connection conn;
  // Loads the library and connects (with FetchRows=fetchRows when it is not 0); exits on
  // failure.
  void Open(const Args& args, vnx::TSQLCallbackEvent trace = nullptr, void* traceInfo = nullptr);
  void Open(const Args& args, int fetchRows);
};

// Stops the program with a message.
[[noreturn]] void Die(const std::string& message);

}  // namespace vnxbench
