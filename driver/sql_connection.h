// TVNXISQLConnection: one connection to a PostgreSQL server through libpq, its settings,
// transactions, tracing, and the routines through which every object of the driver runs SQL.
#pragma once

#include <libpq-fe.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/encoding.h"
#include "common/type_mapping.h"
#include "driver/batched_reads.h"
#include "driver/connection_options.h"
#include "driver/connection_settings.h"
#include "driver/interface_object.h"
#include "driver/more_rows.h"
#include "driver/metadata_sql.h"
#include "driver/server_profile.h"
#include "i18n/translate.h"
#include "runtime/format.h"

namespace vnx {

class TVNXISQLDriver;
class TVNXMoreRows;
class TVNXRowBatches;

// Trace categories.
enum : std::uint8_t {
  trcSQL = 1, trcError = 2, trcConnect = 4, trcTransaction = 5, trcBlob = 6, trcCatalog = 7,
  trcDiagnostic = 8, trcOutcome = 10,
};

class TVNXISQLConnection final : public TVNXErrorObject {
 public:
  explicit TVNXISQLConnection(TVNXISQLDriver* driver);
  ~TVNXISQLConnection();

  // Interface operations.
  SQLResult connect(const char* serverName, const char* userName, const char* password);
  SQLResult disconnect();
  SQLResult getSQLCommand(void** command);
  SQLResult getSQLMetaData(void** metaData);
  SQLResult SetOption(std::uint32_t option, OptionValue value);
  SQLResult GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength, std::int16_t* length);
  SQLResult beginTransaction(TTransactionDesc* tranID);
  SQLResult commit(TTransactionDesc* tranID);
  SQLResult rollback(TTransactionDesc* tranID);

  // Runs one SQL text; true when it succeeded. The caller owns result (also on failure)
  // and frees it with PQclear.
  // In asynchronous mode the later results of a statement list are dropped, unless
  // keepLaterResults leaves them for the caller to collect (a command's cursor reads on).
  bool ExecQuery(const std::string& sql, PGresult*& result, std::string& errorText, bool keepLaterResults = false);
  // ExecQuery followed by PQclear of the result.
  bool ExecSQL(const std::string& sql, std::string& errorText);

  // --- Reading results (shared by ExecQuery, cursors and batched reads) ---
  // Runs one statement as ExecQuery does, but without first making way for it (see
  // MakeWay): for the statements that belong to an open read (its cursor's FETCH and CLOSE,
  // the queries that describe its columns).
  bool RunQuery(const std::string& sql, PGresult*& result, std::string& errorText, bool keepLaterResults = false);
  // A statement the driver sends on its own: a failure is traced (category 2) with the
  // statement, and its text is given to the caller, who reports it.
  bool RunDriverQuery(const std::string& sql, PGresult*& result, std::string& errorText);
  bool RunDriverStatement(const std::string& sql, std::string& errorText);
  // libpq's own text for the last statement that failed, as PQerrorMessage gave it right
  // after it (or the text of the driver's refusal to run it).
  const std::string& LastLibpqError() const noexcept { return lastLibpqError_; }
  // Sends a statement without waiting for its result; false with libpq's text.
  bool SendQuery(const std::string& sql, std::string& errorText);
  // The next result of the statement in progress, null when it has no more. Waits on the
  // socket (never spinning); a lost connection ends the wait with libpq's error result. With
  // a QueryTimeout, a wait that outlasts it cancels the statement, and one whose cancel is
  // not answered either closes the connection (libpq then reports it lost).
  PGresult* NextResult();
  // The QueryTimeout counts from here (each statement, each batch asked for).
  void StartWait() noexcept;
  // A failure text as the application reads it after the last wait: the server's, or why
  // the QueryTimeout ended the wait.
  std::string WaitFailureText(const std::string& text) const;
  // Whose results are still on their way through the connection (a batch asked for ahead,
  // the later results of an asynchronous statement list): they are collected by that owner
  // before the connection serves anything else.
  void AwaitResults(TVNXMoreRows* owner) noexcept { pending_ = owner; }
  bool AwaitsResults(const TVNXMoreRows* owner) const noexcept { return pending_ == owner; }
  void StopAwaiting(const TVNXMoreRows* owner) noexcept {
    if (pending_ == owner) pending_ = nullptr;
  }
  // The owner of results still on their way takes them in or drops them, so that the
  // connection can serve something else.
  void SettlePending() noexcept;
  // A failed result's text as the application reads it: the server's primary message, or
  // libpq's text for failures libpq makes itself.
  std::string ResultErrorText(const PGresult* result) const;
  // Ends a COPY a statement started (result is freed) and collects the statement's
  // remaining results, so that the connection accepts statements again.
  void AbandonCopy(PGresult* result) noexcept;

  // --- Batched reads (FetchRows; see batched_reads.h) ---
  // Opens a batched read of a query, its first batch in `result`; null when the statement
  // failed (see TVNXBatchedReads::Open).
  std::unique_ptr<TVNXRowBatches> OpenBatchedRead(const std::string& sql, PGresult*& result, std::string& error);
  // Before a statement of the application that does not go through ExecQuery (large-object
  // calls): the driver's transaction for a batched read is committed first. False, with
  // the reason, when the statement must not run.
  bool MakeWay(std::string& error) { return reads_.MakeWay(error); }

  // Applies one custom option (key trimmed and lower-cased, value trimmed); an unknown key
  // or a value the key does not take changes nothing, and the trace says so (category 8),
  // naming the key as written.
  void ParseOption(const std::string& key, const std::string& value, const std::string& written = {});
  // Applies every element of a custom option string.
  void ApplyOptions(std::string_view options);
  // The first steps of connect: splits the server name (setting Database and Port), applies
  // its options and the host name setting, and gives what the libpq connection string holds.
  TVNXConnectionParams PrepareConnect(const std::string& serverName, const std::string& userName,
                                      const std::string& password);

  // A text from libpq or the server as the application reads it: converted from UTF-8 when
  // the client encoding is exactly "UTF8".
  std::string FromServerText(std::string text) const;
  // The encoding of such texts, for cutting them between characters.
  TVNXTextEncoding TextEncoding() const noexcept;
  // The mapping options a new cursor or column list starts from: the connection's block with
  // the widths of characters in the texts the application receives now.
  TVNXMappingOptions CurrentMappingOptions() const;
  // What catalogue texts on this connection depend on; patterns are escaped for it.
  TVNXMetaSqlOptions CatalogSqlOptions() const;

  // Tracing. Trace hands the text to the application's callback in chunks of at most 1024
  // characters; it returns at once when no callback is set.
  bool Tracing() const noexcept { return traceCallback_ != 0; }
  void Trace(std::string_view text, std::uint8_t category);
  // Formats a resource text (translated in the multi-language build) only when someone listens.
  template <class... Args>
  void TraceRes(std::uint8_t category, const char* resourceText, const Args&... args) {
    if (Tracing()) Trace(rt::Format(Res(resourceText), args...), category);
  }
  // Stores text as ErrorMessage and traces it with the error category.
  void SetError(std::string_view text);
  // The notice receiver registered with libpq; arg is the connection.
  static void NoticeReceiver(void* arg, const PGresult* result) noexcept;

  SQLResult FailedCall() noexcept { return TVNXErrorObject::FailedCall(); }

  static const ISQLConnectionVtbl Vtbl;

 private:
  SQLResult Connect(const std::string& serverName, const std::string& userName, const std::string& password);
  // Closes the server connection, if any; a transaction ends with it.
  void CloseHandle() noexcept;
  // The QueryTimeout has passed: cancels the statement, or after a cancel closes the socket.
  void PassDeadline() noexcept;
  // Sends a statement on a non-blocking connection and collects its result by polling.
  void ExecAsync(const std::string& sql, PGresult*& result, std::string& errorText, bool keepLaterResults);
  // Chooses and sets the client encoding at the end of connect; raises EVNXError on failure.
  void NegotiateClientEncoding();
  // Refuses a server the driver does not serve (the three texts of the version check);
  // false with ErrorMessage set.
  bool CheckServerVersion();
  SQLResult GetServerVersion(void* propValue, std::int16_t maxLength, std::int16_t* length);
  // Sends statement for an open transaction; a commit the server turned into a rollback
  // fails.
  SQLResult EndTransaction(const char* traceText, const char* statement, bool commit);

 public:
  // --- What commands, cursors and metadata read of the session ---
  TVNXISQLDriver* Driver() const noexcept { return driver_.get(); }
  PGconn* Handle() const noexcept { return handle_; }  // nil while not connected
  // The server as learnt at connect (version text and number, what it offers) and its
  // live settings.
  const TVNXServerProfile& Server() const noexcept { return server_; }
  const TVNXConnectionSettings& Settings() const noexcept { return settings_; }
  const TVNXMappingOptions& MappingOptions() const noexcept { return settings_.MappingOptions; }
  const std::string& Database() const noexcept { return database_; }
  // The client encoding in use after a connect ("UTF8", "LATIN1", ...).
  const std::string& ClientEncoding() const noexcept { return settings_.ClientEncoding; }
  bool InTransaction() const noexcept { return inTransaction_; }
  char ServerThousandSeparator() const noexcept { return serverThousandSeparator_; }
  // The connection's own type cache (types caching mode "Connection", and "Default" once
  // it is filled).
  TVNXTypeMappings& TypeCache() noexcept { return typeCache_; }
  // CancelQuery's request, set from another thread: a batched read ends at its next batch.
  bool TakeCancelRequest() noexcept { return cancelRequested_.exchange(false); }
  void DropCancelRequest() noexcept { cancelRequested_.store(false); }

 private:
  friend class TVNXBatchedReads;
  friend struct TVNXConnectionTestAccess;  // unit tests set what only a server would

  InterfaceRef<TVNXISQLDriver> driver_;  // the driver that made the connection, kept alive
  PGconn* handle_ = nullptr;
  TVNXConnectionSettings settings_;
  std::string database_;
  std::string hostReached_;              // host:port the connect reached (eConnHostName)
  TVNXServerProfile server_;
  char serverThousandSeparator_ = '\0';
  bool inTransaction_ = false;
  std::atomic<bool> cancelRequested_{false};
  OptionValue traceCallback_ = 0;
  OptionValue traceCallbackInfo_ = 0;
  SQLTRACEDesc traceDesc_{};
  TVNXTypeMappings typeCache_;
  TVNXMoreRows* pending_ = nullptr;      // not counted
  // The wait for the statement in progress: its end by the QueryTimeout, and how it went.
  enum class Wait : std::uint8_t { Answered, Cancelled, Lost } wait_ = Wait::Answered;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  std::string lastLibpqError_;
  TVNXBatchedReads reads_{*this};
};

// The server version as a number (see ServerVersionNumber(std::string_view)); an empty
// versionText is asked from the server with "select version();".
double ServerVersionNumber(PGconn* handle, std::string versionText);

}  // namespace vnx
