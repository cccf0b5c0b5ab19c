// Custom connection options: splitting the option string of a server name and applying each
// key; the server name itself, the server's version text and the libpq connection string.
#include "driver/connection_options.h"

#include <charconv>

#include "driver/sql_connection.h"
#include "resources/driver_resources.h"
#include "runtime/strutil.h"

namespace vnx {

std::vector<TVNXOption> SplitOptionString(std::string_view options, std::vector<std::string>* valueless) {
  std::vector<TVNXOption> result;
  // One pass, so that an escaped "," or "=" is literal in both splits and "\\" yields one
  // backslash, not an escape for the character after it.
  std::string parts[2];
  int part = 0;  // 2: past a second "=", whose text is ignored
  bool hasValue = false;
  auto finish = [&] {
    std::string key = rt::LowerCase(rt::TrimView(parts[0]));
    // An element without "=" carries no value; no key is applied with an invented one.
    if (hasValue && !key.empty()) result.push_back({std::move(key), rt::Trim(parts[1]), rt::Trim(parts[0])});
    else if (!key.empty() && valueless) valueless->push_back(rt::Trim(parts[0]));
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
    // A backslash that ends the string stands for itself.
    if (part < 2) parts[part] += c;
  }
  finish();
  return result;
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
  // libpq takes the last of a keyword given twice: the server name's pieces come after the
  // options, so the grammar's places keep their meaning.
  std::string sslmode;
  for (const TVNXOption& o : p.LibpqKeywords) {
    piece(o.Key, QuoteConnectionValue(o.Value));
    if (o.Key == "sslmode") sslmode = o.Value;
  }
  std::string hosts, ports;
  bool anyPort = false;
  for (std::size_t i = 0; i < p.Hosts.size(); ++i) {
    hosts += (i ? "," : "") + p.Hosts[i].Name;
    ports += (i ? "," : "") + p.Hosts[i].Port;
    anyPort |= !p.Hosts[i].Port.empty();
  }
  if (!hosts.empty() && hosts != std::string(p.Hosts.size() - 1, ',')) piece("host", QuoteConnectionValue(hosts));
  if (!p.Database.empty()) piece("dbname", QuoteConnectionValue(p.Database));
  if (anyPort) piece("port", ports);  // digits and commas only
  if (!p.UserName.empty()) piece("user", QuoteConnectionValue(p.UserName));
  if (!p.Password.empty()) piece("password", QuoteConnectionValue(p.Password));
  if (p.ConnectionTimeout >= 0) piece("connect_timeout", std::to_string(p.ConnectionTimeout));
  // "requiressl" is gone from libpq 16 on; every libpq knows sslmode. A stricter mode the
  // options ask for stays.
  if (p.RequireSSL && sslmode != "require" && sslmode != "verify-ca" && sslmode != "verify-full")
    piece("sslmode", "require");
  return s;
}

void TVNXISQLConnection::ParseOption(const std::string& key, const std::string& value, const std::string& written) {
  const std::string complaint = settings_.ApplyOption(key, value, driver_.get(), written.empty() ? key : written);
  if (!complaint.empty()) Trace(complaint, trcDiagnostic);
}

void TVNXISQLConnection::ApplyOptions(std::string_view options) {
  std::vector<std::string> valueless;
  for (const TVNXOption& o : SplitOptionString(options, &valueless)) ParseOption(o.Key, o.Value, o.Written);
  for (const std::string& element : valueless) TraceRes(trcDiagnostic, res::SOptionWithoutValue, element);
}

}  // namespace vnx
