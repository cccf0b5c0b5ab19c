// The SQL tokenizer of the command (see sql_parser.h).
#include "parser/sql_parser.h"

#include <algorithm>
#include <cstring>

#include "runtime/strutil.h"

namespace vnx {
namespace {

inline bool IsBlank(char c) noexcept { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
inline bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }
inline unsigned char Byte(char c) noexcept { return static_cast<unsigned char>(c); }

// What each byte is to the scanner: a delimiter ends a word. Inside a word the server still
// sees tokens of its own: identifiers (letters, digits, "_", "$" and high bytes, not starting
// with a digit or "$"), numbers, "$1" parameters and single characters such as "." or "?".
enum CharClass : std::uint8_t { kWordOther, kDelimiter, kLetter, kDigit, kDot, kDollar };

struct CharTable {
  CharClass of[256] = {};
  constexpr CharTable() {
    for (unsigned char c : std::string_view("\t\n\r \"!%&'()*+,-/:;<=>[]^|")) of[c] = kDelimiter;
    of[0] = kDelimiter;
    for (int c = 'a'; c <= 'z'; ++c) of[c] = of[c - 32] = kLetter;
    for (int c = 0x80; c < 0x100; ++c) of[c] = kLetter;
    of[static_cast<unsigned char>('_')] = kLetter;
    for (int c = '0'; c <= '9'; ++c) of[c] = kDigit;
    of[static_cast<unsigned char>('.')] = kDot;
    of[static_cast<unsigned char>('$')] = kDollar;
  }
};
constexpr CharTable kChars;

inline bool IsDelimiter(char c) noexcept { return kChars.of[Byte(c)] == kDelimiter; }

// What each byte is to the marker search's quick steps (TVNXSQLParser::SkipPlainTokens):
// the start of a token it takes whole, or a byte it leaves to the full scanner step.
enum PlainClass : std::uint8_t { kLeave, kPlainBlank, kPlainSymbol, kPlainWord, kCommentStart };

struct PlainTable {
  PlainClass of[256] = {};
  // Words hold every byte that is no delimiter, but "$" may start a dollar quote, a form
  // feed or vertical tab at its start lets a string go on, and in the encodings of
  // SJIS-like characters a high byte starts a character whose later bytes the scanner
  // must see. The symbols are the delimiters that start no string, identifier, comment or
  // end of statement, and "&", which may follow a U.
  constexpr explicit PlainTable(bool multibyte) {
    for (int c = 1; c < 0x100; ++c) of[c] = kChars.of[c] == kDelimiter ? kPlainSymbol : kPlainWord;
    for (unsigned char c : std::string_view("\t\n\r ")) of[c] = kPlainBlank;
    for (unsigned char c : std::string_view("'\";&$\f\v")) of[c] = kLeave;
    of[static_cast<unsigned char>('-')] = of[static_cast<unsigned char>('/')] = kCommentStart;
    if (multibyte)
      for (int c = 0x80; c < 0x100; ++c) of[c] = kLeave;
  }
};
constexpr PlainTable kPlainSingle(false), kPlainMultibyte(true);
inline bool IsTagChar(char c) noexcept { return kChars.of[Byte(c)] == kLetter || IsDigit(c); }

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

TVNXSQLParser::TVNXSQLParser(std::string sql, bool standardConformingStrings)
    : standardConformingStrings_(standardConformingStrings) {
  SetSQL(std::move(sql));
}

void TVNXSQLParser::SetSQL(std::string sql) {
  // The scan ends at the first NUL, as it would in the text the application passed.
  const std::size_t nul = sql.find('\0');
  if (nul != std::string::npos) sql.resize(nul);
  sql_ = std::move(sql);
  Reset();
}

void TVNXSQLParser::SetClientEncoding(std::string_view encoding) noexcept {
  const std::string e = rt::UpperCase(encoding);
  if (e == "SJIS" || e == "SHIFT_JIS_2004") multibyte_ = Multibyte::ShiftJis;
  else if (e == "BIG5" || e == "GBK" || e == "UHC") multibyte_ = Multibyte::TwoByte;
  else if (e == "GB18030") multibyte_ = Multibyte::Gb18030;
  else if (e == "JOHAB") multibyte_ = Multibyte::Johab;
  else multibyte_ = Multibyte::None;
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
  afterString_ = false;
  lineBreakAfterString_ = false;
  prefix_ = 0;
  prefixEnd_ = std::string::npos;
  quoteMode_ = PlainMode();
  literalJoins_ = false;
}

std::string TVNXSQLParser::ReadToken() { return std::string(Scan()); }

// Decides how a quote at p would be read: after a prefix by its rules, right after a closing
// quote or across a line break after a string as part of that string, otherwise as a plain
// string of the connection.
void TVNXSQLParser::NoteQuoteContext(std::size_t p) {
  quoteMode_ = PlainMode();
  literalJoins_ = false;
  if (p == prefixEnd_) {
    switch (prefix_) {
      case 'E': quoteMode_ = StringMode::Escape; break;
      case 'B': case 'X': quoteMode_ = StringMode::Bit; break;
      case '&': quoteMode_ = StringMode::Unicode, literalJoins_ = true; break;
      default: break;
    }
    return;
  }
  if (!afterString_) return;
  if (p == stringEnd_) {
    // A doubled quote; after a bit string it ends that string and opens a plain one.
    if (stringMode_ != StringMode::Bit) quoteMode_ = stringMode_;
    literalJoins_ = true;
  } else if (lineBreakAfterString_) {
    quoteMode_ = stringMode_;
    literalJoins_ = stringMode_ != PlainMode();
  }
}

// Returns the position after the closing quote, or npos when the string is not closed.
std::size_t TVNXSQLParser::ScanString(std::size_t p, std::size_t end, StringMode mode) const {
  ++p;
  if (mode != StringMode::Escape) {
    const std::size_t close = sql_.find('\'', p);
    return close == std::string::npos ? close : close + 1;
  }
  while (p < end) {
    const char c = sql_[p];
    if (c == '\'') return p + 1;
    if (c == '\\') {
      p += p + 1 < end ? 1 + CharLength(p + 1) : 1;  // the escaped character may be a long one
    } else {
      p += CharLength(p);  // a backslash byte inside a character is no escape to the server
    }
  }
  return std::string::npos;
}

// Length of the dollar-quote delimiter ("$$" or "$tag$", the tag not starting with a digit)
// at p, or 0 when there is none.
std::size_t TVNXSQLParser::DollarTagLength(std::size_t p) const noexcept {
  const std::size_t end = sql_.size();
  if (p + 1 >= end || sql_[p] != '$') return 0;
  if (sql_[p + 1] == '$') return 2;
  if (kChars.of[Byte(sql_[p + 1])] != kLetter) return 0;
  std::size_t q = p + 1;
  while (q < end && IsTagChar(sql_[q])) q += CharLength(q);
  return q < end && sql_[q] == '$' ? q + 1 - p : 0;
}

std::size_t TVNXSQLParser::CharLength(std::size_t p) const noexcept {
  const unsigned char b = Byte(sql_[p]);
  if (b < 0x80 || multibyte_ == Multibyte::None) return 1;
  std::size_t n = 2;
  if (multibyte_ == Multibyte::ShiftJis && b >= 0xA1 && b <= 0xDF) n = 1;  // half-width kana
  else if (multibyte_ == Multibyte::Gb18030 && p + 1 < sql_.size() && IsDigit(sql_[p + 1])) n = 4;
  else if (multibyte_ == Multibyte::Johab && b == 0x8F) n = 3;
  return std::min(n, sql_.size() - p);
}

// A word, cut short before a "$" that opens a dollar-quoted string. Notes a one-letter
// identifier at its end that may prefix a string: E'...', B'...', X'...', U&'...'.
std::size_t TVNXSQLParser::ScanWord(std::size_t p, std::size_t end) {
  // The server's token under way: numbers read as 12, 1.5 or 1.5e3 (one point, one exponent),
  // and the rest of a word such as 1.5e3e4$$ starts a token of its own.
  enum class Run : std::uint8_t { None, Identifier, Integer, Fraction, Exponent, Parameter } run = Run::None;
  std::size_t identifierStart = p;
  auto digitFollows = [&] { return p + 1 < end && IsDigit(sql_[p + 1]); };
  for (; p < end; ++p) {
    const char c = sql_[p];
    switch (kChars.of[Byte(c)]) {
      case kDelimiter:
        goto done;
      case kLetter:
        if ((run == Run::Integer || run == Run::Fraction) && (c == 'e' || c == 'E') && digitFollows()) {
          run = Run::Exponent;
          break;
        }
        if (run != Run::Identifier) run = Run::Identifier, identifierStart = p;
        p += CharLength(p) - 1;  // later bytes of a character may look like delimiters
        break;
      case kDigit:
        if (run == Run::None) run = Run::Integer;
        break;
      case kDot:
        run = run == Run::Integer || digitFollows() ? Run::Fraction : Run::None;
        break;
      case kDollar:
        if (run == Run::Identifier) break;  // identifiers may hold "$"
        if (DollarTagLength(p) != 0) goto done;
        run = digitFollows() ? Run::Parameter : Run::None;  // $1, which takes no exponent
        break;
      default:
        run = Run::None;
        break;
    }
  }
done:
  if (run == Run::Identifier && p - identifierStart == 1) {
    const char letter = static_cast<char>(sql_[identifierStart] & ~0x20);
    if (letter == 'E' || letter == 'B' || letter == 'X' || letter == 'U') prefix_ = letter, prefixEnd_ = p;
  }
  return p;
}

// The scanner step behind ReadToken and NextToken. The token texts are kept in buffers that
// are reused from token to token: a statement of many tokens costs no allocation per token.
std::string_view TVNXSQLParser::Scan() {
  tokenStart_ = pos_;
  const std::size_t end = sql_.size();
  std::size_t p = pos_;
  NoteQuoteContext(p);
  bool keepsString = false;  // blanks and line comments let a string continue
  if (p >= end) {
    rawKind_ = RawKind::Symbol;  // the terminating NUL: nothing consumed
  } else {
    const char c = sql_[p];
    std::size_t tag;
    if (IsBlank(c)) {
      while (p < end && IsBlank(sql_[p])) {
        if (sql_[p] == '\n' || sql_[p] == '\r') lineBreakAfterString_ = true;
        ++p;
      }
      rawKind_ = RawKind::Blank;
      keepsString = true;
    } else if (c == '$' && (tag = DollarTagLength(p)) != 0) {
      const std::size_t close = sql_.find(std::string_view(sql_).substr(p, tag), p + tag);
      p = close == std::string::npos ? end : close + tag;
      rawKind_ = RawKind::QuotedString;
    } else if (!IsDelimiter(c)) {
      p = ScanWord(p, end);
      rawKind_ = RawKind::Word;
      // Form feeds and vertical tabs are blanks to the server.
      keepsString = sql_.find_first_not_of("\f\v", tokenStart_) >= p;
    } else if (c == '\'') {
      const std::size_t close = ScanString(p, end, quoteMode_);
      p = close == std::string::npos ? end : close;
      rawKind_ = RawKind::QuotedString;
      if (close != std::string::npos) {
        stringEnd_ = p;
        stringMode_ = quoteMode_;
        lineBreakAfterString_ = false;
        afterString_ = true;
        keepsString = true;
      }
    } else if (c == '"') {
      const std::size_t close = sql_.find('"', p + 1);  // a doubled quote closes and reopens
      p = close == std::string::npos ? end : close + 1;
      rawKind_ = RawKind::QuotedIdentifier;
    } else if (c == '-' && p + 1 < end && sql_[p + 1] == '-') {
      const std::size_t lineEnd = sql_.find_first_of("\r\n", p + 2);
      p = lineEnd == std::string::npos ? end : lineEnd;
      rawKind_ = RawKind::LineComment;
      keepsString = true;
    } else if (c == '/' && p + 1 < end && sql_[p + 1] == '*') {
      // Block comments nest.
      std::size_t depth = 1;
      p += 2;
      while (p < end && depth > 0) {
        if (sql_[p] == '/' && p + 1 < end && sql_[p + 1] == '*') ++depth, p += 2;
        else if (sql_[p] == '*' && p + 1 < end && sql_[p + 1] == '/') --depth, p += 2;
        else ++p;
      }
      rawKind_ = RawKind::BlockComment;
    } else {
      if (c == '&' && prefix_ == 'U' && prefixEnd_ == p) prefix_ = '&', prefixEnd_ = p + 1;
      ++p;
      rawKind_ = RawKind::Symbol;
    }
  }
  if (!keepsString) afterString_ = false;
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

// Steps over the tokens that no reading depends on, as NextToken steps would: runs of blanks,
// symbols that start nothing, and words that are no marker and are followed by neither a
// quote nor "&" (so that the prefix a word may be to a string never matters). Such a step
// changes the string context only by ending it (a word or symbol) or by a line break (a
// blank), and only the counters and the last two token records stay visible of it; the
// first token of a text, which tells the statement kind, is left to NextToken. True when
// it stopped at a marker, which TakeMarker then reads.
bool TVNXSQLParser::SkipPlainTokens() noexcept {
  if (tokenCount_ == 0) return false;
  const char* s = sql_.data();
  const std::size_t end = sql_.size();
  const PlainClass* plain = multibyte_ == Multibyte::None ? kPlainSingle.of : kPlainMultibyte.of;
  std::size_t p = pos_, lastStart = last_.start, previousStart = 0;
  std::int32_t steps = 0;
  bool afterString = afterString_, lineBreak = lineBreakAfterString_, marker = false;
  while (p < end) {
    const std::size_t start = p;
    switch (plain[Byte(s[p])]) {
      case kPlainBlank:
        do {
          lineBreak |= s[p] == '\n' || s[p] == '\r';
        } while (++p < end && IsBlank(s[p]));
        break;
      case kCommentStart:
        if (p + 1 < end && (s[p + 1] == '-' || s[p + 1] == '*')) goto done;
        [[fallthrough]];
      case kPlainSymbol:
        ++p;
        afterString = false;
        break;
      case kPlainWord:
        if (s[p] == '?' && (p + 1 == end || IsDelimiter(s[p + 1]))) {
          marker = true;
          goto done;
        }
        while (++p < end && plain[Byte(s[p])] == kPlainWord) {
        }
        // Left whole to the scanner: a word that goes on with a byte of its own reading, and
        // one that may prefix a string.
        if (p < end && (s[p] == '\'' || s[p] == '&' || !IsDelimiter(s[p]))) {
          p = start;
          goto done;
        }
        afterString = false;
        break;
      default:
        goto done;
    }
    previousStart = lastStart;
    lastStart = start;
    ++steps;
  }
done:
  if (steps == 0) return marker;
  // Tokens that start with a blank are blanks; every other one taken here is tkOther.
  auto record = [&](std::size_t start, std::size_t length, std::int32_t index) {
    return TokenRecord{start, length, IsBlank(s[start]) ? TVNXTokenKind::tkBlank : TVNXTokenKind::tkOther, index};
  };
  // Before a marker, the marker's step moves the last record to the previous one.
  if (!marker) previous_ = steps == 1 ? last_ : record(previousStart, lastStart - previousStart, tokenNumber_ + steps - 1);
  tokenNumber_ += steps;
  tokenCount_ += steps;
  last_ = record(lastStart, p - lastStart, tokenNumber_);
  pos_ = p;  // the token step that follows sets the rest
  afterString_ = afterString;
  lineBreakAfterString_ = lineBreak;
  return marker;
}

// The step of NextToken over a "?" that is a word of its own.
void TVNXSQLParser::TakeMarker(TVNXTokenKind& kind, std::int32_t& index) noexcept {
  previous_ = last_;
  tokenStart_ = pos_;
  NoteQuoteContext(pos_);
  rawKind_ = RawKind::Word;
  afterString_ = false;
  ++pos_;
  ++tokenCount_;  // a first token "?" leaves the statement kind unknown
  kind = TVNXTokenKind::tkOther;
  index = ++tokenNumber_;
  last_ = TokenRecord{tokenStart_, 1, kind, index};
}

// Flattened: the token steps run inline here, as this loop carries the substitution of every
// statement with parameters.
[[gnu::flatten]] std::string_view TVNXSQLParser::NextMarker(TVNXTokenKind& kind, std::int32_t& index) {
  const std::size_t from = pos_;
  for (;;) {
    if (SkipPlainTokens()) {
      TakeMarker(kind, index);
      return std::string_view(sql_).substr(from, tokenStart_ - from);
    }
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
