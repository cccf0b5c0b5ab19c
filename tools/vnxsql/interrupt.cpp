// Ctrl-C in the program (see interrupt.h).
#include "tools/vnxsql/interrupt.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>
#include <mutex>
#include <thread>

namespace vnxsql {
namespace {

// The signal is taken by sigwait on a thread of its own, so nothing runs in a signal
// handler: CancelQuery takes a lock and libpq allocates, neither safe there.
std::mutex g_lock;
CancelFn g_cancel = nullptr;
void* g_handle = nullptr;
bool g_running = false;
bool g_cancelled = false;

sigset_t Interrupt() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  return set;
}

// Ends the process as an unhandled Ctrl-C would, so that the calling shell sees the signal.
[[noreturn]] void DieOfInterrupt() {
  std::signal(SIGINT, SIG_DFL);
  const sigset_t set = Interrupt();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  std::raise(SIGINT);
  _exit(130);
}

void Watch() {
  const sigset_t set = Interrupt();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_running || g_cancelled || !g_cancel || !g_handle) DieOfInterrupt();
    g_cancelled = true;
    static const char kNote[] = "vnxsql: cancel request sent (Ctrl-C again to quit)\n";
    if (::write(STDERR_FILENO, kNote, sizeof kNote - 1) < 0) {
      // Nothing to do: the cancel matters, the note does not.
    }
    g_cancel(g_handle);
  }
}

}  // namespace

void WatchInterrupts() {
  const sigset_t set = Interrupt();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  std::thread(Watch).detach();
}

CancelScope::CancelScope(CancelFn cancel, void* handle) {
  std::lock_guard<std::mutex> hold(g_lock);
  g_cancel = cancel;
  g_handle = handle;
  g_running = true;
  g_cancelled = false;
}

CancelScope::~CancelScope() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_running = false;
  g_handle = nullptr;
}

bool CancelScope::interrupted() const {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_cancelled;
}

}  // namespace vnxsql
