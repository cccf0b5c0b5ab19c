// The server name of connect with its custom option string, the host name setting, user and
// password, as the connection prepares them before it calls the server. Properties: libpq's
// own reader finds in the connection string exactly the values prepared, whatever they hold;
// the version text reader gives -1 or a finite version; ParseInt32 reads what it writes.
#include <dlfcn.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "common/errors.h"
#include "driver/connection_options.h"
#include "driver/sql_connection.h"
#include "tests/harness/connection_access.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vnx;
using namespace vnxfuzz;

namespace {

struct ConninfoOption {  // PQconninfoOption
  char* keyword;
  char* envvar;
  char* compiled;
  char* val;
  char* label;
  char* dispchar;
  int dispsize;
};
using ParseFn = ConninfoOption* (*)(const char*, char**);
using FreeFn = void (*)(ConninfoOption*);

void ConnectionStringReadsBack(const TVNXConnectionParams& params) {
  static void* const libpq = dlopen("libpq.so.5", RTLD_NOW | RTLD_NOLOAD);
  static const auto parse = reinterpret_cast<ParseFn>(dlsym(libpq, "PQconninfoParse"));
  static const auto free = reinterpret_cast<FreeFn>(dlsym(libpq, "PQconninfoFree"));
  FUZZ_CHECK(parse && free, "PQconninfoParse");
  const std::string text = BuildConnectionString(params);
  char* error = nullptr;
  ConninfoOption* options = parse(text.c_str(), &error);
  FUZZ_CHECK(options != nullptr, text + ": " + (error ? error : ""));
  auto expect = [&](const std::string& keyword, const std::string& value) {
    for (ConninfoOption* o = options; o->keyword; ++o)
      if (keyword == o->keyword) FUZZ_CHECK(value == (o->val ? o->val : ""), text);
  };
  std::string hosts, ports;
  bool anyHost = false, anyPort = false;
  for (std::size_t i = 0; i < params.Hosts.size(); ++i) {
    hosts += (i ? "," : "") + params.Hosts[i].Name;
    ports += (i ? "," : "") + params.Hosts[i].Port;
    anyHost |= !params.Hosts[i].Name.empty();
    anyPort |= !params.Hosts[i].Port.empty();
  }
  // libpq's own keywords from the options, unless a piece of the name says otherwise.
  std::vector<std::pair<std::string, std::string>> wanted = {
      {"host", anyHost ? hosts : ""}, {"dbname", params.Database}, {"user", params.UserName},
      {"password", params.Password}, {"port", anyPort ? ports : ""},
      {"connect_timeout", params.ConnectionTimeout >= 0 ? std::to_string(params.ConnectionTimeout) : ""}};
  for (auto& [keyword, value] : wanted)
    for (const TVNXOption& o : params.LibpqKeywords)
      if (o.Key == keyword && value.empty()) value = o.Value;
  for (const auto& [keyword, value] : wanted) expect(keyword, value);
  free(options);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NeedLibpq();
  // Four texts, NUL-separated as they would be at the interface: server name, user, password
  // and the host name setting.
  const std::string all(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> field(4);
  std::size_t from = 0;
  for (std::string& f : field) {
    if (from > all.size()) break;
    const std::size_t nul = std::min(all.find('\0', from), all.size());
    f = all.substr(from, nul - from);
    from = nul + 1;
  }

  auto* connection = new TVNXISQLConnection(nullptr);
  connection->AddRef();
  vnx::TVNXConnectionTestAccess::Settings(*connection).HostName = field[3];
  try {
    ConnectionStringReadsBack(connection->PrepareConnect(field[0], field[1], field[2]));
  } catch (const EVNXError&) {
    // A server name the driver cannot read: connect fails with the reason.
  }
  connection->Release();

  const double version = ServerVersionNumber(field[0]);
  FUZZ_CHECK(version == -1 || (std::isfinite(version) && version >= 0), field[0]);
  if (const auto number = ParseInt32(field[0])) FUZZ_CHECK(ParseInt32(std::to_string(*number)) == number, field[0]);
  CharSetToEncoding(field[0]);
  for (const TVNXOption& o : SplitOptionString(field[0])) FUZZ_CHECK(!o.Key.empty(), field[0]);
  return 0;
}
