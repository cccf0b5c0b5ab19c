// Shared pieces of the benchmarks (see bench_util.h).
#include "bench/bench_util.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

#ifndef VNXBENCH_LIBRARY
#define VNXBENCH_LIBRARY "libdbexpvnx.so"
#endif

namespace vnxbench {

void Die(const std::string& message) {
  std::cerr << "bench: " << message << std::endl;
  std::exit(2);
}

long ProcStatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
  return -1;
}

bool Args::Parse(int argc, char** argv) {
  library = VNXBENCH_LIBRARY;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&](std::string& to) {
      if (i + 1 >= argc) Die(a + " needs a value");
      to = argv[++i];
    };
    if (a == "--server") next(server);
    else if (a == "--options") next(options);
    else if (a == "--user") next(user);
    else if (a == "--password") next(password);
    else if (a == "--library") next(library);
    else if (a == "--vendor-lib") next(vendorLib);
    else if (a == "--mode") next(mode);
    else if (a == "--runs" || a == "--rows" || a == "--fetch-rows") {
      std::string v;
      next(v);
      const int n = std::max(a == "--fetch-rows" ? 0 : 1, std::atoi(v.c_str()));
      (a == "--runs" ? runs : a == "--rows" ? rows : fetchRows) = n;
    } else {
      Die("unknown argument " + a);
    }
  }
  return !server.empty();
}

std::string Args::ConnInfo() const {
  std::string host, port, db = server;
  const std::size_t slash = server.rfind('/');
  if (slash != std::string::npos) {
    db = server.substr(slash + 1);
    host = server.substr(0, slash);
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos) {
      port = host.substr(colon + 1);
      host.resize(colon);
    }
  }
  db = db.substr(0, db.find(','));  // options in the server name are the driver's
  std::string ci = "dbname='" + db + "'";
  if (!user.empty()) ci += " user='" + user + "'";
  if (!host.empty()) ci += " host='" + host + "'";
  if (!port.empty()) ci += " port='" + port + "'";
  if (!password.empty()) ci += " password='" + password + "'";
  return ci;
}

std::string Args::DriverServerName(int rows) const {
  std::string name = server;
  if (!options.empty()) name += "," + options;
  if (rows > 0) name += ",FetchRows=" + std::to_string(rows);
  return name;
}

bool RawPq::Load(const std::string& name, std::string& error) {
  void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!h) {
    error = dlerror();
    return false;
  }
  auto bind = [&](auto& slot, const char* fn) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(h, fn));
    if (!slot) error += std::string(error.empty() ? "" : ", ") + fn + " missing";
  };
  bind(connectdb, "PQconnectdb");
  bind(status, "PQstatus");
  bind(errorMessage, "PQerrorMessage");
  bind(finish, "PQfinish");
  bind(exec, "PQexec");
  bind(resultStatus, "PQresultStatus");
  bind(ntuples, "PQntuples");
  bind(nfields, "PQnfields");
  bind(getvalue, "PQgetvalue");
  bind(getlength, "PQgetlength");
  bind(getisnull, "PQgetisnull");
  bind(clear, "PQclear");
  bind(escapeString, "PQescapeString");
  return error.empty();
}

PGconn* RawPq::Connect(const Args& args) const {
  PGconn* c = connectdb(args.ConnInfo().c_str());
  if (status(c) != CONNECTION_OK) Die(std::string("libpq connect: ") + errorMessage(c));
  // The driver runs a UTF-8 server's connections in LATIN1; the baseline does the same.
  MustExec(c, "set client_encoding to 'LATIN1'");
  return c;
}

void RawPq::MustExec(PGconn* c, const std::string& sql) const {
  PGresult* r = exec(c, sql.c_str());
  const ExecStatusType s = r ? resultStatus(r) : PGRES_FATAL_ERROR;
  if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) Die(sql.substr(0, 80) + ": " + errorMessage(c));
  clear(r);
}

void DriverSession::Open(const Args& args, int fetchRows) {
  Args a = args;
  a.fetchRows = fetchRows;
  Open(a);
}

void DriverSession::Open(const Args& args, vnx::TSQLCallbackEvent trace, void* traceInfo) {
  lib = std::make_unique<vnxsql::DriverLibrary>(args.library);
  if (!lib->ok()) Die("cannot load the driver: " + lib->error());
  if (lib->NewDriver(args.vendorLib, driver) != 0) Die("getSQLDriverPOSTGRESQL failed");
  if (driver.call(&vnx::ISQLDriverVtbl::getSQLConnection, conn.out()) != 0) Die("getSQLConnection failed");
  if (trace) {
    conn.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnCallBack, reinterpret_cast<vnx::OptionValue>(trace));
    conn.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnCallBackInfo, reinterpret_cast<vnx::OptionValue>(traceInfo));
  }
  const std::string server = args.DriverServerName(args.fetchRows);
  if (conn.call(&vnx::ISQLConnectionVtbl::connect, server.c_str(), args.user.c_str(), args.password.c_str()) != 0)
    Die("connect: " + conn.error());
}

}  // namespace vnxbench
