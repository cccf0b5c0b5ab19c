// The metadata object: options, the catalogue list operations, and the in-memory rework of
// the column and procedure-parameter lists.
#include "driver/sql_metadata.h"

#include <cstring>
#include <vector>

#include "common/conversion.h"
#include "common/encoding.h"
#include "common/errors.h"
#include "common/param_literal.h"
#include "driver/sql_connection.h"
#include "driver/sql_cursor.h"
#include "driver/sql_driver.h"
#include "driver/virtual_cursor.h"
#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/metadata_resources.h"
#include "runtime/strutil.h"

namespace vnx {

const ISQLMetaDataVtbl TVNXISQLMetaData::Vtbl = {
    UnknownSlots::Table,
    &Slot<&TVNXISQLMetaData::SetOption>::Call,
    &Slot<&TVNXISQLMetaData::GetOption>::Call,
    &Slot<&TVNXISQLMetaData::getObjectList>::Call,
    &Slot<&TVNXISQLMetaData::getTables>::Call,
    &Slot<&TVNXISQLMetaData::getProcedures>::Call,
    &Slot<&TVNXISQLMetaData::getColumns>::Call,
    &Slot<&TVNXISQLMetaData::getProcedureParams>::Call,
    &Slot<&TVNXISQLMetaData::getIndices>::Call,
    &Slot<&TVNXISQLMetaData::getErrorMessage>::Call,
    &Slot<&TVNXISQLMetaData::getErrorMessageLen>::Call,
};

TVNXISQLMetaData::TVNXISQLMetaData(TVNXISQLConnection* connection)
    : TVNXErrorObject(&Vtbl, IID_ISQLMetaData, &DestroyAs<TVNXISQLMetaData>), Connection(connection) {
  TextConnection = connection;
}

TVNXISQLMetaData::~TVNXISQLMetaData() = default;

// --- Options ------------------------------------------------------------------------------

SQLResult TVNXISQLMetaData::SetOption(std::uint32_t option, OptionValue value) {
  const char* text = reinterpret_cast<const char*>(value);
  if (option == eMetaCatalogName) CatalogName = rt::FromPChar(text);
  else if (option == eMetaSchemaName) SchemaName = rt::FromPChar(text);
  return DBXERR_NONE;
}

namespace {

void PutInt32(void* propValue, std::int32_t value) {
  if (propValue) std::memcpy(propValue, &value, sizeof value);
}

void PutByte(void* propValue, std::uint8_t value, std::int16_t* length) {
  if (propValue) *static_cast<std::uint8_t*>(propValue) = value;
  if (length) *length = 1;
}

void PutLength(std::int16_t* length, std::int16_t value) {
  if (length) *length = value;
}

}  // namespace

SQLResult TVNXISQLMetaData::GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength,
                                      std::int16_t* length) {
  switch (option) {
    case eMetaCatalogName:
      CopyOptionText(CatalogName, propValue, maxLength, length);
      break;
    case eMetaSchemaName:
      CopyOptionText(SchemaName, propValue, maxLength, length);
      break;
    case eMetaDatabaseName:
      CopyOptionText(Connection->Database(), propValue, maxLength, length);
      PutLength(length, static_cast<std::int16_t>(Connection->Database().size()));  // without the terminator
      break;
    case eMetaDatabaseVersion:
      return Connection->GetOption(eConnServerVersion, propValue, maxLength, length);
    case eMetaTransactionIsoLevel:
      PutInt32(propValue, Connection->Settings().IsolationLevel == 2 ? 1 : 0);
      break;
    case eMetaSupportsTransaction:
    case eMetaProcSupportsCursor:
    case eMetaProcSupportsCursors:
      PutByte(propValue, 1, length);
      break;
    case eMetaMaxObjectNameLength:
      PutInt32(propValue, Connection->MappingOptions().MaxNameLength);
      PutLength(length, 4);
      break;
    case eMetaMaxColumnsInTable:
      PutInt32(propValue, 1600);
      PutLength(length, 4);
      break;
    case eMetaMaxColumnsInSelect:
    case eMetaMaxRowSize:
      PutInt32(propValue, 2147483647);
      PutLength(length, 4);
      break;
    case eMetaObjectQuoteChar:
      PutByte(propValue, static_cast<std::uint8_t>(kObjectQuoteChar), length);
      break;
    case eMetaSQLEscapeChar:
      PutByte(propValue, '\\', length);
      break;
    case eMetaSupportsTransactions:
      PutByte(propValue, Connection->Server().HasTransactionsOption() ? 1 : 0, length);
      break;
    default:  // eMetaMaxSQLLength and the rest: nothing to report
      break;
  }
  return DBXERR_NONE;
}

// --- Running catalogue queries ----------------------------------------------------------

TVNXMetaSqlOptions TVNXISQLMetaData::SqlOptions() const { return Connection->CatalogSqlOptions(); }

SQLResult TVNXISQLMetaData::ExecMetaQuery(const std::string& sql, TVNXISQLCursor*& cursor) {
  cursor = nullptr;
  ErrorMessage.clear();
  PGresult* result = nullptr;
  std::string error;
  if (!Connection->ExecQuery(sql, result, error)) {
    if (result) PQ.PQclear(result);
    SetErrorText(error);
    return DBXERR_FAILED;
  }
  // The cursor owns the result from here on, also when it cannot be made.
  cursor = new TVNXISQLCursor(nullptr, Connection.get(), sql, result, 0 /* types caching mode Default */);
  return DBXERR_NONE;
}

SQLResult TVNXISQLMetaData::ListQuery(const std::string& sql, void** cursor) {
  TVNXISQLCursor* result = nullptr;
  const SQLResult rc = ExecMetaQuery(sql, result);
  if (rc != DBXERR_NONE) return rc;
  InterfaceRef<TVNXISQLCursor> keep(result);  // freed here if the application gave no place for it
  SetOutInterface(cursor, result);
  return DBXERR_NONE;
}

SQLResult TVNXISQLMetaData::getObjectList(std::uint32_t objectType, void** cursor) {
  if (cursor) *cursor = nullptr;
  return ListQuery(ObjectListSql(objectType, SqlOptions()), cursor);
}

SQLResult TVNXISQLMetaData::getTables(const char* tableName, std::uint32_t tableType, void** cursor) {
  if (cursor) *cursor = nullptr;
  return ListQuery(TablesSql(SplitObjectName(tableName), tableType, SqlOptions()), cursor);
}

SQLResult TVNXISQLMetaData::getProcedures(const char* procedureName, std::uint32_t procType, void** cursor) {
  if (cursor) *cursor = nullptr;
  return ListQuery(ProceduresSql(SplitObjectName(procedureName), procType, SqlOptions()), cursor);
}

SQLResult TVNXISQLMetaData::getIndices(const char* tableName, std::uint32_t indexType, void** cursor) {
  if (cursor) *cursor = nullptr;
  return ListQuery(IndicesSql(SplitObjectName(tableName), indexType, SqlOptions()), cursor);
}

// --- Column and parameter lists -----------------------------------------------------------

namespace {

// Column numbers of the getColumns result.
enum : std::uint16_t {
  kColName = 5, kColDataType = 8, kColSubType = 10, kColPrecision = 11, kColScale = 12, kColLength = 13,
  kColumnsExposed = 14,
};

// Column numbers of the getProcedureParams result; the last two are read and then cut off.
enum : std::uint16_t {
  kParRecno = 1, kParName = 5, kParPosition = 6, kParType = 7, kParDataType = 8, kParSubType = 9,
  kParTypeName = 10, kParPrecision = 11, kParScale = 12, kParLength = 13, kParNullable = 14,
  kParArgTypes = 15, kParRetType = 16, kParAllArgTypes = 17, kParArgModes = 18, kParamsExposed = 14,
};

constexpr std::uint32_t kVoidOid = 2278;

// One argument of a routine: its type and its dbExpress parameter type.
struct RoutineArgument {
  std::uint32_t Type;
  std::int64_t ParamType;
};

// The elements of an array's text ({23,25} or {i,o}), which here never need quotes.
std::vector<std::string> ArrayElements(std::string text) {
  if (text.size() < 2 || text.front() != '{' || text.back() != '}') return {};
  text = text.substr(1, text.size() - 2);
  return text.empty() ? std::vector<std::string>{} : SplitText(text, ',');
}

// The arguments of a routine with OUT or INOUT ones, from all its argument types and their
// modes; empty when the routine has inputs only (or the server does not say).
std::vector<RoutineArgument> ArgumentsWithModes(const TVNXRow& proc, std::size_t cells) {
  std::vector<RoutineArgument> out;
  if (cells < kParArgModes) return out;
  const std::vector<std::string> types = ArrayElements(CellToText(proc[kParAllArgTypes - 1u], fldZSTRING));
  const std::vector<std::string> modes = ArrayElements(CellToText(proc[kParArgModes - 1u], fldZSTRING));
  if (types.empty() || types.size() != modes.size()) return out;
  for (std::size_t i = 0; i < types.size(); ++i) {
    // i in, o out, b in and out, v variadic (in), t a column of a table result (out).
    const char mode = modes[i].empty() ? 'i' : modes[i][0];
    const std::int64_t paramType = mode == 'o' || mode == 't' ? paramOUT : mode == 'b' ? paramINOUT : paramIN;
    out.push_back({static_cast<std::uint32_t>(TextToInt64(types[i])), paramType});
  }
  return out;
}

// The catalogue sends type OIDs as oid columns, which the result cursor describes as
// large-object identifiers (BLOBs) and the import would not copy. Read as 32-bit integers
// instead, the real OID reaches the type mapping.
void DescribeAsTypeOid(TVNXFieldMapping& f) {
  f.FieldType = fldINT32;
  f.SubType = 0;
  f.Length = 4;
  f.Precision = 0;
  f.Scale = 0;
}

// COLUMN_DATATYPE carries dbExpress field type codes after the rework: a 16-bit column like
// COLUMN_SUBTYPE and the PARAM_DATATYPE of the parameter list.
void DescribeAsFieldTypeCode(TVNXFieldMapping& f) {
  f.FieldType = fldINT16;
  f.SubType = 0;
  f.Length = 2;
  f.Precision = 0;
  f.Scale = 0;
  f.Oid = 21;
  f.TypeName = "int2";
  f.Searchable = true;
}

// Stores a number in the cell form of its column's description.
void SetNumber(TVNXVirtualISQLCursor& v, TVNXRow& row, std::uint16_t column, std::int64_t value) {
  TVNXCell& cell = row[column - 1u];
  switch (v.Fields[column].FieldType) {
    case fldINT16: cell = static_cast<std::int16_t>(value); break;
    case fldINT64: cell = value; break;
    case fldZSTRING: cell = std::to_string(value); break;
    default: cell = static_cast<std::int32_t>(value); break;
  }
}

std::uint32_t TypeOid(const TVNXCell& cell) { return static_cast<std::uint32_t>(CellToInt64(cell)); }

void RequireColumns(const TVNXVirtualISQLCursor& v, std::size_t count) {
  // The texts are our own; a result of another shape means the server is not one we know.
  if (v.Fields.size() < count + 1) throw EVNXError(Res(res::SErrorImportingData));
}

}  // namespace

SQLResult TVNXISQLMetaData::ImportQuery(const std::string& sql, std::uint16_t typeOidColumn,
                                        InterfaceRef<TVNXVirtualISQLCursor>& out) {
  out.reset();
  TVNXISQLCursor* result = nullptr;
  const SQLResult rc = ExecMetaQuery(sql, result);
  if (rc != DBXERR_NONE) return rc;
  // The rows are copied before this returns; the result cursor and its libpq result go then.
  InterfaceRef<TVNXISQLCursor> source(result);
  InterfaceRef<TVNXVirtualISQLCursor> virt(new TVNXVirtualISQLCursor(result, false));
  if (virt->Fields.size() > typeOidColumn) DescribeAsTypeOid(virt->Fields[typeOidColumn]);
  const SQLResult imported = virt->ImportData();
  virt->SourceCursor.reset();
  if (imported != DBXERR_NONE) {
    SetErrorText(Res(res::SErrorImportingData));
    return imported;
  }
  out = std::move(virt);
  return DBXERR_NONE;
}

SQLResult TVNXISQLMetaData::getColumns(const char* tableName, const char* columnName, std::uint32_t columnType,
                                       void** cursor) {
  if (cursor) *cursor = nullptr;
  const std::string sql = ColumnsSql(SplitObjectName(tableName), columnName, columnType, SqlOptions());
  InterfaceRef<TVNXVirtualISQLCursor> virt;
  const SQLResult rc = ImportQuery(sql, kColDataType, virt);
  if (rc != DBXERR_NONE) return rc;
  ReworkColumns(*virt.get());
  SetOutInterface(cursor, virt.get());
  return DBXERR_NONE;
}

void TVNXISQLMetaData::ReworkColumns(TVNXVirtualISQLCursor& v) {
  RequireColumns(v, kColumnsExposed);
  const TVNXMappingOptions options = Connection->CurrentMappingOptions();
  for (TVNXRow& row : v.Rows) {
    const std::string name = CellToText(row[kColName - 1u], fldZSTRING);
    TVNXFieldMapping m;
    if (BuildFieldMapping(m, v.TypeCache, name, TypeOid(row[kColDataType - 1u]),
                          static_cast<std::int32_t>(CellToInt64(row[kColLength - 1u])),
                          static_cast<std::int32_t>(CellToInt64(row[kColPrecision - 1u])), options)) {
      SetNumber(v, row, kColDataType, m.FieldType);
      SetNumber(v, row, kColSubType, m.SubType);
      SetNumber(v, row, kColPrecision, m.Precision);
      SetNumber(v, row, kColScale, m.Scale);
      SetNumber(v, row, kColLength, m.Length);
    } else {
      // An unmapped type keeps the server's sizes; its OID is no field type code, and read
      // as one it would name some other type.
      SetNumber(v, row, kColDataType, fldUNKNOWN);
    }
  }
  DescribeAsFieldTypeCode(v.Fields[kColDataType]);
}

SQLResult TVNXISQLMetaData::getProcedureParams(const char* procedureName, const char* /*paramName*/,
                                               void** cursor) {
  if (cursor) *cursor = nullptr;
  const std::string sql = ProcedureParamsSql(SplitObjectName(procedureName), SqlOptions());
  InterfaceRef<TVNXVirtualISQLCursor> virt;
  const SQLResult rc = ImportQuery(sql, kParRetType, virt);
  if (rc != DBXERR_NONE) return rc;
  ReworkProcedureParams(*virt.get());
  SetOutInterface(cursor, virt.get());
  return DBXERR_NONE;
}

void TVNXISQLMetaData::ReworkProcedureParams(TVNXVirtualISQLCursor& v) {
  RequireColumns(v, kParRetType);
  // Servers served as they are name what a routine returns: void is nothing, and the
  // arguments of a routine with OUT parameters are its results.
  const bool modern = Connection->Server().ModernCatalogue();
  std::vector<TVNXRow> out;
  std::int64_t counter = 0;
  for (const TVNXRow& proc : v.Rows) {
    std::vector<RoutineArgument> args = ArgumentsWithModes(proc, proc.size());
    const bool withModes = !args.empty();
    if (!withModes)
      for (std::int32_t oid : TextToOidVector(CellToText(proc[kParArgTypes - 1u], fldZSTRING)))
        args.push_back({static_cast<std::uint32_t>(oid), paramIN});
    const std::uint32_t result = TypeOid(proc[kParRetType - 1u]);
    const bool resultRow = result != 0 && !(modern && (withModes || result == kVoidOid));
    if (resultRow) args.push_back({result, paramIN});  // the result type comes last
    for (std::size_t j = 1; j <= args.size(); ++j) {
      const std::string name = "Arg" + std::to_string(j);
      TVNXFieldMapping m;
      // Procedure arguments carry no size and no type modifier: -1 is the server's word for
      // both (a modifier of 0 would describe a numeric with scale -4, a size of 0 a varchar
      // of one character).
      if (!BuildFieldMapping(m, v.TypeCache, name, args[j - 1].Type, -1, -1, v.MappingOptions))
        throw EVNXError(Res(res::SErrorMappingFields));
      // The argument list and the result type are not exposed: the row ends with PARAM_NULLABLE.
      TVNXRow row(proc.begin(), proc.begin() + kParamsExposed);
      SetNumber(v, row, kParRecno, ++counter);
      row[kParName - 1u] = name;
      SetNumber(v, row, kParPosition, static_cast<std::int64_t>(j));
      SetNumber(v, row, kParType, args[j - 1].ParamType);
      SetNumber(v, row, kParDataType, m.FieldType);
      SetNumber(v, row, kParSubType, m.SubType);
      row[kParTypeName - 1u] = m.TypeName;
      SetNumber(v, row, kParPrecision, m.Precision);
      SetNumber(v, row, kParScale, m.Scale);
      SetNumber(v, row, kParLength, m.Length);
      SetNumber(v, row, kParNullable, m.Nullable ? 1 : 0);
      out.push_back(std::move(row));
    }
    if (resultRow) {
      out.back()[kParName - 1u] = std::string("Result");
      SetNumber(v, out.back(), kParType, 2);
    }
  }
  v.Rows = std::move(out);
  v.Fields.resize(kParamsExposed + 1);
}

}  // namespace vnx
