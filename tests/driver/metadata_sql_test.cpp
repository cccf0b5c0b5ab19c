// The catalogue SQL of the metadata object without a server: name splitting, the pieces of
// every list that servers with and without schemas and the options choose, and the escaping
// of application patterns.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/dbx_types.h"
#include "driver/metadata_sql.h"

using namespace vnx;

namespace {

TVNXMetaSqlOptions Options(std::int32_t versionNum = 80323) {
  TVNXMetaSqlOptions o;
  o.Database = "sales";
  o.Server.VersionNum = versionNum;
  return o;
}

TVNXObjectName Name(const char* text) { return SplitObjectName(text); }

constexpr std::int32_t kPre73 = 70103;

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

// The live metadata tests judge what the texts find; these check the pieces that carry a
// decision: the branches by server version and options, the filters and their order.
struct SqlCase {
  const char* name;
  std::string sql;
  std::vector<std::string> present;
  std::vector<std::string> absent;
};

TVNXMetaSqlOptions Plain(std::int32_t version = 80323) {
  TVNXMetaSqlOptions o = Options(version);
  o.UseQualifiedNames = false;
  o.RestrictedNameSpace = false;
  return o;
}

TEST(MetadataSql, BranchesByServerVersionAndOptions) {
  const SqlCase cases[] = {
      {"tables, defaults", TablesSql(Name(nullptr), 1, Options()),
       {"'sales'::name as CATALOG_NAME,pg_catalog.pg_get_userbyid(c.relowner)",
        "cast( nspname || '.' || c.relname as name) as TABLE_NAME",
        "(case when n.nspname ~ '^pg_temp' then 10 else (case when n.nspname ~ '^pg_' then 4",
        "where c.relkind in ('r', 'v')  and pg_catalog.pg_table_is_visible(c.oid) and c.relnamespace=n.oid order by",
        ") as Q1 where ((TABLE_TYPE & 1) > 0);"},
       {}},
      {"tables, schema pattern", TablesSql(Name("public.orders"), 0, Options()),
       {"and c.relname ~~ 'orders' and n.nspname ~~ 'public' and c.relnamespace=n.oid order by TABLE_NAME) as Q1;"},
       {"pg_table_is_visible", "TABLE_TYPE &"}},
      {"tables, bare names, unrestricted", TablesSql(Name("ord%"), 10, Plain()),
       {"cast( c.relname as name) as TABLE_NAME", "and c.relname ~~ 'ord%' and c.relnamespace=n.oid order by",
        "where ((TABLE_TYPE & 10) > 0);"},
       {"pg_table_is_visible", "nspname ||"}},
      {"tables, no schemas", TablesSql(Name("public.ord%"), 2, Options(kPre73)),
       {"as CATALOG_NAME,pg_get_userbyid(c.relowner)", "cast( c.relname as name)", "(case when c.relname ~ '^pg_temp'",
        "from pg_class as c where c.relkind in ('r', 'v')  and c.relname ~~ 'ord%' order by"},
       {"pg_namespace", "nspname", "pg_catalog."}},
      {"procedures, defaults", ProceduresSql(Name("add%"), 0, Options()),
       {"cast( nspname || '.' || proname as name) as PROC_NAME",
        "(case when (select nspname ~ '^pg_' from pg_namespace where p.pronamespace = pg_namespace.oid) then 8 else "
        "2|1 end) as PROC_TYPE",
        // The visibility test comes twice: restricting by name space does not decide it.
        "where prorettype>0 and pg_catalog.pg_function_is_visible(p.oid) and p.pronamespace=n.oid and proname ~~ "
        "'add%' and pg_catalog.pg_function_is_visible(p.oid) and p.pronamespace=n.oid order by PROC_NAME) as Q1;"},
       {}},
      {"procedures, schema, unrestricted", ProceduresSql(Name("public.add%"), 8, Plain()),
       {"cast(proname as name) as PROC_NAME",
        "where prorettype>0 and n.nspname ~~ 'public' and p.pronamespace=n.oid and proname ~~ 'add%' and "
        "pg_catalog.pg_function_is_visible(p.oid) order by PROC_NAME) as Q1 where ((PROC_TYPE & 8) > 0);"},
       {}},
      {"procedures, no schemas", ProceduresSql(Name(nullptr), 2, Options(kPre73)),
       {"(case when p.oid<=16384 then 8|2 else 2 end) as PROC_TYPE", "from pg_proc as p where prorettype>0 order by"},
       {"pg_namespace", "pg_catalog."}},
      {"indices, defaults", IndicesSql(Name("orders"), 4, Options()),
       {"cast( nspname || '.' || c.relname as name) as TABLENAME",
        "JOIN pg_attribute a ON (i.oid = a.attrelid) LEFT JOIN pg_namespace n ON ((n.oid = c.relnamespace)))",
        "and c.relname ~~ 'orders' and pg_catalog.pg_table_is_visible(c.oid) and c.relnamespace=n.oid order by",
        "where ((INDEX_TYPE & 4) > 0);"},
       {}},
      {"indices, no schemas", IndicesSql(Name(""), 0, Options(kPre73)),
       {"cast(c.relname as name) as TABLENAME", "JOIN pg_attribute a ON (i.oid = a.attrelid)) WHERE",
        "order by INDEX_NAME) as Q1;"},
       {"pg_namespace", "pg_table_is_visible", "INDEX_TYPE &"}},
      {"columns, defaults", ColumnsSql(Name("orders"), nullptr, 0, Options()),
       {"cast(nspname || '.' || c.relname as name) as TABLE_NAME",
        R"((case when d.adsrc ~ '^nextval\\(' then 4 else 8 end) as COLUMN_TYPE)",
        "(a.attnum>=1 or a.attnum=-2) and (a.attname != 'oid') and c.relname ~~ 'orders' and "
        "pg_catalog.pg_table_is_visible(c.oid) and c.relnamespace=n.oid and NOT attisdropped) as Q1 order by "
        "COLUMN_NAME;"},
       {}},
      {"columns, no schemas", ColumnsSql(Name("orders"), nullptr, 0, Options(kPre73)),
       {"cast(c.relname as name) as TABLE_NAME", "and (a.attname != 'oid') and c.relname ~~ 'orders') as Q1 order by"},
       {"pg_namespace", "attisdropped", "pg_catalog."}},
      {"procedure parameters, schema", ProcedureParamsSql(Name("public.add%"), Options()),
       {"cast( nspname || '.' || proname as name) as PROC_NAME",
        "from pg_proc as p, pg_namespace as n where True and n.nspname ~~ 'public' and p.pronamespace=n.oid and "
        "pg_catalog.pg_function_is_visible(p.oid) and proname ~~ 'add%';"},
       {}},
      {"procedure parameters, unrestricted", ProcedureParamsSql(Name(nullptr), Plain()),
       {"from pg_proc as p, pg_namespace as n where True and p.pronamespace=n.oid;"},
       {"pg_function_is_visible"}},
      {"procedure parameters, no schemas", ProcedureParamsSql(Name("add%"), Options(kPre73)),
       {"cast(proname as name) as PROC_NAME", "from pg_proc as p where True and p.oid>16384 and proname ~~ 'add%';"},
       {"pg_namespace", "pg_catalog."}},
  };
  for (const SqlCase& c : cases) {
    for (const std::string& f : c.present) EXPECT_NE(c.sql.find(f), std::string::npos) << c.name << " lacks " << f << "\n" << c.sql;
    for (const std::string& f : c.absent) EXPECT_EQ(c.sql.find(f), std::string::npos) << c.name << " has " << f << "\n" << c.sql;
  }
}

TEST(MetadataSql, OneFixedObjectListPerObjectType) {
  const TVNXMetaSqlOptions o = Options();
  const std::pair<std::uint32_t, const char*> cases[] = {
      {eObjTypeDatabase, "from pg_database, pg_user where pg_database.datdba=pg_user.usesysid"},
      {eObjTypeDataType, "from pg_type, pg_user where pg_type.typowner=pg_user.usesysid order by"},
      {eObjTypeTable, "relkind='r'"},
      {eObjTypeView, "relkind='v'"},
      {eObjTypeSynonym, "select 0 as RECNO, '' as CATALOG_NAME, '' as SCHEMA_NAME, '' as OBJECT_NAME where False"},
      {eObjTypeProcedure, "from pg_proc, pg_user where pg_proc.proowner=pg_user.usesysid"},
      // Users and groups are numbered by their identifiers: the views have no oid column.
      {eObjTypeUser, "select pg_user.usesysid::integer as RECNO, 'sales' as CATALOG_NAME"},
      {eObjTypeRole, "select pg_group.grosysid::integer as RECNO, 'sales' as CATALOG_NAME"},
      {eObjTypeUDT, "pg_type.oid>16384"},
  };
  for (const auto& [type, fragment] : cases)
    EXPECT_NE(ObjectListSql(type, o).find(fragment), std::string::npos) << type << ": " << ObjectListSql(type, o);
  EXPECT_EQ(ObjectListSql(9, o), "");
  EXPECT_EQ(ObjectListSql(0xFFFFFFFFu, o), "");
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

TEST(ColumnsSql, NextvalPatternFollowsTheServersBackslashes) {
  EXPECT_STREQ(NextvalPatternLiteral(false), R"('^nextval\\(')");
  EXPECT_STREQ(NextvalPatternLiteral(true), R"('^nextval\(')");
  TVNXMetaSqlOptions o = Options();
  o.StandardConformingStrings = true;
  EXPECT_NE(ColumnsSql(Name("t"), nullptr, 0, o).find(R"(d.adsrc ~ '^nextval\(' then 4)"), std::string::npos);
  EXPECT_FALSE(StandardConformingStrings(nullptr));
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
