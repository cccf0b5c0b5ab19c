// The batched reads (FetchRows) open on one connection, and the transaction the driver keeps
// for a read when the application has none: one home for that state of the session, with the
// few operations commands, cursors and the connection call.
//
// A batched read is a server cursor declared NO SCROLL WITH HOLD. Outside a transaction of the
// application it is declared in a transaction of the driver's own, which holds that cursor and
// nothing else. Before any other statement runs on the connection, that transaction is
// committed: the server then keeps the rest of the read's rows (running its query to the end)
// and the cursor outlives the commit, so the statement runs on its own, as it would without
// FetchRows. A read released before its end in the driver's transaction rolls it back, like a
// cancelled statement.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vnx {

class TVNXISQLConnection;
class TVNXRowBatches;

class TVNXBatchedReads {
 public:
  explicit TVNXBatchedReads(TVNXISQLConnection& connection) : conn_(connection) {}
  TVNXBatchedReads(const TVNXBatchedReads&) = delete;
  TVNXBatchedReads& operator=(const TVNXBatchedReads&) = delete;

  // Declares a cursor for `sql` and fetches its first batch into `result` (also a failed
  // result, for the caller to report and free). Returns the read when its cursor is open;
  // null when the statement failed, with the text in `error` when there is no result.
  std::unique_ptr<TVNXRowBatches> Open(const std::string& sql, std::int32_t rows, PGresult*& result,
                                       std::string& error);
  // Before any statement other than a read's own: what is on its way is taken in, and the
  // driver's transaction is committed. False, with the reason, when the statement must not
  // run: that commit failed (the read in it fails with the same reason), or a statement the
  // driver sent on its own failed earlier where nobody could be told.
  bool MakeWay(std::string& error);
  // After an application statement ran: a read declared in the application's transaction
  // may have lost its cursor if the statement ended that transaction or rolled back to a
  // savepoint; the read asks the server before it fetches again.
  void AfterStatement(std::string_view sql);
  // The application's transaction ended through the interface: reads declared in it go on
  // (committed: the server kept their rows) or end (rolled back).
  void ApplicationTransactionEnded(bool committed);
  // The server connection is closed or lost: every read fails with `text` at its next row.
  void SessionLost(const std::string& text) noexcept;
  // A statement the driver sent on its own failed where no caller could learn of it (a
  // cursor released by the application): the next statement fails with its text (the trace
  // named it when it failed).
  void Defer(const std::string& text) noexcept;

  bool Empty() const noexcept { return reads_.empty(); }

 private:
  friend class TVNXRowBatches;
  void Forget(TVNXRowBatches* read) noexcept;

  TVNXISQLConnection& conn_;
  std::vector<TVNXRowBatches*> reads_;  // reads whose server cursors exist; not counted
  TVNXRowBatches* own_ = nullptr;       // the read the driver's transaction holds, if open
  std::string deferred_;
  std::uint32_t counter_ = 0;           // names server cursors
};

// True when some statement of the text begins or ends a transaction (begin, start
// transaction, commit, end, rollback, abort, prepare transaction, commit/rollback prepared)
// or rolls back to a savepoint. The text is read as the server reads it.
bool ControlsTransaction(std::string_view sql, bool standardConformingStrings = false,
                         std::string_view clientEncoding = {});

}  // namespace vnx
