// The batched reads of a connection and the driver's transaction for them (see
// batched_reads.h).
#include "driver/batched_reads.h"

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

std::unique_ptr<TVNXRowBatches> TVNXBatchedReads::Open(const std::string& sql, std::int32_t rows,
                                                       PGresult*& result, std::string& error) {
  result = nullptr;
  // A read is a statement too: another read's transaction is committed first, so that the
  // driver's transaction never holds more than the one read a release may roll back.
  if (!MakeWay(error)) return nullptr;
  std::unique_ptr<TVNXRowBatches> b(new TVNXRowBatches(conn_, *this, "vnx_fetch_" + std::to_string(++counter_), rows));
  // NO SCROLL: at a commit the server keeps the rows still to come, where a scrollable cursor
  // would run its query again from the start (and the effects of its functions twice).
  // Servers before 11 do that to every cursor they keep: there the cursor is not held, and
  // the rest of its rows is read before the driver's transaction is committed. A line
  // comment at the end of the statement ends at the line break.
  b->holdable_ = conn_.Server().KeepsCursorsInPlace();
  const std::string declare = "DECLARE " + b->name_ + (b->holdable_ ? " NO SCROLL CURSOR WITH HOLD FOR " : " NO SCROLL CURSOR FOR ") +
                              sql + "\n;" + b->fetch_;
  conn_.Trace(b->fetch_, trcSQL);
  const bool own = !conn_.InTransaction() && PQ.PQtransactionStatus(conn_.Handle()) == PQTRANS_IDLE;
  bool ok;
  if (own) {
    conn_.TraceRes(trcTransaction, res::SBatchTransaction, "BEGIN;");
    ok = conn_.RunQuery("BEGIN;" + declare, result, error);
  } else {
    // The application's transaction: the cursor lives in it, and outlives its commit.
    ok = conn_.RunQuery(declare, result, error);
  }
  if (!ok || PQ.PQresultStatus(result) != PGRES_TUPLES_OK) {
    if (own && conn_.Handle() && PQ.PQtransactionStatus(conn_.Handle()) != PQTRANS_IDLE) {
      // The statement failed as it would have on its own; the transaction around it goes.
      conn_.TraceRes(trcTransaction, res::SBatchTransaction, "ROLLBACK;");
      std::string rollbackError;
      if (!conn_.RunDriverStatement("ROLLBACK;", rollbackError)) error = rollbackError;
    }
    return nullptr;
  }
  b->home_ = own ? TVNXRowBatches::Home::Own : TVNXRowBatches::Home::Application;
  b->open_ = true;
  reads_.push_back(b.get());
  if (own) own_ = b.get();
  if (PQ.PQntuples(result) < rows) {
    // Everything fitted in the first batch: the cursor is closed (and the driver's
    // transaction committed) before execute returns, as the statement would have been.
    b->state_ = TVNXRowBatches::State::AtEnd;
    if (!b->Close(true, error)) {
      PQ.PQclear(std::exchange(result, nullptr));
      return nullptr;
    }
  }
  return b;
}

bool TVNXBatchedReads::MakeWay(std::string& error) {
  if (!conn_.Handle()) return true;  // the statement reports that itself
  conn_.SettlePending();
  if (!deferred_.empty()) {
    error = std::exchange(deferred_, std::string());
    return false;
  }
  TVNXRowBatches* read = own_;
  if (!read) return true;
  std::string failure;
  if (!read->holdable_ && read->state_ != TVNXRowBatches::State::AtEnd && !read->TakeRest(failure)) {
    std::string ignored;  // the failure says what went wrong; the rollback ends the transaction
    read->Close(false, ignored);
  } else if (read->state_ == TVNXRowBatches::State::AtEnd) {
    // Its rows are all here: the cursor is closed with the commit.
    if (read->Close(true, failure)) return true;
  } else {
    conn_.TraceRes(trcTransaction, res::SBatchTransaction, "COMMIT;");
    own_ = nullptr;
    if (conn_.RunDriverStatement("COMMIT;", failure)) {
      read->home_ = TVNXRowBatches::Home::Held;
      return true;
    }
    // A failed commit rolls back: the cursor is gone.
    read->Lost(std::string());
  }
  error = rt::Format(Res(res::SBatchKeepFailed), read->name_, failure);
  read->Fail(error);
  read->broken_ = true;  // not one more row of it: its work was not kept
  return false;
}

void TVNXBatchedReads::AfterStatement(std::string_view sql) {
  bool declaredInApplication = false;
  for (const TVNXRowBatches* r : reads_) declaredInApplication |= r->home_ == TVNXRowBatches::Home::Application;
  if (!declaredInApplication || !conn_.Handle()) return;
  if (PQ.PQtransactionStatus(conn_.Handle()) != PQTRANS_IDLE &&
      !ControlsTransaction(sql, conn_.Server().StandardConformingStrings(), conn_.Server().StatementEncoding()))
    return;
  for (TVNXRowBatches* r : reads_)
    if (r->home_ == TVNXRowBatches::Home::Application) r->unsure_ = true;
}

void TVNXBatchedReads::ApplicationTransactionEnded(bool committed) {
  const std::vector<TVNXRowBatches*> reads = reads_;
  for (TVNXRowBatches* r : reads) {
    if (r->home_ != TVNXRowBatches::Home::Application) continue;
    r->unsure_ = false;
    if (committed && r->holdable_) r->home_ = TVNXRowBatches::Home::Held;
    else r->Lost(rt::Format(Res(res::SBatchTransactionEnded), r->name_));
  }
}

void TVNXBatchedReads::SessionLost(const std::string& text) noexcept {
  const std::vector<TVNXRowBatches*> reads = reads_;
  for (TVNXRowBatches* r : reads) {
    try {
      r->Lost(text.empty() ? rt::Format(Res(res::SBatchTransactionEnded), r->name_) : text);
    } catch (...) {
      r->Lost(std::string());
    }
  }
  own_ = nullptr;
  deferred_.clear();  // the lost connection says it all
}

void TVNXBatchedReads::Defer(const std::string& text) noexcept {
  try {
    if (deferred_.empty()) deferred_ = text;
  } catch (...) {
  }
}

void TVNXBatchedReads::Forget(TVNXRowBatches* read) noexcept {
  std::erase(reads_, read);
  if (own_ == read) own_ = nullptr;
}

}  // namespace vnx
