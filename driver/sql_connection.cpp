// The connection object: creation with its default settings, the interface table, opening
// and closing the server connection, and the routines through which every object runs SQL.
#include "driver/sql_connection.h"

#include <poll.h>

#include <clocale>
#include <utility>

#include "common/errors.h"
#include "driver/cancel_requests.h"
#include "driver/connection_options.h"
#include "driver/more_rows.h"
#include "driver/sql_driver.h"
#include "libpq/libpq_api.h"
#include "resources/driver_resources.h"
#include "runtime/module_path.h"
#include "runtime/strutil.h"

namespace vnx {

const ISQLConnectionVtbl TVNXISQLConnection::Vtbl = {
    UnknownSlots::Table,
    &Slot<&TVNXISQLConnection::connect>::Call,
    &Slot<&TVNXISQLConnection::disconnect>::Call,
    &Slot<&TVNXISQLConnection::getSQLCommand>::Call,
    &Slot<&TVNXISQLConnection::getSQLMetaData>::Call,
    &Slot<&TVNXISQLConnection::SetOption>::Call,
    &Slot<&TVNXISQLConnection::GetOption>::Call,
    &Slot<&TVNXISQLConnection::beginTransaction>::Call,
    &Slot<&TVNXISQLConnection::commit>::Call,
    &Slot<&TVNXISQLConnection::rollback>::Call,
    &Slot<&TVNXISQLConnection::getErrorMessage>::Call,
    &Slot<&TVNXISQLConnection::getErrorMessageLen>::Call,
};

namespace {

constexpr const char kStartupQuery[] =
    "SET DATESTYLE TO ISO;select version(), to_char(1000, '99G999D9'), ''::name;";

// Frees a libpq result when it goes out of scope.
struct ResultGuard {
  PGresult* result = nullptr;
  ~ResultGuard() {
    if (result) PQ.PQclear(result);
  }
};

std::string FieldText(const PGresult* result, int row, int column) {
  if (!result || row >= PQ.PQntuples(result) || column >= PQ.PQnfields(result)) return {};
  return rt::FromPChar(PQ.PQgetvalue(result, row, column));
}

// The oldest server version accepted, written with the process locale's decimal separator
// as the message shows it to the user.
std::string OldestVersionText() {
  const std::lconv* lc = std::localeconv();
  std::string point = lc && lc->decimal_point && *lc->decimal_point ? lc->decimal_point : ".";
  return "7" + point + "1";
}

// Waits (in short slices, so that a connection going away is noticed by the caller) until
// the connection's socket is ready for the events.
void WaitForSocket(PGconn* handle, short events) {
  int fd = PQ.PQsocket(handle);
  if (fd < 0) return;
  pollfd p{fd, events, 0};
  ::poll(&p, 1, 200);
}

}  // namespace

TVNXISQLConnection::TVNXISQLConnection(TVNXISQLDriver* driver)
    : TVNXErrorObject(&Vtbl, IID_ISQLConnection, &DestroyAs<TVNXISQLConnection>),
      Driver(driver),
      BlobSize(driver ? driver->BlobSize : 0) {
  TextConnection = this;
}

TVNXISQLConnection::~TVNXISQLConnection() {
  // An application that releases a connected object without disconnecting must not leak
  // the server connection.
  CloseHandle();
}

void TVNXISQLConnection::CloseHandle() noexcept {
  // Nothing is on its way any more, and batched reads lose their server cursors. A read in
  // the driver's transaction held nothing but itself: it ends as if released.
  pending_ = nullptr;
  reads_.SessionLost(std::string());
  if (Handle) ForgetCancelTarget(Handle);
  if (Handle && PQ.PQfinish) PQ.PQfinish(Handle);
  Handle = nullptr;
  Server.Handle = nullptr;
  // The server ends a transaction with its connection.
  InTransaction = false;
}

bool TVNXISQLConnection::CheckServerVersion() {
  switch (JudgeServerVersion(Server)) {
    case TVNXVersionVerdict::Unknown:
      SetErrorText(rt::Format(Res(res::SUnknownServerVersion), Server.VersionText));
      return false;
    case TVNXVersionVerdict::TooOld:
      SetErrorText(rt::Format(Res(res::SServerTooOld), OldestVersionText(), Server.VersionText));
      return false;
    case TVNXVersionVerdict::NotTested:
      SetErrorText(rt::Format(Res(res::SServerNotTested), Server.VersionText));
      return false;
    case TVNXVersionVerdict::Untested:
      TraceRes(trcDiagnostic, res::SServerNotTested, Server.VersionText);
      return true;
    case TVNXVersionVerdict::Accepted:
    default:
      return true;
  }
}

double ServerVersionNumber(PGconn* handle, std::string versionText) {
  if (versionText.empty() && handle) {
    ResultGuard r{PQ.PQexec(handle, "select version();")};
    if (r.result && PQ.PQresultStatus(r.result) == PGRES_TUPLES_OK) versionText = FieldText(r.result, 0, 0);
  }
  return ServerVersionNumber(versionText);
}

SQLResult TVNXISQLConnection::connect(const char* serverName, const char* userName, const char* password) {
  try {
    return Connect(rt::FromPChar(serverName), rt::FromPChar(userName), rt::FromPChar(password));
  } catch (...) {
    return FailedCall();
  }
}

SQLResult TVNXISQLConnection::Connect(const std::string& serverName, const std::string& userName,
                                      const std::string& password) {
  if (Tracing()) {
    Trace(DriverBanner(), trcConnect);
    Trace(rt::Format("Vornex library: %s", rt::ThisModulePath()), trcConnect);
  }

  if (!LibpqLoaded()) {
    const std::string vendorLib = Driver ? Driver->VendorLib : std::string();
    TraceRes(trcDiagnostic, res::SLoadingLibpq, vendorLib);
    try {
      LoadLibpq(vendorLib);
    } catch (const EVNXLibpqError& e) {
      SetErrorText(e.what());
      Trace(e.what(), trcDiagnostic);
      return DBXERR_FAILED;
    }
    if (Tracing()) Trace(rt::Format("Libpq%s: %s", "", LoadedLibpqName()), trcDiagnostic);
  }

  // A second connect replaces the server connection: the first one is closed, not leaked.
  CloseHandle();

  const TVNXConnectionParams params = PrepareConnect(serverName, userName, password);
  const std::string connectionString = BuildConnectionString(params);

  TraceRes(trcConnect, res::SConnectingTo, Database, params.Host);

  Handle = PQ.PQconnectdb(connectionString.c_str());
  if (Handle && AsyncMode) PQ.PQsetnonblocking(Handle, 1);
  if (Handle) AddCancelTarget(Handle, &CancelRequested);
  if (!Handle || PQ.PQstatus(Handle) != CONNECTION_OK) {
    std::string reason = Handle ? rt::TrimRight(rt::FromPChar(PQ.PQerrorMessage(Handle)))
                                : std::string("out of memory");
    reason = FromServerText(std::move(reason));
    CloseHandle();
    SetError(rt::Format(Res(res::SCouldNotConnect), reason));
    return DBXERR_FAILED;
  }

  TraceRes(trcConnect, AsyncMode ? res::SConnectedAsync : res::SConnectedSync);
  TraceRes(trcDiagnostic, res::SDbxProtocolVersion, "2.5");
  TraceRes(trcDiagnostic, res::SLibpqProtocolVersion,
           rt::Format("%.1f", static_cast<double>(PQ.PQprotocolVersion(Handle))));

  ErrorMessage.clear();
  {
    ResultGuard r;
    std::string error;
    if (!ExecQuery(kStartupQuery, r.result, error)) {
      SetErrorText(error);
      return DBXERR_FAILED;
    }
    Server.Learn(Handle, rt::Trim(FieldText(r.result, 0, 0)), AcceptNewerServers);
    std::string thousand = rt::Trim(FieldText(r.result, 0, 1));  // 1000 as the server writes it
    if (thousand.size() >= 2) ServerThousandSeparator = thousand[1];
    if (thousand.size() >= 6) ServerDecimalSeparator = thousand[5];
    if (PQ.PQnfields(r.result) >= 3) {
      int size = PQ.PQfsize(r.result, 2);
      if (size > 0 && size <= 0xFFFF) MappingOptions.MaxNameLength = static_cast<std::uint16_t>(size);
    }
  }

  Server.Version = ServerVersionNumber(Handle, Server.VersionText);
  if (!CheckServerVersion()) return DBXERR_FAILED;

  if (Server.HasSchemas() && !SearchPath.empty()) {
    // The search path is the application's own SQL list of schemas and goes as given.
    const std::string statement = "set search_path to " + SearchPath + ";";
    Trace(statement, trcConnect);
    std::string error;
    if (!ExecSQL(statement, error)) {
      SetErrorText(error);
      return DBXERR_FAILED;
    }
  }

  PQ.PQsetNoticeReceiver(Handle, &TVNXISQLConnection::NoticeReceiver, this);

  NegotiateClientEncoding();
  return DBXERR_NONE;
}

TVNXConnectionParams TVNXISQLConnection::PrepareConnect(const std::string& serverName,
                                                        const std::string& userName,
                                                        const std::string& password) {
  Database.clear();
  Port.clear();
  std::string host, databasePart;
  ParseServerName(serverName, host, Port, databasePart);
  // Database is the name alone: it is reported, traced and used in catalogue queries.
  std::size_t comma = databasePart.find(',');
  Database = databasePart.substr(0, comma);
  if (comma != std::string::npos) ApplyOptions(std::string_view(databasePart).substr(comma + 1));

  if (!HostName.empty()) {
    std::size_t colon = HostName.find(':');
    host = rt::Trim(std::string_view(HostName).substr(0, colon));
    if (colon != std::string::npos) {
      std::string_view rest = std::string_view(HostName).substr(colon + 1);
      Port = rt::Trim(rest.substr(0, rest.find(':')));
    }
  }

  TVNXConnectionParams params;
  params.Host = std::move(host);
  params.Database = Database;
  params.Port = Port.empty() ? -1 : ParseInt32(Port).value_or(-1);
  params.UserName = userName;
  params.Password = password;
  params.ConnectionTimeout = ConnectionTimeout;
  params.RequireSSL = RequireSSL;
  return params;
}

SQLResult TVNXISQLConnection::disconnect() {
  if (Handle) {
    try {
      if (InTransaction) rollback(nullptr);
      TraceRes(trcConnect, res::SDisconnecting, Database);
    } catch (...) {
      // Closing must happen whatever the trace or the rollback ran into.
    }
    CloseHandle();
  }
  InTransaction = false;
  Database.clear();
  ErrorMessage.clear();
  return DBXERR_NONE;
}

bool TVNXISQLConnection::ExecQuery(const std::string& sql, PGresult*& result, std::string& errorText) {
  result = nullptr;
  // The statement runs on its own, as it would without batched reads: the driver's
  // transaction for an open read is committed first.
  if (!reads_.MakeWay(errorText)) {
    lastLibpqError_.clear();  // the statement did not reach libpq
    return false;
  }
  const bool ok = RunQuery(sql, result, errorText);
  reads_.AfterStatement(sql);
  return ok;
}

std::unique_ptr<TVNXRowBatches> TVNXISQLConnection::OpenBatchedRead(const std::string& sql, PGresult*& result,
                                                                    std::string& error) {
  std::unique_ptr<TVNXRowBatches> read = reads_.Open(sql, FetchRows, result, error);
  if (!read && !result) lastLibpqError_.clear();  // the driver's text says why
  return read;
}

bool TVNXISQLConnection::RunQuery(const std::string& sql, PGresult*& result, std::string& errorText) {
  result = nullptr;
  errorText.clear();
  lastLibpqError_.clear();
  bool ok = false;
  try {
    if (!Handle) {
      errorText = Res(res::SNoConnectionHandle);
    } else {
      SettlePending();
      if (PQ.PQisnonblocking(Handle) == 1) {
        ExecAsync(sql, result, errorText);
      } else {
        result = PQ.PQexec(Handle, sql.c_str());
      }
      if (!result) {
        errorText = Res(res::SNoResponse);
      } else {
        switch (PQ.PQresultStatus(result)) {
          case PGRES_EMPTY_QUERY:
            errorText = Res(res::SQueryIsEmpty);
            break;
          case PGRES_COMMAND_OK:
          case PGRES_TUPLES_OK:
          case PGRES_COPY_OUT:
          case PGRES_COPY_IN:
            ok = true;
            errorText.clear();
            break;
          default:
            errorText = rt::TrimRight(ResultErrorText(result));
            break;
        }
      }
      if (!ok) {
        lastLibpqError_ = rt::FromPChar(PQ.PQerrorMessage(Handle));
        // The session is gone: batched reads fail with what ended it.
        if (PQ.PQstatus(Handle) != CONNECTION_OK) reads_.SessionLost(FromServerText(errorText));
      }
    }
  } catch (const std::exception& e) {
    errorText = e.what();
    ok = false;
  }
  if (!ok) errorText = FromServerText(std::move(errorText));
  return ok;
}

bool TVNXISQLConnection::RunDriverQuery(const std::string& sql, PGresult*& result, std::string& errorText) {
  // libpq's text of the application's last statement stays what the application reads.
  std::string kept = std::move(lastLibpqError_);
  const bool ok = RunQuery(sql, result, errorText);
  lastLibpqError_ = std::move(kept);
  if (ok) return true;
  try {
    errorText = rt::Format(Res(res::SDriverStatementFailed), sql, errorText);
    Trace(errorText, trcError);
  } catch (...) {
  }
  return false;
}

bool TVNXISQLConnection::RunDriverStatement(const std::string& sql, std::string& errorText) {
  PGresult* result = nullptr;
  const bool ok = RunDriverQuery(sql, result, errorText);
  if (result) PQ.PQclear(result);
  return ok;
}

std::string TVNXISQLConnection::ResultErrorText(const PGresult* result) const {
  std::string text = rt::TrimRight(rt::FromPChar(PQ.PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)));
  // Errors that libpq makes itself (a lost connection) may carry no primary message: the
  // connection's text then says what went wrong.
  if (text.empty() && Handle) text = rt::TrimRight(rt::FromPChar(PQ.PQerrorMessage(Handle)));
  return text;
}

void TVNXISQLConnection::ExecAsync(const std::string& sql, PGresult*& result, std::string& errorText) {
  // Results of an earlier statement still arriving are taken in first. Any that nobody
  // read (the later results of a statement list) are dropped: left in place, they would
  // block the send and be handed out as the answer to this statement.
  while (PGresult* stale = NextResult()) {
    if (PQ.PQresultStatus(stale) == PGRES_COPY_IN || PQ.PQresultStatus(stale) == PGRES_COPY_OUT) AbandonCopy(stale);
    else PQ.PQclear(stale);
    if (PQ.PQstatus(Handle) != CONNECTION_OK) break;  // the send below says what happened
  }
  // A failed send is not a stop: NextResult below finds nothing and says so.
  SendQuery(sql, errorText);
  result = NextResult();
  if (result && PQ.PQresultStatus(result) == PGRES_COMMAND_OK) {
    // A statement list answers with one result per statement: the last one counts.
    while (PGresult* next = NextResult()) {
      PQ.PQclear(result);
      result = next;
    }
  }
}

bool TVNXISQLConnection::SendQuery(const std::string& sql, std::string& errorText) {
  if (PQ.PQsendQuery(Handle, sql.c_str()) != 1) {
    errorText = rt::TrimRight(rt::FromPChar(PQ.PQerrorMessage(Handle)));
    return false;
  }
  // A non-blocking connection may keep part of the text queued: it goes out as the socket
  // takes it, and what the server already answers is read meanwhile.
  while (PQ.PQflush(Handle) == 1) {
    WaitForSocket(Handle, POLLIN | POLLOUT);
    if (PQ.PQconsumeInput(Handle) == 0) break;
  }
  return true;
}

PGresult* TVNXISQLConnection::NextResult() {
  if (!Handle) return nullptr;
  if (PQ.PQisnonblocking(Handle) == 1) {
    // PQgetResult would block inside libpq; waiting here in slices keeps the thread's
    // wait a sleep on the socket, and a connection that goes away ends it.
    while (PQ.PQisBusy(Handle) == 1) {
      if (PQ.PQconsumeInput(Handle) == 0) break;  // lost: PQgetResult gives libpq's error
      if (PQ.PQisBusy(Handle) == 1) WaitForSocket(Handle, POLLIN);
    }
  }
  return PQ.PQgetResult(Handle);
}

void TVNXISQLConnection::SettlePending() noexcept {
  if (TVNXMoreRows* owner = std::exchange(pending_, nullptr)) owner->Settle();
}

void TVNXISQLConnection::AbandonCopy(PGresult* result) noexcept {
  const ExecStatusType status = PQ.PQresultStatus(result);
  PQ.PQclear(result);
  if (!Handle) return;
  if (status == PGRES_COPY_IN) {
    PQ.PQputCopyEnd(Handle, "COPY from the client is not supported");
  } else if (status == PGRES_COPY_OUT) {
    char* row = nullptr;
    while (PQ.PQgetCopyData(Handle, &row, 0) > 0) {
      PQ.PQfreemem(row);
      row = nullptr;
    }
  }
  // Collect the statement's remaining results (in blocking fashion: the copy ends now).
  const bool nonBlocking = PQ.PQisnonblocking(Handle) == 1;
  if (nonBlocking) PQ.PQsetnonblocking(Handle, 0);
  while (PGresult* r = PQ.PQgetResult(Handle)) PQ.PQclear(r);
  if (nonBlocking) PQ.PQsetnonblocking(Handle, 1);
}

bool TVNXISQLConnection::ExecSQL(const std::string& sql, std::string& errorText) {
  PGresult* result = nullptr;
  bool ok = ExecQuery(sql, result, errorText);
  if (result) PQ.PQclear(result);
  return ok;
}

}  // namespace vnx
