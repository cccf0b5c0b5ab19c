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

class TVNXMoreRows {
 public:
  virtual ~TVNXMoreRows() = default;
  // The next result with rows into `result` (which the caller then owns): DBXERR_NONE,
  // DBXERR_EOF when there is none, DBXERR_FAILED with the text in `error`.
  virtual SQLResult Next(PGresult*& result, std::string& error) = 0;
  // Takes in, or drops, what is still on its way through the connection, so that the
  // connection can serve another statement. Called through TVNXISQLConnection::SettlePending.
  virtual void Settle() noexcept = 0;
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

// The text is read as the connection's server reads it (see TVNXSQLParser): with its
// standard_conforming_strings setting and in its client encoding.
// True when a statement can be read through a server-side cursor: one statement, a query
// (select, values, table, or with ... select) that neither writes nor creates a table.
bool DeclarableAsCursor(std::string_view sql, bool standardConformingStrings = false,
                        std::string_view clientEncoding = {});
// True when a statement begins or ends a transaction (begin, start transaction, commit,
// end, rollback without "to", abort, prepare transaction).
bool IsTransactionControl(std::string_view sql, bool standardConformingStrings = false,
                          std::string_view clientEncoding = {});

// A statement read in batches through a server-side cursor: DECLARE once, then FETCH
// FORWARD n for each batch, the next batch asked for as soon as the current one arrives so
// that the server works while the application reads. Outside an application transaction
// the cursor lives in a transaction of the driver's own, committed when the last batched
// read in it ends.
class TVNXRowBatches final : public TVNXMoreRows {
 public:
  // Declares the cursor for `sql` and fetches the first batch into `result` (also a failed
  // result, for the caller to report and free). Returns the reader when the cursor is
  // open, null when the statement failed. The trace gets one line per batch asked for.
  static std::unique_ptr<TVNXRowBatches> Open(TVNXISQLConnection& connection, const std::string& sql,
                                              PGresult*& result);
  ~TVNXRowBatches() override;
  SQLResult Next(PGresult*& result, std::string& error) override;
  void Settle() noexcept override;

  // Asks for the next batch now, while the application reads the current one.
  void AskAhead() noexcept;
  // The transaction the cursor lived in has ended: its server cursor is gone.
  void TransactionEnded() noexcept;
  const std::string& Name() const noexcept { return name_; }
  const std::string& Statement() const noexcept { return sql_; }

 private:
  TVNXRowBatches(TVNXISQLConnection& connection, std::string name, std::string sql, std::int32_t rows);
  enum class State : std::uint8_t { Reading, Done, Failed };
  // Takes in the result of the FETCH in flight (the first failed or row-bearing result).
  PGresult* Collect() noexcept;
  // Files a collected batch: ahead for the next Next, the end of the rows, or a failure.
  void Absorb(PGresult* result) noexcept;
  // Closes the server cursor (committing the driver's transaction when it was the last
  // read in it); what is in flight is taken in and dropped first.
  void Finish() noexcept;
  // After a failed batch: gives the connection back in a usable state.
  void Recover() noexcept;
  void Fail(std::string text) noexcept;

  TVNXISQLConnection& conn_;
  std::string name_;
  std::string sql_;
  std::string fetch_;               // "FETCH FORWARD n FROM name"
  std::int32_t rows_;
  State state_ = State::Reading;
  bool open_ = false;               // the server cursor exists and is in conn_.OpenBatches
  bool inFlight_ = false;           // a FETCH was sent and its result not yet taken in
  bool savepoint_ = false;          // the FETCH in flight runs inside a savepoint
  PGresult* ahead_ = nullptr;       // the next batch, taken in before it was asked for
  std::string failure_;
};

}  // namespace vnx
