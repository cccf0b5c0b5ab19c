// Cutting shell input into statements (see script.h).
#include "tools/vnxsql/script.h"

#include <cctype>

#include "parser/sql_parser.h"

namespace vnxsql {
namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

// The tag of a dollar quote starting at s[i] ("$$" or "$name$"), or empty when none does.
std::string DollarTagAt(std::string_view s, std::size_t i) {
  if (s[i] != '$') return {};
  std::size_t j = i + 1;
  while (j < s.size() && (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_')) ++j;
  if (j >= s.size() || s[j] != '$') return {};
  if (j > i + 1 && std::isdigit(static_cast<unsigned char>(s[i + 1]))) return {};  // $1 is a parameter
  return std::string(s.substr(i, j - i + 1));
}

}  // namespace

void ScriptSplitter::AddLine(std::string_view line, std::vector<ScriptItem>& out) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (Idle()) {
    const std::string_view t = Trim(line);
    if (!t.empty() && t.front() == '\\') {
      pending_.clear();
      out.push_back({true, std::string(t)});
      return;
    }
  }
  std::string kept;  // the line less its trailing comment
  char lastCode = 0;  // last character outside quotes and comments
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    switch (state_) {
      case State::Normal:
        if (c == '-' && i + 1 < line.size() && line[i + 1] == '-') {
          i = line.size();
          continue;
        }
        if (c == '\'') {
          state_ = State::Single;
          // E'...' takes escapes; a quote right after a closing one goes on with that string.
          const bool prefixE = i > 0 && (line[i - 1] == 'E' || line[i - 1] == 'e') &&
                               (i < 2 || !(std::isalnum(static_cast<unsigned char>(line[i - 2])) ||
                                           line[i - 2] == '_' || line[i - 2] == '$'));
          if (!(i > 0 && line[i - 1] == '\'')) escapes_ = !standardStrings_ || prefixE;
        }
        else if (c == '"') state_ = State::Double;
        else if (c == '/' && i + 1 < line.size() && line[i + 1] == '*') {
          state_ = State::Block;
          kept += "/*";
          ++i;
          continue;
        } else if (c == '$') {
          const std::string tag = DollarTagAt(line, i);
          if (!tag.empty()) {
            state_ = State::Dollar;
            dollarTag_ = tag;
            kept += tag;
            i += tag.size() - 1;
            continue;
          }
        }
        if (!Blank(c)) lastCode = c;
        break;
      case State::Single:
        if (escapes_ && c == '\\' && i + 1 < line.size()) {
          kept += c;
          kept += line[++i];
          continue;
        }
        if (c == '\'') state_ = State::Normal, lastCode = c;
        break;
      case State::Double:
        if (c == '"') state_ = State::Normal, lastCode = c;
        break;
      case State::Block:
        if (c == '*' && i + 1 < line.size() && line[i + 1] == '/') {
          state_ = State::Normal;
          kept += "*/";
          ++i;
          continue;
        }
        break;
      case State::Dollar:
        if (line.compare(i, dollarTag_.size(), dollarTag_) == 0) {
          state_ = State::Normal;
          kept += dollarTag_;
          i += dollarTag_.size() - 1;
          lastCode = '$';
          continue;
        }
        break;
    }
    kept += c;
  }
  if (Trim(pending_).empty() && Trim(kept).empty()) {
    pending_.clear();
    return;
  }
  if (!pending_.empty()) pending_ += '\n';
  pending_ += kept;
  if (state_ == State::Normal && lastCode == ';') Emit(out);
}

void ScriptSplitter::Finish(std::vector<ScriptItem>& out) {
  Emit(out);
  state_ = State::Normal;
}

void ScriptSplitter::Emit(std::vector<ScriptItem>& out) {
  std::string_view t = Trim(pending_);
  // A statement of nothing but its semicolons is no statement.
  if (t.find_first_not_of("; \t\r\n") != std::string_view::npos) out.push_back({false, std::string(t)});
  pending_.clear();
}

bool ScriptSplitter::Idle() const { return state_ == State::Normal && Trim(pending_).empty(); }

int CountMarkers(std::string_view sql, bool standardStrings) {
  vnx::TVNXSQLParser parser{std::string(sql), standardStrings};
  vnx::TVNXTokenKind kind;
  std::int32_t index;
  int count = 0;
  for (;;) {
    const std::string_view token = parser.NextToken(kind, index);
    if (token.empty()) return count;
    if (token == "?" && parser.LastRawKind() == vnx::TVNXSQLParser::RawKind::Word) ++count;
  }
}

}  // namespace vnxsql
