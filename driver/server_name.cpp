// Reading server names and host lists (see server_name.h).
#include "driver/server_name.h"

#include <algorithm>

#include "common/errors.h"
#include "i18n/translate.h"
#include "resources/driver_resources.h"
#include "runtime/format.h"
#include "runtime/strutil.h"

namespace vnx {
namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

[[noreturn]] void Unreadable(std::string_view why) { throw EVNXError(rt::Format(Res(res::SBadServerName), why)); }

TVNXHost ParseHost(std::string_view text, std::vector<std::string>* notes) {
  TVNXHost host;
  std::string_view port;
  text = rt::TrimView(text);
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) Unreadable(rt::Format(Res(res::SBracketNotClosed), text));
    host.Name = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') Unreadable(rt::Format(Res(res::STextAfterBracket), text));
    if (!rest.empty()) port = rest.substr(1);
  } else {
    const std::size_t colon = text.rfind(':');
    // A socket directory may hold anything; a host name holds one ":" at most, before its port.
    if (colon != std::string_view::npos && text.front() != '/' && text.find(':') != colon)
      Unreadable(rt::Format(Res(res::SIPv6NeedsBrackets), text));
    host.Name = rt::Trim(text.substr(0, colon));
    if (colon != std::string_view::npos) port = text.substr(colon + 1);
  }
  port = rt::TrimView(port);
  // A port that is not a number was always left out, the host kept.
  if (AllDigits(port)) host.Port = port;
  else if (!port.empty() && notes) notes->push_back(rt::Format(Res(res::SPortIgnored), port, host.Name));
  return host;
}

}  // namespace

std::vector<TVNXHost> ParseHostList(std::string_view hosts, std::vector<std::string>* notes) {
  std::vector<TVNXHost> list;
  if (rt::TrimView(hosts).empty()) return list;
  std::size_t start = 0;
  for (;;) {
    // A "," inside brackets belongs to nothing else: brackets hold an address only.
    std::size_t comma = hosts.find(',', start);
    const std::size_t open = hosts.find('[', start);
    if (open < comma) {
      const std::size_t close = hosts.find(']', open);
      comma = close == std::string_view::npos ? std::string_view::npos : hosts.find(',', close);
    }
    list.push_back(ParseHost(hosts.substr(start, comma == std::string_view::npos ? comma : comma - start), notes));
    if (comma == std::string_view::npos) return list;
    start = comma + 1;
  }
}

TVNXServerName ParseServerName(std::string_view serverName) {
  TVNXServerName name;
  // Hosts and the database come before any option, and every option that means anything has
  // an "=": the database follows the last "/" before the first one.
  const std::size_t equals = serverName.find('=');
  const std::size_t slash = serverName.substr(0, equals).rfind('/');
  std::string_view databasePart = serverName;
  if (slash != std::string_view::npos) {
    name.HostsGiven = true;
    name.Hosts = ParseHostList(serverName.substr(0, slash), &name.Notes);
    databasePart = serverName.substr(slash + 1);
  } else if (!serverName.empty()) {
    name.Hosts.push_back({"localhost", ""});
  }
  const std::size_t comma = databasePart.find(',');
  name.Database = databasePart.substr(0, comma);
  if (comma != std::string_view::npos) name.Options = databasePart.substr(comma + 1);
  return name;
}

std::string HostText(const TVNXHost& host) {
  const bool ipv6 = host.Name.find(':') != std::string::npos && host.Name.front() != '/';
  std::string text = ipv6 ? "[" + host.Name + "]" : host.Name;
  if (!host.Port.empty()) text += ":" + host.Port;
  return text;
}

}  // namespace vnx
