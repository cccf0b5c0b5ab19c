// CancelQuery's note to a connection's batched read. CancelQuery gets only the libpq
// handle; between two batches no statement runs that the server could cancel, so the
// read learns of the request through a flag of its connection, found here by handle.
#pragma once

#include <libpq-fe.h>

#include <atomic>

namespace vnx {

// The flag of the connection that uses handle; registered at connect, forgotten before
// the handle is closed. Safe to call from any thread.
void AddCancelTarget(PGconn* handle, std::atomic<bool>* flag);
void ForgetCancelTarget(PGconn* handle) noexcept;
// Sets the flag of the connection that uses handle, if any.
void FlagCancelRequest(PGconn* handle) noexcept;

}  // namespace vnx
