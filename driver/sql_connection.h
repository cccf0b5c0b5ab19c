// TVNXISQLConnection: one connection to a PostgreSQL server through libpq, its settings,
// transactions, tracing, and the routines through which every object of the driver runs SQL.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "common/encoding.h"
#include "common/type_mapping.h"
#include "driver/connection_options.h"
#include "driver/interface_object.h"
#include "driver/metadata_sql.h"
#include "driver/server_profile.h"
#include "i18n/translate.h"
#include "runtime/format.h"

namespace vnx {

class TVNXISQLDriver;

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
  bool ExecQuery(const std::string& sql, PGresult*& result, std::string& errorText);
  // ExecQuery followed by PQclear of the result.
  bool ExecSQL(const std::string& sql, std::string& errorText);

  // Applies one custom option (key trimmed and lower-cased, value trimmed); an unknown key
  // or a value the key does not take changes nothing.
  void ParseOption(const std::string& key, const std::string& value);
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
  bool Tracing() const noexcept { return TraceCallback != 0; }
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
  // Sends a statement on a non-blocking connection and collects its result by polling.
  void ExecAsync(const std::string& sql, PGresult*& result, std::string& errorText);
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

  // --- State (Parts of the connection read by commands, cursors and metadata) ---
  InterfaceRef<TVNXISQLDriver> Driver;  // the driver that made the connection, kept alive
  PGconn* Handle = nullptr;             // nil while not connected
  bool AsyncMode = false;
  std::string Database;
  std::string HostName;                 // host or host:port, set by eConnHostName
  std::string Port;
  // The server as learnt at connect (version text and number, what it offers) and its
  // live settings.
  TVNXServerProfile Server;
  char ServerDecimalSeparator = '\0';
  char ServerThousandSeparator = '\0';
  std::string SearchPath;
  std::string ClientEncoding;
  std::string CharSet;

  // Custom options.
  bool QuoteObjects = false;
  bool RequireSSL = false;
  std::int32_t ConnectionTimeout = -1;
  bool GetExtendedFieldsInformation = false;
  bool UseQualifiedNames = true;
  bool RestrictedNameSpace = true;
  bool ShowOID = false;
  bool AcceptNewerServers = false;      // servers from 8.4 on are accepted and served as they are
  TVNXMappingOptions MappingOptions;

  // Transactions and settings.
  bool InTransaction = false;
  std::uint8_t IsolationLevel = 0;      // 0 not set, 1 read committed, 2 serializable
  std::int32_t BlobSize = 0;
  bool TrimChar = false;

  // Tracing.
  OptionValue TraceCallback = 0;
  OptionValue TraceCallbackInfo = 0;
  SQLTRACEDesc TraceDesc{};

  // The connection's own type cache (types caching mode "Connection", and "Default"
  // once it is filled).
  TVNXTypeMappings TypeCache;
};

// The server version as a number (see ServerVersionNumber(std::string_view)); an empty
// versionText is asked from the server with "select version();".
double ServerVersionNumber(PGconn* handle, std::string versionText);

}  // namespace vnx
