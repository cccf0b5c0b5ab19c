// TVNXISQLMetaData: catalogue information of one connection (objects, tables, procedures,
// indices, columns and procedure parameters), each list handed out as a cursor.
#pragma once

#include <cstdint>
#include <string>

#include "driver/interface_object.h"
#include "driver/metadata_sql.h"

namespace vnx {

class TVNXISQLConnection;
class TVNXISQLCursor;
class TVNXVirtualISQLCursor;

class TVNXISQLMetaData final : public TVNXErrorObject {
 public:
  explicit TVNXISQLMetaData(TVNXISQLConnection* connection);
  ~TVNXISQLMetaData();

  // Interface operations.
  SQLResult SetOption(std::uint32_t option, OptionValue value);
  SQLResult GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength, std::int16_t* length);
  SQLResult getObjectList(std::uint32_t objectType, void** cursor);
  SQLResult getTables(const char* tableName, std::uint32_t tableType, void** cursor);
  SQLResult getProcedures(const char* procedureName, std::uint32_t procType, void** cursor);
  SQLResult getColumns(const char* tableName, const char* columnName, std::uint32_t columnType, void** cursor);
  SQLResult getProcedureParams(const char* procedureName, const char* paramName, void** cursor);
  SQLResult getIndices(const char* tableName, std::uint32_t indexType, void** cursor);

  // Runs a catalogue text and makes a result cursor over its result (with no added
  // reference). On failure returns 0x2000 with the text in ErrorMessage and no cursor.
  SQLResult ExecMetaQuery(const std::string& sql, TVNXISQLCursor*& cursor);

  // What the catalogue texts of this connection depend on; patterns are escaped for it.
  TVNXMetaSqlOptions SqlOptions() const;

  static const ISQLMetaDataVtbl Vtbl;

  InterfaceRef<TVNXISQLConnection> Connection;  // kept alive while the metadata object lives
  std::string SchemaName;
  std::string CatalogName;

 private:
  // Runs the text and hands its result cursor to the application.
  SQLResult ListQuery(const std::string& sql, void** cursor);
  // Runs the text and copies its result into a virtual cursor, reading the column
  // typeOidColumn as numbers; the result cursor is released before this returns. On
  // failure no cursor is made.
  SQLResult ImportQuery(const std::string& sql, std::uint16_t typeOidColumn, InterfaceRef<TVNXVirtualISQLCursor>& out);
  void ReworkColumns(TVNXVirtualISQLCursor& cursor);
  void ReworkProcedureParams(TVNXVirtualISQLCursor& cursor);
};

}  // namespace vnx
