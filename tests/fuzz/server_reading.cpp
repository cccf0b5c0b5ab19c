// The server's reading of a SQL text (see server_reading.h).
#include "tests/fuzz/server_reading.h"

#include <cstring>
#include <string>

namespace vnxfuzz {
namespace {

using K = ByteReading::Kind;

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
bool IsNewline(unsigned char c) { return c == '\n' || c == '\r'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsIdentStart(unsigned char c) { return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '_' || c >= 0x80; }
bool IsIdentPart(unsigned char c) { return IsIdentStart(c) || IsDigit(c) || c == '$'; }

class Reader {
 public:
  Reader(std::string_view s, bool scs, std::string_view encoding) : s_(s), scs_(scs) {
    const std::string e(encoding);
    if (e == "SJIS" || e == "SHIFT_JIS_2004") family_ = 1;
    else if (e == "BIG5" || e == "GBK" || e == "UHC") family_ = 2;
    else if (e == "GB18030") family_ = 3;
    else if (e == "JOHAB") family_ = 4;
    out_.bytes.resize(s.size());
  }

  ServerReading Read() {
    std::size_t i = 0;
    while (i < s_.size() && !out_.rejected) i = Token(i);
    return out_;
  }

 private:
  unsigned char At(std::size_t i) const { return i < s_.size() ? static_cast<unsigned char>(s_[i]) : 0; }

  // Bytes of the character at i, as the server's conversion groups them.
  std::size_t Len(std::size_t i) {
    const unsigned char c = At(i);
    std::size_t n = 1;
    if (c >= 0x80) {
      switch (family_) {
        case 1: n = c >= 0xA1 && c <= 0xDF ? 1 : 2; break;
        case 2: n = 2; break;
        case 3: n = IsDigit(At(i + 1)) ? 4 : 2; break;
        case 4: n = c == 0x8F ? 3 : 2; break;
        default: break;
      }
    }
    // A character cut short, or with a later byte below the range every one of these
    // encodings gives them, fails the server's conversion.
    if (i + n > s_.size()) out_.rejected = true;
    n = std::min(n, s_.size() - i);
    for (std::size_t k = 1; k < n; ++k)
      if (At(i + k) < 0x30) out_.rejected = true;
    return n;
  }

  void Mark(std::size_t from, std::size_t to, K kind, StringRules rules = StringRules::Standard) {
    for (std::size_t k = from; k < to && k < s_.size(); ++k) out_.bytes[k] = {kind, rules};
  }

  // One token from i; returns where the next starts.
  std::size_t Token(std::size_t i) {
    const unsigned char c = At(i), next = At(i + 1), lower = c | 0x20;
    if (IsSpace(c)) return i + 1;
    if (c == '-' && next == '-') {
      std::size_t j = i;
      while (j < s_.size() && !IsNewline(At(j))) ++j;
      Mark(i, j, K::Comment);
      return j;
    }
    if (c == '/' && next == '*') return BlockComment(i);
    const StringRules plain = scs_ ? StringRules::Standard : StringRules::Escape;
    if (lower == 'e' && next == '\'') return String(i + 1, StringRules::Escape);
    if ((lower == 'b' || lower == 'x') && next == '\'') return String(i + 1, StringRules::Bit);
    if (lower == 'n' && next == '\'') return String(i + 1, plain);
    if (lower == 'u' && next == '&' && At(i + 2) == '\'') {
      if (!scs_) out_.rejected = true;
      return String(i + 2, StringRules::Unicode);
    }
    if (lower == 'u' && next == '&' && At(i + 2) == '"') return QuotedIdentifier(i + 2);
    if (c == '\'') return String(i, plain);
    if (c == '"') return QuotedIdentifier(i);
    if (c == '$') {
      if (std::size_t tag = DollarTag(i)) return DollarString(i, tag);
      std::size_t j = i + 1;
      while (IsDigit(At(j))) ++j;  // a parameter, or a "$" of its own
      return j;
    }
    if (IsIdentStart(c)) {
      std::size_t j = i;
      while (j < s_.size() && IsIdentPart(At(j))) j += Len(j);
      return j;
    }
    if (IsDigit(c) || (c == '.' && IsDigit(next))) {
      std::size_t j = i;
      while (IsDigit(At(j))) ++j;
      if (At(j) == '.') {
        ++j;
        while (IsDigit(At(j))) ++j;
      }
      if ((At(j) | 0x20) == 'e') {
        std::size_t k = j + 1;
        if (At(k) == '+' || At(k) == '-') ++k;
        if (IsDigit(At(k))) {
          while (IsDigit(At(k))) ++k;
          j = k;
        }
      }
      return j;
    }
    return i + Len(i);  // operators and punctuation, one character at a time
  }

  std::size_t BlockComment(std::size_t i) {
    std::size_t j = i + 2;
    int depth = 1;
    while (depth > 0) {
      if (j >= s_.size()) {
        out_.rejected = true;
        break;
      }
      if (At(j) == '/' && At(j + 1) == '*') ++depth, j += 2;
      else if (At(j) == '*' && At(j + 1) == '/') --depth, j += 2;
      else ++j;
    }
    Mark(i, j, K::Comment);
    return j;
  }

  std::size_t QuotedIdentifier(std::size_t q) {
    std::size_t j = q + 1;
    for (;;) {
      if (j >= s_.size()) {
        out_.rejected = true;
        break;
      }
      if (At(j) == '"') {
        if (At(j + 1) != '"') {
          ++j;
          break;
        }
        ++j;
      }
      ++j;
    }
    Mark(q, j, K::Identifier);
    return j;
  }

  std::size_t DollarTag(std::size_t i) {
    std::size_t j = i + 1;
    if (IsIdentStart(At(j))) {
      while (j < s_.size() && IsIdentPart(At(j)) && At(j) != '$') j += Len(j);
    }
    return At(j) == '$' ? j + 1 - i : 0;
  }

  std::size_t DollarString(std::size_t i, std::size_t tagLength) {
    const std::string_view tag = s_.substr(i, tagLength);
    std::size_t j = i + tagLength;
    while (j < s_.size() && s_.substr(j, tagLength) != tag) j += Len(j);
    if (j >= s_.size()) {
      out_.rejected = true;
      Mark(i, s_.size(), K::DollarString);
      return s_.size();
    }
    Mark(i, j + tagLength, K::DollarString);
    return j + tagLength;
  }

  // From the opening quote at q to past the string, continuations included.
  std::size_t String(std::size_t q, StringRules rules) {
    Mark(q, q + 1, K::Open, rules);
    std::size_t j = q + 1;
    for (;;) {
      if (j >= s_.size()) {
        out_.rejected = true;
        return j;
      }
      const unsigned char c = At(j);
      if (c == '\'') {
        if (rules != StringRules::Bit && At(j + 1) == '\'') {
          Mark(j, j + 2, K::Body, rules);
          j += 2;
          continue;
        }
        Mark(j, j + 1, K::Close, rules);
        ++j;
        // Blanks and line comments holding a line break, then a quote: the string goes on.
        std::size_t k = j;
        bool newline = false;
        for (;;) {
          if (IsSpace(At(k)) && k < s_.size()) {
            newline |= IsNewline(At(k));
            ++k;
          } else if (At(k) == '-' && At(k + 1) == '-') {
            const std::size_t from = k;
            while (k < s_.size() && !IsNewline(At(k))) ++k;
            Mark(from, k, K::Comment);
          } else {
            break;
          }
        }
        if (!newline || At(k) != '\'' || k >= s_.size()) {
          Mark(j, k, K::Code);  // comments of a failed continuation are read again
          return j;
        }
        Mark(k, k + 1, K::Open, rules);
        j = k + 1;
        continue;
      }
      std::size_t n = Len(j);
      if (rules == StringRules::Escape && c == '\\') {
        if (j + 1 >= s_.size()) {
          out_.rejected = true;
          return s_.size();
        }
        n = 1 + Len(j + 1);
      }
      Mark(j, j + n, K::Body, rules);
      j += n;
    }
  }

  std::string_view s_;
  bool scs_;
  int family_ = 0;
  ServerReading out_;
};

}  // namespace

ServerReading ReadAsServer(std::string_view sql, bool standardConformingStrings, std::string_view encoding) {
  return Reader(sql, standardConformingStrings, encoding).Read();
}

}  // namespace vnxfuzz
