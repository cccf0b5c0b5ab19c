// Catalogue SQL texts of getObjectList, getTables, getProcedures, getIndices, getColumns and
// getProcedureParams, and the splitting of name arguments into patterns.
#include "driver/metadata_sql.h"

#include <cstring>
#include <vector>

#include "common/conversion.h"
#include "common/dbx_types.h"
#include "libpq/libpq_api.h"

namespace vnx {

TVNXObjectName SplitObjectName(const char* name) {
  TVNXObjectName out;
  std::string_view text = name ? std::string_view(name) : std::string_view();
  const std::size_t semicolon = text.find(';');
  if (semicolon != std::string_view::npos) text = text.substr(0, semicolon);
  if (text.empty()) return out;
  std::vector<std::string> parts = SplitText(text, '.');
  const std::size_t n = parts.size();
  out.Object = std::move(parts[n - 1]);
  if (n >= 2) out.Schema = std::move(parts[n - 2]);
  if (n >= 3) out.Catalog = std::move(parts[n - 3]);
  return out;
}

std::string EscapedLiteralText(std::string_view text, const TVNXMetaSqlOptions& options) {
  if (options.Escape) return options.Escape(text);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\0') break;  // a literal cannot hold it; libpq's escaping stops there too
    if (c == '\'' || (c == '\\' && !options.StandardConformingStrings)) out += c;
    out += c;
  }
  return out;
}

const char* NextvalPatternLiteral(bool standardConformingStrings) {
  return standardConformingStrings ? "'^nextval\\('" : "'^nextval\\\\('";
}

bool StandardConformingStrings(PGconn* handle) {
  const char* scs = handle && PQ.PQparameterStatus ? PQ.PQparameterStatus(handle, "standard_conforming_strings")
                                                   : nullptr;
  return scs && std::strcmp(scs, "on") == 0;
}

const char* NextvalPattern(PGconn* handle) { return NextvalPatternLiteral(StandardConformingStrings(handle)); }

namespace {

bool HasSchemas(const TVNXMetaSqlOptions& o) { return o.ServerVersion >= 7.3; }
bool Qualified(const TVNXMetaSqlOptions& o) { return o.UseQualifiedNames && HasSchemas(o); }

// A pattern or name between single quotes.
std::string Quoted(std::string_view text, const TVNXMetaSqlOptions& o) {
  return "'" + EscapedLiteralText(text, o) + "'";
}

// Catalogue columns hold masks of a few bits; the application's mask goes in as the signed
// 32-bit number it is on the wire.
std::string TypeFilter(const char* column, std::uint32_t mask) {
  if (mask == 0) return "";
  return std::string(" where ((") + column + " & " + std::to_string(static_cast<std::int32_t>(mask)) + ") > 0)";
}

// Schema pattern or visibility test, then the join to pg_namespace.
std::string RelationNamespaceBlock(const TVNXObjectName& name, const TVNXMetaSqlOptions& o) {
  std::string sql;
  if (!name.Schema.empty()) sql += " and n.nspname ~~ " + Quoted(name.Schema, o);
  else if (o.RestrictedNameSpace) sql += " and pg_catalog.pg_table_is_visible(c.oid)";
  sql += " and c.relnamespace=n.oid";
  return sql;
}

std::string FunctionNamespaceBlock(const TVNXObjectName& name, const TVNXMetaSqlOptions& o) {
  std::string sql;
  if (!name.Schema.empty()) sql += " and n.nspname ~~ " + Quoted(name.Schema, o);
  else if (o.RestrictedNameSpace) sql += " and pg_catalog.pg_function_is_visible(p.oid)";
  sql += " and p.pronamespace=n.oid";
  return sql;
}

}  // namespace

std::string ObjectListSql(std::uint32_t objectType, const TVNXMetaSqlOptions& o) {
  const std::string db = Quoted(o.Database, o);
  switch (objectType) {
    case eObjTypeDatabase:
      return "select pg_database.oid::integer as RECNO, " + db +
             " as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, datname as OBJECT_NAME from pg_database, pg_user "
             "where pg_database.datdba=pg_user.usesysid order by  OBJECT_NAME";
    case eObjTypeDataType:
      return "select pg_type.oid::integer as RECNO, " + db +
             " as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, typname as OBJECT_NAME from pg_type, pg_user "
             "where pg_type.typowner=pg_user.usesysid order by OBJECT_NAME";
    case eObjTypeTable:
    case eObjTypeView:
      return "select pg_class.oid::integer as RECNO, " + db +
             " as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, relname as OBJECT_NAME from pg_class, pg_user "
             "where pg_class.relowner=pg_user.usesysid and relkind=" +
             (objectType == eObjTypeTable ? "'r'" : "'v'") + " order by OBJECT_NAME";
    case eObjTypeSynonym:
      return "select 0 as RECNO, '' as CATALOG_NAME, '' as SCHEMA_NAME, '' as OBJECT_NAME where False";
    case eObjTypeProcedure:
      return "select pg_proc.oid::integer as RECNO, " + db +
             " as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, proname as OBJECT_NAME from pg_proc, pg_user "
             "where pg_proc.proowner=pg_user.usesysid order by OBJECT_NAME";
    // pg_user and pg_group are views without an oid column on every server from 8.1 on;
    // the user and group identifiers number their rows instead.
    case eObjTypeUser:
      return "select pg_user.usesysid::integer as RECNO, " + db +
             " as CATALOG_NAME, '' as SCHEMA_NAME, usename as OBJECT_NAME from pg_user order by OBJECT_NAME";
    case eObjTypeRole:
      return "select pg_group.grosysid::integer as RECNO, " + db +
             " as CATALOG_NAME, '' as SCHEMA_NAME, groname as OBJECT_NAME from pg_group order by OBJECT_NAME";
    case eObjTypeUDT:
      return "select pg_type.oid::integer as RECNO, " + db +
             " as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, typname as OBJECT_NAME from pg_type, pg_user "
             "where pg_type.typowner=pg_user.usesysid and pg_type.oid>16384 order by OBJECT_NAME";
    default:
      return "";  // the server answers "Query is empty"
  }
}

std::string TablesSql(const TVNXObjectName& name, std::uint32_t tableType, const TVNXMetaSqlOptions& o) {
  const bool v73 = HasSchemas(o);
  std::string sql = "select * from (select c.oid::integer as RECNO, " + Quoted(o.Database, o) + "::name as CATALOG_NAME,";
  if (v73) sql += "pg_catalog.";
  sql += "pg_get_userbyid(c.relowner) as SCHEMA_NAME,cast(";
  if (Qualified(o)) sql += " nspname || '.' ||";
  sql += " c.relname as name) as TABLE_NAME, ";
  sql += "(case when ";
  sql += v73 ? "n.nspname" : "c.relname";
  sql += " ~ '^pg_temp' then 10 else (case when ";
  sql += v73 ? "n.nspname ~ '^pg_'" : "c.relname ~ '^pg_'";
  sql += " then 4 else (case when c.relkind = 'v' then 2 else 1 end) end) end) as TABLE_TYPE ";
  sql += "from pg_class as c";
  if (v73) sql += ", pg_namespace as n";
  sql += " where c.relkind in ('r', 'v') ";
  if (!name.Object.empty()) sql += " and c.relname ~~ " + Quoted(name.Object, o);
  if (v73) sql += RelationNamespaceBlock(name, o);
  sql += " order by TABLE_NAME) as Q1" + TypeFilter("TABLE_TYPE", tableType) + ";";
  return sql;
}

std::string ProceduresSql(const TVNXObjectName& name, std::uint32_t procType, const TVNXMetaSqlOptions& o) {
  const bool v73 = HasSchemas(o);
  std::string sql = "select * from (select p.oid::integer as RECNO, " + Quoted(o.Database, o) + " as CATALOG_NAME, ";
  if (v73) sql += "pg_catalog.";
  sql += "pg_get_userbyid(p.proowner) as SCHEMA_NAME,cast(";
  if (Qualified(o)) sql += " nspname || '.' || ";
  sql += "proname as name) as PROC_NAME, ";
  sql += v73 ? "(case when (select nspname ~ '^pg_' from pg_namespace where p.pronamespace = pg_namespace.oid) "
               "then 8 else 2|1 end)"
             : "(case when p.oid<=16384 then 8|2 else 2 end)";
  sql += " as PROC_TYPE, pronargs as IN_PARAMS, 1 as OUT_PARAMS from pg_proc as p";
  if (v73) sql += ", pg_namespace as n";
  sql += " where prorettype>0";
  if (v73) sql += FunctionNamespaceBlock(name, o);
  if (!name.Object.empty()) sql += " and proname ~~ " + Quoted(name.Object, o);
  if (v73) {
    sql += " and pg_catalog.pg_function_is_visible(p.oid)";
    if (o.RestrictedNameSpace) sql += " and p.pronamespace=n.oid";
  }
  sql += " order by PROC_NAME) as Q1" + TypeFilter("PROC_TYPE", procType) + ";";
  return sql;
}

std::string IndicesSql(const TVNXObjectName& name, std::uint32_t indexType, const TVNXMetaSqlOptions& o) {
  const bool v73 = HasSchemas(o);
  std::string sql = "select * from (SELECT i.oid::integer as RECNO, " + Quoted(o.Database, o) +
                    "::name as CATALOG_NAME, pg_get_userbyid(c.relowner) as SCHEMA_NAME, cast(";
  if (Qualified(o)) sql += " nspname || '.' || ";
  sql += "c.relname as name) as TABLENAME, ";
  sql +=
      "i.relname AS INDEX_NAME, (select c2.relname from pg_class as c2, pg_index as i2 where i2.indisprimary "
      "and i2.indrelid=x.indrelid and c2.oid=i2.indexrelid) as PKEY_NAME, a.attname as COLUMN_NAME, "
      "a.attnum as COLUMN_POSITION, ";
  sql +=
      "(case when x.indisprimary then 4 else (case when x.indisunique then 2 else (case when not "
      "(x.indisprimary or x.indisunique) then 1 else 0 end) end) end)::int2 as INDEX_TYPE, ''::char as "
      "SORT_ORDER, ''::char as FILTER ";
  sql +=
      "FROM (((pg_index x JOIN pg_class c ON ((c.oid = x.indrelid))) JOIN pg_class i ON ((i.oid = "
      "x.indexrelid))) JOIN pg_attribute a ON (i.oid = a.attrelid)";
  if (v73) sql += " LEFT JOIN pg_namespace n ON ((n.oid = c.relnamespace))";
  sql += ") WHERE ((c.relkind = 'r') AND (i.relkind = 'i'))";
  if (!name.Object.empty()) sql += " and c.relname ~~ " + Quoted(name.Object, o);
  if (v73) sql += RelationNamespaceBlock(name, o);
  sql += " order by INDEX_NAME) as Q1" + TypeFilter("INDEX_TYPE", indexType) + ";";
  return sql;
}

std::string ColumnsSql(const TVNXObjectName& table, const char* columnName, std::uint32_t columnType,
                       const TVNXMetaSqlOptions& o) {
  const bool v73 = HasSchemas(o);
  std::string sql = "select * from (select a.attnum::integer as RECNO, " + Quoted(o.Database, o) + "::name as CATALOG_NAME, ";
  if (v73) sql += "pg_catalog.";
  sql += "pg_get_userbyid(c.relowner) as SCHEMA_NAME, cast(";
  if (Qualified(o)) sql += "nspname || '.' || ";
  sql += "c.relname as name) as TABLE_NAME, a.attname as COLUMN_NAME, a.attnum::int2 as COLUMN_POSITION, ";
  sql += "(case when a.attnum=-2 then 1 else 0 end) | (case when a.atthasdef then 8 else 0 end) | (case when d.adsrc ~ ";
  sql += NextvalPatternLiteral(o.StandardConformingStrings);
  sql += " then 4 else 8 end) as COLUMN_TYPE, ";
  sql +=
      "a.atttypid as COLUMN_DATATYPE, t.typname as COLUMN_TYPENAME, 0::int2 as COLUMN_SUBTYPE, "
      "a.atttypmod::int4 as COLUMN_PRECISION, 0::int2 as COLUMN_SCALE, a.attlen::int4 as COLUMN_LENGTH, "
      "cast((case when a.attnotnull then 0 else 1 end) as int2) as COLUMN_NULLABLE ";
  sql +=
      "from pg_class as c, pg_type as t, pg_attribute as a left join pg_attrdef as d on (a.attrelid=d.adrelid "
      "and a.attnum=d.adnum)";
  if (v73) sql += ", pg_namespace as n";
  sql += " where (a.atttypid=t.oid) and (c.relkind='r') and (a.attrelid=c.oid) and (a.attnum>=1 or a.attnum=-2)";
  if (columnName && *columnName) sql += " and attname ~~ " + Quoted(columnName, o);
  if (!o.ShowOID) sql += " and (a.attname != 'oid')";
  if (!table.Object.empty()) sql += " and c.relname ~~ " + Quoted(table.Object, o);
  if (v73) {
    if (!table.Schema.empty()) sql += " and n.nspname ~~ " + Quoted(table.Schema, o);
    else if (o.RestrictedNameSpace) sql += " and pg_catalog.pg_table_is_visible(c.oid)";
    sql += " and c.relnamespace=n.oid and NOT attisdropped";
  }
  sql += ") as Q1";
  sql += TypeFilter("COLUMN_TYPE", columnType);
  sql += " order by COLUMN_NAME;";
  return sql;
}

std::string ProcedureParamsSql(const TVNXObjectName& procedure, const TVNXMetaSqlOptions& o) {
  const bool v73 = HasSchemas(o);
  std::string sql = "select p.oid::integer as RECNO, " + Quoted(o.Database, o) + "::name as CATALOG_NAME, ";
  if (v73) sql += "pg_catalog.";
  sql += "pg_get_userbyid(p.proowner) as SCHEMA_NAME, cast(";
  if (Qualified(o)) sql += " nspname || '.' || ";
  sql += "proname as name) as PROC_NAME, ";
  sql +=
      "''::name as PARAM_NAME, 0::int2 as PARAM_POSITION, 0::int2 as PARAM_TYPE, 0::int2 as PARAM_DATATYPE, "
      "0::int2 as PARAM_SUBTYPE, ''::name as PARAM_TYPENAME, 0::int4 as PARAM_PRECISION, 0::int2 as PARAM_SCALE, "
      "0::int4 as PARAM_LENGTH, 1::int2 as PARAM_NULLABLE, ";
  sql += "proargtypes, prorettype from pg_proc as p";
  if (v73) sql += ", pg_namespace as n";
  sql += " where True";
  if (v73) {
    if (!procedure.Schema.empty()) sql += " and n.nspname ~~ " + Quoted(procedure.Schema, o);
    sql += " and p.pronamespace=n.oid";
    if (o.RestrictedNameSpace) sql += " and pg_catalog.pg_function_is_visible(p.oid)";
  } else {
    sql += " and p.oid>16384";  // user procedures only
  }
  if (!procedure.Object.empty()) sql += " and proname ~~ " + Quoted(procedure.Object, o);
  sql += ";";
  return sql;
}

}  // namespace vnx
