// The handle-to-flag table CancelQuery uses (see cancel_requests.h).
#include "driver/cancel_requests.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace vnx {
namespace {

// Few connections live at once: a vector under one lock is all the table needs.
std::mutex g_lock;
std::vector<std::pair<PGconn*, std::atomic<bool>*>>& Targets() {
  static std::vector<std::pair<PGconn*, std::atomic<bool>*>> targets;
  return targets;
}

}  // namespace

void AddCancelTarget(PGconn* handle, std::atomic<bool>* flag) {
  std::lock_guard<std::mutex> hold(g_lock);
  Targets().emplace_back(handle, flag);
}

void ForgetCancelTarget(PGconn* handle) noexcept {
  std::lock_guard<std::mutex> hold(g_lock);
  auto& t = Targets();
  t.erase(std::remove_if(t.begin(), t.end(), [&](const auto& e) { return e.first == handle; }), t.end());
}

void FlagCancelRequest(PGconn* handle) noexcept {
  std::lock_guard<std::mutex> hold(g_lock);
  for (const auto& e : Targets())
    if (e.first == handle) e.second->store(true);
}

}  // namespace vnx
