// Custom connection options: splitting the option string of a server name and applying each
// key; the server name itself, the server's version text and the libpq connection string.
#include "driver/connection_options.h"

#include <charconv>
#include <initializer_list>

#include "driver/sql_connection.h"
#include "driver/sql_driver.h"
#include "runtime/strutil.h"

namespace vnx {

std::vector<TVNXOption> SplitOptionString(std::string_view options) {
  std::vector<TVNXOption> result;
  // One pass, so that an escaped "," or "=" is literal in both splits and "\\" yields one
  // backslash, not an escape for the character after it.
  std::string parts[2];
  int part = 0;  // 2: past a second "=", whose text is ignored
  bool hasValue = false;
  auto finish = [&] {
    std::string key = rt::LowerCase(rt::TrimView(parts[0]));
    // An element without "=" carries no value; no key is applied with an invented one.
    if (hasValue && !key.empty()) result.push_back({std::move(key), rt::Trim(parts[1])});
    parts[0].clear();
    parts[1].clear();
    part = 0;
    hasValue = false;
  };
  for (std::size_t i = 0; i < options.size(); ++i) {
    char c = options[i];
    if (c == '\\' && i + 1 < options.size()) {
      c = options[++i];
    } else if (c == ',') {
      finish();
      continue;
    } else if (c == '=') {
      if (part == 0) hasValue = true;
      if (part < 2) ++part;
      continue;
    }
    // A backslash that ends the string has nothing to escape and stands for itself.
    if (part < 2) parts[part] += c;
  }
  finish();
  return result;
}

void ParseServerName(std::string_view serverName, std::string& host, std::string& port,
                     std::string& database) {
  host.clear();
  port.clear();
  database.clear();
  std::size_t slash = serverName.rfind('/');
  if (slash == std::string_view::npos) {
    database = serverName;
    if (!serverName.empty()) host = "localhost";
    return;
  }
  database = serverName.substr(slash + 1);
  std::string_view server = serverName.substr(0, slash);
  std::size_t colon = server.rfind(':');
  if (colon != std::string_view::npos) {
    port = server.substr(colon + 1);
    server = server.substr(0, colon);
  }
  host = server;
}

double ServerVersionNumber(std::string_view versionText) {
  std::string_view text = rt::TrimLeftView(versionText);
  bool known = false;
  for (std::string_view product : {"PostgreSQL", "EnterpriseDB"}) {
    if (text.substr(0, product.size()) == product) {
      text.remove_prefix(product.size());
      known = true;
      break;
    }
  }
  if (!known) return -1;
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);

  std::string whole, fraction;
  bool pastDot = false;
  for (char c : text) {
    if (c == '.') {
      pastDot = true;
    } else if (c >= '0' && c <= '9') {
      (pastDot ? fraction : whole) += c;
    } else {
      break;
    }
  }
  if (whole.empty() && fraction.empty()) return -1;
  std::string number = (whole.empty() ? "0" : whole) + "." + (fraction.empty() ? "0" : fraction);
  double value = -1;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (ec != std::errc() || end != number.data() + number.size()) return -1;
  return value;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  std::int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string QuoteConnectionValue(std::string_view value) {
  std::string quoted = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '\'';
  return quoted;
}

std::string BuildConnectionString(const TVNXConnectionParams& p) {
  std::string s;
  auto piece = [&s](std::string_view keyword, std::string_view value) {
    if (!s.empty()) s += ' ';
    s += keyword;
    s += '=';
    s += value;
  };
  if (!p.Host.empty()) piece("host", QuoteConnectionValue(p.Host));
  if (!p.Database.empty()) piece("dbname", QuoteConnectionValue(p.Database));
  if (p.Port >= 0) piece("port", std::to_string(p.Port));
  if (!p.UserName.empty()) piece("user", QuoteConnectionValue(p.UserName));
  if (!p.Password.empty()) piece("password", QuoteConnectionValue(p.Password));
  if (p.ConnectionTimeout >= 0) piece("connect_timeout", std::to_string(p.ConnectionTimeout));
  if (p.RequireSSL) piece("requiressl", "1");
  return s;
}

namespace {

// "True" or "False" in any case; any other text leaves the setting as it was.
void ApplyBoolean(bool& setting, std::string_view value) {
  if (rt::SameText(value, "True")) setting = true;
  else if (rt::SameText(value, "False")) setting = false;
}

// The first of the names that matches value (without regard to case) gives its ordinal;
// no match leaves the setting as it was.
template <class E>
void ApplyEnumeration(E& setting, std::string_view value,
                      std::initializer_list<std::pair<std::string_view, E>> names) {
  for (const auto& [name, ordinal] : names) {
    if (rt::SameText(value, name)) {
      setting = ordinal;
      return;
    }
  }
}

}  // namespace

void TVNXISQLConnection::ParseOption(const std::string& key, const std::string& value) {
  TVNXMappingOptions& m = MappingOptions;
  if (key == "textasblob") {
    ApplyBoolean(m.TextAsBlob, value);
  } else if (key == "mapunknownasstring") {
    ApplyBoolean(m.MapUnknownAsString, value);
  } else if (key == "blockread" || key == "logdeclarefetch") {
    // Recognised for compatibility with older option strings; they change nothing.
  } else if (key == "serverdecimalseparator") {
    if (!value.empty()) ServerDecimalSeparator = value[0];
  } else if (key == "language") {
#if defined(VNX_MULTILANG) && VNX_MULTILANG
    UseLanguage(value);
#endif
  } else if (key == "usequalifiednames") {
    ApplyBoolean(UseQualifiedNames, value);
  } else if (key == "restrictednamespace") {
    ApplyBoolean(RestrictedNameSpace, value);
  } else if (key == "showoid") {
    ApplyBoolean(ShowOID, value);
  } else if (key == "arrayasstring") {
    ApplyBoolean(m.ArrayAsString, value);
  } else if (key == "byteamode") {
    ApplyEnumeration(m.ByteaMode, value,
                     {{"asBlob", TVNXByteaMode::asBlob}, {"asVarBytes", TVNXByteaMode::asVarBytes},
                      {"asGraphic", TVNXByteaMode::asGraphic}});
  } else if (key == "dbx4compatible") {
    ApplyBoolean(m.DBX4Compatible, value);
  } else if (key == "int8mode") {
    ApplyEnumeration(m.Int8Mode, value,
                     {{"AsInt8", TVNXInt8Mode::AsInt8}, {"Ignore", TVNXInt8Mode::Ignore},
                      {"AsString", TVNXInt8Mode::AsString}, {"AsInt4", TVNXInt8Mode::AsInt4},
                      {"AsBcd", TVNXInt8Mode::AsBcd}});
  } else if (key == "borlandcompatible") {
    ApplyBoolean(m.BorlandCompatible, value);
  } else if (key == "unicodeaswidestring") {
    ApplyBoolean(m.UnicodeAsWideString, value);
  } else if (key == "largebcdasstring") {
    ApplyBoolean(m.LargeBcdAsString, value);
  } else if (key == "quoteobjects") {
    ApplyBoolean(QuoteObjects, value);
  } else if (key == "requiressl") {
    ApplyBoolean(RequireSSL, value);
  } else if (key == "connectiontimeout") {
    if (auto seconds = ParseInt32(value)) ConnectionTimeout = *seconds;
  } else if (key == "typescachingmode") {
    // The mode belongs to the driver: every connection of the driver follows it.
    if (Driver)
      ApplyEnumeration(Driver->TypesCachingMode, value,
                       {{"Default", std::uint8_t{0}}, {"Once", std::uint8_t{1}},
                        {"Connection", std::uint8_t{2}}, {"Cursor", std::uint8_t{3}}});
  } else if (key == "fetchrows") {
    // Rows per batch; 0 reads every result whole. A negative count is no count at all.
    if (auto rows = ParseInt32(value); rows && *rows >= 0) FetchRows = *rows;
  } else if (key == "getextendedfieldsinformation") {
    ApplyBoolean(GetExtendedFieldsInformation, value);
  } else if (key == "acceptnewerservers") {
    ApplyBoolean(AcceptNewerServers, value);
  }
}

void TVNXISQLConnection::ApplyOptions(std::string_view options) {
  for (const TVNXOption& option : SplitOptionString(options)) ParseOption(option.Key, option.Value);
}

}  // namespace vnx
