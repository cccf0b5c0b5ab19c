// The server name connect takes, read in one place:
//
//   [hosts]/database[,key=value...]      hosts: host[:port][,host[:port]...]
//
// A host is a name or address, an IPv6 address in brackets ([::1]) or a unix-socket
// directory (/var/run/postgresql); each may carry its own port. The database and its option
// string follow the last "/" before the first "=" of the name, so option values may hold
// "/" (paths) and ":"; a "," in a value is written "\,". A name without such a "/" is a
// database (and options) on "localhost".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vnx {

struct TVNXHost {
  std::string Name;  // empty: libpq's default (its socket directory)
  std::string Port;  // decimal digits, or empty for the default
};

struct TVNXServerName {
  std::vector<TVNXHost> Hosts;  // empty when the name gives none
  bool HostsGiven = false;      // the name had a host part (possibly empty): no "localhost"
  std::string Database;
  std::string Options;          // the custom option string, not yet split
  // Notes on what was read leniently (a port that is not a number is left out, as it always
  // was), for the trace.
  std::vector<std::string> Notes;
};

// Reads a server name; raises EVNXError with the reason when a part cannot be read (an IPv6
// address without brackets, a bracket left open).
TVNXServerName ParseServerName(std::string_view serverName);
// Reads a host list as the host name setting (eConnHostName) gives it; raises as above.
std::vector<TVNXHost> ParseHostList(std::string_view hosts, std::vector<std::string>* notes = nullptr);
// A host as the host name setting writes it: "host:port", "[::1]:port", "/dir:port".
std::string HostText(const TVNXHost& host);

}  // namespace vnx
