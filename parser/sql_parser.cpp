// The SQL tokenizer of the command (see sql_parser.h).
#include "parser/sql_parser.h"

#include <cstring>

#include "runtime/strutil.h"

namespace vnx {
namespace {

bool IsBlank(char c) noexcept { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

bool IsDelimiter(char c) noexcept {
  switch (c) {
    case '\0': case '\t': case '\n': case '\r': case ' ': case '"': case '!': case '%': case '&':
    case '\'': case '(': case ')': case '*': case '+': case ',': case '-': case '/': case ':':
    case ';': case '<': case '=': case '>': case '[': case ']': case '^': case '|':
      return true;
    default:
      return false;
  }
}

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
  previousText_.clear();
  currentText_.clear();
  previous_ = TVNXSQLToken{};
  last_ = TVNXSQLToken{};
  statementKind_ = skindUnknown;
  tokenCount_ = 0;
  tokenNumber_ = 0;
}

std::string TVNXSQLParser::ReadToken() {
  tokenStart_ = pos_;
  previousText_ = currentText_;
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
  currentText_ = sql_.substr(tokenStart_, pos_ - tokenStart_);
  if (!currentText_.empty()) ++tokenCount_;
  return currentText_;
}

void TVNXSQLParser::NextToken(TVNXSQLToken& token) {
  previous_ = last_;
  token.Text = ReadToken();
  token.Start = static_cast<std::int32_t>(tokenStart_);
  token.End = static_cast<std::int32_t>(pos_) - 1;
  // Only the first non-empty token decides; the empty end token after a one-word text
  // must not reset the kind.
  if (tokenCount_ == 1 && !token.Text.empty()) statementKind_ = KindOfWord(token.Text);
  switch (rawKind_) {
    case RawKind::Blank: token.Kind = TVNXTokenKind::tkBlank; break;
    case RawKind::LineComment: token.Kind = TVNXTokenKind::tkLineComment; break;
    case RawKind::Symbol:
      token.Kind = (token.Text.empty() || token.Text == ";") ? TVNXTokenKind::tkEndOfStatement
                                                             : TVNXTokenKind::tkOther;
      break;
    default: token.Kind = TVNXTokenKind::tkOther; break;
  }
  ++tokenNumber_;
  token.Index = tokenNumber_;
  last_ = token;
}

std::uint8_t TVNXSQLParser::StatementKind() {
  Reset();
  while (pos_ < sql_.size() && IsBlank(sql_[pos_])) ++pos_;
  TVNXSQLToken token;
  NextToken(token);
  return statementKind_;
}

}  // namespace vnx
