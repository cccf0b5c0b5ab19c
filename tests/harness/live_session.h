// A connected driver session for live tests: library, driver and connection objects, a
// trace recorder, and shorthands for running statements through the command interface.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/harness/dbx_client.h"
#include "tests/harness/test_server.h"

namespace vnxtest {

// Records what the driver traces on one connection.
class TraceLog {
 public:
  struct Line {
    std::int32_t category;
    std::string text;
  };
  // Registers the recorder as the connection's trace callback.
  void Attach(const Connection& connection);
  void Clear() { lines.clear(); }
  // True when some line of the category contains text.
  bool Contains(std::int32_t category, const std::string& text) const;
  std::vector<Line> lines;
};

// The process-wide loaded library of one build.
const DriverLibrary& Library(bool ml = false);

struct SessionOptions {
  const char* role = kRole83;
  std::string options;   // custom options after the database name
  bool tcp = false;      // 127.0.0.1 instead of the unix socket
  bool async = false;    // eConnBlockingMode 1
  bool ml = false;       // the multi-language build
  const char* password = "";
  const char* charSet = nullptr;  // eConnServerCharSet before connect
};

class LiveSession {
 public:
  LiveSession() : LiveSession(SessionOptions{}) {}
  explicit LiveSession(const SessionOptions& options);

  Driver driver;
  Connection conn;
  TraceLog trace;
  SQLResult connectResult = 0xFFFF;

  Command NewCommand() const;
  // executeImmediate; the cursor, if any, is stored in `cursor` or dropped.
  SQLResult Exec(const std::string& sql, Cursor* cursor = nullptr) const;
  // Runs a statement that must succeed; fails the test otherwise.
  void MustExec(const std::string& sql) const;
  // executeImmediate of a query that must give a cursor.
  Cursor Query(const std::string& sql) const;
  std::string ConnError() const { return ErrorOf(conn); }
};

// Reads one cursor value as text with the getter its column type selects (for checks that
// do not care about the binary form); "NULL" for a null value.
std::string ValueAsText(const Cursor& cursor, std::uint16_t column);

// Every remaining row of a cursor, by column name, each value read as ValueAsText reads it.
using Row = std::map<std::string, std::string>;
std::vector<Row> ReadAll(const Cursor& cursor);

}  // namespace vnxtest
