// Connection settings through SetOption and GetOption, and the one explicit transaction a
// connection runs at a time.
#include <algorithm>
#include <cstring>

#include "driver/sql_connection.h"
#include "driver/sql_driver.h"
#include "libpq/libpq_api.h"
#include "resources/driver_resources.h"
#include "runtime/strutil.h"

namespace vnx {

namespace {

std::string TextAt(OptionValue value) { return rt::FromPChar(reinterpret_cast<const char*>(value)); }

template <class T>
void Put(void* propValue, const T& value) {
  if (propValue) std::memcpy(propValue, &value, sizeof value);
}

void PutLength(std::int16_t* length, std::int16_t value) {
  if (length) *length = value;
}

// The statement that gives a transaction the isolation level the application asked for.
const char* IsolationStatement(std::uint8_t level) {
  switch (level) {
    case 1: return "SET TRANSACTION ISOLATION LEVEL READ COMMITTED;";
    case 2: return "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE;";
    default: return nullptr;
  }
}

}  // namespace

SQLResult TVNXISQLConnection::SetOption(std::uint32_t option, OptionValue value) {
  switch (option) {
    case eConnBlockingMode: AsyncMode = static_cast<std::uint8_t>(value) != 0; break;
    case eConnBlobSize: BlobSize = static_cast<std::int32_t>(value); break;
    case eConnRoleName: SearchPath = TextAt(value); break;
    case eConnTxnIsoLevel:
      switch (static_cast<std::uint32_t>(value)) {
        case xilREADCOMMITTED: IsolationLevel = 1; break;
        case xilREPEATABLEREAD: IsolationLevel = 2; break;
        case xilDIRTYREAD:
          SetErrorText(Res(res::STransactionModeNotSupported));
          return DBXERR_INVALIDTXNISOLEVEL;
        default: break;
      }
      break;
    case eConnCallBack: TraceCallback = value; break;
    case eConnHostName: HostName = TextAt(value); break;
    case eConnDatabaseName: Database = TextAt(value); break;
    case eConnCallBackInfo: TraceCallbackInfo = value; break;
    case eConnServerCharSet: {
      std::string text = TextAt(value);
      std::size_t slash = text.find('/');
      CharSet = rt::Trim(std::string_view(text).substr(0, slash));
      ClientEncoding = slash == std::string::npos ? std::string() : rt::Trim(std::string_view(text).substr(slash + 1));
      break;
    }
    case eConnServerPort: Port = std::to_string(static_cast<std::int32_t>(value)); break;
    case eConnTrimChar: TrimChar = static_cast<std::uint8_t>(value) != 0; break;
    default: break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength,
                                        std::int16_t* length) {
  switch (option) {
    case eConnBlockingMode:
      Put(propValue, static_cast<std::uint8_t>(AsyncMode ? 0 : 1));
      PutLength(length, 1);
      break;
    case eConnBlobSize: Put(propValue, BlobSize); break;
    case eConnTxnIsoLevel:
      Put(propValue, static_cast<std::uint32_t>(IsolationLevel == 2 ? xilREPEATABLEREAD : xilREADCOMMITTED));
      break;
    case eConnNativeHandle:
      Put(propValue, Handle);
      PutLength(length, sizeof Handle);
      break;
    case eConnServerVersion: return GetServerVersion(propValue, maxLength, length);
    case eConnCallBack:
      Put(propValue, TraceCallback);
      PutLength(length, sizeof TraceCallback);
      break;
    case eConnHostName: CopyOptionText(HostName, propValue, maxLength, length); break;
    case eConnDatabaseName: CopyOptionText(Database, propValue, maxLength, length); break;
    case eConnCallBackInfo:
      Put(propValue, TraceCallbackInfo);
      PutLength(length, sizeof TraceCallbackInfo);
      break;
    case eConnServerCharSet:
      CopyOptionText(ClientEncoding.empty() ? CharSet : CharSet + "/" + ClientEncoding, propValue, maxLength,
                     nullptr);
      break;
    case eConnObjectQuoteChar:
      CopyOptionText(std::string_view(&kObjectQuoteChar, 1), propValue, maxLength, length);
      break;
    case eConnDBX4Compatible: MappingOptions.DBX4Compatible = true; break;
    default: break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::GetServerVersion(void* propValue, std::int16_t maxLength, std::int16_t* length) {
  if (!Handle) {
    CopyOptionText("", propValue, maxLength, nullptr);
    PutLength(length, 0);
    return DBXERR_FAILED;
  }
  TraceRes(trcCatalog, res::SGettingServerVersion);
  PGresult* result = nullptr;
  std::string error;
  bool ok = ExecQuery("select version();", result, error);
  std::string version;
  if (ok && PQ.PQntuples(result) > 0 && PQ.PQnfields(result) > 0) version = rt::FromPChar(PQ.PQgetvalue(result, 0, 0));
  if (result) PQ.PQclear(result);
  if (!ok) {
    SetErrorText(error);
    CopyOptionText("", propValue, maxLength, nullptr);
    PutLength(length, 0);
    return DBXERR_FAILED;
  }
  // Length tells how much was copied, not how long the version text is.
  std::size_t copied = std::min<std::size_t>(version.size(), maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0);
  CopyOptionText(version, propValue, maxLength, nullptr);
  PutLength(length, static_cast<std::int16_t>(copied + 1));
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::beginTransaction(TTransactionDesc* tranID) {
  const bool fresh = !InTransaction;
  if (fresh) {
    // Without a descriptor the application asked for nothing in particular: the server's
    // default, read committed.
    std::uint32_t requested = tranID ? tranID->IsolationLevel : xilREADCOMMITTED;
    switch (requested) {
      case xilREADCOMMITTED: IsolationLevel = 1; break;
      case xilREPEATABLEREAD: IsolationLevel = 2; break;
      default:
        SetErrorText(Res(res::STransactionModeNotSupported));
        return DBXERR_INVALIDTXNISOLEVEL;
    }
  }
  TraceRes(trcTransaction, res::SStartingTransaction);
  ErrorMessage.clear();
  std::string error;
  if (!ExecSQL("BEGIN;", error)) {
    SetErrorText(error);
    return DBXERR_FAILED;
  }
  // The level the application chose must hold for the transaction it gets; the server
  // accepts SET TRANSACTION only as the first statement of a transaction, so a BEGIN inside
  // an open one leaves the level as it is.
  if (const char* statement = fresh ? IsolationStatement(IsolationLevel) : nullptr) {
    if (!ExecSQL(statement, error)) {
      // The transaction is ended; should that fail too, it stays the application's to end.
      std::string rollbackError;
      if (!RunDriverStatement("ROLLBACK;", rollbackError)) {
        error += " " + rollbackError;
        InTransaction = Handle && PQ.PQtransactionStatus(Handle) != PQTRANS_IDLE;
      }
      SetErrorText(error);
      return DBXERR_FAILED;
    }
  }
  InTransaction = true;
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::EndTransaction(const char* traceText, const char* statement, bool commit) {
  if (!InTransaction) return DBXERR_NONE;
  TraceRes(trcTransaction, traceText);
  ErrorMessage.clear();
  std::string error;
  PGresult* result = nullptr;
  const bool ok = ExecQuery(statement, result, error);
  // The server answers "END;" with ROLLBACK when a statement of the transaction failed:
  // nothing was committed, and the application must not be told otherwise.
  const char* tag = ok && commit ? PQ.PQcmdStatus(result) : nullptr;
  const bool rolledBack = tag && std::strcmp(tag, "ROLLBACK") == 0;
  if (result) PQ.PQclear(result);
  if (!ok) {
    SetErrorText(error);
    return DBXERR_FAILED;
  }
  InTransaction = false;  // ended either way: the connection takes new statements
  reads_.ApplicationTransactionEnded(commit && !rolledBack);
  if (rolledBack) {
    SetError(Res(res::SCommitRolledBack));
    return DBXERR_FAILED;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::commit(TTransactionDesc*) {
  return EndTransaction(res::SCommitingTransaction, "END;", true);
}

SQLResult TVNXISQLConnection::rollback(TTransactionDesc*) {
  return EndTransaction(res::SRollingBackTransaction, "ROLLBACK;", false);
}

}  // namespace vnx
