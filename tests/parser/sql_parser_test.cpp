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

// Characters that start, end or prefix strings, comments and words.
const std::string kAlphabet = "ab ?'\"-/*\r\n;$\t\\E&U1.";

TEST(SQLParser, RandomTextsRoundTrip) {
  std::mt19937 rng(42);
  for (int i = 0; i < 2000; ++i) {
    std::string s;
    const int n = static_cast<int>(rng() % 24);
    for (int k = 0; k < n; ++k) s += kAlphabet[rng() % kAlphabet.size()];
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
  EXPECT_EQ(markers("-- ?\n?"), 1);
  EXPECT_EQ(markers("(?,?)"), 2);
}

// NextMarker must cut a text exactly where stepping token by token finds markers and
// statement ends, with the same index and statement kind.
TEST(SQLParser, NextMarkerAgreesWithTokenSteps) {
  std::mt19937 rng(7);
  const std::string heads[] = {"", "insert ", "update ", "DELETE ", "select "};
  for (int i = 0; i < 3000; ++i) {
    std::string s = heads[rng() % 5];
    const int n = static_cast<int>(rng() % 24);
    for (int k = 0; k < n; ++k) s += kAlphabet[rng() % kAlphabet.size()];

    const bool scs = i % 2 != 0;
    TVNXSQLParser steps(s, scs), jumps(s, scs);
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

// The text with each marker shown as M, or where a literal would run into the text around it
// as J (a quoted one into the string before it), N (into the text after it) or B (both).
std::string Marked(const std::string& sql, bool scs, const char* encoding = "") {
  TVNXSQLParser p(sql, scs);
  p.SetClientEncoding(encoding);
  p.SetSQL(sql);
  std::string out;
  for (TVNXSQLToken t; p.NextToken(t), !t.Text.empty();) {
    if (t.Text == "?" && p.LastRawKind() == TVNXSQLParser::RawKind::Word)
      out += p.LiteralJoinsPrevious() ? (p.LiteralJoinsNext() ? "B" : "J") : (p.LiteralJoinsNext() ? "N" : "M");
    else
      out += t.Text;
  }
  return out;
}

TEST(SQLParser, StringsAndCommentsEndWhereTheServerEndsThem) {
  struct Case {
    const char* sql;
    const char* whenOn;   // standard_conforming_strings on
    const char* whenOff = nullptr;  // and off (null: as when on)
    const char* encoding = "";
  };
  const Case cases[] = {
      {"-- ?\n? -- ?\r?", "-- ?\nM -- ?\rM"},
      {"/* /* ? */ ? */ ? /*/ ? */ ?", "/* /* ? */ ? */ M /*/ ? */ M"},
      {"E'\\' ?' ? e'\\\\' ?", "E'\\' ?' M e'\\\\' M"},
      {"'\\' ?' ?", "'\\' N' ?", "'\\' ?' M"},
      // A doubled quote and a continuation after a line break keep the first string's rules.
      {"E'a''\\' ?' ?", "E'a''\\' ?' M"},
      {"E'a'\n'\\' ?' ?", "E'a'\n'\\' ?' M"},
      {"E'a' -- c\r\n\f'\\' ?' ?", "E'a' -- c\r\n\f'\\' ?' M"},
      {"E'a' '\\' ?' ?", "E'a' '\\' N' ?", "E'a' '\\' ?' M"},
      {"E'a' /**/\n'\\' ?' ?", "E'a' /**/\n'\\' N' ?", "E'a' /**/\n'\\' ?' M"},
      // Bit and Unicode strings take no backslash escapes; a prefix is a one-letter word.
      {"B'\\' ? ' X'\\' ?", "B'\\' M ' X'\\' ?"},
      {"U&'\\' ? U&\"?\" ?", "U&'\\' M U&\"?\" M"},
      {"1e'\\' ?' ? xe'\\' ?' ?", "1e'\\' ?' M xe'\\' N' ?", "1e'\\' ?' M xe'\\' ?' M"},
      // Dollar quotes open where a token of the server starts, not inside identifiers.
      {"$$ ? $$ ? $a$ ? $$ ? $a$ ?", "$$ ? $$ M $a$ ? $$ ? $a$ M"},
      {"x.$$ ? $$ ? 1$$ ? $$ ? 1e5$$ ? $$ ? ~$$ ? $$?", "x.$$ ? $$ M 1$$ ? $$ M 1e5$$ ? $$ M ~$$ ? $$M"},
      {"$1 ? a$$b ? x$$ ? $$ ?", "$1 M a$$b M x$$ M $$ ?"},
      {"$1e5$$ ? $$ ?", "$1e5$$ M $$ ?"},
      {"2E8E4$$ ? $$ ?", "2E8E4$$ M $$ ?"},
      {"1.2.e5$$ ? $$ ?", "1.2.e5$$ M $$ ?"},
      {".5e5$$ ? $$ ?", ".5e5$$ ? $$ M"},
      // In SJIS a backslash or "^" byte after a lead byte belongs to the character.
      {"E'\x95\\' ?' ?", "E'\x95\\' N' ?", nullptr, "SJIS"},
      {"E'\x95\\' ?' ?", "E'\x95\\' ?' M", nullptr, "LATIN1"},
      {"x\x95^$$ ? $$ ?", "x\x95^$$ M $$ ?", nullptr, "SJIS"},
      {"x\x95^$$ ? $$ ?", "x\x95^$$ ? $$ M", nullptr, "LATIN1"},
      {"$\x95\\$ ? $\x95\\$ ?", "$\x95\\$ ? $\x95\\$ M", nullptr, "SJIS"},
      {"E'\\\x95\\' ?' ?", "E'\\\x95\\' N' ?", nullptr, "SJIS"},
      {"E'\\\x95\\' ?' ?", "E'\\\x95\\' ?' M", nullptr, "LATIN1"},
      // Where a literal would join the string before it.
      {"'a'? 'a' ? 'a'\n? E'a'\n? B'1'\n? U&'a'\n?", "'a'J 'a' M 'a'\nM E'a'\nJ B'1'\nJ U&'a'\nJ",
       "'a'J 'a' M 'a'\nM E'a'\nM B'1'\nJ U&'a'\nJ"},
      {"U&? U& ? \"a\"? $$a$$? E'a' /**/\n?", "U&J U& M \"a\"M $$a$$M E'a' /**/\nM"},
      {"?'a' ?$$x$$ 'b'?'c' ?\n'd'", "N'a' N$$x$$ 'b'B'c' M\n'd'"},
      // Servers that group digits refuse a number that runs into a dollar quote.
      {"1_000$$ ? $$ ?", "1_000$$ M $$ ?"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Marked(c.sql, true, c.encoding), c.whenOn) << c.sql;
    EXPECT_EQ(Marked(c.sql, false, c.encoding), c.whenOff ? c.whenOff : c.whenOn) << c.sql;
  }
}

TEST(SQLParser, StatementsEndOnlyAtASemicolonOfCode) {
  for (const char* sql : {"select $$;$$ ?;", "select E'\\';' ?;", "select /* /* */ ; */ ?;", "select 'a' -- ;\n?;"}) {
    TVNXSQLParser p(sql, true);
    TVNXTokenKind kind;
    std::int32_t index;
    p.NextMarker(kind, index);
    EXPECT_EQ(p.LastToken().Text, "?") << sql;
    p.NextMarker(kind, index);
    EXPECT_EQ(p.LastToken().Text, ";") << sql;
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
