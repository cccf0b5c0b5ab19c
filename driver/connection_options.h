// The pieces of connecting that need no server: the custom option string, the server name,
// the server's version text, character-set names and the libpq connection string.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vnx {

// One element of a custom option string: the key trimmed and lower-cased, the value trimmed.
struct TVNXOption {
  std::string Key;
  std::string Value;
};

// Splits an option string at "," into elements and each element at its first "=". A
// backslash makes the next character literal. Empty elements and elements without "=" are
// left out.
std::vector<TVNXOption> SplitOptionString(std::string_view options);

// Host, port and database (with its option string) of a server name of the form
// [host][:port]/database[,options]. A name without "/" is a database on "localhost".
void ParseServerName(std::string_view serverName, std::string& host, std::string& port,
                     std::string& database);

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
  std::string Host;
  std::string Database;
  std::int32_t Port = -1;               // left out when negative
  std::string UserName;
  std::string Password;
  std::int32_t ConnectionTimeout = -1;  // left out when negative
  bool RequireSSL = false;
};

// The libpq connection string: host, dbname, port, user, password, connect_timeout and
// requiressl, each only when it has a value.
std::string BuildConnectionString(const TVNXConnectionParams& params);

}  // namespace vnx
