// The server profile of a connection (see server_profile.h).
#include "driver/server_profile.h"

#include <cstring>

#include "libpq/libpq_api.h"
#include "runtime/strutil.h"

namespace vnx {

std::int32_t VersionNumFromText(std::string_view text) {
  text = rt::TrimLeftView(text);
  for (std::string_view product : {"PostgreSQL", "EnterpriseDB"}) {
    if (text.substr(0, product.size()) == product) {
      text.remove_prefix(product.size());
      text = rt::TrimLeftView(text);
      break;
    }
  }
  // Up to three numbers separated by dots; whatever follows (" (Debian ...)", "beta1",
  // a fourth number of EnterpriseDB) does not count.
  std::int32_t parts[3] = {0, 0, 0};
  int count = 0;
  std::size_t i = 0;
  while (count < 3 && i < text.size() && text[i] >= '0' && text[i] <= '9') {
    std::int32_t v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && v < 100000) v = v * 10 + (text[i++] - '0');
    parts[count++] = v;
    if (i + 1 < text.size() && text[i] == '.' && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
    else break;
  }
  if (count == 0 || parts[0] == 0 || parts[0] > 9999) return 0;
  // From 10 on a version has two numbers: 10.23 is the 23rd minor release of 10.
  if (parts[0] >= 10) return parts[0] * 10000 + (parts[1] > 9999 ? 9999 : parts[1]);
  return parts[0] * 10000 + (parts[1] > 99 ? 99 : parts[1]) * 100 + (parts[2] > 99 ? 99 : parts[2]);
}

void TVNXServerProfile::Learn(PGconn* handle, std::string versionText, bool acceptNewer) {
  Forget();
  Handle = handle;
  Newer = acceptNewer;
  VersionText = std::move(versionText);
  VersionNum = VersionNumFromText(VersionText);
  if (Newer && handle) {
    // What the server is, as it reports itself in the connection's start-up: a server that
    // shows another text from version() (a compatibility layer) is still what it is.
    std::int32_t reported = PQ.PQserverVersion(handle);
    if (reported <= 0) reported = VersionNumFromText(rt::FromPChar(PQ.PQparameterStatus(handle, "server_version")));
    if (reported > 0) VersionNum = reported;
  }
  ServerEncoding = handle ? rt::UpperCase(rt::FromPChar(PQ.PQparameterStatus(handle, "server_encoding"))) : "";
}

TVNXVersionVerdict JudgeServerVersion(const TVNXServerProfile& server) {
  const double version = server.Version;
  if (version == -1) return TVNXVersionVerdict::Unknown;
  if (version < 7.1) return TVNXVersionVerdict::TooOld;
  if (!server.Newer) return version >= 8.4 ? TVNXVersionVerdict::NotTested : TVNXVersionVerdict::Accepted;
  // Major versions compare as numbers: the text rule reads 10.23 as 10.23, 9.6.24 as 9.624.
  return server.Major() > kNewestTestedMajor ? TVNXVersionVerdict::Untested : TVNXVersionVerdict::Accepted;
}

bool StandardConformingStrings(PGconn* handle) {
  const char* scs = handle && PQ.PQparameterStatus ? PQ.PQparameterStatus(handle, "standard_conforming_strings")
                                                   : nullptr;
  return scs && std::strcmp(scs, "on") == 0;
}

bool TVNXServerProfile::StandardConformingStrings() const { return vnx::StandardConformingStrings(Handle); }

std::string TVNXServerProfile::ClientEncoding() const {
  return Handle && PQ.PQparameterStatus ? rt::FromPChar(PQ.PQparameterStatus(Handle, "client_encoding"))
                                        : std::string();
}

namespace {

// Spellings differ between the server ("EUC_JP", "SHIFT_JIS_2004") and iconv ("EUC-JP",
// "SHIFT_JIS"): names compare by their letters and digits, without regard to case.
std::string EncodingKey(std::string_view encoding) {
  std::string key;
  for (char c : encoding)
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return key;
}

}  // namespace

bool SameEncoding(std::string_view a, std::string_view b) {
  const std::string ka = EncodingKey(a), kb = EncodingKey(b);
  return !ka.empty() && ka == kb;
}

int MaxCharBytes(std::string_view encoding) {
  const std::string key = EncodingKey(encoding);
  static constexpr std::pair<std::string_view, int> kMultiByte[] = {
      {"UTF8", 4},          {"UNICODE", 4},     {"GB18030", 4},      {"EUCTW", 4},
      {"MULEINTERNAL", 4},  {"EUCJP", 3},       {"EUCJIS2004", 3},   {"EUCCN", 3},
      {"EUCKR", 3},         {"JOHAB", 3},       {"SJIS", 2},         {"SHIFTJIS", 2},
      {"SHIFTJIS2004", 2},  {"CP932", 2},       {"WINDOWS932", 2},   {"BIG5", 2},
      {"BIG5HKSCS", 2},     {"CP950", 2},       {"WIN950", 2},       {"GBK", 2},
      {"CP936", 2},         {"WIN936", 2},      {"UHC", 2},          {"CP949", 2},
      {"WIN949", 2},
  };
  for (const auto& [name, bytes] : kMultiByte)
    if (key == name) return bytes;
  return 1;
}

}  // namespace vnx
