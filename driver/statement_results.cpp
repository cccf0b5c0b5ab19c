// The later results of an asynchronous statement list (see more_rows.h).
#include "driver/more_rows.h"
#include "driver/sql_connection.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/command_resources.h"

namespace vnx {

TVNXStatementResults::TVNXStatementResults(TVNXISQLConnection& connection) : conn_(connection) {
  conn_.AwaitResults(this);
}

TVNXStatementResults::~TVNXStatementResults() {
  // Left queued, the results would block the connection's next statement.
  if (conn_.AwaitsResults(this)) conn_.SettlePending();
  for (PGresult* r : kept_) PQ.PQclear(r);
}

PGresult* TVNXStatementResults::Take() {
  if (!kept_.empty()) {
    PGresult* r = kept_.front();
    kept_.pop_front();
    return r;
  }
  if (!conn_.AwaitsResults(this)) return nullptr;
  PGresult* r = conn_.NextResult();
  if (!r) conn_.StopAwaiting(this);
  return r;
}

SQLResult TVNXStatementResults::Next(PGresult*& result, std::string& error) {
  while (PGresult* r = Take()) {
    switch (PQ.PQresultStatus(r)) {
      case PGRES_TUPLES_OK:
        if (PQ.PQntuples(r) > 0) {
          result = r;
          return DBXERR_NONE;
        }
        PQ.PQclear(r);  // a query without rows adds no row
        break;
      case PGRES_COMMAND_OK:
      case PGRES_EMPTY_QUERY:
        PQ.PQclear(r);  // statements between the queries have no rows to read
        break;
      case PGRES_COPY_IN:
      case PGRES_COPY_OUT:
        // The copy is ended so that the connection serves statements again.
        conn_.StopAwaiting(this);
        conn_.AbandonCopy(r);
        error = Res(res::SCopyNotSupported);
        return DBXERR_FAILED;
      default:
        // A statement of the list failed: its text, never an end of rows or a row of NULLs.
        error = conn_.FromServerText(conn_.ResultErrorText(r));
        PQ.PQclear(r);
        return DBXERR_FAILED;
    }
  }
  return DBXERR_EOF;
}

void TVNXStatementResults::Settle() noexcept {
  conn_.StopAwaiting(this);
  try {
    while (PGresult* r = conn_.NextResult()) {
      const ExecStatusType status = PQ.PQresultStatus(r);
      if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT) {
        // The connection stays in the copy state until the copy ends: the rest goes too.
        conn_.AbandonCopy(r);
        break;
      }
      kept_.push_back(r);
    }
  } catch (...) {
    // Out of memory for the list: what could not be kept is dropped with the connection's
    // next statement.
  }
}

}  // namespace vnx
