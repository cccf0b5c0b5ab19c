// Statement kinds and table names of AnalyseStatement, and the section scanner under it.
#include <gtest/gtest.h>

#include "parser/statement_analysis.h"

namespace {

using namespace vnx;
using Names = std::vector<std::string>;

Names Tables(const std::string& sql, std::uint8_t expectKind) {
  Names t{"stale"};
  EXPECT_EQ(AnalyseStatement(sql, t), expectKind) << sql;
  return t;
}

TEST(StatementAnalysis, SelectLists) {
  EXPECT_EQ(Tables("select a.x, b.y from a, b where a.k = b.k", 1), (Names{"a", "b", "a", "b", "a", "b"}));
  EXPECT_EQ(Tables("SELECT * FROM t", 1), (Names{"t"}));
  EXPECT_EQ(Tables("select * from t", 1), (Names{"t"}));
  EXPECT_EQ(Tables("select * from t x order by 1", 1), (Names{"t", "x"}));
  EXPECT_EQ(Tables("select * from s.t; select * from u", 1), (Names{"s", "t"}));
  // A quoted name counts as a table only when qualified or qualifying.
  EXPECT_EQ(Tables("select * from \"My Table\" where c is not null", 1), Names{});
  EXPECT_EQ(Tables("select * from \"s\".\"T\"", 1), (Names{"s", "T"}));
  EXPECT_EQ(Tables("select * from t group x", 1), (Names{"t", "group", "x"}));
}

TEST(StatementAnalysis, OtherKinds) {
  EXPECT_EQ(Tables("create table t (a int)", 0), Names{});
  EXPECT_EQ(Tables("delete from t where a = 1", 3), (Names{"t"}));
  EXPECT_EQ(Tables("UPDATE t set a = 1", 4), Names{});
  EXPECT_EQ(Tables("insert into t values (1)", 2), Names{});
  EXPECT_EQ(Tables("", 0), Names{});
  EXPECT_EQ(Tables("  select 1", 1), Names{});
}

TEST(StatementAnalysis, UnterminatedQuotesAndCommentsEndCleanly) {
  for (const char* sql : {"select 'abc", "select \"abc", "select `", "select /* x", "select // x",
                          "select * from t where a = '", "select a.", "select .", "select is not",
                          "select group", "select 1.2.3 <=> x"}) {
    Names t;
    EXPECT_EQ(AnalyseStatement(sql, t), 1) << sql;
  }
}

TEST(StatementAnalysis, RepeatedKeywordsDoNotNest) {
  std::string sql = "select ";
  for (int i = 0; i < 100000; ++i) sql += "is ";
  Names t;
  EXPECT_EQ(AnalyseStatement(sql, t), 1);
}

struct Step {
  SectionKind kind;
  std::string token;
  bool operator==(const Step&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Step& s) {
  return os << static_cast<int>(s.kind) << ":" << s.token;
}

std::vector<Step> Steps(const char* sql) {
  std::vector<Step> out;
  const char* pos = sql;
  SectionKind current = SectionKind::skUnknown;
  for (int guard = 0; guard < 100; ++guard) {
    std::string tok;
    current = NextSectionToken(pos, tok, current);
    out.push_back({current, tok});
    if (current == SectionKind::skEnd) break;
  }
  return out;
}

TEST(StatementAnalysis, SectionTokens) {
  using K = SectionKind;
  EXPECT_EQ(Steps("select distinct * from t where a is null and b is not null or c like 'x%' "
                  "group by d having e >= 10.5 order by f desc for update"),
            (std::vector<Step>{{K::skSelect, "select"}, {K::skDistinct, "distinct"},
                               {K::skFieldName, "*"}, {K::skFrom, "from"}, {K::skTableName, "t"},
                               {K::skWhere, "where"}, {K::skFieldName, "a"}, {K::skIsNull, "is null"},
                               {K::skAnd, "and"}, {K::skFieldName, "b"},
                               {K::skIsNotNull, "is not null"}, {K::skOr, "or"},
                               {K::skFieldName, "c"}, {K::skLike, "like"}, {K::skValue, "x%"},
                               {K::skGroupBy, "group by"}, {K::skFieldName, "d"},
                               {K::skHaving, "having"}, {K::skFieldName, "e"},
                               {K::skPredicate, ">="}, {K::skNumber, "10.5"},
                               {K::skOrderBy, "order by"}, {K::skFieldName, "f"},
                               {K::skDescending, "desc"}, {K::skForUpdate, "for update"},
                               {K::skEnd, ""}}));
  EXPECT_EQ(Steps("select * /* c */"),
            (std::vector<Step>{{K::skSelect, "select"}, {K::skAllFields, "*"}, {K::skComment, "/* c "},
                               {K::skFieldName, "*/"}, {K::skEnd, ""}}));
  EXPECT_EQ(Steps("a.\"b c\" is x"),
            (std::vector<Step>{{K::skTableName, "a"}, {K::skFieldName, "b c"}, {K::skValue, "is"},
                               {K::skFieldName, "x"}, {K::skEnd, ""}}));
}

}  // namespace
