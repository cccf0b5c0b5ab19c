// The command object: parameters, marker substitution, execution and output parameters.
#include "driver/sql_command.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "common/encoding.h"
#include "common/errors.h"
#include "common/param_literal.h"
#include "driver/metadata_sql.h"
#include "driver/more_rows.h"
#include "driver/sql_connection.h"
#include "driver/sql_cursor.h"
#include "driver/sql_driver.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/command_resources.h"
#include "runtime/format.h"
#include "runtime/strutil.h"

namespace vnx {

const ISQLCommandVtbl TVNXISQLCommand::Vtbl = {
    UnknownSlots::Table,
    &Slot<&TVNXISQLCommand::SetOption>::Call,
    &Slot<&TVNXISQLCommand::GetOption>::Call,
    &Slot<&TVNXISQLCommand::setParameter>::Call,
    &Slot<&TVNXISQLCommand::getParameter>::Call,
    &Slot<&TVNXISQLCommand::prepare>::Call,
    &Slot<&TVNXISQLCommand::execute>::Call,
    &Slot<&TVNXISQLCommand::executeImmediate>::Call,
    &Slot<&TVNXISQLCommand::getNextCursor>::Call,
    &Slot<&TVNXISQLCommand::getRowsAffected>::Call,
    &Slot<&TVNXISQLCommand::close>::Call,
    &Slot<&TVNXISQLCommand::getErrorMessage>::Call,
    &Slot<&TVNXISQLCommand::getErrorMessageLen>::Call,
};

TVNXISQLCommand::TVNXISQLCommand(TVNXISQLConnection* connection)
    : TVNXErrorObject(&Vtbl, IID_ISQLCommand, &DestroyAs<TVNXISQLCommand>), Connection(connection) {
  TextConnection = connection;
}

TVNXISQLCommand::~TVNXISQLCommand() { ClearResult(); }

void TVNXISQLCommand::ClearResult() noexcept {
  if (Result) {
    PQ.PQclear(Result);
    Result = nullptr;
  }
}

SQLResult TVNXISQLCommand::SetOption(std::uint32_t option, OptionValue value) {
  const bool flag = (value & 0xFF) != 0;
  switch (option) {
    case eCommRowsetSize: RowsetSize = static_cast<std::int32_t>(value); break;
    case eCommBlockRead: BlockRead = flag; break;
    case eCommBlockWrite: BlockWrite = flag; break;
    case eCommStoredProc: StoredProc = flag; break;
    default: break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLCommand::GetOption(std::uint32_t option, void* propValue, std::int16_t /*maxLength*/,
                                     std::int16_t* length) {
  auto put32 = [&](std::int32_t v) {
    if (propValue) std::memcpy(propValue, &v, sizeof v);
  };
  switch (option) {
    case eCommBlockRead: put32(BlockRead ? 1 : 0); break;
    case eCommBlockWrite: put32(BlockWrite ? 1 : 0); break;
    case eCommParamCount: put32(static_cast<std::int32_t>(Params.size())); break;
    case eCommStoredProc: put32(StoredProc ? 1 : 0); break;
    case eCommNativeHandle: {
      // The libpq connection: pointer-sized, which is 32 bits in the i386 build.
      PGconn* handle = Connection ? Connection->Handle() : nullptr;
      if (propValue) std::memcpy(propValue, &handle, sizeof handle);
      if (length) *length = static_cast<std::int16_t>(sizeof handle);
      return DBXERR_NONE;
    }
    default: break;
  }
  if (length) *length = 4;
  return DBXERR_NONE;
}

namespace {

// The size of a value whose length the application left at 0.
std::uint32_t DerivedLength(std::uint16_t logicalType, std::uint16_t subType, std::int32_t precision,
                            const void* buffer) {
  // A text given without a length is read up to its NUL (terminator included): a fixed
  // count would cut it short or read past its end.
  auto textLength = [&]() -> std::uint32_t {
    return buffer ? static_cast<std::uint32_t>(std::strlen(static_cast<const char*>(buffer)) + 1) : 0;
  };
  switch (logicalType) {
    case fldUNKNOWN:
    case fldZSTRING: return textLength();
    case fldDATE: case fldTIME: case fldINT32: case fldLOCKINFO: case fldCURSOR: case fldADT:
    case fldREF: case fldTABLE: return 4;
    // The address of the application's variant: 4 bytes in the i386 build.
    case fldARRAY: return sizeof(void*);
    case fldBOOL: return 1;
    case fldINT16: return 2;
    case fldFLOAT: case fldINT64: return 8;
    case fldTIMESTAMP: case fldDATETIME: return 16;
    case fldBYTES: return static_cast<std::uint32_t>(std::max(precision, 0));
    case fldVARBYTES: return static_cast<std::uint32_t>(std::max(precision, 0)) + 2;
    case fldBLOB:
      // A memo is text; a binary BLOB without a length is empty rather than four bytes of
      // whatever the buffer holds.
      return subType == fldstMEMO ? textLength() : 0;
    default: return 0;
  }
}

}  // namespace

SQLResult TVNXISQLCommand::setParameter(std::uint16_t parameterNumber, std::uint16_t childPosition,
                                        std::uint32_t paramType, std::uint16_t logicalType, std::uint16_t subType,
                                        std::int32_t precision, std::int32_t scale, std::uint32_t length,
                                        void* buffer, std::int32_t indicator) {
  if (parameterNumber == 0 || parameterNumber > Params.size()) return DBXERR_INVALID_PARAM_NUMBER;
  CommandParam p;
  p.ChildPosition = childPosition;
  p.ParamType = paramType;
  // Output, input/output and function results are all read from the procedure's column 1.
  p.OutputColumn = (paramType == paramOUT || paramType == paramINOUT || paramType == paramRET) ? 1 : -1;
  p.LogicalType = logicalType;
  p.SubType = subType;
  p.Precision = precision;
  p.Scale = scale;
  p.Indicator = indicator;
  const bool isNull = (indicator & 0xFF) != 0;
  if (length == 0) length = DerivedLength(logicalType, subType, precision, isNull ? nullptr : buffer);
  if (logicalType == fldBCD || logicalType == fldFMTBCD) length = sizeof(TBcd);
  p.Length = length;
  if (!isNull) {
    if (!buffer && length > 0)
      throw EVNXError(rt::Format(Res(res::SMissingParameterBuffer), static_cast<unsigned>(parameterNumber)));
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    p.Data.assign(bytes, bytes + length);
    p.HasData = true;
  }
  Params[parameterNumber - 1] = std::move(p);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCommand::prepare(const char* sql, std::uint16_t paramCount) {
  SQL = rt::FromPChar(sql);
  if (StoredProc && sql) {
    close();
    ProcName = SQL;
  }
  if (paramCount == 0) Params.clear();
  else Params.resize(paramCount);
  return DBXERR_NONE;
}

namespace {
constexpr std::string_view kSeparator = "/**/";
}  // namespace

std::string TVNXISQLCommand::SubstituteParameters() {
  // The markers are found by the reading the server will apply, which depends on settings a
  // statement can change: they are asked for at every execute.
  PGconn* handle = Connection->Handle();
  Parser.SetStandardConformingStrings(Connection->Server().StandardConformingStrings());
  Parser.SetClientEncoding(Connection->Server().StatementEncoding());
  Parser.SetSQL(SQL);
  std::string out;
  out.reserve(SQL.size() + Params.size() * 8);
  std::size_t index = 0;
  unsigned marker = 0;
  const bool storedProc = StoredProc;
  const std::string& encoding = Connection->ClientEncoding();
  TVNXTokenKind tokenKind;
  std::int32_t tokenIndex;
  for (;;) {
    // The text up to the next marker or the end of the statement goes in unchanged.
    out += Parser.NextMarker(tokenKind, tokenIndex);
    if (tokenKind == TVNXTokenKind::tkEndOfStatement) {
      // The ";" right after "insert into t values(...)"-like heads is not taken as the
      // end of the statement; everything else ends it, and with parameters only the first
      // statement is sent.
      const std::uint8_t kind = Parser.CurrentStatementKind();
      const bool dropped = (kind == skindInsert && tokenIndex == 6) ||
                           (kind == skindUpdate && tokenIndex == 4) ||
                           (kind == skindDelete && tokenIndex == 6);
      if (dropped) continue;
      break;
    }
    // A procedure call has a marker for each input parameter only: its markers take the
    // input parameters in order, never the value of an output parameter.
    if (storedProc)
      while (index < Params.size() && Params[index].ParamType != paramIN && Params[index].ParamType != paramINOUT)
        ++index;
    if (index >= Params.size())
      throw EVNXError(rt::Format(Res(res::SMissingParameter), ++marker));
    ++marker;
    const std::size_t at = out.size();
    AppendParamLiteral(out, Params[index], storedProc, encoding, handle);
    // Where the text around a literal would run into it (a quote before or after it read as
    // part of one string), an empty comment keeps them apart: the value arrives as a literal
    // of its own or not at all.
    if (out.size() > at && out[at] == '\'' && Parser.LiteralJoinsPrevious()) out.insert(at, kSeparator);
    if (Parser.LiteralJoinsNext()) out += kSeparator;
    ++index;
  }
  return out;
}

bool TVNXISQLCommand::CallsProcedure() {
  const TVNXServerProfile& server = Connection->Server();
  if (!server.Newer || !server.HasProcedures()) return false;
  if (procKindOf_ == ProcName) return isProcedure_;
  PGresult* result = nullptr;
  std::string error;
  const bool ok = Connection->ExecQuery(IsProcedureSql(ProcName, Connection->CatalogSqlOptions()), result, error);
  // A name the server cannot read is called with select, which reports what is wrong with it.
  isProcedure_ = ok && PQ.PQntuples(result) == 1 && std::strcmp(PQ.PQgetvalue(result, 0, 0), "t") == 0;
  if (result) PQ.PQclear(result);
  if (ok) procKindOf_ = ProcName;
  return isProcedure_;
}

std::string TVNXISQLCommand::ProcedureCall() {
  // A procedure is called with CALL: its OUT arguments take a NULL, and every output
  // parameter comes back in its own column of the one row, in parameter order. A function
  // is selected with its inputs; its outputs read the one column of its row.
  const bool call = CallsProcedure();
  calledProcedure_ = call;
  std::string text = (call ? "call " : "select ") + ProcName + "(";
  bool any = false;
  for (const CommandParam& p : Params) {
    if (p.ParamType == paramIN || p.ParamType == paramINOUT) {
      text += "?, ";
      any = true;
    } else if (call && p.ParamType == paramOUT) {
      text += "NULL, ";
      any = true;
    }
  }
  if (any) text.resize(text.size() - 2);
  text += ");";
  return text;
}

SQLResult TVNXISQLCommand::execute(void** cursor) {
  calledProcedure_ = false;
  if (StoredProc) SQL = ProcedureCall();
  std::string text;
  if (Params.empty()) {
    text = SQL;
  } else {
    try {
      text = SubstituteParameters();
    } catch (const std::exception& e) {
      SetErrorText(e.what());
      return DBXERR_FAILED;
    }
  }
  void* produced = nullptr;
  SQLResult rc = InternalExecute(text, &produced);
  if (rc == DBXERR_NONE) {
    // The command keeps its own reference to the cursor for getParameter. A batched read
    // is kept only for output parameters: kept otherwise, it would hold its server cursor
    // (and the driver's transaction) open after the application released it.
    auto* c = produced ? static_cast<TVNXISQLCursor*>(TInterfacedObject::FromInterface(produced)) : nullptr;
    const bool outputs = std::any_of(Params.begin(), Params.end(), [](const CommandParam& p) {
      return p.ParamType == paramOUT || p.ParamType == paramINOUT || p.ParamType == paramRET;
    });
    OutputCursor = InterfaceRef<TVNXISQLCursor>(c && (outputs || !c->ReadsInBatches()) ? c : nullptr);
    outputRowRead_ = false;
  }
  if (produced) SetVarInterface(cursor, TInterfacedObject::FromInterface(produced));
  if (produced) TInterfacedObject::FromInterface(produced)->Release();
  return rc;
}

SQLResult TVNXISQLCommand::executeImmediate(const char* sql, void** cursor) {
  SQL = rt::FromPChar(sql);
  void* produced = nullptr;
  SQLResult rc = InternalExecute(SQL, &produced);
  if (produced) {
    SetVarInterface(cursor, TInterfacedObject::FromInterface(produced));
    TInterfacedObject::FromInterface(produced)->Release();
  }
  return rc;
}

SQLResult TVNXISQLCommand::InternalExecute(const std::string& text, void** cursor) {
  TVNXISQLConnection& conn = *Connection;
  conn.Trace(rt::TrimView(text), trcSQL);
  // A cancel meant for an earlier statement must not end a batched read of this one.
  conn.DropCancelRequest();
  ErrorMessage.clear();
  ClearResult();

  auto fail = [&](std::string message) {
    // libpq's own text, as it gives it; converted like every other server text when the
    // client encoding is UTF8.
    if (conn.ClientEncoding() == "UTF8") message = Utf8ToApplication(message);
    ErrorMessage = std::move(message);
    conn.Trace(ErrorMessage, trcError);
    return DBXERR_FAILED;
  };
  // A text the connection already gave as the application reads it.
  auto failWith = [&](std::string message) {
    ErrorMessage = std::move(message);
    conn.Trace(ErrorMessage, trcError);
    return DBXERR_FAILED;
  };

  std::string execError;
  // With FetchRows a query is read in batches through a server cursor; a procedure call
  // stays whole (its one row of output parameters would keep the driver's transaction
  // open for as long as the command lives), and so do statements a cursor cannot carry.
  // Servers before 8.0 have no holdable cursors: whole too.
  std::unique_ptr<TVNXRowBatches> batches;
  if (conn.Settings().FetchRows > 0 && conn.Handle() && !StoredProc && conn.Server().HasHoldableCursors() &&
      DeclarableAsCursor(text, conn.Server().StandardConformingStrings(), conn.Server().StatementEncoding())) {
    batches = conn.OpenBatchedRead(text, Result, execError);
    if (!batches && !Result && conn.LastLibpqError().empty()) return failWith(execError);
  } else {
    conn.ExecQuery(text, Result, execError, true);  // an asynchronous list's cursor reads on
  }
  if (!conn.Handle()) return fail(execError.empty() ? Res(res::SNotConnected) : execError);
  // libpq's own text, taken right after the statement failed.
  auto libpqError = [&] {
    return conn.LastLibpqError().empty() ? rt::FromPChar(PQ.PQerrorMessage(conn.Handle())) : conn.LastLibpqError();
  };
  // A statement that did not run (the connection could not make way for it) has the
  // driver's text; one that ran has libpq's.
  if (!Result) return conn.LastLibpqError().empty() && !execError.empty() ? failWith(execError) : fail(libpqError());

  RowsAffected = 0;
  switch (PQ.PQresultStatus(Result)) {
    case PGRES_TUPLES_OK: {
      // Where the rows after this result come from: later batches, or the later results
      // of an asynchronous statement list (kept when the cursor's creation runs a query).
      std::unique_ptr<TVNXMoreRows> more;
      if (batches) more = std::move(batches);
      else if (PQ.PQisnonblocking(conn.Handle()) == 1) more = std::make_unique<TVNXStatementResults>(conn);
      PGresult* handedOver = Result;
      Result = nullptr;  // the cursor owns it from now on, also if its creation fails
      auto* c = new TVNXISQLCursor(this, &conn, SQL, handedOver,
                                   conn.Driver() ? conn.Driver()->TypesCachingMode : std::uint8_t(0));
      c->AddRef();
      *cursor = c->AsInterface();
      if (auto* b = dynamic_cast<TVNXRowBatches*>(more.get())) b->AskAhead();
      c->ReadOnIn(std::move(more));
      return DBXERR_NONE;
    }
    case PGRES_COMMAND_OK: {
      if (conn.Tracing()) conn.Trace(Res(res::SCommandExecuted), trcOutcome);
      const char* tuples = PQ.PQcmdTuples(Result);
      std::uint32_t rows = 0;
      for (const char* p = tuples; p && *p >= '0' && *p <= '9'; ++p) rows = rows * 10 + static_cast<std::uint32_t>(*p - '0');
      RowsAffected = rows;
      conn.TraceRes(trcOutcome, res::SRowsAffected, rows);
      return DBXERR_NONE;
    }
    case PGRES_EMPTY_QUERY:
      ErrorMessage = Res(res::SQueryIsEmpty);
      conn.Trace(ErrorMessage, trcError);
      return DBXERR_NONE;
    case PGRES_COPY_IN:
    case PGRES_COPY_OUT:
      // Left alone, the connection would stay in the copy state and refuse every later
      // statement: end the copy and report it.
      conn.AbandonCopy(std::exchange(Result, nullptr));
      return fail(Res(res::SCopyNotSupported));
    default:
      return fail(libpqError());
  }
}

SQLResult TVNXISQLCommand::getNextCursor(void** /*cursor*/) { return DBXERR_NOT_SUPPORTED; }

SQLResult TVNXISQLCommand::getRowsAffected(std::uint32_t* rows) {
  if (rows) *rows = RowsAffected;
  return DBXERR_NONE;
}

SQLResult TVNXISQLCommand::close() {
  for (CommandParam& p : Params) {
    std::vector<std::uint8_t>().swap(p.Data);
    p.HasData = false;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLCommand::getParameter(std::uint16_t parameterNumber, std::uint16_t /*childPosition*/,
                                        void* value, std::int32_t length, std::int32_t* isBlank) {
  if (!OutputCursor) {
    ErrorMessage = Res(res::SNoParametersRetrieved);
    return DBXERR_NO_OUTPUT_CURSOR;
  }
  if (parameterNumber == 0 || parameterNumber > Params.size()) return DBXERR_INVALID_PARAM_NUMBER;
  TVNXISQLCursor& cursor = *OutputCursor.get();
  // The procedure's single row is reached once per execute; every output parameter reads
  // from it (a second parameter would otherwise find no row).
  if (!outputRowRead_) {
    SQLResult rc = cursor.next();
    if (rc == DBXERR_EOF) {
      ErrorMessage = Res(res::SNoParametersRetrieved);
      return DBXERR_EOF;
    }
    if (rc != DBXERR_NONE) return rc;
    outputRowRead_ = true;
  }
  CommandParam& p = Params[parameterNumber - 1];
  std::int32_t outputColumn = p.OutputColumn < 1 ? 1 : p.OutputColumn;
  if (calledProcedure_) {
    // A procedure's row has a column for each OUT and INOUT parameter, in their order.
    outputColumn = 1;
    for (std::size_t i = 0; i + 1 < parameterNumber; ++i)
      if (Params[i].ParamType == paramOUT || Params[i].ParamType == paramINOUT) ++outputColumn;
  }
  const auto column = static_cast<std::uint16_t>(outputColumn);
  cursor.CheckColumn(column);

  // A scratch buffer of at least 32767 bytes, larger when the value needs it: a text with
  // its NUL, or bytes (never more than their escaped text) after their 2-byte length.
  std::size_t scratchSize = 32767;
  if (!cursor.IsNull(column)) {
    std::string conv;
    scratchSize = std::max(scratchSize, cursor.ValueText(column, conv).size() + sizeof(std::uint16_t));
  }
  std::vector<char> scratch(scratchSize, '\0');
  std::int32_t blank = 0;
  SQLResult rc;
  switch (p.LogicalType) {
    case fldZSTRING: rc = cursor.getString(column, scratch.data(), &blank); break;
    case fldBOOL: case fldINT16: case fldUINT16: rc = cursor.getShort(column, scratch.data(), &blank); break;
    case fldINT32: case fldUINT32: rc = cursor.getLong(column, scratch.data(), &blank); break;
    case fldFLOAT: rc = cursor.getDouble(column, scratch.data(), &blank); break;
    case fldBCD: case fldFMTBCD: rc = cursor.getBcd(column, scratch.data(), &blank); break;
    case fldTIMESTAMP: case fldDATETIME: rc = cursor.getTimeStamp(column, scratch.data(), &blank); break;
    case fldTIME: rc = cursor.getTime(column, scratch.data(), &blank); break;
    case fldDATE: rc = cursor.getDate(column, scratch.data(), &blank); break;
    case fldBYTES: case fldVARBYTES: rc = cursor.getBytes(column, scratch.data(), &blank); break;
    default:
      ErrorMessage = rt::Format(Res(res::SParamTypeNotSupported), static_cast<unsigned>(p.LogicalType));
      return DBXERR_WRONG_PARAM_TYPE;
  }
  if (rc != DBXERR_NONE) {
    SetErrorText(cursor.ErrorMessage);
    return rc;
  }
  p.Indicator = blank;
  if (isBlank) *isBlank = blank;
  if (value && length > 0)
    std::memcpy(value, scratch.data(), std::min(static_cast<std::size_t>(length), scratch.size()));
  return DBXERR_NONE;
}

}  // namespace vnx
