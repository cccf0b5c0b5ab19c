// Keyword-aware statement scanning (see statement_analysis.h).
#include "parser/statement_analysis.h"

#include "runtime/strutil.h"

namespace vnx {
namespace {

bool IsSpaceLike(char c) noexcept { return c == '\n' || c == '\r' || c == ' ' || c == '(' || c == ','; }
bool IsQuote(char c) noexcept { return c == '"' || c == '\'' || c == '`'; }
bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }
bool IsPredicateChar(char c) noexcept { return c == '<' || c == '=' || c == '>'; }

// One scanner step. With `classify` false the word is returned as read (skFieldName for
// any word), which is how keywords look at the word that follows them; this keeps the
// look-ahead from nesting however the text repeats keywords.
SectionKind Scan(const char*& pos, std::string& token, SectionKind current, bool classify);

SectionKind Classify(const char*& pos, std::string& token, SectionKind current, bool dotted) {
  if (token.empty()) return SectionKind::skEnd;
  if (current == SectionKind::skSelect && token == "*") return SectionKind::skAllFields;
  if (dotted) return SectionKind::skFieldName;

  // Appends the following word when it is `word`; otherwise leaves the position alone.
  auto follows = [&pos, &token](const char* word) {
    const char* save = pos;
    std::string next;
    Scan(pos, next, SectionKind::skUnknown, false);
    if (rt::SameText(next, word)) {
      token += ' ';
      token += next;
      return true;
    }
    pos = save;
    return false;
  };

  const std::string& w = token;
  if (current == SectionKind::skSelect && rt::SameText(w, "DISTINCT")) return SectionKind::skDistinct;
  if (rt::SameText(w, "ASC") || rt::SameText(w, "ASCENDING")) return SectionKind::skAscending;
  if (rt::SameText(w, "DESC") || rt::SameText(w, "DESCENDING")) return SectionKind::skDescending;
  if (rt::SameText(w, "SELECT")) return SectionKind::skSelect;
  if (rt::SameText(w, "AND")) return SectionKind::skAnd;
  if (rt::SameText(w, "OR")) return SectionKind::skOr;
  if (rt::SameText(w, "LIKE")) return SectionKind::skLike;
  if (rt::SameText(w, "IS")) {
    if (follows("NULL")) return SectionKind::skIsNull;
    const char* save = pos;
    const std::string saveToken = token;
    if (follows("NOT")) {
      if (follows("NULL")) return SectionKind::skIsNotNull;
      pos = save;
      token = saveToken;
    }
    return SectionKind::skValue;
  }
  if (rt::SameText(w, "FROM")) return SectionKind::skFrom;
  if (rt::SameText(w, "WHERE")) return SectionKind::skWhere;
  if (rt::SameText(w, "HAVING")) return SectionKind::skHaving;
  if (rt::SameText(w, "UNION")) return SectionKind::skUnion;
  if (rt::SameText(w, "PLAN")) return SectionKind::skPlan;
  if (rt::SameText(w, "GROUP") && follows("BY")) return SectionKind::skGroupBy;
  if (rt::SameText(w, "FOR") && follows("UPDATE")) return SectionKind::skForUpdate;
  if (rt::SameText(w, "ORDER") && follows("BY")) return SectionKind::skOrderBy;
  if (rt::SameText(w, "NULL")) return SectionKind::skValue;
  if (current == SectionKind::skFrom) return SectionKind::skTableName;
  return SectionKind::skFieldName;
}

SectionKind Scan(const char*& pos, std::string& token, SectionKind current, bool classify) {
  token.clear();
  bool dotted = false;
  bool inWord = false;
  auto finish = [&]() {
    return classify ? Classify(pos, token, current, dotted) : SectionKind::skFieldName;
  };
  for (;;) {
    const char c = *pos;
    if (c == '\0') {
      if (inWord) return finish();
      return SectionKind::skEnd;
    }
    if (IsSpaceLike(c)) {
      if (inWord) return finish();
      while (IsSpaceLike(*pos)) ++pos;
      continue;
    }
    if (c == '.') {
      if (inWord) return SectionKind::skTableName;  // the word qualifies a following name
      dotted = true;
      ++pos;
      continue;
    }
    if (IsQuote(c)) {
      const char* close = pos + 1;
      while (*close && *close != c) ++close;
      if (*close == c) {
        token.assign(pos + 1, close);
        pos = close + 1;
        if (dotted) return SectionKind::skFieldName;
        if (*pos == '.') return SectionKind::skTableName;
        return SectionKind::skValue;
      }
      // Not closed: the quote is taken as an ordinary character of the word.
      token += c;
      inWord = true;
      ++pos;
      continue;
    }
    if (!inWord && IsDigit(c)) {
      while (IsDigit(*pos) || *pos == '.') token += *pos++;
      return SectionKind::skNumber;
    }
    if (!inWord && IsPredicateChar(c)) {
      while (IsPredicateChar(*pos)) token += *pos++;
      return SectionKind::skPredicate;
    }
    if (c == '/' && (pos[1] == '/' || pos[1] == '*')) {
      // The comment's closing "*/" is not part of it; the next call reads it as a word.
      if (pos[1] == '/') {
        while (*pos && *pos != '\n' && *pos != '\r') token += *pos++;
      } else {
        token += *pos++;
        token += *pos++;
        while (*pos && !(pos[0] == '*' && pos[1] == '/')) token += *pos++;
      }
      return SectionKind::skComment;
    }
    token += c;
    inWord = true;
    ++pos;
  }
}

}  // namespace

SectionKind NextSectionToken(const char*& pos, std::string& token, SectionKind current) {
  return Scan(pos, token, current, true);
}

std::uint8_t AnalyseStatement(std::string_view sql, std::vector<std::string>& tables) {
  tables.clear();
  std::string text(sql.substr(0, sql.find(';')));
  // The scanner stops at a NUL, as it would in the application's text.
  const char* pos = text.c_str();
  std::string token;
  SectionKind section = NextSectionToken(pos, token, SectionKind::skUnknown);
  std::uint8_t kind;
  if (rt::SameText(token, "select") && section == SectionKind::skSelect)
    kind = 1;
  else if (rt::SameText(token, "delete"))
    kind = 3;
  else if (rt::SameText(token, "update"))
    kind = 4;
  else if (rt::SameText(token, "insert"))
    kind = 2;
  else
    return 0;

  bool inFrom = false;
  for (;;) {
    section = NextSectionToken(pos, token, section);
    switch (section) {
      case SectionKind::skTableName: tables.push_back(token); break;
      case SectionKind::skFieldName:
        if (inFrom) tables.push_back(token);
        break;
      case SectionKind::skFrom: inFrom = true; break;
      case SectionKind::skEnd: return kind;
      default: inFrom = false; break;
    }
  }
}

}  // namespace vnx
