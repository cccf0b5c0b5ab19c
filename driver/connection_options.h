// The pieces of connecting that need no server: the custom option string, the server name,
// the server's version text, character-set names and the libpq connection string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/server_name.h"

namespace vnx {

// One element of a custom option string: the key trimmed and lower-cased, the value trimmed.
struct TVNXOption {
  std::string Key;
  std::string Value;
  std::string Written;  // the key as the string spells it, for messages
};

// Splits an option string at "," into elements and each element at its first "=". A
// backslash makes the next character literal. Empty elements and elements without "=" are
// left out; the keys of the latter go to `valueless` when given.
std::vector<TVNXOption> SplitOptionString(std::string_view options, std::vector<std::string>* valueless = nullptr);

// The version in a version() text as a number: 8.3.7 gives 8.37, 8.3.0.12 gives 8.3012.
// -1 when the text names no known product or carries no version digits.
double ServerVersionNumber(std::string_view versionText);

// The PostgreSQL encoding name for a character-set name; empty when there is none.
std::string CharSetToEncoding(std::string_view charSet);

// A decimal integer (optional sign, digits, nothing else); empty when the text is not one
// or does not fit 32 bits.
std::optional<std::int32_t> ParseInt32(std::string_view text);

// A value for libpq's keyword/value syntax: in single quotes, with a backslash before every
// quote and backslash, so that no value can end early or bring keywords of its own.
std::string QuoteConnectionValue(std::string_view value);

struct TVNXConnectionParams {
  std::vector<TVNXHost> Hosts;
  std::string Database;
  std::string UserName;
  std::string Password;
  std::int32_t ConnectionTimeout = -1;  // left out when negative
  bool RequireSSL = false;
  // libpq's own keywords from the option string; the pieces above win over the same keys.
  std::vector<TVNXOption> LibpqKeywords;
};

// The libpq connection string: the option string's libpq keywords, then host and port (comma
// lists for several hosts), dbname, user, password, connect_timeout and, for RequireSSL,
// sslmode=require (unless the options ask for as much or more), each only when it has a value.
std::string BuildConnectionString(const TVNXConnectionParams& params);

}  // namespace vnx
