// Where a result cursor's rows come from once its current libpq result is read to the end:
// the later results of an asynchronous statement list, or the next batch of a server-side
// cursor (the FetchRows option).
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

#include "driver/dbx_interfaces.h"

namespace vnx {

class TVNXISQLConnection;
class TVNXBatchedReads;

class TVNXMoreRows {
 public:
  virtual ~TVNXMoreRows() = default;
  // The next result with rows into `result` (which the caller then owns): DBXERR_NONE,
  // DBXERR_EOF when there is none, DBXERR_FAILED with the text in `error`.
  virtual SQLResult Next(PGresult*& result, std::string& error) = 0;
  // Takes in, or drops, what is still on its way through the connection, so that the
  // connection can serve another statement. Called through TVNXISQLConnection::SettlePending.
  virtual void Settle() noexcept = 0;
  // The rows have failed since the cursor last asked: the rows of its current result are not
  // to be handed out any more either (the next `next` reports the failure).
  bool Broken() const noexcept { return broken_; }

 protected:
  bool broken_ = false;
};

// The results an asynchronous statement list sends after the one its cursor was made from.
// When the connection must serve something else first, they are taken in and kept.
class TVNXStatementResults final : public TVNXMoreRows {
 public:
  // Registers itself as the connection's pending results.
  explicit TVNXStatementResults(TVNXISQLConnection& connection);
  ~TVNXStatementResults() override;
  SQLResult Next(PGresult*& result, std::string& error) override;
  void Settle() noexcept override;

 private:
  // The next result, kept or still on its way; null when there is none.
  PGresult* Take();
  TVNXISQLConnection& conn_;
  std::deque<PGresult*> kept_;
};

// True when a statement can be read through a server-side cursor: one statement, a query
// (select, values, table, or with ... select) that neither writes nor creates a table. The
// text is read as the connection's server reads it (see TVNXSQLParser): with its
// standard_conforming_strings setting and in its client encoding.
bool DeclarableAsCursor(std::string_view sql, bool standardConformingStrings = false,
                        std::string_view clientEncoding = {});

// One batched read: a server cursor (see batched_reads.h), DECLAREd once, then FETCH FORWARD n
// for each batch, the next batch asked for as soon as the current one arrives so that the
// server works while the application reads.
class TVNXRowBatches final : public TVNXMoreRows {
 public:
  ~TVNXRowBatches() override;
  SQLResult Next(PGresult*& result, std::string& error) override;
  void Settle() noexcept override;

  // Asks for the next batch now, while the application reads the current one.
  void AskAhead() noexcept;
  const std::string& Name() const noexcept { return name_; }

 private:
  friend class TVNXBatchedReads;
  // Where the server cursor lives: in the driver's transaction, in the application's
  // (until it ends), or held by the server after a commit, outside any transaction.
  enum class Home : std::uint8_t { Own, Application, Held };
  enum class State : std::uint8_t { Reading, AtEnd, Failed };
  TVNXRowBatches(TVNXISQLConnection& connection, TVNXBatchedReads& session, std::string name, std::int32_t rows);

  // Takes in the result of the FETCH in flight (the first failed or row-bearing result).
  PGresult* Collect() noexcept;
  // Files a collected batch: ahead for the next Next, the end of the rows, or a failure.
  void Absorb(PGresult* result) noexcept;
  // Closes the server cursor: committing the driver's transaction when the rows were read to
  // their end, rolling it back when not. False with the text when the statement failed.
  bool Close(bool toEnd, std::string& error) noexcept;
  // Reads every row still to come into rest_ (or ahead_): where a commit would run the
  // cursor's query again, the rows are taken before the driver's transaction is committed.
  bool TakeRest(std::string& error) noexcept;
  // Asks the server whether the cursor survived the application's SQL (see
  // TVNXBatchedReads::AfterStatement); false when it is gone or the question failed.
  bool Verify() noexcept;
  // The read fails with text; rows fetched but not yet handed out are dropped.
  void Fail(std::string text) noexcept;
  // The server cursor is gone without a statement of the driver's.
  void Lost(std::string text) noexcept;

  TVNXISQLConnection& conn_;
  TVNXBatchedReads& session_;
  std::string name_;
  std::string fetch_;               // "FETCH FORWARD n FROM name"
  std::int32_t rows_;
  Home home_ = Home::Own;
  State state_ = State::Reading;
  bool open_ = false;               // the server cursor exists and is in the session's list
  bool inFlight_ = false;           // a FETCH was sent and its result not yet taken in
  bool unsure_ = false;             // the application's SQL may have ended the cursor
  bool holdable_ = true;            // declared WITH HOLD: a commit keeps it
  PGresult* ahead_ = nullptr;       // the next batch, taken in before it was asked for
  PGresult* rest_ = nullptr;        // the rows after ahead_, when TakeRest read them
  std::string failure_;
};

}  // namespace vnx
