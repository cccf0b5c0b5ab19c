// The SQL tokenizer of the command: cuts a text into tokens that join back into the text
// byte for byte, and tells the statement kind from the first word. Strings, quoted
// identifiers and comments end where the server's own reading ends them, so that a "?" is
// taken for a marker exactly where the server would read code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vnx {

enum class TVNXTokenKind : std::uint8_t { tkOther, tkBlank, tkLineComment, tkEndOfStatement };

struct TVNXSQLToken {
  std::int32_t Start = 0;  // offset of the first character
  std::int32_t End = 0;    // offset of the last character (Start - 1 for the empty end token)
  TVNXTokenKind Kind = TVNXTokenKind::tkOther;
  std::int32_t Index = 0;  // 1 for the first token after a reset
  std::string Text;
};

// Statement kinds, as StatementKind and AnalyseStatement report them.
enum : std::uint8_t {
  skindUnknown = 0, skindSelect = 1, skindInsert = 2, skindDelete = 3, skindUpdate = 4,
  skindCreate = 5, skindAlter = 6, skindDrop = 7,
};

class TVNXSQLParser {
 public:
  explicit TVNXSQLParser(std::string sql = {}, bool standardConformingStrings = false);

  // Installs a text and resets.
  void SetSQL(std::string sql);
  // How the server reads backslashes in a plain '...' string: as ordinary characters when
  // on, as escapes when off (the reading of servers before 9.1, and of those that predate
  // the setting). Takes effect from the next token; E'...' strings always take escapes.
  void SetStandardConformingStrings(bool on) noexcept { standardConformingStrings_ = on; }
  bool StandardConformingStrings() const noexcept { return standardConformingStrings_; }
  // The connection's client encoding (a PostgreSQL encoding name). The server reads the text
  // after converting it, so in SJIS, BIG5, GBK, UHC, GB18030 and JOHAB, whose characters may
  // hold ASCII bytes after the first, such a byte is no backslash, delimiter or "$" of its own.
  void SetClientEncoding(std::string_view encoding) noexcept;
  const std::string& SQL() const noexcept { return sql_; }
  // Back to the start of the text; counters, kind and token records cleared.
  void Reset();

  // One raw scanner step; returns the token's text, empty at the end of the text.
  std::string ReadToken();
  // The step callers use: reads one token and describes it. At the end of the text it
  // keeps returning an empty tkEndOfStatement token.
  void NextToken(TVNXSQLToken& token);
  // The same step without copying the token's text: returns it as a view into the
  // parser's text (valid until SetSQL) and fills kind and index.
  std::string_view NextToken(TVNXTokenKind& kind, std::int32_t& index);

  // Reads tokens as NextToken does up to the next "?" marker or the end of the statement,
  // and returns the text of the tokens passed over (a view into the parser's text). kind and
  // index describe the token it stopped at, which is consumed.
  std::string_view NextMarker(TVNXTokenKind& kind, std::int32_t& index);

  // Whether a quoted literal put in place of the last token would not be read as a plain
  // string of its own: right after a closing quote it would continue that string (a doubled
  // quote), after "U&" it would be a Unicode-escape string, and after a line break that
  // follows an E'...', U&'...', B'...' or X'...' string it would continue that string and be
  // read by its rules. Whoever substitutes must end that reading first.
  bool LiteralJoinsPrevious() const noexcept { return literalJoins_; }
  // Whether the text right after the last token would join a literal put in its place: a
  // quote would be read as a doubled one, and a "$" would go on with a literal ending in a
  // word (NULL$$ is one identifier).
  bool LiteralJoinsNext() const noexcept {
    return pos_ < sql_.size() && (sql_[pos_] == '\'' || sql_[pos_] == '$');
  }

  // Resets, skips leading blanks, reads the first token and returns the kind found. Leaves
  // the parser after the first word: reset before scanning.
  std::uint8_t StatementKind();
  // The kind set by the scan since the last reset (0 until the first non-empty token).
  std::uint8_t CurrentStatementKind() const noexcept { return statementKind_; }

  // The token records of the last two NextToken steps.
  TVNXSQLToken PreviousToken() const { return Materialize(previous_); }
  TVNXSQLToken LastToken() const { return Materialize(last_); }

  // QuotedString covers every kind of string constant, dollar-quoted ones included.
  enum class RawKind : std::uint8_t {
    None, Blank, Word, QuotedString, QuotedIdentifier, LineComment, BlockComment, Symbol,
  };
  RawKind LastRawKind() const noexcept { return rawKind_; }

 private:
  // A token as positions in the text: records are kept this way so that a statement of
  // many tokens costs no string copy per token.
  struct TokenRecord {
    std::size_t start = 0, length = 0;
    TVNXTokenKind kind = TVNXTokenKind::tkOther;
    std::int32_t index = 0;
  };
  // How the server reads the inside of a '...' string: Standard without escapes, Escape
  // with backslash escapes, Bit for B'...' and X'...' (no escapes, no doubled quotes),
  // Unicode for U&'...' (read as Standard here; its escapes are decoded later).
  enum class StringMode : std::uint8_t { Standard, Escape, Bit, Unicode };
  StringMode PlainMode() const noexcept {
    return standardConformingStrings_ ? StringMode::Standard : StringMode::Escape;
  }
  std::string_view Scan();
  bool SkipPlainTokens() noexcept;
  void TakeMarker(TVNXTokenKind& kind, std::int32_t& index) noexcept;
  std::size_t ScanWord(std::size_t p, std::size_t end);
  std::size_t ScanString(std::size_t p, std::size_t end, StringMode mode) const;
  std::size_t CharLength(std::size_t p) const noexcept;
  std::size_t DollarTagLength(std::size_t p) const noexcept;
  void NoteQuoteContext(std::size_t p);
  TVNXSQLToken Materialize(const TokenRecord& r) const;

  std::string sql_;
  std::size_t pos_ = 0;
  std::size_t tokenStart_ = 0;
  RawKind rawKind_ = RawKind::None;
  TokenRecord previous_;
  TokenRecord last_;
  std::uint8_t statementKind_ = skindUnknown;
  std::int32_t tokenCount_ = 0;
  std::int32_t tokenNumber_ = 0;
  bool standardConformingStrings_ = false;
  // How many bytes a character starting with a high byte takes, by encoding family; None
  // for the encodings whose later bytes are all high bytes too.
  enum class Multibyte : std::uint8_t { None, ShiftJis, TwoByte, Gb18030, Johab };
  Multibyte multibyte_ = Multibyte::None;

  // What a quote at the start of the current token would belong to. A string constant
  // continues across blanks and line comments that hold a line break, and a quote right after
  // a closing one is a doubled quote: the server reads both by the rules of the first string.
  bool afterString_ = false;          // only blanks and line comments since a string's end
  bool lineBreakAfterString_ = false;
  std::size_t stringEnd_ = 0;         // just past that string's closing quote
  StringMode stringMode_ = StringMode::Standard;
  char prefix_ = 0;                   // 'E', 'B', 'X', 'U' or '&' (for U&) ending at prefixEnd_
  std::size_t prefixEnd_ = std::string::npos;
  StringMode quoteMode_ = StringMode::Standard;  // the reading of a quote at the token's start
  bool literalJoins_ = false;
};

}  // namespace vnx
