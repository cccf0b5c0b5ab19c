// Tracing of a connection: the application's callback receives texts of at most 1024
// characters with a category; server notices and stored error texts go the same way.
#include <algorithm>
#include <cstring>

#include "driver/sql_connection.h"
#include "libpq/libpq_api.h"
#include "runtime/strutil.h"

namespace vnx {

void TVNXISQLConnection::Trace(std::string_view text, std::uint8_t category) {
  if (!traceCallback_) return;
  auto callback = reinterpret_cast<TSQLCallbackEvent>(traceCallback_);
  std::string_view rest = rt::TrimView(text);
  constexpr std::size_t kChunk = sizeof traceDesc_.pszTrace;
  for (;;) {
    traceDesc_.eTraceCat = category;
    std::string_view chunk = rest.substr(0, kChunk);
    if (chunk.empty()) return;
    rest.remove_prefix(chunk.size());
    std::memcpy(traceDesc_.pszTrace, chunk.data(), chunk.size());
    if (chunk.size() < kChunk) traceDesc_.pszTrace[chunk.size()] = '\0';
    traceDesc_.ClientData = static_cast<std::uintptr_t>(traceCallbackInfo_);
    callback(cbTRACE, &traceDesc_);
    // The callback sees the length of the chunk sent before it.
    traceDesc_.uTotalMsgLen = static_cast<std::uint16_t>(chunk.size());
    if (chunk.size() < kChunk) return;
  }
}

void TVNXISQLConnection::SetError(std::string_view text) {
  SetErrorText(text);
  Trace(text, trcError);
}

void TVNXISQLConnection::NoticeReceiver(void* arg, const PGresult* result) noexcept {
  auto* connection = static_cast<TVNXISQLConnection*>(arg);
  if (!connection || !result) return;
  try {
    const char* message = PQ.PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    if (message) connection->Trace(message, trcDiagnostic);
  } catch (...) {
    // libpq is C: nothing may travel back through it.
  }
}

}  // namespace vnx
