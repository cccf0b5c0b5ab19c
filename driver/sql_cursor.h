// TVNXISQLCursor: the rows of one libpq result, described as dbExpress columns and handed
// out value by value in the binary forms dbExpress expects.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/type_mapping.h"
#include "driver/cursor_columns.h"
#include "driver/more_rows.h"

namespace vnx {

class TVNXISQLCommand;
class TVNXISQLConnection;

class TVNXISQLCursor final : public TVNXCursorColumns {
 public:
  // Takes ownership of result (also when construction fails). command may be null (the
  // metadata object's cursors); then connection and sql are used.
  TVNXISQLCursor(TVNXISQLCommand* command, TVNXISQLConnection* connection, const std::string& sql,
                 PGresult* result, std::uint8_t typesCachingMode);
  ~TVNXISQLCursor();

  // Interface operations.
  SQLResult getColumnName(std::uint16_t column, char* name);
  SQLResult getColumnType(std::uint16_t column, std::uint16_t* type, std::uint16_t* subType);
  SQLResult isNullable(std::uint16_t column, std::int32_t* nullable);
  SQLResult isAutoIncrement(std::uint16_t column, std::int32_t* autoIncrement);
  SQLResult isSearchable(std::uint16_t column, std::int32_t* searchable);
  SQLResult next();
  SQLResult getString(std::uint16_t column, char* value, std::int32_t* isBlank);
  SQLResult getShort(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getLong(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getDouble(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getBcd(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getTimeStamp(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getTime(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getDate(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getBytes(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getBlobSize(std::uint16_t column, std::uint32_t* length, std::int32_t* isBlank);
  SQLResult getBlob(std::uint16_t column, void* value, std::int32_t* isBlank, std::uint32_t length);

  // Where the rows after the current result come from (a statement list's later results,
  // the next batches of a batched read); none when the result is the whole answer.
  void ReadOnIn(std::unique_ptr<TVNXMoreRows> more) noexcept { more_ = std::move(more); }
  bool ReadsInBatches() const noexcept { return dynamic_cast<const TVNXRowBatches*>(more_.get()) != nullptr; }

  // Fills Fields from the result's columns (and the extended information when asked for).
  SQLResult BuildFieldMappings();
  // Loads the server's type catalogue through this cursor's connection.
  void LoadTypeMappings(TVNXTypeMappings& cache);

  // For the virtual cursor and the metadata object.
  const TVNXFieldMappings& FieldsCopySource() const noexcept { return Fields; }
  const TVNXMappingOptions& MappingOptionsSource() const noexcept { return MappingOptions; }
  std::int32_t RowCount() const noexcept;

  // The value text of the current row (converted from UTF-8 when the connection's client
  // encoding is "UTF8"), and the null test. Column numbers are 1-based and checked.
  std::string_view ValueText(std::uint16_t column, std::string& scratch) const;
  bool IsNull(std::uint16_t column) const noexcept;

  static const ISQLCursorVtbl Vtbl;

  // Kept alive while the cursor lives. The command is not held: it holds its last cursor
  // itself, and the cursor needs nothing of it after creation.
  InterfaceRef<TVNXISQLConnection> Connection;
  PGresult* Result;
  std::int32_t CurrentRow = -1;
  std::string SQL;
  TVNXMappingOptions MappingOptions;
  TVNXTypeMappings TypeCache;
  std::uint8_t TypesCachingMode;
  std::string BlobCache;
  std::int32_t BlobCacheRow = -1;
  std::uint16_t BlobCacheColumn = 0;  // the cache holds one value: that of this column and row
  std::uint32_t LastNamedColumn = 0;

 private:
  // How the getters read a column, decided once from its server type name.
  enum class Reading : std::uint8_t { Plain, Int8, Oid, Char, Bpchar, LargeObject };
  static Reading ReadingOf(const std::string& typeName) noexcept;

  // Reads a value's text for a getter: checks the column, writes IsBlank, returns false
  // for NULL. The text stays valid until the next read.
  bool ReadValue(std::uint16_t column, std::int32_t* isBlank, std::string_view& text) const;
  // next past the current result's last row.
  SQLResult NextResult();
  void ApplyExtendedInformation(PGresult* info);
  // A date, time or time-stamp text that could not be read: the failure's text, and the
  // DateStyle when the server no longer writes the style the readers take.
  SQLResult DateTimeFailure(const std::exception& e);
  // Opens the transaction large-object calls need when the application has none; false
  // (with the server's text) when "BEGIN;" fails.
  bool BeginBlobTransaction();
  SQLResult LargeObjectSize(std::uint16_t column, std::uint32_t* length, std::int32_t* isBlank);
  SQLResult ReadLargeObject(std::uint16_t column, void* value, std::int32_t* isBlank, std::uint32_t length);
  // The BLOB data of a bytea or memo value of the current row, by the column's subtype.
  void FillBlobCache(std::uint16_t column);
  bool convertUtf8_ = false;       // the connection's client encoding is exactly "UTF8"
  std::int32_t rowCount_ = 0;      // PQntuples of Result, read by every getter
  std::uint16_t columnCount_ = 0;  // columns described in Fields
  std::vector<Reading> readings_;  // per column, element 0 unused
  // Per column: the size getString may write for a string column (0: no bound known, or
  // not a string column), decided once from the description.
  std::vector<std::uint32_t> stringLimits_;
  mutable std::string convertScratch_;  // a value converted from UTF-8
  std::unique_ptr<TVNXMoreRows> more_;
  std::string failure_;            // a failed later result: every later next reports it
};

}  // namespace vnx
