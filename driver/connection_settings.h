// Everything the application sets for a connection, as one value: the custom options of its
// server names (read by ApplyOption) and the values it gives through SetOption. Settings
// outlive disconnect: a later connect applies its option string on top of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/type_mapping.h"
#include "driver/connection_options.h"

namespace vnx {

class TVNXISQLDriver;

struct TVNXConnectionSettings {
  // --- Custom options ---
  char ServerDecimalSeparator = '\0';   // replaced at connect by the server's
  bool QuoteObjects = false;
  bool RequireSSL = false;
  std::int32_t ConnectionTimeout = -1;  // seconds; -1 none
  bool GetExtendedFieldsInformation = false;
  bool UseQualifiedNames = true;
  bool RestrictedNameSpace = true;
  bool ShowOID = false;
  bool AcceptNewerServers = false;      // servers from 8.4 on are accepted and served as they are
  std::int32_t FetchRows = 0;           // rows per batch; 0 reads every result whole
  std::int32_t QueryTimeout = 0;        // seconds a call may wait for the server; 0 none
  TVNXMappingOptions MappingOptions;
  // libpq's own connection keywords given as options (sslmode, application_name, ...), in
  // the order given; a later one of the same key replaces the earlier.
  std::vector<TVNXOption> LibpqKeywords;

  // --- Through SetOption ---
  bool AsyncMode = false;
  std::int32_t BlobSize = 0;
  std::string SearchPath;
  std::uint8_t IsolationLevel = 0;      // 0 not set, 1 read committed, 2 serializable
  std::string HostName;                 // host list of the host name setting, see server_name.h
  std::string Port;
  std::string CharSet;
  std::string ClientEncoding;           // after a connect: the encoding in use
  bool TrimChar = false;

  // Applies one custom option (key trimmed and lower-cased, value trimmed). Keys of the
  // driver come first; a key libpq knows as a connection keyword is kept for it. Returns
  // what went wrong for the trace (an unknown key, a value the key does not take: nothing
  // changes then), or an empty text. TypesCachingMode is the driver's and Language the
  // translation's: `driver` (may be null) receives the first.
  std::string ApplyOption(const std::string& key, const std::string& value, TVNXISQLDriver* driver,
                          const std::string& written);
  // The libpq keywords as the trace shows them: key=value, passwords as "********".
  std::string LibpqKeywordsText() const;
  // The value of a libpq keyword given as an option; empty when not given.
  std::string LibpqKeyword(std::string_view key) const;
};

}  // namespace vnx
