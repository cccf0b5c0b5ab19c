// The server profile without a server: version numbers from the texts servers write, the
// version check with and without AcceptNewerServers, what each version offers, and the
// catalogue SQL that follows from it.
#include <gtest/gtest.h>

#include "common/dbx_types.h"
#include "driver/connection_options.h"
#include "driver/metadata_sql.h"
#include "driver/server_profile.h"

using namespace vnx;

namespace {

TEST(ServerProfile, VersionNumbersFromVersionTexts) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"8.3.23", 80323},
      {"PostgreSQL 8.3.23 on i686-pc-linux-gnu", 80323},
      {"9.6.24", 90624},
      {"10.23", 100023},
      {"15.14 (Debian 15.14-1.pgdg120+1)", 150014},
      {"PostgreSQL 18.7 on x86_64-pc-linux-gnu", 180007},
      {"18beta1", 180000},
      {"EnterpriseDB 8.3.0.12 on i686", 80300},
      {"PostgreSQL 7.1", 70100},
      {"Ingres 9.2.0", 0},
      {"", 0},
      {"PostgreSQL", 0},
  };
  for (const auto& [text, num] : cases) EXPECT_EQ(VersionNumFromText(text), num) << text;
}

TEST(ServerProfile, VersionCheck) {
  using V = TVNXVersionVerdict;
  struct Case {
    const char* text;      // what version() says
    std::int32_t reported; // server_version_num, when it differs from the text
    bool newer;            // AcceptNewerServers
    V verdict;
  };
  const Case cases[] = {
      {"PostgreSQL 8.3.23 on i686", 0, false, V::Accepted},
      {"PostgreSQL 8.3.23 on i686", 0, true, V::Accepted},
      {"PostgreSQL 7.1.3 on i686", 0, false, V::Accepted},
      {"EnterpriseDB 8.3.0.12 on i686", 0, false, V::Accepted},
      {"PostgreSQL 8.4.0 on i686", 0, false, V::NotTested},
      {"PostgreSQL 8.4.0 on i686", 0, true, V::Accepted},
      {"PostgreSQL 9.6.24 on x86_64", 0, true, V::Accepted},
      {"PostgreSQL 10.23 on x86_64", 0, false, V::NotTested},
      {"PostgreSQL 10.23 on x86_64", 0, true, V::Accepted},
      {"PostgreSQL 18.7 on x86_64", 0, true, V::Accepted},
      {"PostgreSQL 19.1 on x86_64", 0, true, V::Untested},
      {"PostgreSQL 19.1 on x86_64", 0, false, V::NotTested},
      {"PostgreSQL 7.0.3 on i686", 0, true, V::TooOld},
      {"Ingres 9.2.0 on i686", 0, true, V::Unknown},
      // A server that shows an older text than it is (a compatibility layer): the text
      // decides what is accepted, the server's own number what it is served as.
      {"PostgreSQL 8.3.23 on i686", 190002, true, V::Untested},
      {"PostgreSQL 8.3.23 on i686", 150014, false, V::Accepted},
  };
  for (const Case& c : cases) {
    TVNXServerProfile p;
    p.VersionText = c.text;
    p.Version = ServerVersionNumber(c.text);
    p.VersionNum = c.newer && c.reported ? c.reported : VersionNumFromText(c.text);
    p.Newer = c.newer;
    EXPECT_EQ(JudgeServerVersion(p), c.verdict) << c.text << (c.newer ? " accepting newer" : "");
  }
}

TEST(ServerProfile, WhatEachVersionOffers) {
  struct Case {
    std::int32_t num;
    bool newer;
    bool schemas, getExpr, rowOid, identity, procedures, partitioned, roles, modern;
  };
  const Case cases[] = {
      {70103, false, false, false, true, false, false, false, false, false},
      {80323, false, true, false, true, false, false, false, false, false},
      {80323, true, true, true, true, false, false, false, true, true},
      {100023, true, true, true, true, true, false, true, true, true},
      {110022, true, true, true, true, true, true, true, true, true},
      {120022, true, true, true, false, true, true, true, true, true},
      {180007, true, true, true, false, true, true, true, true, true},
  };
  for (const Case& c : cases) {
    TVNXServerProfile p;
    p.VersionNum = c.num;
    p.Newer = c.newer;
    SCOPED_TRACE(std::to_string(c.num) + (c.newer ? " newer" : ""));
    EXPECT_EQ(p.HasSchemas(), c.schemas);
    EXPECT_EQ(p.DefaultsByGetExpr(), c.getExpr);
    EXPECT_EQ(p.RowOidColumn(), c.rowOid);
    EXPECT_EQ(p.HasIdentityColumns(), c.identity);
    EXPECT_EQ(p.HasProcedures(), c.procedures);
    EXPECT_EQ(p.HasPartitionedTables(), c.partitioned);
    EXPECT_EQ(p.HasRoles(), c.roles);
    EXPECT_EQ(p.ModernCatalogue(), c.modern);
  }
}

TEST(ServerProfile, CharacterWidthsOfEncodings) {
  const std::pair<const char*, int> cases[] = {
      {"UTF8", 4}, {"UTF-8", 4}, {"utf8", 4}, {"EUC_JP", 3}, {"EUC-JP", 3}, {"SJIS", 2},
      {"SHIFT_JIS_2004", 2}, {"GB18030", 4}, {"BIG5", 2}, {"LATIN1", 1}, {"ISO-8859-1", 1},
      {"SQL_ASCII", 1}, {"", 1},
  };
  for (const auto& [name, bytes] : cases) EXPECT_EQ(MaxCharBytes(name), bytes) << name;
  EXPECT_TRUE(SameEncoding("UTF8", "UTF-8"));
  EXPECT_TRUE(SameEncoding("euc_jp", "EUC-JP"));
  EXPECT_FALSE(SameEncoding("LATIN1", "UTF8"));
  EXPECT_FALSE(SameEncoding("", ""));
}

// The catalogue texts ask the profile: each version branch shows in its text.
TEST(ServerProfile, CatalogueSqlFollowsTheProfile) {
  auto options = [](std::int32_t num, bool newer) {
    TVNXMetaSqlOptions o;
    o.Database = "db";
    o.Server.VersionNum = num;
    o.Server.Newer = newer;
    return o;
  };
  const TVNXObjectName none = SplitObjectName(nullptr);
  struct Case {
    std::int32_t num;
    bool newer;
    std::string sql;
    const char* has;
    const char* hasNot;
  };
  const Case cases[] = {
      {80323, false, ColumnsSql(none, nullptr, 0, options(80323, false)), "d.adsrc ~ '^nextval\\\\('", "pg_get_expr"},
      {80323, false, ColumnsSql(none, nullptr, 0, options(80323, false)), "(a.attnum>=1 or a.attnum=-2)", "typbasetype"},
      {110022, true, ColumnsSql(none, nullptr, 0, options(110022, true)), "(a.attnum>=1 or a.attnum=-2)", "adsrc"},
      {120022, true, ColumnsSql(none, nullptr, 0, options(120022, true)),
       "pg_catalog.pg_get_expr(d.adbin, d.adrelid) ~ '^nextval\\\\(' or a.attidentity in ('a', 'd'))", "attnum=-2"},
      {120022, true, ColumnsSql(none, nullptr, 0, options(120022, true)), "(c.relkind in ('r', 'p', 'f'))",
       "a.attname != 'oid'"},
      {120022, true, ColumnsSql(none, nullptr, 0, options(120022, true)),
       "(case when t.typtype = 'd' then t.typbasetype else a.atttypid end)", "adsrc"},
      {100023, true, TablesSql(none, 0, options(100023, true)), "c.relkind in ('r', 'p', 'f', 'v', 'm')", "('r', 'v')"},
      {80323, false, TablesSql(none, 0, options(80323, false)), "c.relkind in ('r', 'v')", "'m'"},
      {110022, true, IndicesSql(none, 0, options(110022, true)), "(i.relkind in ('i', 'I'))", "(i.relkind = 'i')"},
      {110022, true, ProceduresSql(none, 0, options(110022, true)), "p.prokind in ('f', 'p')", "proisagg"},
      {100023, true, ProceduresSql(none, 0, options(100023, true)), "not p.proisagg and not p.proiswindow", "prokind"},
      {80323, false, ProceduresSql(none, 0, options(80323, false)), "where prorettype>0 and", "proisagg"},
      {110022, true, ProcedureParamsSql(none, options(110022, true)), "proallargtypes, proargmodes", "proisagg"},
      {80323, false, ObjectListSql(eObjTypeRole, options(80323, false)), "from pg_group", "pg_roles"},
      {120022, true, ObjectListSql(eObjTypeRole, options(120022, true)), "from pg_catalog.pg_roles", "pg_group"},
      {120022, true, ObjectListSql(eObjTypeTable, options(120022, true)), "relkind in ('r', 'p', 'f')", "pg_user"},
      {80323, false, ExtendedFieldsSql("t", options(80323, false)), "pg_attrdef.adsrc IS NOT NULL", "attidentity"},
      {150014, true, ExtendedFieldsSql("t", options(150014, true)),
       "pg_attribute.attidentity in ('a', 'd')) as ISAUTOINCREMENT", "adsrc"},
  };
  for (const Case& c : cases) {
    EXPECT_NE(c.sql.find(c.has), std::string::npos) << c.num << (c.newer ? " newer: " : ": ") << c.sql;
    EXPECT_EQ(c.sql.find(c.hasNot), std::string::npos) << c.num << (c.newer ? " newer: " : ": ") << c.sql;
  }
}

}  // namespace
