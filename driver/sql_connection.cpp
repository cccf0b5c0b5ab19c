// The connection object: creation with its default settings, the interface table, and the
// operations that open and close the server connection.
#include "driver/sql_connection.h"

#include "driver/sql_driver.h"
#include "libpq/libpq_api.h"

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

TVNXISQLConnection::TVNXISQLConnection(TVNXISQLDriver* driver)
    : TVNXErrorObject(&Vtbl, IID_ISQLConnection, &DestroyAs<TVNXISQLConnection>),
      Driver(driver),
      BlobSize(driver ? driver->BlobSize : 0) {}

TVNXISQLConnection::~TVNXISQLConnection() {
  // An application that releases a connected object without disconnecting must not leak
  // the server connection.
  if (Handle && PQ.PQfinish) PQ.PQfinish(Handle);
}

SQLResult TVNXISQLConnection::connect(const char*, const char*, const char*) {
  SetErrorText("connect is not available yet");
  return DBXERR_FAILED;
}

SQLResult TVNXISQLConnection::disconnect() {
  if (Handle) {
    PQ.PQfinish(Handle);
    Handle = nullptr;
  }
  Database.clear();
  ErrorMessage.clear();
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::SetOption(std::uint32_t option, OptionValue value) {
  switch (option) {
    case eConnBlobSize: BlobSize = static_cast<std::int32_t>(value); break;
    case eConnCallBack: TraceCallback = value; break;
    case eConnCallBackInfo: TraceCallbackInfo = value; break;
    default: break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::GetOption(std::uint32_t option, void* propValue, std::int16_t,
                                        std::int16_t* length) {
  switch (option) {
    case eConnBlobSize:
      if (propValue) *static_cast<std::int32_t*>(propValue) = BlobSize;
      break;
    default: (void)length; break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::beginTransaction(TTransactionDesc*) { return DBXERR_FAILED; }
SQLResult TVNXISQLConnection::commit(TTransactionDesc*) { return DBXERR_NONE; }
SQLResult TVNXISQLConnection::rollback(TTransactionDesc*) { return DBXERR_NONE; }

bool TVNXISQLConnection::ExecQuery(const std::string&, PGresult*& result, std::string& errorText) {
  result = nullptr;
  errorText = "No PPGconn Connection handle.";
  return false;
}

bool TVNXISQLConnection::ExecSQL(const std::string& sql, std::string& errorText) {
  PGresult* result = nullptr;
  bool ok = ExecQuery(sql, result, errorText);
  if (result) PQ.PQclear(result);
  return ok;
}

void TVNXISQLConnection::ParseOption(const std::string&, const std::string&) {}

}  // namespace vnx
