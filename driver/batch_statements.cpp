// What batched reading needs to know of a statement's text: whether a server-side cursor
// can carry it, and whether it may end the transaction its cursor was declared in.
#include <string>
#include <string_view>
#include <vector>

#include "driver/batched_reads.h"
#include "driver/more_rows.h"
#include "parser/sql_parser.h"
#include "runtime/strutil.h"

namespace vnx {
namespace {

// The words of the first statement of a text (outside strings, quoted names and
// comments, as the tokenizer reads them), lower-cased, each with its parenthesis depth;
// `more` tells whether another statement follows.
struct StatementWords {
  std::vector<std::pair<std::string, int>> words;
  bool more = false;
};

StatementWords ScanFirstStatement(std::string_view sql, bool standardConformingStrings,
                                  std::string_view clientEncoding) {
  StatementWords out;
  TVNXSQLParser parser{std::string(), standardConformingStrings};
  parser.SetClientEncoding(clientEncoding);
  parser.SetSQL(std::string(sql));
  int depth = 0;
  bool ended = false;
  for (;;) {
    TVNXTokenKind kind;
    std::int32_t index;
    const std::string_view text = parser.NextToken(kind, index);
    if (kind == TVNXTokenKind::tkEndOfStatement) {
      if (text.empty()) break;  // the end of the text
      ended = true;
      continue;
    }
    const auto raw = parser.LastRawKind();
    if (raw == TVNXSQLParser::RawKind::Blank || raw == TVNXSQLParser::RawKind::LineComment ||
        raw == TVNXSQLParser::RawKind::BlockComment)
      continue;
    if (ended) {
      out.more = true;
      break;
    }
    if (raw == TVNXSQLParser::RawKind::Word) out.words.emplace_back(rt::LowerCase(text), depth);
    else if (text == "(") ++depth;
    else if (text == ")") --depth;
  }
  return out;
}

bool Contains(const std::vector<std::pair<std::string, int>>& words, std::string_view word, bool topOnly) {
  for (const auto& [w, depth] : words)
    if (w == word && (!topOnly || depth == 0)) return true;
  return false;
}

}  // namespace

bool DeclarableAsCursor(std::string_view sql, bool standardConformingStrings, std::string_view clientEncoding) {
  const StatementWords s = ScanFirstStatement(sql, standardConformingStrings, clientEncoding);
  if (s.more || s.words.empty()) return false;
  const std::string& first = s.words.front().first;
  if (first != "select" && first != "values" && first != "table" && first != "with") return false;
  // SELECT ... INTO creates a table and returns no rows; a cursor cannot carry it.
  if (Contains(s.words, "into", true)) return false;
  // A cursor may not hold data-modifying statements in WITH; any such word, anywhere,
  // leaves the statement to be read whole (FOR UPDATE included: rare in reports).
  for (std::string_view verb : {"insert", "update", "delete", "merge"})
    if (Contains(s.words, verb, false)) return false;
  return true;
}

bool ControlsTransaction(std::string_view sql, bool standardConformingStrings, std::string_view clientEncoding) {
  TVNXSQLParser parser{std::string(), standardConformingStrings};
  parser.SetClientEncoding(clientEncoding);
  parser.SetSQL(std::string(sql));
  // The first two words of each statement (outside strings, quoted names and comments).
  std::string first, second;
  for (;;) {
    TVNXTokenKind kind;
    std::int32_t index;
    const std::string_view text = parser.NextToken(kind, index);
    if (kind == TVNXTokenKind::tkEndOfStatement) {
      if (first == "begin" || first == "start" || first == "commit" || first == "end" || first == "abort" ||
          first == "rollback" || (first == "prepare" && second == "transaction"))
        return true;
      if (text.empty()) return false;  // the end of the text
      first.clear();
      second.clear();
      continue;
    }
    if (parser.LastRawKind() != TVNXSQLParser::RawKind::Word) continue;
    if (first.empty()) first = rt::LowerCase(text);
    else if (second.empty()) second = rt::LowerCase(text);
  }
}

}  // namespace vnx
