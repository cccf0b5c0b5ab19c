// The SQL tokenizer of the command: cuts a text into tokens that join back into the text
// byte for byte, and tells the statement kind from the first word.
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
  explicit TVNXSQLParser(std::string sql = {});

  // Installs a text and resets.
  void SetSQL(std::string sql);
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

  // Resets, skips leading blanks, reads the first token and returns the kind found. Leaves
  // the parser after the first word: reset before scanning.
  std::uint8_t StatementKind();
  // The kind set by the scan since the last reset (0 until the first non-empty token).
  std::uint8_t CurrentStatementKind() const noexcept { return statementKind_; }

  // The token records of the last two NextToken steps.
  TVNXSQLToken PreviousToken() const { return Materialize(previous_); }
  TVNXSQLToken LastToken() const { return Materialize(last_); }

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
  std::string_view Scan();
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
};

}  // namespace vnx
