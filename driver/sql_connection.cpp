// The connection object: creation with its default settings, the interface table, opening
// and closing the server connection, and the routines through which every object runs SQL.
#include "driver/sql_connection.h"

#include <poll.h>
#include <sys/socket.h>

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

// How long a statement cancelled for its QueryTimeout may take to answer the cancel.
constexpr std::chrono::seconds kCancelGrace{5};

constexpr const char kDateStyleStatement[] = "SET DATESTYLE TO ISO;";
constexpr const char kStartupQuery[] = "select version(), to_char(1000, '99G999D9'), ''::name;";

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
      driver_(driver) {
  settings_.BlobSize = driver ? driver->BlobSize : 0;
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
  if (handle_) ForgetCancelTarget(handle_);
  if (handle_ && PQ.PQfinish) PQ.PQfinish(handle_);
  handle_ = nullptr;
  server_.Handle = nullptr;
  // The server ends a transaction with its connection.
  inTransaction_ = false;
}

bool TVNXISQLConnection::CheckServerVersion() {
  switch (JudgeServerVersion(server_)) {
    case TVNXVersionVerdict::Unknown:
      SetErrorText(rt::Format(Res(res::SUnknownServerVersion), server_.VersionText));
      return false;
    case TVNXVersionVerdict::TooOld:
      SetErrorText(rt::Format(Res(res::SServerTooOld), OldestVersionText(), server_.VersionText));
      return false;
    case TVNXVersionVerdict::NotTested:
      SetErrorText(rt::Format(Res(res::SServerNotTested), server_.VersionText));
      return false;
    case TVNXVersionVerdict::Untested:
      TraceRes(trcDiagnostic, res::SServerNotTested, server_.VersionText);
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
    const std::string vendorLib = driver_ ? driver_->VendorLib : std::string();
    TraceRes(trcDiagnostic, res::SLoadingLibpq, vendorLib);
    std::vector<std::string> notes;
    try {
      LoadLibpq(vendorLib, &notes);
      for (const std::string& note : notes) Trace(note, trcDiagnostic);
    } catch (const EVNXLibpqError& e) {
      for (const std::string& note : notes) Trace(note, trcDiagnostic);
      SetErrorText(e.what());
      Trace(e.what(), trcDiagnostic);
      return DBXERR_FAILED;
    }
    if (Tracing()) Trace(rt::Format("Libpq%s: %s", "", LoadedLibpqName()), trcDiagnostic);
  }

  // A second connect replaces the server connection: the first one is closed, not leaked.
  CloseHandle();
  hostReached_.clear();

  // A name that cannot be read fails here, before anything reaches libpq.
  const TVNXConnectionParams params = PrepareConnect(serverName, userName, password);
  const std::string connectionString = BuildConnectionString(params);

  if (Tracing()) {
    std::string hosts;  // the names, as they always were; the ports follow in the line that says where
    for (const TVNXHost& h : params.Hosts) hosts += (hosts.empty() ? "" : ",") + h.Name;
    TraceRes(trcConnect, res::SConnectingTo, database_, hosts);
    if (!params.LibpqKeywords.empty()) TraceRes(trcConnect, res::SLibpqSettings, settings_.LibpqKeywordsText());
  }

  handle_ = PQ.PQconnectdb(connectionString.c_str());
  if (handle_ && settings_.AsyncMode) PQ.PQsetnonblocking(handle_, 1);
  if (handle_) AddCancelTarget(handle_, &cancelRequested_);
  if (!handle_ || PQ.PQstatus(handle_) != CONNECTION_OK) {
    std::string reason = handle_ ? rt::TrimRight(rt::FromPChar(PQ.PQerrorMessage(handle_)))
                                 : std::string("out of memory");
    reason = FromServerText(std::move(reason));
    CloseHandle();
    SetError(rt::Format(Res(res::SCouldNotConnect), reason));
    return DBXERR_FAILED;
  }

  TraceRes(trcConnect, settings_.AsyncMode ? res::SConnectedAsync : res::SConnectedSync);
  // Of several hosts, the one that answered (and of a service, what it named).
  const TVNXHost reached{rt::FromPChar(PQ.PQhost(handle_)), rt::FromPChar(PQ.PQport(handle_))};
  hostReached_ = HostText(reached);
  TraceRes(trcConnect, PQ.PQgetssl(handle_) ? res::SServerReachedTls : res::SServerReachedPlain, reached.Name,
           reached.Port);
  TraceRes(trcDiagnostic, res::SDbxProtocolVersion, "2.5");
  TraceRes(trcDiagnostic, res::SLibpqProtocolVersion,
           rt::Format("%.1f", static_cast<double>(PQ.PQprotocolVersion(handle_))));

  ErrorMessage.clear();
  {
    // A statement of its own: a pooler that spreads a session's reads over several servers
    // (pgpool-II) sends a lone SET to every one of them, a statement list to one only.
    std::string error;
    if (!ExecSQL(kDateStyleStatement, error)) {
      SetErrorText(error);
      return DBXERR_FAILED;
    }
    ResultGuard r;
    if (!ExecQuery(kStartupQuery, r.result, error)) {
      SetErrorText(error);
      return DBXERR_FAILED;
    }
    server_.Learn(handle_, rt::Trim(FieldText(r.result, 0, 0)), settings_.AcceptNewerServers);
    std::string thousand = rt::Trim(FieldText(r.result, 0, 1));  // 1000 as the server writes it
    if (thousand.size() >= 2) serverThousandSeparator_ = thousand[1];
    if (thousand.size() >= 6) settings_.ServerDecimalSeparator = thousand[5];
    if (PQ.PQnfields(r.result) >= 3) {
      int size = PQ.PQfsize(r.result, 2);
      if (size > 0 && size <= 0xFFFF) settings_.MappingOptions.MaxNameLength = static_cast<std::uint16_t>(size);
    }
  }

  server_.Version = ServerVersionNumber(handle_, server_.VersionText);
  if (!CheckServerVersion()) return DBXERR_FAILED;

  if (server_.HasSchemas() && !settings_.SearchPath.empty()) {
    // The search path is the application's own SQL list of schemas and goes as given.
    const std::string statement = "set search_path to " + settings_.SearchPath + ";";
    Trace(statement, trcConnect);
    std::string error;
    if (!ExecSQL(statement, error)) {
      SetErrorText(error);
      return DBXERR_FAILED;
    }
  }

  PQ.PQsetNoticeReceiver(handle_, &TVNXISQLConnection::NoticeReceiver, this);

  NegotiateClientEncoding();
  return DBXERR_NONE;
}

TVNXConnectionParams TVNXISQLConnection::PrepareConnect(const std::string& serverName,
                                                        const std::string& userName,
                                                        const std::string& password) {
  database_.clear();
  settings_.Port.clear();
  TVNXServerName name = ParseServerName(serverName);
  // The database is the name alone: it is reported, traced and used in catalogue queries.
  database_ = name.Database;
  ApplyOptions(name.Options);

  TVNXConnectionParams params;
  params.Hosts = std::move(name.Hosts);
  // A name without a host part means this machine, unless the options name the server
  // another way (a service, libpq's host or hostaddr).
  if (!name.HostsGiven && (!settings_.LibpqKeyword("service").empty() || !settings_.LibpqKeyword("host").empty() ||
                           !settings_.LibpqKeyword("hostaddr").empty()))
    params.Hosts.clear();
  if (!settings_.HostName.empty()) {
    std::vector<TVNXHost> hosts = ParseHostList(settings_.HostName, &name.Notes);
    // One host without a port keeps the port the server name gave its one host.
    if (hosts.size() == 1 && hosts[0].Port.empty() && params.Hosts.size() == 1) hosts[0].Port = params.Hosts[0].Port;
    params.Hosts = std::move(hosts);
  }
  for (const std::string& note : name.Notes) Trace(note, trcDiagnostic);
  if (!params.Hosts.empty()) settings_.Port = params.Hosts.front().Port;
  params.Database = database_;
  params.UserName = userName;
  params.Password = password;
  params.ConnectionTimeout = settings_.ConnectionTimeout;
  params.RequireSSL = settings_.RequireSSL;
  params.LibpqKeywords = settings_.LibpqKeywords;
  return params;
}

SQLResult TVNXISQLConnection::disconnect() {
  if (handle_) {
    try {
      if (inTransaction_) rollback(nullptr);
      TraceRes(trcConnect, res::SDisconnecting, database_);
    } catch (...) {
      // Closing must happen whatever the trace or the rollback ran into.
    }
    CloseHandle();
  }
  inTransaction_ = false;
  database_.clear();
  ErrorMessage.clear();
  return DBXERR_NONE;
}

bool TVNXISQLConnection::ExecQuery(const std::string& sql, PGresult*& result, std::string& errorText,
                                   bool keepLaterResults) {
  result = nullptr;
  // The statement runs on its own, as it would without batched reads: the driver's
  // transaction for an open read is committed first.
  if (!reads_.MakeWay(errorText)) {
    lastLibpqError_.clear();  // the statement did not reach libpq
    return false;
  }
  const bool ok = RunQuery(sql, result, errorText, keepLaterResults);
  reads_.AfterStatement(sql);
  return ok;
}

std::unique_ptr<TVNXRowBatches> TVNXISQLConnection::OpenBatchedRead(const std::string& sql, PGresult*& result,
                                                                    std::string& error) {
  std::unique_ptr<TVNXRowBatches> read = reads_.Open(sql, settings_.FetchRows, result, error);
  if (!read && !result) lastLibpqError_.clear();  // the driver's text says why
  return read;
}

bool TVNXISQLConnection::RunQuery(const std::string& sql, PGresult*& result, std::string& errorText,
                                  bool keepLaterResults) {
  result = nullptr;
  errorText.clear();
  lastLibpqError_.clear();
  bool ok = false;
  try {
    if (!handle_) {
      errorText = Res(res::SNoConnectionHandle);
    } else {
      SettlePending();
      StartWait();
      // With a QueryTimeout the driver waits for the answer itself, as in asynchronous mode:
      // PQexec would wait for as long as the server takes.
      if (PQ.PQisnonblocking(handle_) == 1 || settings_.QueryTimeout > 0) {
        ExecAsync(sql, result, errorText, keepLaterResults);
      } else {
        result = PQ.PQexec(handle_, sql.c_str());
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
      if (!ok && wait_ != Wait::Answered) {
        errorText = WaitFailureText(errorText);
        lastLibpqError_ = errorText;
      } else if (!ok) {
        lastLibpqError_ = rt::FromPChar(PQ.PQerrorMessage(handle_));
      }
      if (!ok) {
        // The session is gone: batched reads fail with what ended it.
        if (PQ.PQstatus(handle_) != CONNECTION_OK) reads_.SessionLost(FromServerText(errorText));
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
  if (text.empty() && handle_) text = rt::TrimRight(rt::FromPChar(PQ.PQerrorMessage(handle_)));
  return text;
}

void TVNXISQLConnection::ExecAsync(const std::string& sql, PGresult*& result, std::string& errorText,
                                   bool keepLaterResults) {
  // Results of an earlier statement still arriving are taken in first. Any that nobody
  // read (the later results of a statement list) are dropped: left in place, they would
  // block the send and be handed out as the answer to this statement.
  while (PGresult* stale = NextResult()) {
    if (PQ.PQresultStatus(stale) == PGRES_COPY_IN || PQ.PQresultStatus(stale) == PGRES_COPY_OUT) AbandonCopy(stale);
    else PQ.PQclear(stale);
    if (PQ.PQstatus(handle_) != CONNECTION_OK) break;  // the send below says what happened
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
  } else if (result && PQ.PQresultStatus(result) != PGRES_COPY_IN && PQ.PQresultStatus(result) != PGRES_COPY_OUT &&
             !(keepLaterResults && PQ.PQresultStatus(result) == PGRES_TUPLES_OK)) {
    // Whoever asked reads this result alone (a failed statement has nothing after it): the
    // rest, at least libpq's end of the statement, is taken in now, so that the connection
    // is idle again when this returns.
    while (PGresult* later = NextResult()) {
      const ExecStatusType status = PQ.PQresultStatus(later);
      if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) AbandonCopy(later);
      else PQ.PQclear(later);
    }
  }
}

bool TVNXISQLConnection::SendQuery(const std::string& sql, std::string& errorText) {
  if (PQ.PQsendQuery(handle_, sql.c_str()) != 1) {
    errorText = rt::TrimRight(rt::FromPChar(PQ.PQerrorMessage(handle_)));
    return false;
  }
  // A non-blocking connection may keep part of the text queued: it goes out as the socket
  // takes it, and what the server already answers is read meanwhile.
  while (PQ.PQflush(handle_) == 1) {
    WaitForSocket(handle_, POLLIN | POLLOUT);
    if (PQ.PQconsumeInput(handle_) == 0) break;
  }
  return true;
}

void TVNXISQLConnection::StartWait() noexcept {
  wait_ = Wait::Answered;
  deadline_ = settings_.QueryTimeout > 0
                  ? std::chrono::steady_clock::now() + std::chrono::seconds(settings_.QueryTimeout)
                  : std::chrono::steady_clock::time_point::max();
}

std::string TVNXISQLConnection::WaitFailureText(const std::string& text) const {
  switch (wait_) {
    case Wait::Cancelled: return rt::Format(Res(res::SQueryTimedOut), settings_.QueryTimeout, text);
    case Wait::Lost: return rt::Format(Res(res::SQueryTimeoutLost), settings_.QueryTimeout);
    default: return text;
  }
}

void TVNXISQLConnection::PassDeadline() noexcept {
  if (wait_ == Wait::Answered) {
    // The statement is cancelled; the server's answer to that ends the wait.
    wait_ = Wait::Cancelled;
    deadline_ = std::chrono::steady_clock::now() + kCancelGrace;
    char error[256];
    PGcancel* cancel = PQ.PQgetCancel && PQ.PQcancel ? PQ.PQgetCancel(handle_) : nullptr;
    if (cancel) {
      PQ.PQcancel(cancel, error, sizeof error);
      if (PQ.PQfreeCancel) PQ.PQfreeCancel(cancel);
    } else {
      PQ.PQrequestCancel(handle_);
    }
  } else if (wait_ == Wait::Cancelled) {
    // No answer to the cancel either: the server is gone for all the driver can tell. The
    // connection is closed under libpq, which then reports it lost.
    wait_ = Wait::Lost;
    deadline_ = std::chrono::steady_clock::time_point::max();
    const int fd = PQ.PQsocket(handle_);
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
  }
}

PGresult* TVNXISQLConnection::NextResult() {
  if (!handle_) return nullptr;
  if (PQ.PQisnonblocking(handle_) == 1 || settings_.QueryTimeout > 0) {
    // PQgetResult would block inside libpq; waiting here in slices keeps the thread's
    // wait a sleep on the socket, a connection that goes away ends it, and so does the
    // QueryTimeout.
    while (PQ.PQisBusy(handle_) == 1) {
      if (PQ.PQconsumeInput(handle_) == 0) break;  // lost: PQgetResult gives libpq's error
      if (PQ.PQisBusy(handle_) != 1) break;
      if (std::chrono::steady_clock::now() >= deadline_) PassDeadline();
      else WaitForSocket(handle_, POLLIN);
    }
  }
  return PQ.PQgetResult(handle_);
}

void TVNXISQLConnection::SettlePending() noexcept {
  if (TVNXMoreRows* owner = std::exchange(pending_, nullptr)) owner->Settle();
}

void TVNXISQLConnection::AbandonCopy(PGresult* result) noexcept {
  const ExecStatusType status = PQ.PQresultStatus(result);
  PQ.PQclear(result);
  if (!handle_) return;
  if (status == PGRES_COPY_IN) {
    PQ.PQputCopyEnd(handle_, "COPY from the client is not supported");
  } else if (status == PGRES_COPY_OUT) {
    char* row = nullptr;
    while (PQ.PQgetCopyData(handle_, &row, 0) > 0) {
      PQ.PQfreemem(row);
      row = nullptr;
    }
  }
  // Collect the statement's remaining results (in blocking fashion: the copy ends now).
  const bool nonBlocking = PQ.PQisnonblocking(handle_) == 1;
  if (nonBlocking) PQ.PQsetnonblocking(handle_, 0);
  while (PGresult* r = PQ.PQgetResult(handle_)) PQ.PQclear(r);
  if (nonBlocking) PQ.PQsetnonblocking(handle_, 1);
}

bool TVNXISQLConnection::ExecSQL(const std::string& sql, std::string& errorText) {
  PGresult* result = nullptr;
  bool ok = ExecQuery(sql, result, errorText);
  if (result) PQ.PQclear(result);
  return ok;
}

}  // namespace vnx
