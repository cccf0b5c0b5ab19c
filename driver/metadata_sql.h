// The catalogue SQL of the metadata object, built from fixed pieces chosen by server version
// and connection options. Pure text building: no server is needed to see what would be sent.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "driver/server_profile.h"

namespace vnx {

// The three patterns of a name argument. Catalog is split off but never used in a query.
struct TVNXObjectName {
  std::string Catalog;
  std::string Schema;
  std::string Object;
};

// Drops everything from the first ";", then splits at "." (a backslash takes the next
// character literally): the last part is the object, the one before it the schema, the
// one before that the catalog. A null name is the empty text.
TVNXObjectName SplitObjectName(const char* name);

// What the catalogue texts depend on besides the name arguments.
struct TVNXMetaSqlOptions {
  std::string Database;          // the connected database, as the application named it
  TVNXServerProfile Server = [] {  // what the server offers; 8.3 unless told otherwise
    TVNXServerProfile p;
    p.VersionNum = 80300;
    return p;
  }();
  bool UseQualifiedNames = true;
  bool RestrictedNameSpace = true;
  bool ShowOID = false;
  bool StandardConformingStrings = false;  // how the server reads backslashes in literals, now
  // Escapes a text for use between single quotes on the target connection. When empty,
  // quotes are doubled, and backslashes too unless StandardConformingStrings is set.
  std::function<std::string(std::string_view)> Escape;
};

// The text of a string literal's contents, escaped as `options` says.
std::string EscapedLiteralText(std::string_view text, const TVNXMetaSqlOptions& options);

// The literal of the regular expression that finds a nextval default: '^nextval\\(' when
// the server reads backslashes as escapes (standard_conforming_strings off, as on every
// server this driver accepts), '^nextval\(' when it does not.
const char* NextvalPatternLiteral(bool standardConformingStrings);
// The same for a live connection, asking it how it reads backslashes.
const char* NextvalPattern(PGconn* handle);

// getObjectList: one fixed query per object type; an unknown type gives the empty text.
std::string ObjectListSql(std::uint32_t objectType, const TVNXMetaSqlOptions& options);
std::string TablesSql(const TVNXObjectName& name, std::uint32_t tableType, const TVNXMetaSqlOptions& options);
std::string ProceduresSql(const TVNXObjectName& name, std::uint32_t procType, const TVNXMetaSqlOptions& options);
std::string IndicesSql(const TVNXObjectName& name, std::uint32_t indexType, const TVNXMetaSqlOptions& options);
// columnName null or empty lists every column.
std::string ColumnsSql(const TVNXObjectName& table, const char* columnName, std::uint32_t columnType,
                       const TVNXMetaSqlOptions& options);
std::string ProcedureParamsSql(const TVNXObjectName& procedure, const TVNXMetaSqlOptions& options);
// The extended field information of a single-table select: nullability and auto-increment
// of each column of the table whose name (a LIKE pattern that matches only it) is given.
std::string ExtendedFieldsSql(std::string_view tablePattern, const TVNXMetaSqlOptions& options);
// Whether the named routine is a procedure (called with CALL rather than select); one row
// with a boolean. Only for servers that have procedures.
std::string IsProcedureSql(std::string_view routineName, const TVNXMetaSqlOptions& options);

}  // namespace vnx
