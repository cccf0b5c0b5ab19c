// The server's reading of a SQL text, byte by byte: code, comment, quoted identifier, dollar-
// quoted string, or part of a '...' string with the rules that read it. The oracle of the
// tokenizer's fuzz target, written as one plain character loop apart from the tokenizer so
// that the two do not share their mistakes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vnxfuzz {

// Standard: no escapes; Escape: backslash escapes (E'...', or '...' with
// standard_conforming_strings off); Bit: B'...' and X'...'; Unicode: U&'...'.
enum class StringRules : std::uint8_t { Standard, Escape, Bit, Unicode };

struct ByteReading {
  enum Kind : std::uint8_t { Code, Comment, Identifier, DollarString, Open, Body, Close };
  Kind kind = Code;
  StringRules rules = StringRules::Standard;  // for Open, Body and Close
  bool operator==(const ByteReading&) const = default;
};

struct ServerReading {
  bool rejected = false;  // the server refuses the text before running any of it
  std::vector<ByteReading> bytes;
};

// encoding: the client encoding's name; in SJIS, BIG5, GBK, UHC, GB18030 and JOHAB a high
// byte starts a character of several bytes, which the server sees as one.
ServerReading ReadAsServer(std::string_view sql, bool standardConformingStrings, std::string_view encoding);

}  // namespace vnxfuzz
