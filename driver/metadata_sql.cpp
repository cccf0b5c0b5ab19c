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

const char* NextvalPattern(PGconn* handle) { return NextvalPatternLiteral(StandardConformingStrings(handle)); }

namespace {

bool HasSchemas(const TVNXMetaSqlOptions& o) { return o.Server.HasSchemas(); }
bool Qualified(const TVNXMetaSqlOptions& o) { return o.UseQualifiedNames && HasSchemas(o); }

// The relation kinds listed as tables and as views. Partitioned and foreign tables are
// tables; materialized views are views.
std::string TableKinds(const TVNXServerProfile& s) {
  std::string kinds = "'r'";
  if (s.HasPartitionedTables()) kinds += ", 'p'";
  if (s.HasForeignTables()) kinds += ", 'f'";
  return kinds;
}
std::string ViewKinds(const TVNXServerProfile& s) { return s.HasMaterializedViews() ? "'v', 'm'" : "'v'"; }
bool MoreKinds(const TVNXServerProfile& s) { return s.HasForeignTables() || s.HasMaterializedViews(); }

// A column default as text, from the pg_attrdef row named d.
std::string DefaultText(const TVNXServerProfile& s, const char* d) {
  if (s.DefaultsByGetExpr()) return std::string("pg_catalog.pg_get_expr(") + d + ".adbin, " + d + ".adrelid)";
  return std::string(d) + ".adsrc";
}

// The test that a column of pg_attribute a is filled by its server (serial or identity).
std::string AutoIncrementTest(const TVNXServerProfile& s, const char* d, bool standardConformingStrings) {
  std::string test = DefaultText(s, d) + " ~ " + NextvalPatternLiteral(standardConformingStrings);
  if (s.HasIdentityColumns()) test = "(" + test + " or a.attidentity in ('a', 'd'))";
  return test;
}

// Routines that are procedures or functions: aggregates and window functions are neither.
std::string RoutineFilter(const TVNXServerProfile& s) {
  if (!s.ModernCatalogue()) return "";
  if (s.HasProcedures()) return " and p.prokind in ('f', 'p')";
  if (s.AtLeast(80400)) return " and not p.proisagg and not p.proiswindow";
  return " and not p.proisagg";
}

// The owner of an object by its role identifier: every role, not only those that log in.
std::string OwnerName(const char* owner) { return std::string("pg_catalog.pg_get_userbyid(") + owner + ")"; }

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

// The object lists of servers with roles (8.1 on): owners by name whether they log in or
// not, users are the roles that log in and roles are all of them, and the relation kinds
// of today's servers. Literal columns are names, as the other columns are: untyped, today's
// servers would send them as text.
std::string RoleObjectListSql(std::uint32_t objectType, std::string db, const TVNXMetaSqlOptions& o) {
  db += "::name";
  auto list = [&](const char* table, const char* owner, const char* name, const std::string& where) {
    return std::string("select ") + table + ".oid::integer as RECNO, " + db + " as CATALOG_NAME, " +
           OwnerName(owner) + " as SCHEMA_NAME, " + name + " as OBJECT_NAME from pg_catalog." + table + where +
           " order by OBJECT_NAME";
  };
  switch (objectType) {
    case eObjTypeDatabase: return list("pg_database", "datdba", "datname", "");
    case eObjTypeDataType: return list("pg_type", "typowner", "typname", "");
    case eObjTypeTable: return list("pg_class", "relowner", "relname", " where relkind in (" + TableKinds(o.Server) + ")");
    case eObjTypeView: return list("pg_class", "relowner", "relname", " where relkind in (" + ViewKinds(o.Server) + ")");
    case eObjTypeSynonym:
      return "select 0 as RECNO, ''::name as CATALOG_NAME, ''::name as SCHEMA_NAME, ''::name as OBJECT_NAME "
             "where False";
    case eObjTypeProcedure: {
      std::string where = " as p where true" + RoutineFilter(o.Server);
      return "select p.oid::integer as RECNO, " + db + " as CATALOG_NAME, " + OwnerName("p.proowner") +
             " as SCHEMA_NAME, p.proname as OBJECT_NAME from pg_catalog.pg_proc" + where + " order by OBJECT_NAME";
    }
    case eObjTypeUser:
      return "select oid::integer as RECNO, " + db +
             " as CATALOG_NAME, ''::name as SCHEMA_NAME, rolname as OBJECT_NAME from pg_catalog.pg_roles where rolcanlogin "
             "order by OBJECT_NAME";
    case eObjTypeRole:
      return "select oid::integer as RECNO, " + db +
             " as CATALOG_NAME, ''::name as SCHEMA_NAME, rolname as OBJECT_NAME from pg_catalog.pg_roles "
             "order by OBJECT_NAME";
    case eObjTypeUDT:
      // Objects users made have identifiers from 16384 on.
      return list("pg_type", "typowner", "typname", " where oid >= 16384");
    default:
      return "";
  }
}

}  // namespace

std::string ObjectListSql(std::uint32_t objectType, const TVNXMetaSqlOptions& o) {
  const std::string db = Quoted(o.Database, o);
  if (o.Server.HasRoles()) return RoleObjectListSql(objectType, db, o);
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
  sql += " then 4 else (case when ";
  sql += MoreKinds(o.Server) ? "c.relkind in (" + ViewKinds(o.Server) + ")" : std::string("c.relkind = 'v'");
  sql += " then 2 else 1 end) end) end) as TABLE_TYPE ";
  sql += "from pg_class as c";
  if (v73) sql += ", pg_namespace as n";
  sql += " where c.relkind in (" + TableKinds(o.Server) + ", " + ViewKinds(o.Server) + ") ";
  if (!name.Object.empty()) sql += " and c.relname ~~ " + Quoted(name.Object, o);
  if (v73) sql += RelationNamespaceBlock(name, o);
  sql += " order by TABLE_NAME) as Q1" + TypeFilter("TABLE_TYPE", tableType) + ";";
  return sql;
}

std::string ProceduresSql(const TVNXObjectName& name, std::uint32_t procType, const TVNXMetaSqlOptions& o) {
  const bool v73 = HasSchemas(o);
  const bool modern = o.Server.ModernCatalogue();
  std::string sql = "select * from (select p.oid::integer as RECNO, " + Quoted(o.Database, o) +
                    (modern ? "::name" : "") + " as CATALOG_NAME, ";
  if (v73) sql += "pg_catalog.";
  sql += "pg_get_userbyid(p.proowner) as SCHEMA_NAME,cast(";
  if (Qualified(o)) sql += " nspname || '.' || ";
  sql += "proname as name) as PROC_NAME, ";
  // Procedures (called with CALL) are procedures only; functions are both.
  const char* userRoutine = modern && o.Server.HasProcedures() ? "(case when p.prokind = 'p' then 1 else 2|1 end)" : "2|1";
  sql += v73 ? "(case when (select nspname ~ '^pg_' from pg_namespace where p.pronamespace = pg_namespace.oid) "
               "then 8 else " + std::string(userRoutine) + " end)"
             : "(case when p.oid<=16384 then 8|2 else 2 end)";
  sql += " as PROC_TYPE, pronargs as IN_PARAMS, 1 as OUT_PARAMS from pg_proc as p";
  if (v73) sql += ", pg_namespace as n";
  sql += " where prorettype>0" + RoutineFilter(o.Server);
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
  sql += o.Server.HasPartitionedTables() ? ") WHERE ((c.relkind in ('r', 'p')) AND (i.relkind in ('i', 'I')))"
                                         : ") WHERE ((c.relkind = 'r') AND (i.relkind = 'i'))";
  if (!name.Object.empty()) sql += " and c.relname ~~ " + Quoted(name.Object, o);
  if (v73) sql += RelationNamespaceBlock(name, o);
  sql += " order by INDEX_NAME) as Q1" + TypeFilter("INDEX_TYPE", indexType) + ";";
  return sql;
}

std::string ColumnsSql(const TVNXObjectName& table, const char* columnName, std::uint32_t columnType,
                       const TVNXMetaSqlOptions& o) {
  const TVNXServerProfile& server = o.Server;
  const bool v73 = HasSchemas(o);
  // Before 12 attribute -2 is a table's oid column, the row identifier; from 12 on it is
  // xmin, which identifies no row, and a column named oid is an ordinary one.
  const bool rowOid = server.RowOidColumn();
  // A column of a domain is described by the domain's base type.
  const bool domains = server.ModernCatalogue();
  std::string sql = "select * from (select a.attnum::integer as RECNO, " + Quoted(o.Database, o) + "::name as CATALOG_NAME, ";
  if (v73) sql += "pg_catalog.";
  sql += "pg_get_userbyid(c.relowner) as SCHEMA_NAME, cast(";
  if (Qualified(o)) sql += "nspname || '.' || ";
  sql += "c.relname as name) as TABLE_NAME, a.attname as COLUMN_NAME, a.attnum::int2 as COLUMN_POSITION, ";
  sql += rowOid ? "(case when a.attnum=-2 then 1 else 0 end)" : "0";
  sql += " | (case when a.atthasdef then 8 else 0 end) | (case when ";
  sql += AutoIncrementTest(server, "d", o.StandardConformingStrings);
  sql += " then 4 else 8 end) as COLUMN_TYPE, ";
  sql += domains ? "(case when t.typtype = 'd' then t.typbasetype else a.atttypid end) as COLUMN_DATATYPE, "
                 : "a.atttypid as COLUMN_DATATYPE, ";
  sql += "t.typname as COLUMN_TYPENAME, 0::int2 as COLUMN_SUBTYPE, ";
  sql += domains ? "(case when t.typtype = 'd' then t.typtypmod else a.atttypmod end)::int4 as COLUMN_PRECISION, "
                 : "a.atttypmod::int4 as COLUMN_PRECISION, ";
  sql +=
      "0::int2 as COLUMN_SCALE, a.attlen::int4 as COLUMN_LENGTH, "
      "cast((case when a.attnotnull then 0 else 1 end) as int2) as COLUMN_NULLABLE ";
  sql +=
      "from pg_class as c, pg_type as t, pg_attribute as a left join pg_attrdef as d on (a.attrelid=d.adrelid "
      "and a.attnum=d.adnum)";
  if (v73) sql += ", pg_namespace as n";
  sql += " where (a.atttypid=t.oid) and ";
  sql += MoreKinds(server) ? "(c.relkind in (" + TableKinds(server) + "))" : std::string("(c.relkind='r')");
  sql += rowOid ? " and (a.attrelid=c.oid) and (a.attnum>=1 or a.attnum=-2)" : " and (a.attrelid=c.oid) and (a.attnum>=1)";
  if (columnName && *columnName) sql += " and attname ~~ " + Quoted(columnName, o);
  if (!o.ShowOID && rowOid) sql += " and (a.attname != 'oid')";
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
  sql += "proargtypes, prorettype";
  // Every argument with its mode, where a routine has OUT or INOUT ones.
  const bool modern = o.Server.ModernCatalogue() && o.Server.AtLeast(80100);
  if (modern) sql += ", proallargtypes, proargmodes";
  sql += " from pg_proc as p";
  if (v73) sql += ", pg_namespace as n";
  sql += " where True";
  if (modern) sql += RoutineFilter(o.Server);
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

std::string ExtendedFieldsSql(std::string_view tablePattern, const TVNXMetaSqlOptions& o) {
  const TVNXServerProfile& server = o.Server;
  std::string sql =
      "select pg_attribute.attname as COLUMN_NAME, (not pg_attribute.attnotnull) as ISNULLABLE, ";
  if (server.HasIdentityColumns()) {
    sql += "(pg_attrdef.adbin IS NOT NULL or pg_attribute.attidentity in ('a', 'd')) as ISAUTOINCREMENT";
  } else {
    sql += DefaultText(server, "pg_attrdef");
    sql += " IS NOT NULL as ISAUTOINCREMENT";
  }
  sql += " from pg_class, pg_attribute left join pg_attrdef on (";
  sql += DefaultText(server, "pg_attrdef");
  sql += " ~ ";
  sql += NextvalPatternLiteral(o.StandardConformingStrings);
  sql +=
      " and pg_attribute.attrelid=pg_attrdef.adrelid and pg_attribute.attnum=pg_attrdef.adnum) where "
      "(pg_attribute.attrelid=pg_class.oid) and (pg_class.relname ~~ ";
  sql += Quoted(tablePattern, o);
  sql += ") and (pg_attribute.attnum>=0) order by pg_attribute.attnum";
  return sql;
}

std::string IsProcedureSql(std::string_view routineName, const TVNXMetaSqlOptions& o) {
  // The name as the application wrote it for the call: an identifier or schema.identifier,
  // quoted or not, read the way the server reads it.
  const std::string name = Quoted(routineName, o);
  return "select coalesce(bool_or(p.prokind = 'p'), false) from pg_catalog.pg_proc p, "
         "(select pg_catalog.parse_ident(" + name + ", false) as parts) as r "
         "where p.proname = r.parts[array_length(r.parts, 1)] and case when array_length(r.parts, 1) = 1 "
         "then pg_catalog.pg_function_is_visible(p.oid) else p.pronamespace = (select oid from "
         "pg_catalog.pg_namespace where nspname = r.parts[array_length(r.parts, 1) - 1]) end";
}

}  // namespace vnx
