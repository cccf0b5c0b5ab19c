// The command's tokenizer: round trip, marker tokens and statement kinds.
#include <gtest/gtest.h>

#include <random>

#include "parser/sql_parser.h"

namespace {

using namespace vnx;

std::vector<TVNXSQLToken> Tokens(const std::string& sql) {
  TVNXSQLParser p(sql);
  std::vector<TVNXSQLToken> out;
  for (;;) {
    TVNXSQLToken t;
    p.NextToken(t);
    out.push_back(t);
    if (t.Text.empty()) return out;
    if (out.size() > sql.size() + 1) {
      ADD_FAILURE() << "no progress in " << sql;
      return out;
    }
  }
}

std::string Joined(const std::string& sql) {
  std::string s;
  std::int32_t expectStart = 0;
  for (const TVNXSQLToken& t : Tokens(sql)) {
    EXPECT_EQ(t.Start, expectStart);
    EXPECT_EQ(t.End, t.Start + static_cast<std::int32_t>(t.Text.size()) - 1);
    expectStart = t.End + 1;
    s += t.Text;
  }
  return s;
}

TEST(SQLParser, TokensGiveBackTheText) {
  const char* texts[] = {
      "select * from t where a = ? and b = 'x?''y' -- c?\r\n/* ? */ ;",
      "  \t\r\nSELECT\"Col\"\"x\",'it''s'from\"t\"",
      "select 'unterminated ?",
      "select \"unterminated",
      "select 1 /* unterminated",
      "select 1 -- comment\nselect 2",
      "a?b ?? $1 #x {y} ~z @w \x80\xFF",
      "",
      "-",
      "/",
      "'",
      "--",
      "/*/",
      "!%&()*+,-/:;<=>[]^|",
  };
  for (const char* t : texts) EXPECT_EQ(Joined(t), t) << t;
}

TEST(SQLParser, RandomTextsRoundTrip) {
  std::mt19937 rng(42);
  const std::string alphabet = "ab ?'\"-/*\r\n;$\t\\";
  for (int i = 0; i < 2000; ++i) {
    std::string s;
    const int n = static_cast<int>(rng() % 24);
    for (int k = 0; k < n; ++k) s += alphabet[rng() % alphabet.size()];
    ASSERT_EQ(Joined(s), s);
  }
}

TEST(SQLParser, MarkersAreTokensOnlyOutsideQuotesAndComments) {
  auto markers = [](const std::string& sql) {
    int n = 0;
    for (const TVNXSQLToken& t : Tokens(sql)) n += t.Text == "?";
    return n;
  };
  EXPECT_EQ(markers("a = ?"), 1);
  EXPECT_EQ(markers("a=?"), 1);
  EXPECT_EQ(markers("a?b"), 0);
  EXPECT_EQ(markers("'?' \"?\" /* ? */ -- ?"), 0);
  EXPECT_EQ(markers("-- ?\r?"), 1);
  EXPECT_EQ(markers("-- ?\n?"), 0);  // a LF does not end the comment
  EXPECT_EQ(markers("(?,?)"), 2);
}

// NextMarker must cut a text exactly where stepping token by token finds markers and
// statement ends, with the same index and statement kind.
TEST(SQLParser, NextMarkerAgreesWithTokenSteps) {
  std::mt19937 rng(7);
  const std::string alphabet = "ab ?'\"-/*\r\n;$\t\\";
  const std::string heads[] = {"", "insert ", "update ", "DELETE ", "select "};
  for (int i = 0; i < 3000; ++i) {
    std::string s = heads[rng() % 5];
    const int n = static_cast<int>(rng() % 24);
    for (int k = 0; k < n; ++k) s += alphabet[rng() % alphabet.size()];

    TVNXSQLParser steps(s), jumps(s);
    TVNXTokenKind stepKind, jumpKind;
    std::int32_t stepIndex = 0, jumpIndex = 0;
    for (int stop = 0; stop < 40; ++stop) {
      std::string passed;
      for (;;) {
        const std::string_view t = steps.NextToken(stepKind, stepIndex);
        if (t == "?" || stepKind == TVNXTokenKind::tkEndOfStatement) break;
        passed += t;
      }
      ASSERT_EQ(jumps.NextMarker(jumpKind, jumpIndex), passed) << s;
      ASSERT_EQ(jumpKind, stepKind) << s;
      ASSERT_EQ(jumpIndex, stepIndex) << s;
      ASSERT_EQ(jumps.CurrentStatementKind(), steps.CurrentStatementKind()) << s;
      ASSERT_EQ(jumps.LastToken().Text, steps.LastToken().Text) << s;
      ASSERT_EQ(jumps.PreviousToken().Text, steps.PreviousToken().Text) << s;
      if (stepKind == TVNXTokenKind::tkEndOfStatement && steps.LastToken().Text.empty()) break;
    }
  }
}

TEST(SQLParser, TokenKinds) {
  const auto t = Tokens("insert into t values (1); -- x\r\n");
  std::vector<TVNXTokenKind> kinds;
  for (const auto& tok : t) kinds.push_back(tok.Kind);
  ASSERT_GE(t.size(), 4u);
  EXPECT_EQ(t[0].Index, 1);
  const auto semicolon = t[t.size() - 5];
  EXPECT_EQ(semicolon.Text, ";");
  EXPECT_EQ(semicolon.Kind, TVNXTokenKind::tkEndOfStatement);
  EXPECT_EQ(t[t.size() - 4].Kind, TVNXTokenKind::tkBlank);
  EXPECT_EQ(t[t.size() - 3].Kind, TVNXTokenKind::tkLineComment);
  EXPECT_EQ(t[t.size() - 2].Kind, TVNXTokenKind::tkBlank);
  EXPECT_EQ(t.back().Kind, TVNXTokenKind::tkEndOfStatement);
  EXPECT_EQ(t.back().Start, 32);  // just past the text
  EXPECT_EQ(t.back().End, 31);
  EXPECT_EQ(Tokens("/* c */")[0].Kind, TVNXTokenKind::tkOther);
  EXPECT_EQ(Tokens("'s'")[0].Kind, TVNXTokenKind::tkOther);
  EXPECT_EQ(Tokens("(")[0].Kind, TVNXTokenKind::tkOther);
}

TEST(SQLParser, EndTokenRepeats) {
  TVNXSQLParser p("x");
  TVNXSQLToken t;
  p.NextToken(t);
  p.NextToken(t);
  EXPECT_EQ(t.Kind, TVNXTokenKind::tkEndOfStatement);
  p.NextToken(t);
  EXPECT_EQ(t.Kind, TVNXTokenKind::tkEndOfStatement);
  EXPECT_EQ(t.Index, 3);
  EXPECT_EQ(p.PreviousToken().Index, 2);
}

TEST(SQLParser, StatementKinds) {
  TVNXSQLParser p;
  const std::pair<const char*, std::uint8_t> cases[] = {
      {"  SELECT 1", skindSelect}, {"select", skindSelect}, {"Insert into t", skindInsert},
      {"delete from t", skindDelete}, {"update t", skindUpdate}, {"create table t", skindCreate},
      {"alter table", skindAlter}, {"drop table", skindDrop}, {"/* c */ select 1", skindUnknown},
      {"vacuum", skindUnknown}, {"", skindUnknown}, {"selected", skindUnknown}, {"(select 1)", skindUnknown}};
  for (auto [sql, kind] : cases) {
    p.SetSQL(sql);
    EXPECT_EQ(p.StatementKind(), kind) << sql;
  }
  // Through NextToken the first token decides; a leading blank leaves the kind unknown.
  p.SetSQL("update t set a = 1");
  TVNXSQLToken t;
  do p.NextToken(t);
  while (!t.Text.empty());
  EXPECT_EQ(p.CurrentStatementKind(), skindUpdate);
  p.SetSQL(" update t");
  do p.NextToken(t);
  while (!t.Text.empty());
  EXPECT_EQ(p.CurrentStatementKind(), skindUnknown);
  p.SetSQL("select");
  do p.NextToken(t);
  while (!t.Text.empty());
  EXPECT_EQ(p.CurrentStatementKind(), skindSelect);  // the empty end token changes nothing
}

TEST(SQLParser, ScanStopsAtAnEmbeddedNul) {
  EXPECT_EQ(Joined(std::string("a ?\0 ?", 6)), "a ?");
}

}  // namespace
