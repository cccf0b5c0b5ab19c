// The result cursor: column descriptions, walking the rows, and the typed getters.
#include "driver/sql_cursor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/conversion.h"
#include "common/encoding.h"
#include "common/errors.h"
#include "common/param_literal.h"
#include "common/type_cache.h"
#include "driver/metadata_sql.h"
#include "driver/sql_command.h"
#include "driver/sql_connection.h"
#include "driver/sql_driver.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "parser/statement_analysis.h"
#include "resources/command_resources.h"
#include "runtime/exception.h"
#include "runtime/format.h"

namespace vnx {

const ISQLCursorVtbl TVNXISQLCursor::Vtbl = {
    UnknownSlots::Table,
    &Slot<&TVNXISQLCursor::SetOption>::Call,
    &Slot<&TVNXISQLCursor::GetOption>::Call,
    &Slot<&TVNXISQLCursor::getErrorMessage>::Call,
    &Slot<&TVNXISQLCursor::getErrorMessageLen>::Call,
    &Slot<&TVNXISQLCursor::getColumnCount>::Call,
    &Slot<&TVNXISQLCursor::getColumnNameLength>::Call,
    &Slot<&TVNXISQLCursor::getColumnName>::Call,
    &Slot<&TVNXISQLCursor::getColumnType>::Call,
    &Slot<&TVNXISQLCursor::getColumnLength>::Call,
    &Slot<&TVNXISQLCursor::getColumnPrecision>::Call,
    &Slot<&TVNXISQLCursor::getColumnScale>::Call,
    &Slot<&TVNXISQLCursor::isNullable>::Call,
    &Slot<&TVNXISQLCursor::isAutoIncrement>::Call,
    &Slot<&TVNXISQLCursor::isReadOnly>::Call,
    &Slot<&TVNXISQLCursor::isSearchable>::Call,
    &Slot<&TVNXISQLCursor::isBlobSizeExact>::Call,
    &FlatSlot<&TVNXISQLCursor::next>::Call,
    &FlatSlot<&TVNXISQLCursor::getString>::Call,
    &FlatSlot<&TVNXISQLCursor::getShort>::Call,
    &FlatSlot<&TVNXISQLCursor::getLong>::Call,
    &FlatSlot<&TVNXISQLCursor::getDouble>::Call,
    &FlatSlot<&TVNXISQLCursor::getBcd>::Call,
    &FlatSlot<&TVNXISQLCursor::getTimeStamp>::Call,
    &FlatSlot<&TVNXISQLCursor::getTime>::Call,
    &FlatSlot<&TVNXISQLCursor::getDate>::Call,
    &FlatSlot<&TVNXISQLCursor::getBytes>::Call,
    &Slot<&TVNXISQLCursor::getBlobSize>::Call,
    &Slot<&TVNXISQLCursor::getBlob>::Call,
};

TVNXISQLCursor::TVNXISQLCursor(TVNXISQLCommand* command, TVNXISQLConnection* connection, const std::string& sql,
                               PGresult* result, std::uint8_t typesCachingMode)
    : TVNXCursorColumns(&Vtbl, IID_ISQLCursor, &DestroyAs<TVNXISQLCursor>),
      Connection(command ? command->Connection.get() : connection),
      Result(result),
      TypesCachingMode(typesCachingMode) {
  TextConnection = Connection.get();
  try {
    rowCount_ = Result ? PQ.PQntuples(Result) : 0;
    SQL = command ? command->SQL : sql;
    // The type catalogue and the extended information are queries of their own: what the
    // statement still has on its way is taken in first.
    Connection->SettlePending();
    MappingOptions = Connection->CurrentMappingOptions();
    convertUtf8_ = Connection->ClientEncoding() == "UTF8";
    TVNXTypeMappings noDriverCache;
    TVNXTypeMappings& driverCache = Connection->Driver() ? Connection->Driver()->TypeCache : noDriverCache;
    TypeCache = SelectTypeCache(typesCachingMode, driverCache, Connection->TypeCache(), Connection->Handle());
    BuildFieldMappings();  // a result without columns leaves its text and no columns
  } catch (...) {
    // The result was handed over: it goes with the cursor that could not be made.
    if (Result) PQ.PQclear(Result);
    Result = nullptr;
    throw;
  }
}

TVNXISQLCursor::~TVNXISQLCursor() {
  // What is still on its way for this cursor is dropped (a batched read's server cursor
  // closed); results of other statements are left alone.
  more_.reset();
  if (Result) PQ.PQclear(Result);
}

void TVNXISQLCursor::LoadTypeMappings(TVNXTypeMappings& cache) { vnx::LoadTypeMappings(Connection->Handle(), cache); }

std::int32_t TVNXISQLCursor::RowCount() const noexcept { return Result ? PQ.PQntuples(Result) : 0; }

namespace {

// The size an application allocates for a string or byte column: its length, or its
// precision for columns whose length is 0 (unbounded text). 0 means no bound is known.
std::size_t DescribedSize(const TVNXFieldMapping& f) {
  return std::max<std::size_t>(f.Length, f.Precision > 0 ? static_cast<std::size_t>(f.Precision) : 0);
}

// A table name as a LIKE pattern that matches only itself.
std::string LikeExact(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '%' || c == '_' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace

// The server types whose values some getter reads in a way of their own.
TVNXISQLCursor::Reading TVNXISQLCursor::ReadingOf(const std::string& typeName) noexcept {
  if (typeName == "int8") return Reading::Int8;
  if (typeName == "oid") return Reading::Oid;
  if (typeName == "char") return Reading::Char;
  if (typeName == "bpchar") return Reading::Bpchar;
  if (typeName == "lo") return Reading::LargeObject;
  return Reading::Plain;
}

SQLResult TVNXISQLCursor::BuildFieldMappings() {
  const int n = Result ? PQ.PQnfields(Result) : 0;
  if (n == 0) {
    ErrorMessage = Res(res::SQueryReturnedNoFields);
    Fields.clear();
    readings_.clear();
    stringLimits_.clear();
    columnCount_ = 0;
    return DBXERR_FAILED;
  }
  Fields.assign(static_cast<std::size_t>(n) + 1, TVNXFieldMapping{});

  PGresult* info = nullptr;
  if (Connection->Settings().GetExtendedFieldsInformation) {
    std::vector<std::string> tables;
    if (AnalyseStatement(SQL, tables) == skindSelect && tables.size() == 1) {
      Connection->TraceRes(trcCatalog, res::SGettingExtendedFieldsInfo);
      ErrorMessage.clear();
      // The table name reaches the query as a literal: a quote in it cannot end it.
      const std::string query = ExtendedFieldsSql(LikeExact(tables[0]), Connection->CatalogSqlOptions());
      std::string error;
      // Part of describing the statement's result: it runs beside a batched read of the
      // statement, not in place of it.
      if (!Connection->RunQuery(query, info, error)) {
        if (info) PQ.PQclear(info);
        ErrorMessage = Res(res::SExtendedInfoFailed);
        throw EVNXError(ErrorMessage);
      }
    }
  }

  readings_.assign(Fields.size(), Reading::Plain);
  stringLimits_.assign(Fields.size(), 0);
  for (int i = 0; i < n; ++i) {
    TVNXFieldMapping& f = Fields[static_cast<std::size_t>(i) + 1];
    BuildFieldMapping(f, TypeCache, PQ.PQfname(Result, i), PQ.PQftype(Result, i), PQ.PQfsize(Result, i),
                      PQ.PQfmod(Result, i), MappingOptions);
    readings_[static_cast<std::size_t>(i) + 1] = ReadingOf(f.TypeName);
    if (f.FieldType == fldZSTRING) stringLimits_[static_cast<std::size_t>(i) + 1] = static_cast<std::uint32_t>(DescribedSize(f));
  }
  columnCount_ = static_cast<std::uint16_t>(n);
  if (info) {
    try {
      ApplyExtendedInformation(info);
    } catch (...) {
      PQ.PQclear(info);
      throw;
    }
    PQ.PQclear(info);
  }
  return DBXERR_NONE;
}

void TVNXISQLCursor::ApplyExtendedInformation(PGresult* info) {
  // Rows are matched to the result's columns by name: a select of some columns, in another
  // order, or with expressions gets the flags of its own columns and defaults for the rest.
  const int rows = PQ.PQntuples(info);
  if (PQ.PQnfields(info) < 3) return;
  for (std::size_t c = 1; c < Fields.size(); ++c) {
    for (int r = 0; r < rows; ++r) {
      if (Fields[c].Name != PQ.PQgetvalue(info, r, 0)) continue;
      Fields[c].Nullable = TextToBoolean(PQ.PQgetvalue(info, r, 1));
      Fields[c].AutoIncrement = TextToBoolean(PQ.PQgetvalue(info, r, 2));
      break;
    }
  }
}

bool TVNXISQLCursor::IsNull(std::uint16_t column) const noexcept {
  if (!Result || CurrentRow < 0 || CurrentRow >= rowCount_) return true;
  return PQ.PQgetisnull(Result, CurrentRow, column - 1) != 0;
}

std::string_view TVNXISQLCursor::ValueText(std::uint16_t column, std::string& scratch) const {
  const char* v = PQ.PQgetvalue(Result, CurrentRow, column - 1);
  std::string_view text(v, static_cast<std::size_t>(PQ.PQgetlength(Result, CurrentRow, column - 1)));
  if (!convertUtf8_) return text;
  scratch = Utf8ToApplication(text);
  return scratch;
}

// Every getter starts here, once per value: the column check, the null test and the text
// are done in one place with the row and column worked out once.
[[gnu::always_inline]] inline bool TVNXISQLCursor::ReadValue(std::uint16_t column, std::int32_t* isBlank,
                                                             std::string_view& text) const {
  const unsigned col = column - 1u;  // column 0 wraps around to the largest number
  if (col >= columnCount_) [[unlikely]]
    CheckColumn(column);  // raises
  const int row = CurrentRow;
  // Before the first row (-1) wraps around too.
  const bool past = static_cast<unsigned>(row) >= static_cast<unsigned>(rowCount_);
  // libpq gives a NULL the length 0: only an empty value needs the null test.
  const int length = past ? 0 : PQ.PQgetlength(Result, row, static_cast<int>(col));
  const bool null = past || (length == 0 && PQ.PQgetisnull(Result, row, static_cast<int>(col)) != 0);
  if (isBlank) *isBlank = null ? -1 : 0;
  if (null) return false;
  text = std::string_view(PQ.PQgetvalue(Result, row, static_cast<int>(col)), static_cast<std::size_t>(length));
  if (convertUtf8_) [[unlikely]] {
    convertScratch_ = Utf8ToApplication(text);
    text = convertScratch_;
  }
  return true;
}

SQLResult TVNXISQLCursor::getColumnName(std::uint16_t column, char* name) {
  CopyColumnName(column, name);
  LastNamedColumn = column;
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getColumnType(std::uint16_t column, std::uint16_t* type, std::uint16_t* subType) {
  CheckColumn(column);
  std::uint16_t t = Fields[column].FieldType;
  // Applications that ask for the type without asking for the name first predate 64-bit
  // integers: they get a 32-bit column.
  if (t == fldINT64 && column != LastNamedColumn) t = fldINT32;
  if (type) *type = t;
  if (subType) *subType = Fields[column].SubType;
  LastNamedColumn = 0;
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::isNullable(std::uint16_t column, std::int32_t* nullable) {
  CheckColumn(column);
  PutFlag(nullable, Fields[column].Nullable);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::isAutoIncrement(std::uint16_t column, std::int32_t* autoIncrement) {
  CheckColumn(column);
  PutFlag(autoIncrement, Fields[column].AutoIncrement);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::isSearchable(std::uint16_t column, std::int32_t* searchable) {
  CheckColumn(column);
  PutFlag(searchable, Fields[column].Searchable);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::next() {
  if (CurrentRow < rowCount_ - 1 && !(more_ && more_->Broken())) [[likely]] {
    ++CurrentRow;
    return DBXERR_NONE;
  }
  return NextResult();
}

[[gnu::noinline]] SQLResult TVNXISQLCursor::NextResult() {
  if (!failure_.empty()) {
    ErrorMessage = failure_;
    return DBXERR_FAILED;
  }
  if (!more_) return DBXERR_EOF;
  PGresult* r = nullptr;
  std::string error;
  const SQLResult rc = more_->Next(r, error);
  if (rc == DBXERR_NONE) {
    // The column descriptions stay; rows are numbered anew, so a BLOB read of the old
    // result must not pass for one of the new.
    if (Result) PQ.PQclear(Result);
    Result = r;
    rowCount_ = PQ.PQntuples(r);
    CurrentRow = 0;
    BlobCache.clear();
    BlobCacheRow = -1;
    BlobCacheColumn = 0;
    return DBXERR_NONE;
  }
  if (rc == DBXERR_FAILED) {
    // Never an end of rows: the application learns that rows are missing, and why.
    failure_ = error;
    ErrorMessage = failure_;
    Connection->Trace(failure_, trcError);
  }
  return rc;
}

SQLResult TVNXISQLCursor::getString(std::uint16_t column, char* value, std::int32_t* isBlank) {
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  const Reading reading = readings_[column];
  if (reading == Reading::Char || (reading == Reading::Bpchar && Connection->Settings().TrimChar))
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  // The application sized its buffer from the column's description; a longer value
  // would be written past its end.
  const std::size_t limit = stringLimits_[column];
  if (limit > 0 && text.size() > limit)
    throw EVNXError(rt::Format(Res(res::SValueTooLong), static_cast<unsigned>(column),
                               static_cast<unsigned>(text.size()), static_cast<unsigned>(limit)));
  if (value) {
    std::memcpy(value, text.data(), text.size());
    value[text.size()] = '\0';
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getShort(std::uint16_t column, void* value, std::int32_t* isBlank) {
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  std::int16_t v;
  if (Fields[column].FieldType == fldBOOL) v = TextToBoolean(text) ? 1 : 0;
  else v = static_cast<std::int16_t>(TextToInteger(text));
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getLong(std::uint16_t column, void* value, std::int32_t* isBlank) {
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  const Reading reading = readings_[column];
  if (reading == Reading::Int8) {
    if (MappingOptions.Int8Mode == TVNXInt8Mode::AsInt8) {
      std::int64_t v = TextToInt64(text);
      if (value) std::memcpy(value, &v, sizeof v);
    } else if (MappingOptions.Int8Mode == TVNXInt8Mode::AsInt4) {
      auto v = static_cast<std::int32_t>(TextToInt64(text));
      if (value) std::memcpy(value, &v, sizeof v);
    }
    return DBXERR_NONE;
  }
  std::int32_t v;
  if (reading == Reading::Oid) {
    // Object identifiers are unsigned: those above 2^31 keep their 32 bits.
    std::int64_t wide = TextToInt64(text);
    if (wide < 0 || wide > 0xFFFFFFFFll) v = TextToInteger(text);  // raises the integer text
    else v = static_cast<std::int32_t>(static_cast<std::uint32_t>(wide));
  } else {
    v = TextToInteger(text);
  }
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getDouble(std::uint16_t column, void* value, std::int32_t* isBlank) {
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  double v = TextToFloat(text);
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getBcd(std::uint16_t column, void* value, std::int32_t* isBlank) {
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  TBcd v = TextToBcd(text);
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::DateTimeFailure(const std::exception& e) {
  ErrorMessage = e.what();
  // The readers take the ISO style the driver sets at connect; a session whose statements
  // set another one gets told so, not just that the text is no date.
  const char* style = Connection->Handle() ? PQ.PQparameterStatus(Connection->Handle(), "DateStyle") : nullptr;
  if (style && std::strncmp(style, "ISO", 3) != 0) ErrorMessage = rt::Format(Res(res::SDateStyleNotIso), e.what(), style);
  return DBXERR_INVALID_CONVERSION;
}

SQLResult TVNXISQLCursor::getTimeStamp(std::uint16_t column, void* value, std::int32_t* isBlank) {
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  TSQLTimeStamp ts{};  // fields of a part the text lacks read as zero
  try {
    TextToSQLTimeStamp(text, '.', ts);
  } catch (const std::exception& e) {
    return DateTimeFailure(e);
  }
  if (value) std::memcpy(value, &ts, sizeof ts);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getTime(std::uint16_t column, void* value, std::int32_t* isBlank) {
  const std::int32_t zero = 0;
  if (value) std::memcpy(value, &zero, sizeof zero);
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  std::int32_t v;
  try {
    v = DateTimeToMilliseconds(TextToDateTime(text, '.'));
  } catch (const std::exception& e) {
    return DateTimeFailure(e);
  }
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getDate(std::uint16_t column, void* value, std::int32_t* isBlank) {
  const std::int32_t zero = 0;
  if (value) std::memcpy(value, &zero, sizeof zero);
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  std::int32_t v;
  try {
    v = TextToDayNumber(text, '.');
  } catch (const std::exception& e) {
    return DateTimeFailure(e);
  }
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

SQLResult TVNXISQLCursor::getBytes(std::uint16_t column, void* value, std::int32_t* isBlank) {
  std::string_view text;
  if (!ReadValue(column, isBlank, text)) return DBXERR_NONE;
  // The escaped form is ASCII: libpq's text is used as it is.
  const std::string bytes = UnescapeBytea(PQ.PQgetvalue(Result, CurrentRow, column - 1));
  // The length travels as 16 bits, and the application's buffer was sized from the
  // column's description: a longer value is refused rather than cut or overrun.
  const TVNXFieldMapping& f = Fields[column];
  std::size_t limit = DescribedSize(f);
  if (limit == 0 || limit > 0xFFFF) limit = 0xFFFF;
  if (bytes.size() > limit)
    throw EVNXError(rt::Format(Res(res::SValueTooLong), static_cast<unsigned>(column),
                               static_cast<unsigned>(bytes.size()), static_cast<unsigned>(limit)));
  if (value) {
    const auto n = static_cast<std::uint16_t>(bytes.size());
    std::memcpy(value, &n, sizeof n);
    std::memcpy(static_cast<char*>(value) + sizeof n, bytes.data(), bytes.size());
  }
  return DBXERR_NONE;
}

}  // namespace vnx
