// The command's tokenizer and marker search over any text, in every string reading and in the
// client encodings whose characters hold ASCII bytes. Properties: the token texts join to
// the text; the marker search stops where token steps do; no marker lies in what the server
// reads as a string or comment; and after substitution as the command does it, every literal
// is read by the server as one literal, and every byte of the text as before.
#include <string>
#include <vector>

#include "parser/sql_parser.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/server_reading.h"

using namespace vnx;
using namespace vnxfuzz;

namespace {

constexpr std::int64_t kSeparatorTag = INT64_MIN;
constexpr const char* kEncodings[] = {"UTF8", "SJIS", "BIG5", "GB18030", "JOHAB", "LATIN1", "UHC", "GBK"};

void TokensJoinToTheText(TVNXSQLParser& p, const std::string& sql) {
  p.Reset();
  std::string joined;
  for (std::int32_t n = 1;; ++n) {
    TVNXSQLToken t;
    p.NextToken(t);
    FUZZ_CHECK(t.Index == n && t.Start == static_cast<std::int32_t>(joined.size()), sql);
    FUZZ_CHECK(t.End == t.Start + static_cast<std::int32_t>(t.Text.size()) - 1, sql);
    if (t.Text.empty()) break;
    joined += t.Text;
    FUZZ_CHECK(joined.size() <= sql.size(), sql);
  }
  FUZZ_CHECK(joined == sql, sql);
}

void MarkerSearchAgreesWithTokenSteps(const std::string& sql, bool scs, const char* encoding) {
  TVNXSQLParser steps(sql, scs), jumps(sql, scs);
  steps.SetClientEncoding(encoding);
  jumps.SetClientEncoding(encoding);
  steps.SetSQL(sql);
  jumps.SetSQL(sql);
  TVNXTokenKind stepKind, jumpKind;
  std::int32_t stepIndex = 0, jumpIndex = 0;
  for (;;) {
    std::string passed;
    for (;;) {
      const std::string_view t = steps.NextToken(stepKind, stepIndex);
      if ((t == "?" && steps.LastRawKind() == TVNXSQLParser::RawKind::Word) ||
          stepKind == TVNXTokenKind::tkEndOfStatement)
        break;
      passed += t;
    }
    FUZZ_CHECK(jumps.NextMarker(jumpKind, jumpIndex) == passed, sql);
    FUZZ_CHECK(jumpKind == stepKind && jumpIndex == stepIndex, sql);
    FUZZ_CHECK(jumps.CurrentStatementKind() == steps.CurrentStatementKind(), sql);
    if (steps.LastToken().Text.empty()) return;
  }
}

// A value with every character that could end a string or start a comment.
std::string QuotedValue(bool scs) {
  const std::string value = "x'\\*/$$--;?\n\"";
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || (c == '\\' && !scs)) out += c;
    out += c;
  }
  return out + "'";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t flags = in.Byte();
  const bool scs = (flags & 1) != 0;
  const char* encoding = kEncodings[(flags >> 1) % std::size(kEncodings)];
  std::string sql(in.Rest());
  sql.resize(std::min(sql.size(), sql.find('\0')));  // the parser reads up to a NUL

  TVNXSQLParser p(sql, scs);
  p.SetClientEncoding(encoding);
  p.SetSQL(sql);
  TokensJoinToTheText(p, sql);
  MarkerSearchAgreesWithTokenSteps(sql, scs, encoding);

  // Substitution as the command does it, over every statement, each byte's origin noted.
  const std::string literals[] = {QuotedValue(scs), "(-1)", "NULL", "1", "(-2)::int8", "true"};
  std::string out;
  std::vector<std::int64_t> origin;  // index into sql, or -1 - the literal's number
  std::vector<std::size_t> markers;
  auto copy = [&](std::size_t from, std::size_t length) {
    out.append(sql, from, length);
    for (std::size_t k = 0; k < length; ++k) origin.push_back(static_cast<std::int64_t>(from + k));
  };
  auto insert = [&](const std::string& text, std::int64_t tag) {
    out += text;
    origin.insert(origin.end(), text.size(), tag);
  };
  p.Reset();
  TVNXTokenKind kind;
  std::int32_t index;
  std::size_t at = 0;
  for (;;) {
    const std::string_view passed = p.NextMarker(kind, index);
    copy(at, passed.size());
    const TVNXSQLToken last = p.LastToken();
    at = static_cast<std::size_t>(last.Start) + last.Text.size();
    if (kind == TVNXTokenKind::tkEndOfStatement) {
      if (last.Text.empty()) break;
      copy(static_cast<std::size_t>(last.Start), last.Text.size());
      continue;
    }
    const std::string& literal = literals[markers.size() % std::size(literals)];
    const std::int64_t tag = -1 - static_cast<std::int64_t>(markers.size());
    markers.push_back(static_cast<std::size_t>(last.Start));
    if (literal[0] == '\'' && p.LiteralJoinsPrevious()) insert("/**/", kSeparatorTag);
    insert(literal, tag);
    if (p.LiteralJoinsNext()) insert("/**/", kSeparatorTag);
  }
  FUZZ_CHECK(at == sql.size(), sql);

  const ServerReading before = ReadAsServer(sql, scs, encoding);
  if (before.rejected) return 0;  // nothing of it would run
  for (std::size_t m : markers) FUZZ_CHECK(before.bytes[m].kind == ByteReading::Code, sql);
  const ServerReading after = ReadAsServer(out, scs, encoding);
  FUZZ_CHECK(!after.rejected, out);
  const StringRules plain = scs ? StringRules::Standard : StringRules::Escape;
  for (std::size_t k = 0; k < out.size();) {
    if (origin[k] >= 0) {
      FUZZ_CHECK(after.bytes[k] == before.bytes[static_cast<std::size_t>(origin[k])], out);
      ++k;
    } else if (origin[k] == kSeparatorTag) {
      FUZZ_CHECK(after.bytes[k].kind == ByteReading::Comment, out);
      ++k;
    } else {
      // A quoted literal is one string read as the connection reads strings; others are code.
      const std::string& literal = literals[static_cast<std::size_t>(-1 - origin[k]) % std::size(literals)];
      for (std::size_t j = 0; j < literal.size(); ++j) {
        const ByteReading r = after.bytes[k + j];
        if (literal[0] != '\'') {
          FUZZ_CHECK(r.kind == ByteReading::Code, out);
        } else {
          const auto expect = j == 0 ? ByteReading::Open : j + 1 == literal.size() ? ByteReading::Close : ByteReading::Body;
          FUZZ_CHECK(r.kind == expect && r.rules == plain, out);
        }
      }
      k += literal.size();
    }
  }
  return 0;
}
