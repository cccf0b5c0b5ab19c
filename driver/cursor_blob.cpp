// BLOB reading of the result cursor: large objects through libpq's large-object calls
// (inside a transaction of the driver's own when the application has none), bytea and
// memo values from the result itself.
#include <cstring>

#include "common/conversion.h"
#include "common/encoding.h"
#include "resources/driver_resources.h"
#include "common/errors.h"
#include "driver/sql_connection.h"
#include "driver/sql_cursor.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/command_resources.h"
#include "runtime/format.h"
#include "runtime/strutil.h"

namespace vnx {
namespace {

constexpr int kInvRead = 0x40000;

// libpq's last error of the connection, as a message argument.
std::string LibpqError(const TVNXISQLConnection& conn) {
  std::string text = rt::TrimRight(PQ.PQerrorMessage(conn.Handle()));
  return conn.ClientEncoding() == "UTF8" ? Utf8ToApplication(text) : text;
}

// The value of an "lo" column: the object's identifier, read before any transaction starts.
std::uint32_t LargeObjectId(std::string_view text) {
  std::int64_t v = TextToInt64(text);
  if (v < 0 || v > 0xFFFFFFFFll) TextToInteger(text);  // raises with the integer text
  return static_cast<std::uint32_t>(v);
}

// Whether the server has a transaction open on the connection. The application may have
// begun one with its own SQL, which the driver's flag knows nothing of; only while a
// statement is still running (or the connection is lost) does the flag decide.
bool ServerTransactionOpen(const TVNXISQLConnection& conn) {
  switch (PQ.PQtransactionStatus(conn.Handle())) {
    case PQTRANS_IDLE: return false;
    case PQTRANS_INTRANS:
    case PQTRANS_INERROR: return true;
    default: return conn.InTransaction();
  }
}

// Large-object calls need the connection idle and in blocking mode: what is still on its
// way (a batch asked for ahead, later results of an asynchronous statement) is taken in
// first, waiting on the socket, and an asynchronous connection is switched for the
// duration of one BLOB call.
class BlockingScope {
 public:
  explicit BlockingScope(TVNXISQLConnection& conn) : h_(conn.Handle()) {
    conn.SettlePending();
    if (PQ.PQisnonblocking(h_) == 1) {
      switched_ = true;
      while (PGresult* stale = conn.NextResult()) PQ.PQclear(stale);
      PQ.PQsetnonblocking(h_, 0);
    }
  }
  ~BlockingScope() {
    if (switched_) PQ.PQsetnonblocking(h_, 1);
  }

 private:
  PGconn* h_;
  bool switched_ = false;
};

// libpq's large-object calls wait for as long as the server takes. With a QueryTimeout the
// object is read through the server's SQL functions instead, whose answers the driver waits
// for itself: `select` gives the text of one statement over an open descriptor `fd`, which
// it closes. False with the server's text in `failure`.
bool SqlLargeObjectCall(TVNXISQLConnection& conn, std::uint32_t oid, const std::string& select, PGresult*& result,
                        std::string& failure) {
  const std::string sql = "select " + select + ", lo_close(fd) from (select lo_open(" + std::to_string(oid) + ", " +
                          std::to_string(kInvRead) + ") as fd offset 0) s";
  if (conn.RunQuery(sql, result, failure) && PQ.PQntuples(result) == 1) return true;
  if (failure.empty()) failure = Res(res::SNoResponse);
  return false;
}

}  // namespace

void TVNXISQLCursor::FillBlobCache(std::uint16_t column) {
  const bool null = IsNull(column);
  switch (Fields[column].SubType) {
    case fldstBINARY:
    case fldstGRAPHIC:
      BlobCache = null ? std::string() : UnescapeBytea(PQ.PQgetvalue(Result, CurrentRow, column - 1));
      break;
    case fldstMEMO: {
      std::string scratch;
      BlobCache = null ? std::string() : std::string(ValueText(column, scratch));
      break;
    }
    default:
      // Other subtypes have no BLOB form of their own: the cache keeps what it had.
      return;
  }
  BlobCacheRow = CurrentRow;
  BlobCacheColumn = column;
}

SQLResult TVNXISQLCursor::getBlobSize(std::uint16_t column, std::uint32_t* length, std::int32_t* isBlank) {
  CheckColumn(column);
  const bool null = IsNull(column);
  if (isBlank) *isBlank = null ? -1 : 0;
  if (readings_[column] == Reading::LargeObject) {
    if (null) return DBXERR_NONE;
    return LargeObjectSize(column, length, isBlank);
  }
  FillBlobCache(column);
  if (length) *length = static_cast<std::uint32_t>(BlobCache.size());
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getBlob(std::uint16_t column, void* value, std::int32_t* isBlank, std::uint32_t length) {
  CheckColumn(column);
  const bool null = IsNull(column);
  if (isBlank) *isBlank = null ? -1 : 0;
  if (null) return DBXERR_NONE;
  if (length == 0 && isBlank) *isBlank = -1;
  if (readings_[column] == Reading::LargeObject) {
    if (length == 0) return DBXERR_NONE;
    // libpq would write the object's bytes through the missing buffer.
    if (!value) throw EVNXError(rt::Format(Res(res::SMissingBlobBuffer), static_cast<unsigned>(column), length));
    return ReadLargeObject(column, value, isBlank, length);
  }
  // The cache belongs to this value only when getBlobSize filled it for this row and column.
  if (BlobCacheRow != CurrentRow || BlobCacheColumn != column) FillBlobCache(column);
  if (value) std::memcpy(value, BlobCache.data(), std::min<std::size_t>(length, BlobCache.size()));
  BlobCache.clear();
  BlobCache.shrink_to_fit();
  BlobCacheRow = -1;
  BlobCacheColumn = 0;
  return DBXERR_NONE;
}

bool TVNXISQLCursor::BeginBlobTransaction() {
  Connection->TraceRes(trcBlob, res::SStartingBlobTransaction, "BEGIN;");
  ErrorMessage.clear();
  return Connection->ExecSQL("BEGIN;", ErrorMessage);
}

SQLResult TVNXISQLCursor::LargeObjectSize(std::uint16_t column, std::uint32_t* length, std::int32_t* isBlank) {
  TVNXISQLConnection& conn = *Connection;
  std::string scratch;
  const std::uint32_t oid = LargeObjectId(ValueText(column, scratch));
  if (oid == 0) {
    if (isBlank) *isBlank = -1;
    return DBXERR_NONE;
  }
  // A transaction the driver did not begin is never ended or rolled back here. The calls
  // run on their own, as any statement: a batched read's transaction is committed first.
  if (!conn.MakeWay(ErrorMessage)) return DBXERR_FAILED;
  const bool own = !ServerTransactionOpen(conn);
  if (own && !BeginBlobTransaction()) return DBXERR_FAILED;
  std::string failure;
  if (conn.Settings().QueryTimeout > 0) {
    PGresult* r = nullptr;
    if (SqlLargeObjectCall(conn, oid, "lo_lseek(fd, 0, 2)", r, failure)) {
      if (length) *length = static_cast<std::uint32_t>(TextToInteger(PQ.PQgetvalue(r, 0, 0)));
    } else {
      failure = rt::Format(Res(res::SCannotOpenBlob), failure);
    }
    if (r) PQ.PQclear(r);
  } else {
    BlockingScope blocking(conn);
    const int fd = PQ.lo_open(conn.Handle(), oid, kInvRead);
    if (fd < 0) {
      failure = rt::Format(Res(res::SCannotOpenBlob), LibpqError(conn));
    } else {
      PQ.lo_lseek(conn.Handle(), fd, 0, SEEK_END);
      const int size = PQ.lo_tell(conn.Handle(), fd);
      if (PQ.lo_close(conn.Handle(), fd) != 0) ErrorMessage = rt::Format(Res(res::SCannotCloseBlob), LibpqError(conn));
      if (size < 0) failure = rt::Format(Res(res::SCannotMoveBlobPointer), LibpqError(conn));
      else if (length) *length = static_cast<std::uint32_t>(size);
    }
  }
  if (failure.empty()) {
    if (own) {
      conn.TraceRes(trcBlob, res::SEndingBlobTransaction, "END;");
      ErrorMessage.clear();
      if (!conn.ExecSQL("END;", ErrorMessage)) return DBXERR_FAILED;
    }
    return DBXERR_NONE;
  }
  ErrorMessage = failure;
  conn.Trace(failure, trcError);
  conn.TraceRes(trcBlob, res::SEndingBlobTransaction, "ROLLBACK;");
  if (own) {
    // The application learns why the BLOB failed; a failing rollback adds its own text.
    std::string rollbackError;
    if (!conn.ExecSQL("ROLLBACK;", rollbackError)) ErrorMessage = failure + " " + rollbackError;
  }
  return DBXERR_FAILED;
}

SQLResult TVNXISQLCursor::ReadLargeObject(std::uint16_t column, void* value, std::int32_t* /*isBlank*/,
                                          std::uint32_t length) {
  TVNXISQLConnection& conn = *Connection;
  std::string scratch;
  const std::uint32_t oid = LargeObjectId(ValueText(column, scratch));
  // A transaction the driver did not begin is never ended or rolled back here. The calls
  // run on their own, as any statement: a batched read's transaction is committed first.
  if (!conn.MakeWay(ErrorMessage)) return DBXERR_FAILED;
  const bool own = !ServerTransactionOpen(conn);
  if (own && !BeginBlobTransaction()) return DBXERR_FAILED;
  std::string failure;
  if (conn.Settings().QueryTimeout > 0) {
    PGresult* r = nullptr;
    if (SqlLargeObjectCall(conn, oid, "loread(fd, " + std::to_string(length) + ")", r, failure)) {
      const std::string bytes = UnescapeBytea(PQ.PQgetvalue(r, 0, 0));
      if (bytes.size() == length) std::memcpy(value, bytes.data(), length);
      else failure = rt::Format(Res(res::SCannotReadBlob), "");
    } else {
      failure = rt::Format(Res(res::SCannotOpenBlob), failure);
    }
    if (r) PQ.PQclear(r);
  } else {
    BlockingScope blocking(conn);
    const int fd = PQ.lo_open(conn.Handle(), oid, kInvRead);
    if (fd < 0) {
      failure = rt::Format(Res(res::SCannotOpenBlob), LibpqError(conn));
    } else {
      PQ.lo_lseek(conn.Handle(), fd, 0, SEEK_END);
      const int size = PQ.lo_tell(conn.Handle(), fd);
      if (size < 0) {
        failure = rt::Format(Res(res::SCannotMoveBlobPointer), LibpqError(conn));
      } else {
        PQ.lo_lseek(conn.Handle(), fd, 0, SEEK_SET);
        // One read straight into the application's buffer.
        const int n = PQ.lo_read(conn.Handle(), fd, static_cast<char*>(value), length);
        if (n < 0 || static_cast<std::uint32_t>(n) != length)
          failure = rt::Format(Res(res::SCannotReadBlob), LibpqError(conn));
      }
      if (PQ.lo_close(conn.Handle(), fd) != 0) ErrorMessage = rt::Format(Res(res::SCannotCloseBlob), LibpqError(conn));
    }
  }
  if (failure.empty()) {
    if (own) {
      conn.TraceRes(trcBlob, res::SEndingBlobTransaction, "END;");
      ErrorMessage.clear();
      if (!conn.ExecSQL("END;", ErrorMessage)) return DBXERR_FAILED;
    }
    return DBXERR_NONE;
  }
  // Every failure, an object that would not open included, ends the driver's transaction.
  ErrorMessage = failure;
  conn.TraceRes(trcBlob, res::SEndingBlobTransaction, "END;");
  if (own) {
    std::string endError;
    if (!conn.ExecSQL("END;", endError)) ErrorMessage = failure + " " + endError;
  }
  return DBXERR_FAILED;
}

}  // namespace vnx
