// The library's two exports. Nothing else is visible to the application.
#include <libpq-fe.h>

#include <new>

#include "driver/cancel_requests.h"
#include "driver/sql_driver.h"
#include "libpq/libpq_api.h"
#include "runtime/strutil.h"

#define VNX_EXPORT extern "C" __attribute__((visibility("default")))

VNX_EXPORT vnx::SQLResult VNX_STDCALL getSQLDriverPOSTGRESQL(const char* vendorLib, const char* resourceFile,
                                                             void** driver) {
  if (driver) *driver = nullptr;
  try {
    auto* d = new vnx::TVNXISQLDriver(vnx::rt::FromPChar(vendorLib), vnx::rt::FromPChar(resourceFile));
    d->AddRef();
    if (driver) {
      d->AddRef();
      *driver = d->AsInterface();
    }
    d->Release();  // without a Driver argument this drops the object again
    return vnx::DBXERR_NONE;
  } catch (...) {
    return vnx::DBXERR_NOT_CREATED;
  }
}

// Meant to be called from another thread while the connection runs a statement in
// asynchronous mode. It reads only the libpq handle.
VNX_EXPORT void VNX_REGISTER CancelQuery(pg_conn* connection) {
  using vnx::PQ;
  if (!connection || !vnx::LibpqLoaded()) return;
  ConnStatusType status = PQ.PQstatus(connection);
  if (status != CONNECTION_OK && status != CONNECTION_MADE) return;
  if (PQ.PQisnonblocking(connection) != 1) return;
  // A batched read between two batches has no statement running: it ends at its next batch.
  vnx::FlagCancelRequest(connection);
  // PQrequestCancel writes the connection's error buffer, which the thread running the
  // statement reads at the same time; the cancel object does not touch the connection
  // once it is made, so it is used whenever the library offers it.
  if (PQ.PQgetCancel && PQ.PQcancel && PQ.PQfreeCancel) {
    if (PGcancel* cancel = PQ.PQgetCancel(connection)) {
      char error[256];
      PQ.PQcancel(cancel, error, sizeof error);
      PQ.PQfreeCancel(cancel);
      return;
    }
  }
  PQ.PQrequestCancel(connection);
}
