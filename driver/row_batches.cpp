// One batched read: its server cursor's batches (see more_rows.h and batched_reads.h).
#include <utility>

#include "driver/batched_reads.h"
#include "driver/more_rows.h"
#include "driver/sql_connection.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/driver_resources.h"
#include "runtime/format.h"
#include "runtime/strutil.h"

namespace vnx {

TVNXRowBatches::TVNXRowBatches(TVNXISQLConnection& connection, TVNXBatchedReads& session, std::string name,
                               std::int32_t rows)
    : conn_(connection),
      session_(session),
      name_(std::move(name)),
      fetch_("FETCH FORWARD " + std::to_string(rows) + " FROM " + name_),
      rows_(rows) {}

TVNXRowBatches::~TVNXRowBatches() {
  // Released: read to its end, the read's work is committed; before it, the rest is not read
  // and, in the driver's transaction, what the query did so far is rolled back.
  std::string error;
  if (!Close(state_ == State::AtEnd, error)) session_.Defer(error);
  session_.Forget(this);
  if (ahead_) PQ.PQclear(ahead_);
  if (rest_) PQ.PQclear(rest_);
}

void TVNXRowBatches::AskAhead() noexcept {
  if (state_ != State::Reading || inFlight_ || ahead_ || !open_ || !conn_.Handle()) return;
  conn_.SettlePending();
  if (state_ != State::Reading || !open_) return;
  // A cursor of the application's transaction that its SQL may have ended is looked for
  // first: a FETCH of a cursor that is gone would fail the application's next transaction.
  if (home_ == Home::Application && (unsure_ || PQ.PQtransactionStatus(conn_.Handle()) == PQTRANS_IDLE) &&
      !Verify())
    return;
  std::string error;
  try {
    conn_.Trace(fetch_, trcSQL);
    if (!conn_.SendQuery(fetch_, error)) {
      Fail(conn_.FromServerText(error));
      return;
    }
  } catch (const std::exception& e) {
    Fail(e.what());
    return;
  }
  inFlight_ = true;
  conn_.AwaitResults(this);
}

SQLResult TVNXRowBatches::Next(PGresult*& result, std::string& error) {
  if (conn_.TakeCancelRequest() && state_ != State::Failed) {
    std::string closeError;
    if (!Close(false, closeError)) session_.Defer(closeError);
    Fail(rt::Format(Res(res::SBatchReadCancelled), name_));
  }
  if (!ahead_ && state_ == State::Reading) {
    if (!inFlight_) AskAhead();
    if (inFlight_) Absorb(Collect());
    else if (state_ == State::Reading) Fail(rt::Format(Res(res::SBatchTransactionEnded), name_));
  }
  if (ahead_) {
    result = std::exchange(ahead_, std::exchange(rest_, nullptr));
    AskAhead();
    return DBXERR_NONE;
  }
  if (state_ == State::AtEnd) {
    // Every row read: the read is done, and so is its work, before the end is reported.
    if (open_ && !Close(true, error)) {
      Fail(error);
      return DBXERR_FAILED;
    }
    return DBXERR_EOF;
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
  conn_.StopAwaiting(this);
  conn_.StartWait();
  PGresult* kept = nullptr;
  while (PGresult* r = conn_.NextResult()) {
    if (!kept) kept = r;
    else PQ.PQclear(r);
  }
  return kept;
}

void TVNXRowBatches::Absorb(PGresult* r) noexcept {
  if (r && PQ.PQresultStatus(r) == PGRES_TUPLES_OK) {
    // A short batch is the last: the query has run to its end.
    if (PQ.PQntuples(r) < rows_) state_ = State::AtEnd;
    if (PQ.PQntuples(r) > 0) ahead_ = r;
    else PQ.PQclear(r);
    return;
  }
  std::string text;
  try {
    text = conn_.FromServerText(r ? conn_.ResultErrorText(r) : rt::TrimRight(rt::FromPChar(PQ.PQerrorMessage(conn_.Handle()))));
    if (text.empty()) text = Res(res::SNoResponse);
    text = conn_.WaitFailureText(text);
  } catch (...) {
  }
  if (r) PQ.PQclear(r);
  Fail(text);
  if (!conn_.Handle() || PQ.PQstatus(conn_.Handle()) != CONNECTION_OK) {
    session_.SessionLost(text);
    return;
  }
  if (!open_) return;
  const Home home = home_;
  session_.Forget(this);
  open_ = false;
  std::string error;
  if (home == Home::Own) {
    // The driver's transaction failed with its read: it held nothing else.
    try {
      conn_.TraceRes(trcTransaction, res::SBatchTransaction, "ROLLBACK;");
    } catch (...) {
    }
    if (!conn_.RunDriverStatement("ROLLBACK;", error)) session_.Defer(error);
  } else if (home == Home::Held && PQ.PQtransactionStatus(conn_.Handle()) == PQTRANS_IDLE) {
    if (!conn_.RunDriverStatement("CLOSE " + name_ + ";", error)) session_.Defer(error);
  }
  // In the application's transaction the failure is the application's, as a query's that
  // failed whole: the transaction has failed, and the cursor goes with its rollback.
}

bool TVNXRowBatches::Close(bool toEnd, std::string& error) noexcept {
  if (inFlight_) {
    // What was asked for ahead is not needed any more; a failure in it is filed first.
    PGresult* r = Collect();
    if (r && PQ.PQresultStatus(r) == PGRES_TUPLES_OK) PQ.PQclear(r);
    else Absorb(r);
  }
  if (!open_ || !conn_.Handle()) return true;
  if (home_ == Home::Application) {
    const PGTransactionStatusType status = PQ.PQtransactionStatus(conn_.Handle());
    if (status == PQTRANS_INERROR) {
      // The failed transaction takes the cursor with it when the application rolls back.
      session_.Forget(this);
      open_ = false;
      return true;
    }
    if ((unsure_ || status == PQTRANS_IDLE) && !Verify()) return true;
  }
  std::string sql = "CLOSE " + name_ + ";";
  const Home home = home_;
  if (home == Home::Own) {
    try {
      conn_.TraceRes(trcTransaction, res::SBatchTransaction, toEnd ? "COMMIT;" : "ROLLBACK;");
    } catch (...) {
    }
    sql = toEnd ? sql + "COMMIT;" : "ROLLBACK;";
  }
  session_.Forget(this);
  open_ = false;
  if (conn_.RunDriverStatement(sql, error)) return true;
  // A close that failed in the driver's transaction leaves it failed: it is ended.
  if (home == Home::Own && conn_.Handle() && PQ.PQtransactionStatus(conn_.Handle()) == PQTRANS_INERROR) {
    std::string ignored;  // the first failure is the one to report
    conn_.RunDriverStatement("ROLLBACK;", ignored);
  }
  return false;
}

bool TVNXRowBatches::TakeRest(std::string& error) noexcept {
  PGresult* r = nullptr;
  try {
    const std::string sql = "FETCH ALL FROM " + name_;
    conn_.Trace(sql, trcSQL);
    if (!conn_.RunDriverQuery(sql, r, error)) {
      if (r) PQ.PQclear(r);
      return false;
    }
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
  state_ = State::AtEnd;
  if (PQ.PQntuples(r) == 0) PQ.PQclear(r);
  else if (!ahead_) ahead_ = r;
  else rest_ = r;
  return true;
}

bool TVNXRowBatches::Verify() noexcept {
  if (PQ.PQtransactionStatus(conn_.Handle()) == PQTRANS_INERROR) return true;  // the FETCH says it
  if (!conn_.Server().HasCursorList()) {
    // No way to ask: the read ends clearly rather than fetch from a cursor that may be gone.
    try {
      Lost(rt::Format(Res(res::SBatchTransactionEnded), name_));
    } catch (...) {
      Lost(std::string());
    }
    return false;
  }
  // Declared before the transaction now open began: a commit kept it. In this one: it is
  // still the application's. Not found: a rollback took it.
  const std::string sql =
      "select creation_time < transaction_timestamp() from pg_catalog.pg_cursors where name = '" + name_ + "'";
  PGresult* r = nullptr;
  std::string error;
  if (!conn_.RunDriverQuery(sql, r, error)) {
    if (r) PQ.PQclear(r);
    Fail(error);
    return false;
  }
  const bool found = PQ.PQntuples(r) == 1;
  const bool kept = found && *PQ.PQgetvalue(r, 0, 0) == 't';
  PQ.PQclear(r);
  unsure_ = false;
  if (!found) {
    try {
      Lost(rt::Format(Res(res::SBatchTransactionEnded), name_));
    } catch (...) {
      Lost(std::string());
    }
    return false;
  }
  if (kept) home_ = Home::Held;
  return true;
}

void TVNXRowBatches::Fail(std::string text) noexcept {
  state_ = State::Failed;
  failure_ = std::move(text);
  if (ahead_) PQ.PQclear(std::exchange(ahead_, nullptr));
  if (rest_) PQ.PQclear(std::exchange(rest_, nullptr));
}

void TVNXRowBatches::Lost(std::string text) noexcept {
  session_.Forget(this);
  open_ = false;
  if (inFlight_) {
    // What was on its way went with the connection or the transaction.
    inFlight_ = false;
    conn_.StopAwaiting(this);
  }
  if (state_ == State::Reading && !text.empty()) Fail(std::move(text));
}

}  // namespace vnx
