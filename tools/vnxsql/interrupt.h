// Ctrl-C in the program: while a statement runs it asks the server to cancel it, through
// the driver's CancelQuery; a second Ctrl-C during the same statement, or one while no
// statement runs, ends the program as the signal does.
#pragma once

#include "driver/dbx_interfaces.h"

namespace vnxsql {

// The driver's CancelQuery export: the libpq connection handle, in EAX on i386.
using CancelFn = void(VNX_REGISTER*)(void* handle);

// Blocks SIGINT in the calling thread and starts the thread that takes it. Call it from
// main before any other thread starts (every later thread inherits the blocked signal).
// Without it (the shell run in-process by the tests) Ctrl-C is left to its default.
void WatchInterrupts();

// While one lives, a Ctrl-C cancels the statement running on handle. The handle stays
// valid for the scope's life: the cancel runs under the lock the destructor takes.
class CancelScope {
 public:
  CancelScope(CancelFn cancel, void* handle);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;
  // Whether a Ctrl-C asked to cancel the statement.
  bool interrupted() const;
};

}  // namespace vnxsql
