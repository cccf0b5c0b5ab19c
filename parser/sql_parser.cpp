// The SQL tokenizer of the command (see sql_parser.h).
#include "parser/sql_parser.h"

#include <cstring>

#include "runtime/strutil.h"

namespace vnx {
namespace {

inline bool IsBlank(char c) noexcept { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

// The delimiter characters as a table, consulted once per character of a word.
struct DelimiterTable {
  bool set[256] = {};
  constexpr DelimiterTable() {
    for (unsigned char c : std::string_view("\t\n\r \"!%&'()*+,-/:;<=>[]^|")) set[c] = true;
    set[0] = true;
  }
};
constexpr DelimiterTable kDelimiters;

inline bool IsDelimiter(char c) noexcept { return kDelimiters.set[static_cast<unsigned char>(c)]; }

std::uint8_t KindOfWord(std::string_view word) {
  const std::string w = rt::LowerCase(word);
  if (w == "select") return skindSelect;
  if (w == "insert") return skindInsert;
  if (w == "delete") return skindDelete;
  if (w == "update") return skindUpdate;
  if (w == "create") return skindCreate;
  if (w == "alter") return skindAlter;
  if (w == "drop") return skindDrop;
  return skindUnknown;
}

}  // namespace

TVNXSQLParser::TVNXSQLParser(std::string sql) { SetSQL(std::move(sql)); }

void TVNXSQLParser::SetSQL(std::string sql) {
  // The scan ends at the first NUL, as it would in the text the application passed.
  const std::size_t nul = sql.find('\0');
  if (nul != std::string::npos) sql.resize(nul);
  sql_ = std::move(sql);
  Reset();
}

void TVNXSQLParser::Reset() {
  pos_ = 0;
  tokenStart_ = 0;
  rawKind_ = RawKind::None;
  previous_ = TokenRecord{};
  last_ = TokenRecord{};
  statementKind_ = skindUnknown;
  tokenCount_ = 0;
  tokenNumber_ = 0;
}

std::string TVNXSQLParser::ReadToken() { return std::string(Scan()); }

// The scanner step behind ReadToken and NextToken. The token texts are kept in buffers that
// are reused from token to token: a statement of many tokens costs no allocation per token.
std::string_view TVNXSQLParser::Scan() {
  tokenStart_ = pos_;
  const std::size_t end = sql_.size();
  std::size_t p = pos_;
  if (p >= end) {
    rawKind_ = RawKind::Symbol;  // the terminating NUL: nothing consumed
  } else {
    const char c = sql_[p];
    auto closeAfter = [&](std::string_view closer) {
      const std::size_t at = sql_.find(closer, p);
      return at == std::string::npos ? end : at + closer.size();
    };
    if (IsBlank(c)) {
      while (p < end && IsBlank(sql_[p])) ++p;
      rawKind_ = RawKind::Blank;
    } else if (!IsDelimiter(c)) {
      while (p < end && !IsDelimiter(sql_[p])) ++p;
      rawKind_ = RawKind::Word;
    } else if (c == '\'' || c == '"') {
      ++p;  // no escapes: a doubled quote closes this token and opens the next
      p = closeAfter(std::string_view(&c, 1));
      rawKind_ = c == '\'' ? RawKind::QuotedString : RawKind::QuotedIdentifier;
    } else if (c == '-' && p + 1 < end && sql_[p + 1] == '-') {
      // Only CR ends a line comment here; text with LF line ends runs to its end.
      const std::size_t cr = sql_.find('\r', p + 2);
      p = cr == std::string::npos ? end : cr;
      rawKind_ = RawKind::LineComment;
    } else if (c == '/' && p + 1 < end && sql_[p + 1] == '*') {
      p += 2;
      p = closeAfter("*/");
      rawKind_ = RawKind::BlockComment;
    } else {
      ++p;
      rawKind_ = RawKind::Symbol;
    }
  }
  pos_ = p;
  if (pos_ > tokenStart_) ++tokenCount_;
  return std::string_view(sql_).substr(tokenStart_, pos_ - tokenStart_);
}

std::string_view TVNXSQLParser::NextToken(TVNXTokenKind& kind, std::int32_t& index) {
  previous_ = last_;
  const std::string_view text = Scan();
  // Only the first non-empty token decides; the empty end token after a one-word text
  // must not reset the kind.
  if (tokenCount_ == 1 && !text.empty()) statementKind_ = KindOfWord(text);
  switch (rawKind_) {
    case RawKind::Blank: kind = TVNXTokenKind::tkBlank; break;
    case RawKind::LineComment: kind = TVNXTokenKind::tkLineComment; break;
    case RawKind::Symbol:
      kind = (text.empty() || text == ";") ? TVNXTokenKind::tkEndOfStatement : TVNXTokenKind::tkOther;
      break;
    default: kind = TVNXTokenKind::tkOther; break;
  }
  ++tokenNumber_;
  index = tokenNumber_;
  last_ = TokenRecord{tokenStart_, text.size(), kind, index};
  return text;
}

// Flattened: the token steps run inline here, as this loop carries the substitution of every
// statement with parameters.
[[gnu::flatten]] std::string_view TVNXSQLParser::NextMarker(TVNXTokenKind& kind, std::int32_t& index) {
  const std::size_t from = pos_;
  for (;;) {
    const std::string_view text = NextToken(kind, index);
    const bool marker = rawKind_ == RawKind::Word && text.size() == 1 && text[0] == '?';
    if (marker || kind == TVNXTokenKind::tkEndOfStatement) return std::string_view(sql_).substr(from, tokenStart_ - from);
  }
}

void TVNXSQLParser::NextToken(TVNXSQLToken& token) {
  const std::string_view text = NextToken(token.Kind, token.Index);
  token.Text.assign(text);
  token.Start = static_cast<std::int32_t>(tokenStart_);
  token.End = static_cast<std::int32_t>(pos_) - 1;
}

TVNXSQLToken TVNXSQLParser::Materialize(const TokenRecord& r) const {
  TVNXSQLToken t;
  if (r.index == 0) return t;  // no token read since the reset
  t.Start = static_cast<std::int32_t>(r.start);
  t.End = static_cast<std::int32_t>(r.start + r.length) - 1;
  t.Kind = r.kind;
  t.Index = r.index;
  t.Text.assign(sql_, r.start, r.length);
  return t;
}

std::uint8_t TVNXSQLParser::StatementKind() {
  Reset();
  while (pos_ < sql_.size() && IsBlank(sql_[pos_])) ++pos_;
  TVNXSQLToken token;
  NextToken(token);
  return statementKind_;
}

}  // namespace vnx
