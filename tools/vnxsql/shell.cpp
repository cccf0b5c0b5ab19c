// The shell: command line, connection, statements, backslash commands and result tables.
#include "tools/vnxsql/shell.h"

#include <dlfcn.h>
#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>

#include "tools/vnxsql/dbx_client.h"
#include "tools/vnxsql/library_path.h"
#include "tools/vnxsql/script.h"
#include "tools/vnxsql/values.h"

namespace vnxsql {
namespace {

using namespace vnx;

const char kNull[] = "(null)";
// Longer memo values are cut in tables; the whole value would drown the other columns.
constexpr std::size_t kMemoShown = 80;
// Byte values up to this size are shown in hexadecimal, longer ones as a byte count.
constexpr std::size_t kBytesShown = 16;

struct Options {
  std::string server, user, password;
  std::vector<std::pair<char, std::string>> sources;  // 'c' text or 'f' file, in order
  std::vector<std::string> params;
  std::string library;
  std::string vendorLib = "libpq.so.5";
  std::string charset;  // eConnServerCharSet: CharSet[/ClientEncoding]
  bool ml = false, echo = false, verbose = false, help = false;
  // Only an asynchronous connection can be cancelled (Ctrl-C).
  bool async = true;
};

// One column as the cursor describes it.
struct ColumnInfo {
  std::string name;
  std::uint16_t type = 0, subType = 0;
  std::uint32_t length = 0;
  std::int16_t precision = 0, scale = 0;
  std::int32_t nullable = 0, autoIncrement = 0, readOnly = 0, searchable = 0;
};

struct Cell {
  std::string text;
  bool null = false;
};

// A result read into memory, ready to be printed.
struct Table {
  std::vector<std::string> headers;
  std::vector<bool> right;  // right-aligned (numeric) columns
  std::vector<std::vector<Cell>> rows;

  // Catalogue columns come back in the server's case (lower case for unquoted names).
  int Find(const std::string& name) const {
    for (std::size_t i = 0; i < headers.size(); ++i)
      if (headers[i].size() == name.size() &&
          std::equal(name.begin(), name.end(), headers[i].begin(),
                     [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                 std::tolower(static_cast<unsigned char>(b)); }))
        return static_cast<int>(i);
    return -1;
  }
  // The text of a cell of the named column; empty when there is no such column or it is NULL.
  std::string At(const std::vector<Cell>& row, const std::string& name) const {
    const int i = Find(name);
    return i < 0 || row[static_cast<std::size_t>(i)].null ? std::string() : row[static_cast<std::size_t>(i)].text;
  }
};

bool Numeric(std::uint16_t type) {
  switch (type) {
    case fldINT16: case fldINT32: case fldINT64: case fldUINT16: case fldUINT32: case fldUINT64:
    case fldFLOAT: case fldBCD: case fldFMTBCD:
      return true;
    default:
      return false;
  }
}

int ToInt(const std::string& s) {
  try {
    return std::stoi(s);
  } catch (...) {
    return 0;
  }
}

std::string Hex(std::uint16_t code) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(code));
  return buf;
}

// Display width of UTF-8 text: one column a character, two for the wide characters of East
// Asian scripts (other bytes count one each).
std::size_t Width(const std::string& s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    std::uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (std::size_t k = 1; k < len && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F) ||
                      (cp >= 0x20000 && cp <= 0x3FFFD);
    n += wide ? 2 : 1;
    i += len;
  }
  return n;
}

std::string Escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (static_cast<unsigned char>(c) < ' ') out += '?';
    else out += c;
  }
  return out;
}

std::string BytesText(const char* data, std::size_t n) {
  if (n > kBytesShown) return "<" + std::to_string(n) + " bytes>";
  static const char digits[] = "0123456789abcdef";
  std::string out = "\\x";
  for (std::size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The driver's texts are 8-bit; with the default client encodings (LATIN1, or UTF8, which
// the driver converts) they are ISO-8859-1, while the terminal speaks UTF-8.
std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Whether a failed connect is the driver's refusal of a server newer than it accepts by
// default. The multi-language build translates that text, and the shell cannot ask the
// driver which text it chose; but every translation keeps the product name "Vornex Driver"
// and ends with the server's version() text in brackets, which no translation touches and
// no other refusal carries together ("Unknown server version [...]" has no product name,
// the too-old refusal no brackets, and libpq's texts neither). So: both, in any language.
bool IsNewerServerRefusal(std::string_view error) {
  return error.find("Vornex Driver") != std::string_view::npos &&
         (error.find("[PostgreSQL ") != std::string_view::npos || error.find("[EnterpriseDB ") != std::string_view::npos);
}

// UTF-8 to ISO-8859-1; characters beyond it become "?", bytes that are no UTF-8 stay.
std::string Utf8ToLatin1(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool valid = len > 0 && i + static_cast<std::size_t>(len) <= text.size();
    for (int k = 1; valid && k < len; ++k) valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!valid || len == 1) {
      out += text[i++];
      continue;
    }
    std::uint32_t cp = c & (0x7F >> len);
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    out += cp <= 0xFF ? static_cast<char>(cp) : '?';
    i += static_cast<std::size_t>(len);
  }
  return out;
}

std::string MemoText(std::string_view text) {
  if (text.size() <= kMemoShown) return Escaped(text);
  return Escaped(text.substr(0, kMemoShown)) + "... (" + std::to_string(text.size()) + " bytes)";
}

void PrintTable(std::ostream& out, Table t, bool latin1) {
  if (latin1) {
    for (auto& h : t.headers) h = Latin1ToUtf8(h);
    for (auto& row : t.rows)
      for (auto& c : row) c.text = Latin1ToUtf8(c.text);
  }
  std::vector<std::size_t> w(t.headers.size());
  for (std::size_t i = 0; i < w.size(); ++i) w[i] = Width(t.headers[i]);
  for (const auto& row : t.rows)
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = std::max(w[i], Width(row[i].null ? kNull : row[i].text));
  auto cell = [&](const std::string& s, std::size_t i, bool right) {
    const std::string pad(w[i] - Width(s), ' ');
    out << (i ? " | " : " ") << (right ? pad + s : (i + 1 < w.size() ? s + pad : s));
  };
  for (std::size_t i = 0; i < w.size(); ++i) cell(t.headers[i], i, false);
  out << "\n";
  for (std::size_t i = 0; i < w.size(); ++i) out << (i ? "-+-" : "-") << std::string(w[i], '-');
  out << "-\n";
  for (const auto& row : t.rows) {
    for (std::size_t i = 0; i < w.size(); ++i) cell(row[i].null ? kNull : row[i].text, i, t.right[i] && !row[i].null);
    out << "\n";
  }
  out << "(" << t.rows.size() << (t.rows.size() == 1 ? " row)" : " rows)") << "\n\n";
}

// The trace callback: each line goes to the stream given as callback info.
const char* CategoryName(std::int32_t category) {
  switch (category) {
    case 1: return "sql";
    case 2: return "error";
    case 4: return "connect";
    case 5: return "transaction";
    case 6: return "blob";
    case 7: return "catalog";
    case 8: return "diagnostic";
    case 10: return "command";
    default: return "other";
  }
}

std::int32_t VNX_STDCALL TraceLine(std::int32_t, void* info) {
  try {
    const auto* desc = static_cast<const SQLTRACEDesc*>(info);
    auto* err = reinterpret_cast<std::ostream*>(desc->ClientData);
    *err << "trace " << desc->eTraceCat << " " << CategoryName(desc->eTraceCat) << ": "
         << std::string_view(desc->pszTrace, strnlen(desc->pszTrace, sizeof desc->pszTrace)) << std::endl;
  } catch (...) {
    // Nothing may leave a callback the driver called.
  }
  return 0;
}

class Shell {
 public:
  Shell(const Options& o, std::ostream& out, std::ostream& err) : o_(o), out_(out), err_(err) {
    for (const auto& p : o.params) {
      Param param;
      std::string why;
      if (!ParseParam(p, param, why)) throw std::invalid_argument(why);
      params_.push_back(param);
    }
  }

  // Loads the library and connects; false (with the reason printed) when that fails.
  bool Open();
  void Run(std::istream& in);
  void RunText(const std::string& text);
  bool failed() const { return failed_; }
  void Close() {
    if (conn_) conn_.call(&ISQLConnectionVtbl::disconnect);
    conn_.reset();
    driver_.reset();
  }
  std::size_t unusedParams() const { return params_.size(); }
  // Whether a statement cancelled by Ctrl-C ends the run (a script) or the next one is
  // read (statements typed at a terminal).
  void StopOnInterrupt(bool stop) { stopOnInterrupt_ = stop; }

 private:
  void RunItems(std::vector<ScriptItem>& items);
  void Statement(const std::string& sql, bool describeOnly);
  void Meta(const std::string& line);
  void Fail(const std::string& what, SQLResult code, const std::string& text);
  // Prepares, binds the next parameter values and executes; false when it failed.
  bool Execute(const std::string& sql, Command& cmd, Cursor& cursor);
  bool Describe(const Cursor& c, std::vector<ColumnInfo>& cols);
  // Reads every row; false (after reporting) when a getter failed.
  bool ReadAll(const Cursor& c, const std::vector<ColumnInfo>& cols, Table& t);
  SQLResult ReadCell(const Cursor& c, std::uint16_t n, const ColumnInfo& col, Cell& cell);
  void PrintDescription(const std::vector<ColumnInfo>& cols);
  // Runs a metadata list operation and reads its cursor.
  bool MetaList(const std::string& what, const std::function<SQLResult(const MetaData&, void**)>& op, Table& t);
  void ListTables(const std::string& pattern);
  void DescribeTable(const std::string& name);
  void ListProcedures(const std::string& pattern);
  void ListIndices(const std::string& table);
  void CallProcedure(const std::string& name);
  void ConnInfo();
  void* NativeHandle() const;
  void Transaction(const std::string& verb, const std::string& arg);
  // Whether the server now reads backslashes in '...' strings as ordinary characters.
  bool StandardStrings();

  const Options& o_;
  std::ostream& out_;
  std::ostream& err_;
  std::unique_ptr<DriverLibrary> lib_;
  Driver driver_;
  Connection conn_;
  std::deque<Param> params_;
  std::vector<ColumnInfo> lastColumns_;
  TTransactionDesc tx_{1, 0, xilREADCOMMITTED, 0};
  ScriptSplitter splitter_;
  bool failed_ = false;
  bool quit_ = false;
  bool stopOnInterrupt_ = true;
  bool standardStrings_ = false;  // as last seen
  // The driver hands out ISO-8859-1 text with the client encodings LATIN1 and UTF8 (it
  // converts values and errors from UTF-8) and takes parameter values the same way; the
  // SQL text itself goes to the server unconverted, so it is ISO-8859-1 only with LATIN1.
  bool latin1_ = false;
  bool sqlLatin1_ = false;

  std::string ToDriver(const std::string& text) const { return sqlLatin1_ ? Utf8ToLatin1(text) : text; }
};

void Shell::Fail(const std::string& what, SQLResult code, const std::string& text) {
  failed_ = true;
  out_.flush();
  err_ << "ERROR";
  if (code) err_ << " " << Hex(code);
  std::string t = text.empty() ? what : (latin1_ ? Latin1ToUtf8(text) : text);
  while (!t.empty() && (t.back() == '\n' || t.back() == ' ' || t.back() == '\r')) t.pop_back();
  err_ << ": " << t << std::endl;
}

bool Shell::Open() {
  std::string path = o_.library;
  if (path.empty()) path = DefaultLibraryPath(o_.ml ? "libdbexpvnx-ml.so" : "libdbexpvnx.so");
  lib_ = std::make_unique<DriverLibrary>(path);
  if (!lib_->ok()) {
    err_ << "vnxsql: cannot load the driver: " << lib_->error() << std::endl;
    return false;
  }
  SQLResult rc = lib_->NewDriver(o_.vendorLib, driver_);
  if (rc != 0 || !driver_) {
    err_ << "vnxsql: getSQLDriverPOSTGRESQL failed with " << Hex(rc) << std::endl;
    return false;
  }
  rc = driver_.call(&ISQLDriverVtbl::getSQLConnection, conn_.out());
  if (rc != 0 || !conn_) {
    err_ << "vnxsql: getSQLConnection failed with " << Hex(rc) << std::endl;
    return false;
  }
  if (o_.verbose) {
    conn_.call(&ISQLConnectionVtbl::SetOption, eConnCallBack, reinterpret_cast<OptionValue>(&TraceLine));
    conn_.call(&ISQLConnectionVtbl::SetOption, eConnCallBackInfo, reinterpret_cast<OptionValue>(&err_));
  }
  if (o_.async) conn_.call(&ISQLConnectionVtbl::SetOption, eConnBlockingMode, OptionValue{1});
  if (!o_.charset.empty())
    conn_.call(&ISQLConnectionVtbl::SetOption, eConnServerCharSet, reinterpret_cast<OptionValue>(o_.charset.c_str()));
  // The driver's own texts (its translated messages among them) and those of a UTF8
  // connection come in the codeset of vnxsql's locale: UTF-8 on a UTF-8 terminal, else ISO-8859-1.
  const char* codeset = nl_langinfo(CODESET);
  const bool utf8Locale = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
  rc = conn_.call(&ISQLConnectionVtbl::connect, o_.server.c_str(), o_.user.c_str(), o_.password.c_str());
  if (rc != 0) {
    const std::string error = conn_.error();
    err_ << "vnxsql: cannot connect to " << o_.server << ": " << Hex(rc) << " "
         << (utf8Locale ? error : Latin1ToUtf8(error)) << std::endl;
    if (IsNewerServerRefusal(error))
      err_ << "vnxsql: add AcceptNewerServers=True to the server name to accept this server" << std::endl;
    return false;
  }
  // "CharSet/ClientEncoding", or the character set alone before an encoding is known.
  char charset[256] = {};
  std::int16_t len = 0;
  conn_.call(&ISQLConnectionVtbl::GetOption, eConnServerCharSet, static_cast<void*>(charset), std::int16_t{255}, &len);
  std::string enc = charset;
  enc = enc.substr(enc.find('/') == std::string::npos ? 0 : enc.find('/') + 1);
  for (auto& ch : enc) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  latin1_ = enc == "LATIN1" || (enc == "UTF8" && !utf8Locale);
  sqlLatin1_ = enc == "LATIN1";
  return true;
}

void Shell::Run(std::istream& in) {
  std::string line;
  std::vector<ScriptItem> items;
  while (!quit_ && std::getline(in, line)) {
    // Where a statement ends depends on how its strings take backslashes.
    const std::size_t first = line.find_first_not_of(" \t");
    const bool command = splitter_.Idle() && first != std::string::npos && line[first] == '\\';
    if (line.find('\\', command ? first + 1 : 0) != std::string::npos) splitter_.SetStandardStrings(StandardStrings());
    splitter_.AddLine(line, items);
    RunItems(items);
  }
  splitter_.Finish(items);
  RunItems(items);
}

void Shell::RunText(const std::string& text) {
  std::istringstream in(text);
  Run(in);
}

void Shell::RunItems(std::vector<ScriptItem>& items) {
  for (const auto& item : items) {
    if (quit_) break;
    if (o_.echo) out_ << "vnxsql> " << item.text << "\n";
    // CancelQuery leaves a synchronous connection alone: there Ctrl-C quits at once.
    CancelScope scope(o_.async ? lib_->cancelQuery() : nullptr, NativeHandle());
    if (item.meta) Meta(item.text);
    else Statement(item.text, false);
    out_.flush();
    if (scope.interrupted() && stopOnInterrupt_) quit_ = true;
  }
  items.clear();
}

// A statement may change the setting, so it is asked for whenever a text's reading depends
// on it, one holding a backslash (and the trace shows that "show"); other texts read the
// same either way. When the
// server cannot answer (in a failed transaction) the last answer stands.
bool Shell::StandardStrings() {
  Command cmd;
  Cursor cursor;  // released before the command
  std::vector<ColumnInfo> cols;
  Cell cell;
  if (conn_.call(&ISQLConnectionVtbl::getSQLCommand, cmd.out()) == 0 && cmd &&
      cmd.call(&ISQLCommandVtbl::executeImmediate, "show standard_conforming_strings", cursor.out()) == 0 && cursor &&
      cursor.call(&ISQLCursorVtbl::next) == 0 && Describe(cursor, cols) && !cols.empty() &&
      ReadCell(cursor, 1, cols[0], cell) == 0)
    standardStrings_ = cell.text == "on";
  return standardStrings_;
}

bool Shell::Execute(const std::string& sql, Command& cmd, Cursor& cursor) {
  const bool dependsOnSetting = sql.find('\\') != std::string::npos && sql.find('?') != std::string::npos;
  const int markers = CountMarkers(sql, dependsOnSetting && StandardStrings());
  if (static_cast<std::size_t>(markers) > params_.size()) {
    Fail({}, 0, "the statement has " + std::to_string(markers) + " \"?\" markers but " +
                    std::to_string(params_.size()) + " parameter values are left (give them with -p)");
    return false;
  }
  SQLResult rc = conn_.call(&ISQLConnectionVtbl::getSQLCommand, cmd.out());
  if (rc != 0 || !cmd) {
    Fail("getSQLCommand failed", rc, conn_.error());
    return false;
  }
  const std::string text = ToDriver(sql);
  rc = cmd.call(&ISQLCommandVtbl::prepare, text.c_str(), static_cast<std::uint16_t>(markers));
  for (int i = 0; rc == 0 && i < markers; ++i) {
    Param p = params_.front();
    params_.pop_front();
    if (latin1_ && (p.type == fldZSTRING || p.type == fldBLOB)) p.data = Utf8ToLatin1(p.data);
    std::int32_t precision = static_cast<std::int32_t>(p.data.size()), scale = 0;
    if (p.type == fldFMTBCD) {
      TBcd bcd;
      std::memcpy(&bcd, p.data.data(), sizeof bcd);
      precision = bcd.Precision;
      scale = bcd.SignSpecialPlaces & 0x3F;
    }
    rc = cmd.call(&ISQLCommandVtbl::setParameter, static_cast<std::uint16_t>(i + 1), std::uint16_t{0},
                  std::uint32_t{paramIN}, p.type, p.subType, precision, scale,
                  static_cast<std::uint32_t>(p.data.size()), p.null ? nullptr : static_cast<void*>(p.data.data()),
                  std::int32_t{p.null ? 1 : 0});
  }
  if (rc == 0) rc = cmd.call(&ISQLCommandVtbl::execute, cursor.out());
  if (rc != 0) {
    Fail("execute failed", rc, cmd.error());
    return false;
  }
  return true;
}

void Shell::Statement(const std::string& sql, bool describeOnly) {
  Command cmd;
  Cursor cursor;  // released before the command
  if (!Execute(sql, cmd, cursor)) return;
  if (!cursor) {
    std::uint32_t rows = 0;
    cmd.call(&ISQLCommandVtbl::getRowsAffected, &rows);
    const std::string note = cmd.error();  // "Query is empty" comes with success
    if (!note.empty()) out_ << "(" << note << ")\n\n";
    else out_ << "(" << rows << (rows == 1 ? " row affected)" : " rows affected)") << "\n\n";
    return;
  }
  std::vector<ColumnInfo> cols;
  if (!Describe(cursor, cols)) return;
  lastColumns_ = cols;
  if (describeOnly) {
    PrintDescription(cols);
    return;
  }
  // A read that failed part-way prints nothing: a script reading the output must not
  // take the rows read so far for the result.
  Table t;
  if (ReadAll(cursor, cols, t)) PrintTable(out_, t, latin1_);
}

bool Shell::Describe(const Cursor& c, std::vector<ColumnInfo>& cols) {
  std::uint16_t count = 0;
  SQLResult rc = c.call(&ISQLCursorVtbl::getColumnCount, &count);
  for (std::uint16_t n = 1; rc == 0 && n <= count; ++n) {
    ColumnInfo col;
    std::uint16_t len = 0;
    rc = c.call(&ISQLCursorVtbl::getColumnNameLength, n, &len);
    if (rc) break;
    std::string name(static_cast<std::size_t>(len) + 1, '\0');
    // The type is asked for right after the name: only such a caller sees 64-bit integers.
    rc = c.call(&ISQLCursorVtbl::getColumnName, n, name.data());
    if (!rc) rc = c.call(&ISQLCursorVtbl::getColumnType, n, &col.type, &col.subType);
    if (!rc) rc = c.call(&ISQLCursorVtbl::getColumnLength, n, &col.length);
    if (!rc) rc = c.call(&ISQLCursorVtbl::getColumnPrecision, n, &col.precision);
    if (!rc) rc = c.call(&ISQLCursorVtbl::getColumnScale, n, &col.scale);
    if (!rc) rc = c.call(&ISQLCursorVtbl::isNullable, n, &col.nullable);
    if (!rc) rc = c.call(&ISQLCursorVtbl::isAutoIncrement, n, &col.autoIncrement);
    if (!rc) rc = c.call(&ISQLCursorVtbl::isReadOnly, n, &col.readOnly);
    if (!rc) rc = c.call(&ISQLCursorVtbl::isSearchable, n, &col.searchable);
    name.resize(len);
    col.name = name;
    cols.push_back(col);
  }
  if (rc != 0) {
    Fail("cannot describe the result", rc, c.error());
    return false;
  }
  return true;
}

SQLResult Shell::ReadCell(const Cursor& c, std::uint16_t n, const ColumnInfo& col, Cell& cell) {
  std::int32_t blank = 0;
  SQLResult rc = 0;
  switch (col.type) {
    case fldZSTRING: case fldWIDESTRING: {
      // The buffer is sized from the description, as the driver expects of its callers.
      std::size_t size = std::max<std::size_t>(col.length, col.precision > 0 ? col.precision : 0);
      if (size == 0) size = 65535;
      std::string buf(size + 1, '\0');
      rc = c.call(&ISQLCursorVtbl::getString, n, buf.data(), &blank);
      cell.text = Escaped(buf.c_str());
      break;
    }
    case fldBOOL: {
      std::int16_t v = 0;
      rc = c.call(&ISQLCursorVtbl::getShort, n, static_cast<void*>(&v), &blank);
      cell.text = v ? "true" : "false";
      break;
    }
    case fldINT16: case fldUINT16: {
      std::int16_t v = 0;
      rc = c.call(&ISQLCursorVtbl::getShort, n, static_cast<void*>(&v), &blank);
      cell.text = col.type == fldUINT16 ? std::to_string(static_cast<std::uint16_t>(v)) : std::to_string(v);
      break;
    }
    case fldINT32: case fldUINT32: case fldINT64: {
      // getLong writes 8 bytes for a 64-bit integer column; room for them either way.
      std::int64_t v = 0;
      rc = c.call(&ISQLCursorVtbl::getLong, n, static_cast<void*>(&v), &blank);
      std::int32_t low;
      std::memcpy(&low, &v, sizeof low);
      cell.text = col.type == fldINT64    ? std::to_string(v)
                  : col.type == fldUINT32 ? std::to_string(static_cast<std::uint32_t>(low))
                                          : std::to_string(low);
      break;
    }
    case fldFLOAT: {
      double v = 0;
      rc = c.call(&ISQLCursorVtbl::getDouble, n, static_cast<void*>(&v), &blank);
      cell.text = DoubleToText(v);
      break;
    }
    case fldBCD: case fldFMTBCD: {
      TBcd v{};
      rc = c.call(&ISQLCursorVtbl::getBcd, n, static_cast<void*>(&v), &blank);
      cell.text = BcdToText(v);
      break;
    }
    case fldDATE: {
      std::int32_t v = 0;
      rc = c.call(&ISQLCursorVtbl::getDate, n, static_cast<void*>(&v), &blank);
      cell.text = DayNumberToText(v);
      break;
    }
    case fldTIME: {
      std::int32_t v = 0;
      rc = c.call(&ISQLCursorVtbl::getTime, n, static_cast<void*>(&v), &blank);
      cell.text = TimeToText(v);
      break;
    }
    case fldTIMESTAMP: case fldDATETIME: {
      TSQLTimeStamp v{};
      rc = c.call(&ISQLCursorVtbl::getTimeStamp, n, static_cast<void*>(&v), &blank);
      cell.text = TimeStampToText(v);
      break;
    }
    case fldBYTES: case fldVARBYTES: {
      std::size_t size = std::max<std::size_t>(col.length, col.precision > 0 ? col.precision : 0);
      std::string buf(std::max<std::size_t>(size, 0xFFFF) + 2, '\0');
      rc = c.call(&ISQLCursorVtbl::getBytes, n, static_cast<void*>(buf.data()), &blank);
      std::uint16_t len;
      std::memcpy(&len, buf.data(), sizeof len);
      cell.text = BytesText(buf.data() + 2, len);
      break;
    }
    case fldBLOB: {
      std::uint32_t size = 0;
      rc = c.call(&ISQLCursorVtbl::getBlobSize, n, &size, &blank);
      if (rc || blank) break;
      // One byte more than the size: some cursors end a memo with a NUL.
      std::string buf(static_cast<std::size_t>(size) + 1, '\0');
      if (size > 0) rc = c.call(&ISQLCursorVtbl::getBlob, n, static_cast<void*>(buf.data()), &blank, size);
      buf.resize(size);
      const bool memo = col.subType == fldstMEMO || col.subType == fldstFMTMEMO;
      cell.text = memo ? MemoText(buf) : BytesText(buf.data(), buf.size());
      break;
    }
    default:
      cell.text = "?";  // no getter reads a column of an unmapped type
      break;
  }
  cell.null = blank != 0;
  return rc;
}

bool Shell::ReadAll(const Cursor& c, const std::vector<ColumnInfo>& cols, Table& t) {
  for (const auto& col : cols) {
    t.headers.push_back(col.name);
    t.right.push_back(Numeric(col.type));
  }
  for (;;) {
    SQLResult rc = c.call(&ISQLCursorVtbl::next);
    if (rc == DBXERR_EOF) return true;
    if (rc != 0) {
      Fail("next failed", rc, c.error());
      return false;
    }
    std::vector<Cell> row(cols.size());
    for (std::size_t i = 0; i < cols.size(); ++i) {
      rc = ReadCell(c, static_cast<std::uint16_t>(i + 1), cols[i], row[i]);
      if (rc != 0) {
        Fail("reading column " + cols[i].name + " failed", rc, "column " + cols[i].name + ": " + c.error());
        return false;
      }
    }
    t.rows.push_back(std::move(row));
  }
}

void Shell::PrintDescription(const std::vector<ColumnInfo>& cols) {
  Table t;
  t.headers = {"#", "column", "type", "subtype", "length", "precision", "scale", "nullable", "autoinc", "readonly", "searchable"};
  t.right = {true, false, false, false, true, true, true, false, false, false, false};
  auto yn = [](std::int32_t v) { return Cell{v ? "yes" : "no", false}; };
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const auto& c = cols[i];
    t.rows.push_back({Cell{std::to_string(i + 1)}, Cell{c.name}, Cell{FieldTypeName(c.type) + " (" + std::to_string(c.type) + ")"},
                      Cell{c.subType ? SubTypeName(c.subType) + " (" + std::to_string(c.subType) + ")" : ""},
                      Cell{std::to_string(c.length)}, Cell{std::to_string(c.precision)}, Cell{std::to_string(c.scale)},
                      yn(c.nullable), yn(c.autoIncrement), yn(c.readOnly), yn(c.searchable)});
  }
  PrintTable(out_, t, latin1_);
}

bool Shell::MetaList(const std::string& what, const std::function<SQLResult(const MetaData&, void**)>& op, Table& t) {
  MetaData md;
  SQLResult rc = conn_.call(&ISQLConnectionVtbl::getSQLMetaData, md.out());
  if (rc != 0 || !md) {
    Fail("getSQLMetaData failed", rc, conn_.error());
    return false;
  }
  Cursor c;
  rc = op(md, c.out());
  if (rc != 0 || !c) {
    Fail(what + " failed", rc, md.error());
    return false;
  }
  std::vector<ColumnInfo> cols;
  return Describe(c, cols) && ReadAll(c, cols, t);
}

// A parameter's direction as getProcedureParams and the command name it.
std::string Direction(int paramType, const std::string& name) {
  switch (paramType) {
    case paramIN: return "in";
    case paramOUT: return name == "Result" ? "result" : "out";
    case paramINOUT: return "in/out";
    case paramRET: return "result";
    default: return std::to_string(paramType);
  }
}

bool SystemName(const std::string& qualified) {
  return qualified.rfind("pg_catalog.", 0) == 0 || qualified.rfind("information_schema.", 0) == 0;
}

void Shell::ListTables(const std::string& pattern) {
  Table all;
  // Without a pattern: tables and views (temporary ones included), not the system's.
  const std::uint32_t mask = pattern.empty() ? 3 : 0;
  const std::string arg = ToDriver(pattern);
  if (!MetaList("getTables", [&](const MetaData& md, void** c) {
        return md.call(&ISQLMetaDataVtbl::getTables, arg.c_str(), mask, c);
      }, all))
    return;
  Table t;
  t.headers = {"owner", "name", "type"};
  t.right = {false, false, false};
  for (const auto& row : all.rows) {
    const int type = ToInt(all.At(row, "TABLE_TYPE"));
    const char* kind = type == 1 ? "table" : type == 2 ? "view" : type == 4 ? "system table"
                     : type == 10 ? "temporary table" : "other";
    t.rows.push_back({Cell{all.At(row, "SCHEMA_NAME")}, Cell{all.At(row, "TABLE_NAME")}, Cell{kind}});
  }
  std::sort(t.rows.begin(), t.rows.end(), [](const auto& a, const auto& b) { return a[1].text < b[1].text; });
  PrintTable(out_, t, latin1_);
}

void Shell::DescribeTable(const std::string& name) {
  Table all;
  const std::string arg = ToDriver(name);
  if (!MetaList("getColumns", [&](const MetaData& md, void** c) {
        return md.call(&ISQLMetaDataVtbl::getColumns, arg.c_str(), "", std::uint32_t{0}, c);
      }, all))
    return;
  if (all.rows.empty()) {
    Fail({}, 0, "no table matches \"" + name + "\"");
    return;
  }
  std::sort(all.rows.begin(), all.rows.end(), [&](const auto& a, const auto& b) {
    const std::string ta = all.At(a, "TABLE_NAME"), tb = all.At(b, "TABLE_NAME");
    return ta != tb ? ta < tb : ToInt(all.At(a, "COLUMN_POSITION")) < ToInt(all.At(b, "COLUMN_POSITION"));
  });
  Table t;
  t.headers = {"table", "#", "column", "server type", "dbExpress type", "length", "precision", "scale", "null", "kind"};
  t.right = {false, true, false, false, false, true, true, true, false, false};
  for (const auto& row : all.rows) {
    const auto type = static_cast<std::uint16_t>(ToInt(all.At(row, "COLUMN_DATATYPE")));
    const auto sub = static_cast<std::uint16_t>(ToInt(all.At(row, "COLUMN_SUBTYPE")));
    const int kind = ToInt(all.At(row, "COLUMN_TYPE"));
    std::string k = (kind & 1) ? "row id" : (kind & 4) ? "auto-increment" : "";
    t.rows.push_back({Cell{all.At(row, "TABLE_NAME")}, Cell{all.At(row, "COLUMN_POSITION")}, Cell{all.At(row, "COLUMN_NAME")},
                      Cell{all.At(row, "COLUMN_TYPENAME")}, Cell{FieldTypeName(type) + (sub ? "/" + SubTypeName(sub) : "")},
                      Cell{all.At(row, "COLUMN_LENGTH")}, Cell{all.At(row, "COLUMN_PRECISION")},
                      Cell{all.At(row, "COLUMN_SCALE")}, Cell{ToInt(all.At(row, "COLUMN_NULLABLE")) ? "yes" : "no"}, Cell{k}});
  }
  PrintTable(out_, t, latin1_);
}

void Shell::ListProcedures(const std::string& pattern) {
  Table all;
  const std::string arg = ToDriver(pattern);
  if (!MetaList("getProcedures", [&](const MetaData& md, void** c) {
        return md.call(&ISQLMetaDataVtbl::getProcedures, arg.c_str(), std::uint32_t{0}, c);
      }, all))
    return;
  Table t;
  t.headers = {"owner", "name", "in", "out"};
  t.right = {false, false, true, true};
  for (const auto& row : all.rows) {
    const std::string name = all.At(row, "PROC_NAME");
    if (pattern.empty() && SystemName(name)) continue;  // the server's own thousands of functions
    t.rows.push_back({Cell{all.At(row, "SCHEMA_NAME")}, Cell{name}, Cell{all.At(row, "IN_PARAMS")}, Cell{all.At(row, "OUT_PARAMS")}});
  }
  std::sort(t.rows.begin(), t.rows.end(), [](const auto& a, const auto& b) { return a[1].text < b[1].text; });
  PrintTable(out_, t, latin1_);
  if (pattern.empty()) return;
  Table params;
  if (!MetaList("getProcedureParams", [&](const MetaData& md, void** c) {
        return md.call(&ISQLMetaDataVtbl::getProcedureParams, arg.c_str(), "", c);
      }, params))
    return;
  Table p;
  p.headers = {"procedure", "parameter", "#", "direction", "server type", "dbExpress type", "length", "precision", "scale"};
  p.right = {false, false, true, false, false, false, true, true, true};
  for (const auto& row : params.rows) {
    const auto type = static_cast<std::uint16_t>(ToInt(params.At(row, "PARAM_DATATYPE")));
    const auto sub = static_cast<std::uint16_t>(ToInt(params.At(row, "PARAM_SUBTYPE")));
    const int dir = ToInt(params.At(row, "PARAM_TYPE"));
    p.rows.push_back({Cell{params.At(row, "PROC_NAME")}, Cell{params.At(row, "PARAM_NAME")}, Cell{params.At(row, "PARAM_POSITION")},
                      Cell{Direction(dir, params.At(row, "PARAM_NAME"))}, Cell{params.At(row, "PARAM_TYPENAME")},
                      Cell{FieldTypeName(type) + (sub ? "/" + SubTypeName(sub) : "")}, Cell{params.At(row, "PARAM_LENGTH")},
                      Cell{params.At(row, "PARAM_PRECISION")}, Cell{params.At(row, "PARAM_SCALE")}});
  }
  PrintTable(out_, p, latin1_);
}

void Shell::CallProcedure(const std::string& name) {
  if (name.empty()) {
    Fail({}, 0, "\\call needs the name of a procedure or function");
    return;
  }
  // Its parameters as the metadata lists them: the inputs take the next -p values, the
  // outputs are read back with getParameter once it ran.
  Table params;
  const std::string arg = ToDriver(name);
  if (!MetaList("getProcedureParams", [&](const MetaData& md, void** c) {
        return md.call(&ISQLMetaDataVtbl::getProcedureParams, arg.c_str(), "", c);
      }, params))
    return;
  std::vector<const std::vector<Cell>*> rows;
  for (const auto& row : params.rows)
    if (rows.empty() || params.At(row, "PROC_NAME") == params.At(*rows.front(), "PROC_NAME")) rows.push_back(&row);
  if (rows.empty()) {
    Fail({}, 0, "no procedure matches " + name);
    return;
  }
  Command cmd;
  SQLResult rc = conn_.call(&ISQLConnectionVtbl::getSQLCommand, cmd.out());
  if (rc == 0) rc = cmd.call(&ISQLCommandVtbl::SetOption, eCommStoredProc, OptionValue{1});
  if (rc == 0) rc = cmd.call(&ISQLCommandVtbl::prepare, arg.c_str(), static_cast<std::uint16_t>(rows.size()));
  std::vector<std::uint32_t> kinds;
  for (std::size_t i = 0; rc == 0 && i < rows.size(); ++i) {
    const int dir = ToInt(params.At(*rows[i], "PARAM_TYPE"));
    // A function's result is its return value.
    const std::uint32_t kind = params.At(*rows[i], "PARAM_NAME") == "Result" ? paramRET : static_cast<std::uint32_t>(dir);
    kinds.push_back(kind);
    const auto n = static_cast<std::uint16_t>(i + 1);
    if (kind == paramIN || kind == paramINOUT) {
      if (params_.empty()) {
        Fail({}, 0, "the procedure takes more inputs than parameter values are left (give them with -p)");
        return;
      }
      Param p = params_.front();
      params_.pop_front();
      if (latin1_ && (p.type == fldZSTRING || p.type == fldBLOB)) p.data = Utf8ToLatin1(p.data);
      rc = cmd.call(&ISQLCommandVtbl::setParameter, n, std::uint16_t{0}, kind, p.type, p.subType,
                    static_cast<std::int32_t>(p.data.size()), std::int32_t{0}, static_cast<std::uint32_t>(p.data.size()),
                    p.null ? nullptr : static_cast<void*>(p.data.data()), std::int32_t{p.null ? 1 : 0});
    } else {
      // Outputs are read back as text, whatever their type.
      rc = cmd.call(&ISQLCommandVtbl::setParameter, n, std::uint16_t{0}, kind, std::uint16_t{fldZSTRING},
                    std::uint16_t{0}, std::int32_t{0}, std::int32_t{0}, std::uint32_t{0}, nullptr, std::int32_t{1});
    }
  }
  Cursor cursor;
  if (rc == 0) rc = cmd.call(&ISQLCommandVtbl::execute, cursor.out());
  if (rc != 0) {
    Fail("execute failed", rc, cmd.error());
    return;
  }
  Table t;
  t.headers = {"parameter", "direction", "value"};
  t.right = {false, false, false};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (kinds[i] == paramIN) continue;
    std::vector<char> value(32768, '\0');
    std::int32_t blank = 0;
    // The value is read as a string: an INOUT input is re-read through getString too.
    rc = cmd.call(&ISQLCommandVtbl::setParameter, static_cast<std::uint16_t>(i + 1), std::uint16_t{0}, kinds[i],
                  std::uint16_t{fldZSTRING}, std::uint16_t{0}, std::int32_t{0}, std::int32_t{0}, std::uint32_t{0},
                  nullptr, std::int32_t{1});
    if (rc == 0)
      rc = cmd.call(&ISQLCommandVtbl::getParameter, static_cast<std::uint16_t>(i + 1), std::uint16_t{0},
                    static_cast<void*>(value.data()), static_cast<std::int32_t>(value.size()), &blank);
    if (rc != 0) {
      Fail("getParameter failed", rc, cmd.error());
      return;
    }
    t.rows.push_back({Cell{params.At(*rows[i], "PARAM_NAME")},
                      Cell{Direction(static_cast<int>(kinds[i]), params.At(*rows[i], "PARAM_NAME"))},
                      blank ? Cell{{}, true} : Cell{value.data()}});
  }
  PrintTable(out_, t, latin1_);
}

void* Shell::NativeHandle() const {
  void* handle = nullptr;
  std::int16_t len = 0;
  if (conn_)
    conn_.call(&ISQLConnectionVtbl::GetOption, eConnNativeHandle, static_cast<void*>(&handle),
               std::int16_t{sizeof handle}, &len);
  return handle;
}

// What the session reached. The driver reports the host as "host:port" (an IPv6 address in
// brackets); where it reports only the host name as it was set, libpq is asked, as it is for
// TLS: the driver loads libpq for the whole process to see.
void Shell::ConnInfo() {
  auto option = [&](std::uint32_t id) {
    char text[1024] = {};
    std::int16_t len = 0;
    const SQLResult rc =
        conn_.call(&ISQLConnectionVtbl::GetOption, id, static_cast<void*>(text), std::int16_t{sizeof text - 1}, &len);
    return rc != 0 ? std::string() : latin1_ ? Latin1ToUtf8(text) : std::string(text);
  };
  void* handle = NativeHandle();
  auto pq = [&](const char* name) -> std::string {
    const auto fn = reinterpret_cast<const char* (*)(void*)>(dlsym(RTLD_DEFAULT, name));
    const char* value = fn && handle ? fn(handle) : nullptr;
    return value ? value : "";
  };
  std::string host = option(eConnHostName), port;
  const std::size_t colon = host.rfind(':');
  if (colon != std::string::npos && colon + 1 < host.size() &&
      host.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
    port = host.substr(colon + 1);
    host.resize(colon);
  } else {
    host = pq("PQhost");
    port = pq("PQport");
  }
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const auto inUse = reinterpret_cast<int (*)(void*)>(dlsym(RTLD_DEFAULT, "PQsslInUse"));
  const auto attribute = reinterpret_cast<const char* (*)(void*, const char*)>(dlsym(RTLD_DEFAULT, "PQsslAttribute"));
  std::string tls = !inUse || !handle ? "" : inUse(handle) ? "on" : "off";
  const char* protocol = tls == "on" && attribute ? attribute(handle, "protocol") : nullptr;
  const char* cipher = protocol ? attribute(handle, "cipher") : nullptr;
  if (cipher) tls += std::string(" (") + protocol + ", " + cipher + ")";
  const std::pair<const char*, std::string> lines[] = {
      {"Host:     ", host}, {"Port:     ", port}, {"Database: ", option(eConnDatabaseName)},
      {"User:     ", o_.user.empty() ? pq("PQuser") : o_.user}, {"Server:   ", option(eConnServerVersion)},
      {"TLS:      ", tls}};
  for (const auto& [label, value] : lines) out_ << label << (value.empty() ? "(unknown)" : value) << "\n";
  out_ << "\n";
}

void Shell::ListIndices(const std::string& table) {
  Table all;
  const std::string arg = ToDriver(table);
  if (!MetaList("getIndices", [&](const MetaData& md, void** c) {
        return md.call(&ISQLMetaDataVtbl::getIndices, arg.c_str(), std::uint32_t{0}, c);
      }, all))
    return;
  Table t;
  t.headers = {"table", "index", "column", "#", "kind"};
  t.right = {false, false, false, true, false};
  for (const auto& row : all.rows) {
    const std::string tab = all.At(row, "TABLENAME");
    if (table.empty() && SystemName(tab)) continue;
    const int type = ToInt(all.At(row, "INDEX_TYPE"));
    const char* kind = type == 4 ? "primary key" : type == 2 ? "unique" : type == 1 ? "non-unique" : "other";
    t.rows.push_back({Cell{tab}, Cell{all.At(row, "INDEX_NAME")}, Cell{all.At(row, "COLUMN_NAME")},
                      Cell{all.At(row, "COLUMN_POSITION")}, Cell{kind}});
  }
  std::stable_sort(t.rows.begin(), t.rows.end(), [](const auto& a, const auto& b) {
    return a[0].text != b[0].text ? a[0].text < b[0].text
         : a[1].text != b[1].text ? a[1].text < b[1].text : ToInt(a[3].text) < ToInt(b[3].text);
  });
  PrintTable(out_, t, latin1_);
}

void Shell::Transaction(const std::string& verb, const std::string& arg) {
  SQLResult rc;
  if (verb == "begin") {
    if (arg == "serializable" || arg == "repeatable read") tx_.IsolationLevel = xilREPEATABLEREAD;
    else if (arg.empty() || arg == "read committed") tx_.IsolationLevel = xilREADCOMMITTED;
    else return Fail({}, 0, "unknown isolation level \"" + arg + "\" (read committed or serializable)");
    rc = conn_.call(&ISQLConnectionVtbl::beginTransaction, &tx_);
  } else if (verb == "commit") {
    rc = conn_.call(&ISQLConnectionVtbl::commit, &tx_);
  } else {
    rc = conn_.call(&ISQLConnectionVtbl::rollback, &tx_);
  }
  if (rc != 0) return Fail(verb + " failed", rc, conn_.error());
  out_ << "(" << (verb == "begin" ? "transaction started" : verb == "commit" ? "committed" : "rolled back") << ")\n\n";
}

void Shell::Meta(const std::string& line) {
  std::size_t sp = line.find_first_of(" \t");
  const std::string cmd = line.substr(1, sp == std::string::npos ? std::string::npos : sp - 1);
  std::string arg = sp == std::string::npos ? std::string() : line.substr(sp + 1);
  while (!arg.empty() && (arg.front() == ' ' || arg.front() == '\t')) arg.erase(0, 1);
  while (!arg.empty() && (arg.back() == ' ' || arg.back() == '\t' || arg.back() == ';')) arg.pop_back();
  if (cmd == "q" || cmd == "quit") {
    quit_ = true;
  } else if (cmd == "?" || cmd == "help") {
    out_ << Usage();
  } else if (cmd == "dt") {
    ListTables(arg);
  } else if (cmd == "d") {
    if (arg.empty()) ListTables(arg);
    else DescribeTable(arg);
  } else if (cmd == "df") {
    ListProcedures(arg);
  } else if (cmd == "di") {
    ListIndices(arg);
  } else if (cmd == "call") {
    CallProcedure(arg);
  } else if (cmd == "conninfo") {
    ConnInfo();
  } else if (cmd == "describe") {
    if (!arg.empty()) Statement(arg, true);
    else if (lastColumns_.empty()) Fail({}, 0, "no result to describe yet");
    else PrintDescription(lastColumns_);
  } else if (cmd == "begin" || cmd == "commit" || cmd == "rollback") {
    Transaction(cmd, arg);
  } else {
    Fail({}, 0, "unknown command \\" + cmd + " (\\? lists the commands)");
  }
}

bool ParseArgs(const std::vector<std::string>& args, Options& o, std::string& error) {
  auto value = [&](std::size_t& i, std::string& to) {
    if (i + 1 >= args.size()) {
      error = args[i] + " needs a value";
      return false;
    }
    to = args[++i];
    return true;
  };
  std::string v;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") o.help = true;
    else if (a == "-S" || a == "--server") { if (!value(i, o.server)) return false; }
    else if (a == "-U" || a == "--user") { if (!value(i, o.user)) return false; }
    else if (a == "-P" || a == "--password") { if (!value(i, o.password)) return false; }
    else if (a == "-c") { if (!value(i, v)) return false; o.sources.emplace_back('c', v); }
    else if (a == "-f") { if (!value(i, v)) return false; o.sources.emplace_back('f', v); }
    else if (a == "-p") { if (!value(i, v)) return false; o.params.push_back(v); }
    else if (a == "--library") { if (!value(i, o.library)) return false; }
    else if (a == "--vendor-lib") { if (!value(i, o.vendorLib)) return false; }
    else if (a == "--charset") { if (!value(i, o.charset)) return false; }
    else if (a == "--ml") o.ml = true;
    else if (a == "-e" || a == "--echo") o.echo = true;
    else if (a == "-v" || a == "--verbose") o.verbose = true;
    else if (a == "--async") o.async = true;
    else if (a == "--sync") o.async = false;
    else if (!a.empty() && a[0] == '-') { error = "unknown option " + a; return false; }
    else if (o.server.empty()) o.server = a;
    else { error = "unexpected argument " + a; return false; }
  }
  if (!o.help && o.server.empty()) {
    error = "no server name given";
    return false;
  }
  return true;
}

}  // namespace

std::string Usage() {
  return "usage: vnxsql [options] SERVER\n"
         "  SERVER               [host][:port]/database[,key=value...], e.g.\n"
         "                       localhost:5432/postgres,AcceptNewerServers=True (a server of 8.4 or\n"
         "                       later, such as PostgreSQL 10 to 18, needs AcceptNewerServers=True)\n"
         "  -U, --user NAME      user name\n"
         "  -P, --password TEXT  password\n"
         "  -c TEXT              run statements and commands (may be repeated; runs in order with -f)\n"
         "  -f FILE              run the statements of FILE (- for standard input); without -c or -f\n"
         "                       statements are read from standard input\n"
         "  -p [TYPE:]VALUE      value of the next \"?\" marker, in order over all statements; TYPE is\n"
         "                       str (default), int, int2, int8, float, num, bool, date, time, ts,\n"
         "                       bytes (hexadecimal) or memo; the word null gives NULL\n"
         "  -e, --echo           print each statement before its result\n"
         "  -v, --verbose        print the driver's trace lines with their category on standard error\n"
         "  --ml                 load the multi-language build (libdbexpvnx-ml.so)\n"
         "  --library PATH       load this driver library\n"
         "  --vendor-lib NAME    the client library the driver opens (default libpq.so.5)\n"
         "  --sync               connect in synchronous mode (Ctrl-C then cannot cancel; the\n"
         "                       default, --async, can)\n"
         "  --charset TEXT       character set and client encoding (eConnServerCharSet), e.g. latin1\n"
         "                       or /UTF8; text is shown in UTF-8 when the driver's is ISO-8859-1\n"
         "Statements end with \";\" at the end of a line. Commands:\n"
         "  \\dt [pattern]        tables and views          \\d table    columns of a table\n"
         "  \\df [pattern]        procedures (and their parameters when a pattern is given)\n"
         "  \\di [table]          indices                   \\describe [query]  column descriptions\n"
         "  \\call name           calls a procedure or function (as the command's stored-procedure\n"
         "                       mode does: CALL or select), its inputs from -p, its outputs shown\n"
         "  \\conninfo           host, port, database, user, server version and TLS reached\n"
         "  \\begin [serializable]  \\commit  \\rollback      \\q  quit    \\?  this text\n"
         "Ctrl-C cancels the running statement (a script stops after it; statements typed at a\n"
         "terminal go on); a second Ctrl-C, or one while no statement runs, quits.\n";
}

int RunShell(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  Options o;
  std::string why;
  if (!ParseArgs(args, o, why)) {
    err << "vnxsql: " << why << "\n" << Usage();
    return 2;
  }
  if (o.help) {
    out << Usage();
    return 0;
  }
  std::unique_ptr<Shell> shell;
  try {
    shell = std::make_unique<Shell>(o, out, err);
  } catch (const std::invalid_argument& e) {
    err << "vnxsql: " << e.what() << std::endl;
    return 2;
  }
  if (!shell->Open()) return 2;
  shell->StopOnInterrupt(!(o.sources.empty() && &in == &std::cin && ::isatty(STDIN_FILENO)));
  if (o.sources.empty()) shell->Run(in);
  for (const auto& [kind, text] : o.sources) {
    if (kind == 'c') {
      shell->RunText(text);
    } else if (text == "-") {
      shell->Run(in);
    } else {
      std::ifstream file(text);
      if (!file) {
        err << "vnxsql: cannot read " << text << std::endl;
        shell->Close();
        return 2;
      }
      shell->Run(file);
    }
  }
  if (shell->unusedParams() > 0)
    err << "vnxsql: warning: " << shell->unusedParams() << " parameter value(s) were not used" << std::endl;
  const bool failed = shell->failed();
  shell->Close();
  return failed ? 1 : 0;
}

}  // namespace vnxsql
