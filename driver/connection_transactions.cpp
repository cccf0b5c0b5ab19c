// The one explicit transaction a connection runs at a time: begin, commit and rollback.
#include <cstring>

#include "driver/sql_connection.h"
#include "libpq/libpq_api.h"
#include "resources/driver_resources.h"
#include "runtime/format.h"

namespace vnx {

namespace {

// The statement that gives a transaction the isolation level the application asked for.
const char* IsolationStatement(std::uint8_t level) {
  switch (level) {
    case 1: return "SET TRANSACTION ISOLATION LEVEL READ COMMITTED;";
    case 2: return "SET TRANSACTION ISOLATION LEVEL SERIALIZABLE;";
    default: return nullptr;
  }
}

}  // namespace

SQLResult TVNXISQLConnection::beginTransaction(TTransactionDesc* tranID) {
  const bool fresh = !inTransaction_;
  if (fresh) {
    // Without a descriptor the application asked for nothing in particular: the server's
    // default, read committed.
    std::uint32_t requested = tranID ? tranID->IsolationLevel : xilREADCOMMITTED;
    switch (requested) {
      case xilREADCOMMITTED: settings_.IsolationLevel = 1; break;
      case xilREPEATABLEREAD: settings_.IsolationLevel = 2; break;
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
  if (const char* statement = fresh ? IsolationStatement(settings_.IsolationLevel) : nullptr) {
    if (!ExecSQL(statement, error)) {
      // The transaction is ended; should that fail too, it stays the application's to end.
      std::string rollbackError;
      if (!RunDriverStatement("ROLLBACK;", rollbackError)) {
        error += " " + rollbackError;
        inTransaction_ = handle_ && PQ.PQtransactionStatus(handle_) != PQTRANS_IDLE;
      }
      SetErrorText(error);
      return DBXERR_FAILED;
    }
  }
  inTransaction_ = true;
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::EndTransaction(const char* traceText, const char* statement, bool commit) {
  if (!inTransaction_) return DBXERR_NONE;
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
    // The server may have committed before the connection went: nobody can say.
    if (commit && (!handle_ || PQ.PQstatus(handle_) != CONNECTION_OK))
      error = rt::Format(Res(res::SCommitOutcomeUnknown), error);
    SetErrorText(error);
    return DBXERR_FAILED;
  }
  inTransaction_ = false;  // ended either way: the connection takes new statements
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
