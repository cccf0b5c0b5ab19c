// The libpq function table: one slot per bound function, filled once per process by
// LoadLibpq and only read afterwards. The rest of the driver calls libpq only through it.
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "libpq/libpq_names.h"

namespace vnx {

// Looked up after the required ones; a library without them still loads. Without the
// connection-aware escaping functions the connection-less ones are used; without the
// cancel-object functions CancelQuery falls back to PQrequestCancel; without PQmblen long
// error texts are cut where no encoding can be inside a character.
#define VNX_LIBPQ_OPTIONAL(X) \
  X(PQescapeStringConn) X(PQescapeByteaConn) X(PQgetCancel) X(PQcancel) X(PQfreeCancel) X(PQmblen) \
  X(PQconninfoFree)

struct LibpqApi {
#define VNX_LIBPQ_SLOT(name) decltype(&::name) name = nullptr;
  VNX_LIBPQ_REQUIRED(VNX_LIBPQ_SLOT)
  VNX_LIBPQ_OPTIONAL(VNX_LIBPQ_SLOT)
#undef VNX_LIBPQ_SLOT
};

// The process-wide table.
extern LibpqApi PQ;

// Number of required functions.
inline constexpr int kLibpqRequiredCount = 0
#define VNX_LIBPQ_COUNT(name) +1
    VNX_LIBPQ_REQUIRED(VNX_LIBPQ_COUNT)
#undef VNX_LIBPQ_COUNT
    ;
static_assert(kLibpqRequiredCount == 84);

// True when the whole table is bound; the table may be read from then on, by any thread.
bool LibpqLoaded() noexcept;

// Opens the library and binds the table. Returns false and does nothing when the table is
// already bound, true after a complete load; raises EVNXLibpqError on failure, leaving the
// table unbound so that the next call starts again.
// An empty name tries "libpq.so", then "libpq.so.5"; notes, when given, receive a line for
// the trace when the second is tried.
bool LoadLibpq(const std::string& libraryName, std::vector<std::string>* notes = nullptr);

// One lookup in the opened library; raises EVNXLibpqError when the name is missing.
void* BindLibpqFunction(const char* name);

// Name of the library that was bound; empty until a load completed.
const std::string& LoadedLibpqName() noexcept;

// Clears the loaded library name (driver unload).
void ForgetLoadedLibpqName() noexcept;

}  // namespace vnx
