// Reading a statement's rows in batches through a server-side cursor (see more_rows.h).
#include <algorithm>
#include <utility>

#include "driver/more_rows.h"
#include "driver/sql_connection.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/driver_resources.h"
#include "runtime/format.h"
#include "runtime/strutil.h"

namespace vnx {

TVNXRowBatches::TVNXRowBatches(TVNXISQLConnection& connection, std::string name, std::string sql, std::int32_t rows)
    : conn_(connection),
      name_(std::move(name)),
      sql_(std::move(sql)),
      fetch_("FETCH FORWARD " + std::to_string(rows) + " FROM " + name_),
      rows_(rows) {}

std::unique_ptr<TVNXRowBatches> TVNXRowBatches::Open(TVNXISQLConnection& conn, const std::string& sql,
                                                     PGresult*& result) {
  result = nullptr;
  conn.SettlePending();
  std::unique_ptr<TVNXRowBatches> b(
      new TVNXRowBatches(conn, "vnx_fetch_" + std::to_string(++conn.CursorCounter), sql, conn.FetchRows));
  // A line comment at the end of the statement ends at the line break.
  const std::string declare = "DECLARE " + b->name_ + " CURSOR FOR " + sql + "\n;" + b->fetch_;
  conn.Trace(b->fetch_, trcSQL);
  std::string error;
  bool ok;
  if (conn.BatchTransaction.Owned) {
    // Another batched read holds the driver's transaction: this one joins it, inside a
    // savepoint of its own so that a statement that fails leaves the others alone.
    ok = conn.ExecQuery(declare, result, error);
  } else if (!conn.InTransaction && PQ.PQtransactionStatus(conn.Handle) == PQTRANS_IDLE) {
    // A cursor lives in a transaction: the driver opens one and ends it with the last
    // batched read in it.
    conn.TraceRes(trcTransaction, res::SBatchTransaction, "BEGIN;");
    ok = conn.RunQuery("BEGIN;" + declare, result, error);
    if (ok) {
      conn.BatchTransaction.Owned = true;
      conn.BatchTransaction.Dirty = false;
    } else {
      conn.TraceRes(trcTransaction, res::SBatchTransaction, "ROLLBACK;");
      conn.RunQuiet("ROLLBACK;");
    }
  } else {
    // The application's transaction: the cursor ends with it, or when read or released.
    ok = conn.RunQuery(declare, result, error);
  }
  if (!ok || PQ.PQresultStatus(result) != PGRES_TUPLES_OK) return nullptr;
  conn.OpenBatches.push_back(b.get());
  b->open_ = true;
  if (PQ.PQntuples(result) < b->rows_) {
    // Everything fitted in the first batch: the cursor is closed at once.
    b->state_ = State::Done;
    b->Finish();
  }
  return b;
}

TVNXRowBatches::~TVNXRowBatches() {
  // Released before its end: the rest is not read, the server cursor is closed.
  Finish();
  if (ahead_) PQ.PQclear(ahead_);
}

void TVNXRowBatches::AskAhead() noexcept {
  if (state_ != State::Reading || inFlight_ || ahead_ || !open_ || !conn_.Handle) return;
  conn_.SettlePending();
  if (state_ != State::Reading || !open_) return;
  // Inside the driver's transaction a failed batch must not take the work of other
  // statements, or the other batched reads, down with it.
  savepoint_ = conn_.BatchTransaction.Owned && (conn_.BatchTransaction.Dirty || conn_.OpenBatches.size() > 1);
  const std::string text =
      savepoint_ ? "SAVEPOINT vnx_fetch;" + fetch_ + ";RELEASE SAVEPOINT vnx_fetch;" : fetch_;
  std::string error;
  try {
    conn_.Trace(fetch_, trcSQL);
    if (!conn_.SendQuery(text, error)) {
      Fail(conn_.FromServerText(error));
      return;
    }
  } catch (const std::exception& e) {
    Fail(e.what());
    return;
  }
  inFlight_ = true;
  conn_.Pending = this;
}

SQLResult TVNXRowBatches::Next(PGresult*& result, std::string& error) {
  if (conn_.CancelRequested.exchange(false) && state_ != State::Failed) {
    if (ahead_) PQ.PQclear(std::exchange(ahead_, nullptr));
    Finish();
    Fail(rt::Format(Res(res::SBatchReadCancelled), name_));
  }
  if (!ahead_ && state_ == State::Reading) {
    if (!inFlight_) AskAhead();
    if (inFlight_) Absorb(Collect());
    else if (state_ == State::Reading) Fail(rt::Format(Res(res::SBatchTransactionEnded), name_));
  }
  if (ahead_) {
    result = std::exchange(ahead_, nullptr);
    AskAhead();
    return DBXERR_NONE;
  }
  if (state_ == State::Failed) {
    error = failure_;
    return DBXERR_FAILED;
  }
  return DBXERR_EOF;
}

void TVNXRowBatches::Settle() noexcept {
  if (inFlight_) Absorb(Collect());
}

PGresult* TVNXRowBatches::Collect() noexcept {
  inFlight_ = false;
  if (conn_.Pending == this) conn_.Pending = nullptr;
  // The batch, or the failure; the savepoint statements around it answer COMMAND_OK.
  PGresult* kept = nullptr;
  while (PGresult* r = conn_.NextResult()) {
    if (!kept && PQ.PQresultStatus(r) != PGRES_COMMAND_OK) kept = r;
    else PQ.PQclear(r);
  }
  return kept;
}

void TVNXRowBatches::Absorb(PGresult* r) noexcept {
  if (r && PQ.PQresultStatus(r) == PGRES_TUPLES_OK) {
    const int n = PQ.PQntuples(r);
    if (n < rows_) {
      // A short batch is the last: the cursor closes now, not when the application
      // releases it, and the driver's transaction ends with it.
      state_ = State::Done;
      Finish();
    }
    if (n > 0) ahead_ = r;
    else PQ.PQclear(r);
    return;
  }
  std::string text;
  try {
    text = conn_.FromServerText(r ? conn_.ResultErrorText(r) : rt::FromPChar(PQ.PQerrorMessage(conn_.Handle)));
    if (text.empty()) text = Res(res::SNoResponse);
  } catch (...) {
  }
  if (r) PQ.PQclear(r);
  Fail(std::move(text));
  Recover();
}

void TVNXRowBatches::Fail(std::string text) noexcept {
  state_ = State::Failed;
  failure_ = std::move(text);
}

void TVNXRowBatches::Recover() noexcept {
  if (!open_) return;
  if (savepoint_) {
    // The savepoint takes back only the failed batch: the transaction goes on.
    savepoint_ = false;
    conn_.RunQuiet("ROLLBACK TO SAVEPOINT vnx_fetch; RELEASE SAVEPOINT vnx_fetch;");
    Finish();
    return;
  }
  open_ = false;
  std::erase(conn_.OpenBatches, this);
  if (conn_.BatchTransaction.Owned) {
    // Nothing but this read ran in the driver's transaction: nothing in it to keep.
    try {
      conn_.TraceRes(trcTransaction, res::SBatchTransaction, "ROLLBACK;");
    } catch (...) {
    }
    conn_.RunQuiet("ROLLBACK;");
    conn_.EndBatchedReads();
  }
  // A failure in the application's transaction is the application's to end.
}

void TVNXRowBatches::Finish() noexcept {
  if (inFlight_) {
    if (PGresult* r = Collect()) PQ.PQclear(r);
  }
  if (!open_) return;
  open_ = false;
  std::erase(conn_.OpenBatches, this);
  if (!conn_.Handle) return;
  if (conn_.BatchTransaction.Owned && conn_.OpenBatches.empty()) {
    // The last batched read of the driver's transaction: ending the transaction closes
    // the cursor and commits what other statements did meanwhile.
    try {
      conn_.TraceRes(trcTransaction, res::SBatchTransaction, "COMMIT;");
    } catch (...) {
    }
    conn_.RunQuiet("COMMIT;");
    conn_.BatchTransaction = {};
  } else {
    conn_.RunQuiet("CLOSE " + name_ + ";");
  }
}

void TVNXRowBatches::TransactionEnded() noexcept {
  open_ = false;
  if (inFlight_) {
    // The connection is going away: what was on its way is gone with it.
    inFlight_ = false;
    if (conn_.Pending == this) conn_.Pending = nullptr;
  }
  if (state_ == State::Reading) {
    try {
      Fail(rt::Format(Res(res::SBatchTransactionEnded), name_));
    } catch (...) {
      Fail(std::string());
    }
  }
}

}  // namespace vnx
