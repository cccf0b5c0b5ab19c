// The driver object: options and the creation of connections.
#include "driver/sql_driver.h"

#include <cstring>
#include <new>

#include "driver/sql_connection.h"
#include "i18n/translate.h"

namespace vnx {

const ISQLDriverVtbl TVNXISQLDriver::Vtbl = {
    UnknownSlots::Table,
    &Slot<&TVNXISQLDriver::getSQLConnection>::Call,
    &Slot<&TVNXISQLDriver::SetOption>::Call,
    &Slot<&TVNXISQLDriver::GetOption>::Call,
};

TVNXISQLDriver::TVNXISQLDriver(std::string vendorLib, std::string resourceFile)
    : TInterfacedObject(&Vtbl, IID_ISQLDriver, &DestroyAs<TVNXISQLDriver>),
      VendorLib(std::move(vendorLib)),
      ResourceFile(std::move(resourceFile)) {
  ResetTranslator(ResourceFile);
}

SQLResult TVNXISQLDriver::getSQLConnection(void** connection) {
  if (connection) *connection = nullptr;
  TVNXISQLConnection* c = new (std::nothrow) TVNXISQLConnection(this);
  if (!c) return DBXERR_CONNECTION_NOT_CREATED;
  SetOutInterface(connection, c);
  if (!connection) {  // nobody takes it: drop it again
    c->AddRef();
    c->Release();
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLDriver::SetOption(std::uint32_t option, OptionValue value) {
  switch (option) {
    case eDrvBlobSize: BlobSize = static_cast<std::int32_t>(value); break;
    case eDrvCallBack: TraceCallback = value; break;
    case eDrvCallBackInfo: TraceCallbackInfo = value; break;
    default: break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLDriver::GetOption(std::uint32_t option, void* propValue, std::int16_t /*maxLength*/,
                                    std::int16_t* length) {
  switch (option) {
    case eDrvBlobSize:
      if (propValue) std::memcpy(propValue, &BlobSize, sizeof BlobSize);
      if (length) *length = sizeof BlobSize;
      break;
    case eDrvCallBack:
      if (propValue) std::memcpy(propValue, &TraceCallback, sizeof TraceCallback);
      break;
    default: break;
  }
  return DBXERR_NONE;
}

}  // namespace vnx
