// The catalogue SQL of the metadata object without a server: name splitting, the texts of
// every list for servers with and without schemas and the options that change them, and
// the escaping of application patterns.
#include <gtest/gtest.h>

#include <string>

#include "common/dbx_types.h"
#include "driver/metadata_sql.h"

using namespace vnx;

namespace {

TVNXMetaSqlOptions Options(double version = 8.323) {
  TVNXMetaSqlOptions o;
  o.Database = "sales";
  o.ServerVersion = version;
  return o;
}

TVNXObjectName Name(const char* text) { return SplitObjectName(text); }

constexpr double kPre73 = 7.13;

TEST(SplitObjectName, PatternsFromTheNameArgument) {
  auto check = [](const char* text, const char* catalog, const char* schema, const char* object) {
    TVNXObjectName n = SplitObjectName(text);
    EXPECT_EQ(n.Catalog, catalog) << (text ? text : "(nil)");
    EXPECT_EQ(n.Schema, schema) << (text ? text : "(nil)");
    EXPECT_EQ(n.Object, object) << (text ? text : "(nil)");
  };
  check(nullptr, "", "", "");
  check("", "", "", "");
  check(";orders", "", "", "");
  check("orders", "", "", "orders");
  check("public.orders", "", "public", "orders");
  check("db.public.orders;ignored.part", "db", "public", "orders");
  check("a\\.b", "", "", "a.b");  // an escaped dot is no separator
  check("x.y.z.w", "y", "z", "w");
  check("public.", "", "public", "");
}

TEST(TablesSql, DefaultsOnAServerWithSchemas) {
  // With defaults, a database named sales, no name and TableType 1.
  EXPECT_EQ(TablesSql(Name(nullptr), 1, Options()),
            R"(select * from (select c.oid::integer as RECNO, 'sales'::name as CATALOG_NAME,pg_catalog.pg_get_userbyid(c.relowner) as SCHEMA_NAME,cast( nspname || '.' || c.relname as name) as TABLE_NAME, (case when n.nspname ~ '^pg_temp' then 10 else (case when n.nspname ~ '^pg_' then 4 else (case when c.relkind = 'v' then 2 else 1 end) end) end) as TABLE_TYPE from pg_class as c, pg_namespace as n where c.relkind in ('r', 'v')  and pg_catalog.pg_table_is_visible(c.oid) and c.relnamespace=n.oid order by TABLE_NAME) as Q1 where ((TABLE_TYPE & 1) > 0);)");
}

TEST(TablesSql, SchemaPatternReplacesTheVisibilityTest) {
  EXPECT_EQ(TablesSql(Name("public.orders"), 0, Options()),
            R"(select * from (select c.oid::integer as RECNO, 'sales'::name as CATALOG_NAME,pg_catalog.pg_get_userbyid(c.relowner) as SCHEMA_NAME,cast( nspname || '.' || c.relname as name) as TABLE_NAME, (case when n.nspname ~ '^pg_temp' then 10 else (case when n.nspname ~ '^pg_' then 4 else (case when c.relkind = 'v' then 2 else 1 end) end) end) as TABLE_TYPE from pg_class as c, pg_namespace as n where c.relkind in ('r', 'v')  and c.relname ~~ 'orders' and n.nspname ~~ 'public' and c.relnamespace=n.oid order by TABLE_NAME) as Q1;)");
}

TEST(TablesSql, BareNamesAndNoNamespaceRestriction) {
  TVNXMetaSqlOptions o = Options();
  o.UseQualifiedNames = false;
  o.RestrictedNameSpace = false;
  EXPECT_EQ(TablesSql(Name("ord%"), 10, o),
            R"(select * from (select c.oid::integer as RECNO, 'sales'::name as CATALOG_NAME,pg_catalog.pg_get_userbyid(c.relowner) as SCHEMA_NAME,cast( c.relname as name) as TABLE_NAME, (case when n.nspname ~ '^pg_temp' then 10 else (case when n.nspname ~ '^pg_' then 4 else (case when c.relkind = 'v' then 2 else 1 end) end) end) as TABLE_TYPE from pg_class as c, pg_namespace as n where c.relkind in ('r', 'v')  and c.relname ~~ 'ord%' and c.relnamespace=n.oid order by TABLE_NAME) as Q1 where ((TABLE_TYPE & 10) > 0);)");
}

TEST(TablesSql, ServerWithoutSchemas) {
  // Qualified names and the namespace options have no effect before 7.3.
  EXPECT_EQ(TablesSql(Name("public.ord%"), 2, Options(kPre73)),
            R"(select * from (select c.oid::integer as RECNO, 'sales'::name as CATALOG_NAME,pg_get_userbyid(c.relowner) as SCHEMA_NAME,cast( c.relname as name) as TABLE_NAME, (case when c.relname ~ '^pg_temp' then 10 else (case when c.relname ~ '^pg_' then 4 else (case when c.relkind = 'v' then 2 else 1 end) end) end) as TABLE_TYPE from pg_class as c where c.relkind in ('r', 'v')  and c.relname ~~ 'ord%' order by TABLE_NAME) as Q1 where ((TABLE_TYPE & 2) > 0);)");
}

TEST(ProceduresSql, AlwaysVisibleFunctionsFrom73On) {
  EXPECT_EQ(ProceduresSql(Name("add%"), 0, Options()),
            R"(select * from (select p.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_catalog.pg_get_userbyid(p.proowner) as SCHEMA_NAME,cast( nspname || '.' || proname as name) as PROC_NAME, (case when (select nspname ~ '^pg_' from pg_namespace where p.pronamespace = pg_namespace.oid) then 8 else 2|1 end) as PROC_TYPE, pronargs as IN_PARAMS, 1 as OUT_PARAMS from pg_proc as p, pg_namespace as n where prorettype>0 and pg_catalog.pg_function_is_visible(p.oid) and p.pronamespace=n.oid and proname ~~ 'add%' and pg_catalog.pg_function_is_visible(p.oid) and p.pronamespace=n.oid order by PROC_NAME) as Q1;)");
  TVNXMetaSqlOptions o = Options();
  o.UseQualifiedNames = false;
  o.RestrictedNameSpace = false;
  EXPECT_EQ(ProceduresSql(Name("public.add%"), 8, o),
            R"(select * from (select p.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_catalog.pg_get_userbyid(p.proowner) as SCHEMA_NAME,cast(proname as name) as PROC_NAME, (case when (select nspname ~ '^pg_' from pg_namespace where p.pronamespace = pg_namespace.oid) then 8 else 2|1 end) as PROC_TYPE, pronargs as IN_PARAMS, 1 as OUT_PARAMS from pg_proc as p, pg_namespace as n where prorettype>0 and n.nspname ~~ 'public' and p.pronamespace=n.oid and proname ~~ 'add%' and pg_catalog.pg_function_is_visible(p.oid) order by PROC_NAME) as Q1 where ((PROC_TYPE & 8) > 0);)");
}

TEST(ProceduresSql, ServerWithoutSchemas) {
  EXPECT_EQ(ProceduresSql(Name(nullptr), 2, Options(kPre73)),
            R"(select * from (select p.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_get_userbyid(p.proowner) as SCHEMA_NAME,cast(proname as name) as PROC_NAME, (case when p.oid<=16384 then 8|2 else 2 end) as PROC_TYPE, pronargs as IN_PARAMS, 1 as OUT_PARAMS from pg_proc as p where prorettype>0 order by PROC_NAME) as Q1 where ((PROC_TYPE & 2) > 0);)");
}

TEST(IndicesSql, WithAndWithoutSchemas) {
  EXPECT_EQ(IndicesSql(Name("orders"), 4, Options()),
            R"(select * from (SELECT i.oid::integer as RECNO, 'sales'::name as CATALOG_NAME, pg_get_userbyid(c.relowner) as SCHEMA_NAME, cast( nspname || '.' || c.relname as name) as TABLENAME, i.relname AS INDEX_NAME, (select c2.relname from pg_class as c2, pg_index as i2 where i2.indisprimary and i2.indrelid=x.indrelid and c2.oid=i2.indexrelid) as PKEY_NAME, a.attname as COLUMN_NAME, a.attnum as COLUMN_POSITION, (case when x.indisprimary then 4 else (case when x.indisunique then 2 else (case when not (x.indisprimary or x.indisunique) then 1 else 0 end) end) end)::int2 as INDEX_TYPE, ''::char as SORT_ORDER, ''::char as FILTER FROM (((pg_index x JOIN pg_class c ON ((c.oid = x.indrelid))) JOIN pg_class i ON ((i.oid = x.indexrelid))) JOIN pg_attribute a ON (i.oid = a.attrelid) LEFT JOIN pg_namespace n ON ((n.oid = c.relnamespace))) WHERE ((c.relkind = 'r') AND (i.relkind = 'i')) and c.relname ~~ 'orders' and pg_catalog.pg_table_is_visible(c.oid) and c.relnamespace=n.oid order by INDEX_NAME) as Q1 where ((INDEX_TYPE & 4) > 0);)");
  EXPECT_EQ(IndicesSql(Name(""), 0, Options(kPre73)),
            R"(select * from (SELECT i.oid::integer as RECNO, 'sales'::name as CATALOG_NAME, pg_get_userbyid(c.relowner) as SCHEMA_NAME, cast(c.relname as name) as TABLENAME, i.relname AS INDEX_NAME, (select c2.relname from pg_class as c2, pg_index as i2 where i2.indisprimary and i2.indrelid=x.indrelid and c2.oid=i2.indexrelid) as PKEY_NAME, a.attname as COLUMN_NAME, a.attnum as COLUMN_POSITION, (case when x.indisprimary then 4 else (case when x.indisunique then 2 else (case when not (x.indisprimary or x.indisunique) then 1 else 0 end) end) end)::int2 as INDEX_TYPE, ''::char as SORT_ORDER, ''::char as FILTER FROM (((pg_index x JOIN pg_class c ON ((c.oid = x.indrelid))) JOIN pg_class i ON ((i.oid = x.indexrelid))) JOIN pg_attribute a ON (i.oid = a.attrelid)) WHERE ((c.relkind = 'r') AND (i.relkind = 'i')) order by INDEX_NAME) as Q1;)");
}

TEST(ColumnsSql, DefaultsOnAServerWithSchemas) {
  EXPECT_EQ(ColumnsSql(Name("orders"), nullptr, 0, Options()),
            R"(select * from (select a.attnum::integer as RECNO, 'sales'::name as CATALOG_NAME, pg_catalog.pg_get_userbyid(c.relowner) as SCHEMA_NAME, cast(nspname || '.' || c.relname as name) as TABLE_NAME, a.attname as COLUMN_NAME, a.attnum::int2 as COLUMN_POSITION, (case when a.attnum=-2 then 1 else 0 end) | (case when a.atthasdef then 8 else 0 end) | (case when d.adsrc ~ '^nextval\\(' then 4 else 8 end) as COLUMN_TYPE, a.atttypid as COLUMN_DATATYPE, t.typname as COLUMN_TYPENAME, 0::int2 as COLUMN_SUBTYPE, a.atttypmod::int4 as COLUMN_PRECISION, 0::int2 as COLUMN_SCALE, a.attlen::int4 as COLUMN_LENGTH, cast((case when a.attnotnull then 0 else 1 end) as int2) as COLUMN_NULLABLE from pg_class as c, pg_type as t, pg_attribute as a left join pg_attrdef as d on (a.attrelid=d.adrelid and a.attnum=d.adnum), pg_namespace as n where (a.atttypid=t.oid) and (c.relkind='r') and (a.attrelid=c.oid) and (a.attnum>=1 or a.attnum=-2) and (a.attname != 'oid') and c.relname ~~ 'orders' and pg_catalog.pg_table_is_visible(c.oid) and c.relnamespace=n.oid and NOT attisdropped) as Q1 order by COLUMN_NAME;)");
}

TEST(ColumnsSql, ColumnPatternMaskShowOidAndSchema) {
  TVNXMetaSqlOptions o = Options();
  o.ShowOID = true;
  o.UseQualifiedNames = false;
  const std::string sql = ColumnsSql(Name("public.orders"), "id%", 4, o);
  EXPECT_NE(sql.find("cast(c.relname as name) as TABLE_NAME"), std::string::npos);
  EXPECT_NE(sql.find("(a.attnum>=1 or a.attnum=-2) and attname ~~ 'id%' and c.relname ~~ 'orders' and n.nspname ~~ "
                     "'public' and c.relnamespace=n.oid and NOT attisdropped) as Q1 where ((COLUMN_TYPE & 4) > 0) "
                     "order by COLUMN_NAME;"),
            std::string::npos)
      << sql;
  EXPECT_EQ(sql.find("a.attname != 'oid'"), std::string::npos);
  EXPECT_EQ(sql.find("pg_table_is_visible"), std::string::npos);
  // An empty column name lists every column, as nil does.
  EXPECT_EQ(ColumnsSql(Name("orders"), "", 0, Options()), ColumnsSql(Name("orders"), nullptr, 0, Options()));
}

TEST(ColumnsSql, ServerWithoutSchemas) {
  EXPECT_EQ(ColumnsSql(Name("orders"), nullptr, 0, Options(kPre73)),
            R"(select * from (select a.attnum::integer as RECNO, 'sales'::name as CATALOG_NAME, pg_get_userbyid(c.relowner) as SCHEMA_NAME, cast(c.relname as name) as TABLE_NAME, a.attname as COLUMN_NAME, a.attnum::int2 as COLUMN_POSITION, (case when a.attnum=-2 then 1 else 0 end) | (case when a.atthasdef then 8 else 0 end) | (case when d.adsrc ~ '^nextval\\(' then 4 else 8 end) as COLUMN_TYPE, a.atttypid as COLUMN_DATATYPE, t.typname as COLUMN_TYPENAME, 0::int2 as COLUMN_SUBTYPE, a.atttypmod::int4 as COLUMN_PRECISION, 0::int2 as COLUMN_SCALE, a.attlen::int4 as COLUMN_LENGTH, cast((case when a.attnotnull then 0 else 1 end) as int2) as COLUMN_NULLABLE from pg_class as c, pg_type as t, pg_attribute as a left join pg_attrdef as d on (a.attrelid=d.adrelid and a.attnum=d.adnum) where (a.atttypid=t.oid) and (c.relkind='r') and (a.attrelid=c.oid) and (a.attnum>=1 or a.attnum=-2) and (a.attname != 'oid') and c.relname ~~ 'orders') as Q1 order by COLUMN_NAME;)");
}

TEST(ColumnsSql, NextvalPatternFollowsTheServersBackslashes) {
  EXPECT_STREQ(NextvalPatternLiteral(false), R"('^nextval\\(')");
  EXPECT_STREQ(NextvalPatternLiteral(true), R"('^nextval\(')");
  TVNXMetaSqlOptions o = Options();
  o.StandardConformingStrings = true;
  EXPECT_NE(ColumnsSql(Name("t"), nullptr, 0, o).find(R"(d.adsrc ~ '^nextval\(' then 4)"), std::string::npos);
  EXPECT_FALSE(StandardConformingStrings(nullptr));
}

constexpr const char kParamPlaceholders[] =
    "''::name as PARAM_NAME, 0::int2 as PARAM_POSITION, 0::int2 as PARAM_TYPE, 0::int2 as PARAM_DATATYPE, 0::int2 as "
    "PARAM_SUBTYPE, ''::name as PARAM_TYPENAME, 0::int4 as PARAM_PRECISION, 0::int2 as PARAM_SCALE, 0::int4 as "
    "PARAM_LENGTH, 1::int2 as PARAM_NULLABLE, ";

TEST(ProcedureParamsSql, WithAndWithoutSchemas) {
  EXPECT_EQ(ProcedureParamsSql(Name("public.add%"), Options()),
            std::string("select p.oid::integer as RECNO, 'sales'::name as CATALOG_NAME, pg_catalog.pg_get_userbyid("
                        "p.proowner) as SCHEMA_NAME, cast( nspname || '.' || proname as name) as PROC_NAME, ") +
                kParamPlaceholders +
                "proargtypes, prorettype from pg_proc as p, pg_namespace as n where True and n.nspname ~~ 'public' and "
                "p.pronamespace=n.oid and pg_catalog.pg_function_is_visible(p.oid) and proname ~~ 'add%';");
  TVNXMetaSqlOptions o = Options();
  o.RestrictedNameSpace = false;
  EXPECT_EQ(ProcedureParamsSql(Name(nullptr), o),
            std::string("select p.oid::integer as RECNO, 'sales'::name as CATALOG_NAME, pg_catalog.pg_get_userbyid("
                        "p.proowner) as SCHEMA_NAME, cast( nspname || '.' || proname as name) as PROC_NAME, ") +
                kParamPlaceholders + "proargtypes, prorettype from pg_proc as p, pg_namespace as n where True and "
                                     "p.pronamespace=n.oid;");
  EXPECT_EQ(ProcedureParamsSql(Name("add%"), Options(kPre73)),
            std::string("select p.oid::integer as RECNO, 'sales'::name as CATALOG_NAME, pg_get_userbyid(p.proowner) as "
                        "SCHEMA_NAME, cast(proname as name) as PROC_NAME, ") +
                kParamPlaceholders +
                "proargtypes, prorettype from pg_proc as p where True and p.oid>16384 and proname ~~ 'add%';");
}

TEST(ObjectListSql, OneFixedQueryPerObjectType) {
  const TVNXMetaSqlOptions o = Options();
  EXPECT_EQ(ObjectListSql(eObjTypeDatabase, o),
            "select pg_database.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, datname "
            "as OBJECT_NAME from pg_database, pg_user where pg_database.datdba=pg_user.usesysid order by  OBJECT_NAME");
  EXPECT_EQ(ObjectListSql(eObjTypeDataType, o),
            "select pg_type.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, typname as "
            "OBJECT_NAME from pg_type, pg_user where pg_type.typowner=pg_user.usesysid order by OBJECT_NAME");
  EXPECT_EQ(ObjectListSql(eObjTypeTable, o),
            "select pg_class.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, relname as "
            "OBJECT_NAME from pg_class, pg_user where pg_class.relowner=pg_user.usesysid and relkind='r' order by "
            "OBJECT_NAME");
  EXPECT_EQ(ObjectListSql(eObjTypeView, o),
            "select pg_class.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, relname as "
            "OBJECT_NAME from pg_class, pg_user where pg_class.relowner=pg_user.usesysid and relkind='v' order by "
            "OBJECT_NAME");
  EXPECT_EQ(ObjectListSql(eObjTypeSynonym, o),
            "select 0 as RECNO, '' as CATALOG_NAME, '' as SCHEMA_NAME, '' as OBJECT_NAME where False");
  EXPECT_EQ(ObjectListSql(eObjTypeProcedure, o),
            "select pg_proc.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, proname as "
            "OBJECT_NAME from pg_proc, pg_user where pg_proc.proowner=pg_user.usesysid order by OBJECT_NAME");
  // Users and groups are numbered by their identifiers: the views have no oid column.
  EXPECT_EQ(ObjectListSql(eObjTypeUser, o),
            "select pg_user.usesysid::integer as RECNO, 'sales' as CATALOG_NAME, '' as SCHEMA_NAME, usename as "
            "OBJECT_NAME from pg_user order by OBJECT_NAME");
  EXPECT_EQ(ObjectListSql(eObjTypeRole, o),
            "select pg_group.grosysid::integer as RECNO, 'sales' as CATALOG_NAME, '' as SCHEMA_NAME, groname as "
            "OBJECT_NAME from pg_group order by OBJECT_NAME");
  EXPECT_EQ(ObjectListSql(eObjTypeUDT, o),
            "select pg_type.oid::integer as RECNO, 'sales' as CATALOG_NAME, pg_user.usename as SCHEMA_NAME, typname as "
            "OBJECT_NAME from pg_type, pg_user where pg_type.typowner=pg_user.usesysid and pg_type.oid>16384 order by "
            "OBJECT_NAME");
  EXPECT_EQ(ObjectListSql(9, o), "");
  EXPECT_EQ(ObjectListSql(0xFFFFFFFFu, o), "");
}

TEST(MetadataSqlEscaping, PatternsAndNamesStayLiterals) {
  TVNXMetaSqlOptions o = Options();
  o.Database = "o'hara";
  // A quote can neither end the literal nor add a condition; wildcards keep working.
  const std::string sql = TablesSql(Name("x' or 1=1 or relname ~~ '%"), 0, o);
  EXPECT_NE(sql.find("'o''hara'::name as CATALOG_NAME"), std::string::npos) << sql;
  EXPECT_NE(sql.find("and c.relname ~~ 'x'' or 1=1 or relname ~~ ''%' and"), std::string::npos) << sql;
  EXPECT_NE(ObjectListSql(eObjTypeTable, o).find("'o''hara' as CATALOG_NAME"), std::string::npos);
  EXPECT_NE(ColumnsSql(Name("t"), "a'b_%", 0, o).find("and attname ~~ 'a''b_%'"), std::string::npos);
  EXPECT_NE(ProcedureParamsSql(Name("s'.p'"), o).find("n.nspname ~~ 's''' and p.pronamespace=n.oid and "
                                                      "pg_catalog.pg_function_is_visible(p.oid) and proname ~~ 'p'''"),
            std::string::npos);
  // A backslash reaches the server as one character however it reads literals.
  EXPECT_EQ(EscapedLiteralText("a\\'b", o), "a\\\\''b");
  o.StandardConformingStrings = true;
  EXPECT_EQ(EscapedLiteralText("a\\'b", o), "a\\''b");
  // The connection's own escaping is used when there is one.
  o.Escape = [](std::string_view text) { return "<" + std::string(text) + ">"; };
  EXPECT_NE(IndicesSql(Name("s.t"), 0, o).find("c.relname ~~ '<t>' and n.nspname ~~ '<s>'"), std::string::npos);
  // A NUL cannot stand in a literal: the text ends there.
  EXPECT_EQ(EscapedLiteralText(std::string_view("ab\0'c", 5), Options()), "ab");
}

TEST(MetadataSqlEscaping, MasksAreWrittenAsSigned32BitNumbers) {
  EXPECT_NE(TablesSql(Name(nullptr), 0x80000000u, Options()).find("where ((TABLE_TYPE & -2147483648) > 0);"),
            std::string::npos);
  EXPECT_EQ(IndicesSql(Name(nullptr), 0, Options()).find("INDEX_TYPE &"), std::string::npos);
}

}  // namespace
