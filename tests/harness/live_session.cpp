// Live test sessions through the interface tables.
#include "tests/harness/live_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace vnxtest {
namespace {

std::int32_t VNX_STDCALL RecordTrace(std::int32_t, void* info) {
  auto* desc = static_cast<vnx::SQLTRACEDesc*>(info);
  auto* log = reinterpret_cast<TraceLog*>(desc->ClientData);
  log->lines.push_back({desc->eTraceCat, std::string(desc->pszTrace, strnlen(desc->pszTrace, sizeof desc->pszTrace))});
  return 0;
}

}  // namespace

void TraceLog::Attach(const Connection& connection) {
  connection.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnCallBack,
                  reinterpret_cast<vnx::OptionValue>(&RecordTrace));
  connection.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnCallBackInfo, reinterpret_cast<vnx::OptionValue>(this));
}

bool TraceLog::Contains(std::int32_t category, const std::string& text) const {
  for (const Line& l : lines)
    if (l.category == category && l.text.find(text) != std::string::npos) return true;
  return false;
}

const DriverLibrary& Library(bool ml) {
  // Each opened when first asked for: a tree may build one of them only.
  if (ml) {
    static DriverLibrary multi(true);
    return multi;
  }
  static DriverLibrary single(false);
  return single;
}

LiveSession::LiveSession(const SessionOptions& o) {
  const TestServer& server = TestServer::Get();
  driver = GetDriver(Library(o.ml));
  conn = NewConnection(driver);
  trace.Attach(conn);
  if (o.async) conn.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnBlockingMode, 1);
  if (o.charSet)
    conn.call(&vnx::ISQLConnectionVtbl::SetOption, vnx::eConnServerCharSet, reinterpret_cast<vnx::OptionValue>(o.charSet));
  // VNX_FETCH_ROWS runs a test binary's sessions with batched reading (ctest does so for
  // the cursor and BLOB tests); a test that names FetchRows itself keeps its own.
  std::string options = o.options;
  const char* fetchRows = std::getenv("VNX_FETCH_ROWS");
  if (fetchRows && *fetchRows && options.find("FetchRows") == std::string::npos)
    options += (options.empty() ? "" : ",") + std::string("FetchRows=") + fetchRows;
  std::string name = o.tcp ? server.TcpServerName(options) : server.SocketServerName(options);
  connectResult = conn.call(&vnx::ISQLConnectionVtbl::connect, name.c_str(), o.role, o.password);
}

Command LiveSession::NewCommand() const {
  Command c;
  EXPECT_EQ(conn.call(&vnx::ISQLConnectionVtbl::getSQLCommand, c.out()), 0);
  return c;
}

SQLResult LiveSession::Exec(const std::string& sql, Cursor* cursor) const {
  Command c = NewCommand();
  Cursor local;
  SQLResult rc = c.call(&vnx::ISQLCommandVtbl::executeImmediate, sql.c_str(), (cursor ? cursor : &local)->out());
  if (rc != 0) ADD_FAILURE() << "statement failed (" << rc << "): " << ErrorOf(c) << "\n  " << sql;
  return rc;
}

void LiveSession::MustExec(const std::string& sql) const { Exec(sql); }

Cursor LiveSession::Query(const std::string& sql) const {
  Cursor cursor;
  Exec(sql, &cursor);
  EXPECT_TRUE(cursor) << "no cursor for " << sql;
  return cursor;
}

std::vector<Row> ReadAll(const Cursor& c) {
  std::vector<Row> rows;
  std::uint16_t count = 0;
  c.call(&vnx::ISQLCursorVtbl::getColumnCount, &count);
  std::vector<std::string> names;
  for (std::uint16_t col = 1; col <= count; ++col) {
    char name[256];
    c.call(&vnx::ISQLCursorVtbl::getColumnName, col, name);
    names.push_back(name);
  }
  while (c.call(&vnx::ISQLCursorVtbl::next) == 0) {
    Row row;
    for (std::uint16_t col = 1; col <= count; ++col) row[names[col - 1]] = ValueAsText(c, col);
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string ValueAsText(const Cursor& cursor, std::uint16_t column) {
  using vnx::ISQLCursorVtbl;
  std::uint16_t type = 0, sub = 0;
  char name[256];
  cursor.call(&ISQLCursorVtbl::getColumnName, column, name);
  cursor.call(&ISQLCursorVtbl::getColumnType, column, &type, &sub);
  std::int32_t blank = 0;
  switch (type) {
    case vnx::fldINT16: case vnx::fldBOOL: {
      std::int16_t v = 0;
      cursor.call(&ISQLCursorVtbl::getShort, column, &v, &blank);
      return blank ? "NULL" : std::to_string(v);
    }
    case vnx::fldINT32: {
      std::int32_t v = 0;
      cursor.call(&ISQLCursorVtbl::getLong, column, &v, &blank);
      return blank ? "NULL" : std::to_string(v);
    }
    case vnx::fldINT64: {
      std::int64_t v = 0;
      cursor.call(&ISQLCursorVtbl::getLong, column, &v, &blank);
      return blank ? "NULL" : std::to_string(v);
    }
    case vnx::fldBLOB: {
      std::uint32_t len = 0;
      cursor.call(&ISQLCursorVtbl::getBlobSize, column, &len, &blank);
      if (blank) return "NULL";
      std::string v(len, '\0');
      cursor.call(&ISQLCursorVtbl::getBlob, column, v.data(), &blank, len);
      return v;
    }
    case vnx::fldBCD: case vnx::fldFMTBCD: case vnx::fldFLOAT: case vnx::fldDATE: case vnx::fldTIME:
    case vnx::fldDATETIME: {
      // A type with a getter of its own, read as the server's text: its described size is
      // that of its binary form, and a numeric's text may have 131072 digits before the
      // point and 16383 after.
      std::string v(131072 + 16383 + 3, '\0');
      cursor.call(&ISQLCursorVtbl::getString, column, v.data(), &blank);
      return blank ? "NULL" : std::string(v.c_str());
    }
    default: {
      std::uint32_t len = 0;
      std::int16_t prec = 0;
      cursor.call(&ISQLCursorVtbl::getColumnLength, column, &len);
      cursor.call(&ISQLCursorVtbl::getColumnPrecision, column, &prec);
      std::string v(std::max<std::size_t>(len, static_cast<std::size_t>(prec > 0 ? prec : 0)) + 1, '\0');
      cursor.call(&ISQLCursorVtbl::getString, column, v.data(), &blank);
      return blank ? "NULL" : std::string(v.c_str());
    }
  }
}

}  // namespace vnxtest
