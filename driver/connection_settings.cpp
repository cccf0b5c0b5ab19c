// A connection's settings: the custom options it reads (TVNXConnectionSettings) and what the
// application sets and reads through SetOption and GetOption.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "driver/sql_connection.h"
#include "driver/sql_driver.h"
#include "i18n/translate.h"
#include "libpq/connection_keywords.h"
#include "libpq/libpq_api.h"
#include "resources/driver_resources.h"
#include "runtime/format.h"
#include "runtime/strutil.h"

namespace vnx {

namespace {

std::string TextAt(OptionValue value) { return rt::FromPChar(reinterpret_cast<const char*>(value)); }

template <class T>
void Put(void* propValue, const T& value) {
  if (propValue) std::memcpy(propValue, &value, sizeof value);
}

void PutLength(std::int16_t* length, std::int16_t value) {
  if (length) *length = value;
}

}  // namespace

SQLResult TVNXISQLConnection::SetOption(std::uint32_t option, OptionValue value) {
  switch (option) {
    case eConnBlockingMode: settings_.AsyncMode = static_cast<std::uint8_t>(value) != 0; break;
    case eConnBlobSize: settings_.BlobSize = static_cast<std::int32_t>(value); break;
    case eConnRoleName: settings_.SearchPath = TextAt(value); break;
    case eConnTxnIsoLevel:
      switch (static_cast<std::uint32_t>(value)) {
        case xilREADCOMMITTED: settings_.IsolationLevel = 1; break;
        case xilREPEATABLEREAD: settings_.IsolationLevel = 2; break;
        case xilDIRTYREAD:
          SetErrorText(Res(res::STransactionModeNotSupported));
          return DBXERR_INVALIDTXNISOLEVEL;
        default: break;
      }
      break;
    case eConnCallBack: traceCallback_ = value; break;
    case eConnHostName: settings_.HostName = TextAt(value); break;
    case eConnDatabaseName: database_ = TextAt(value); break;
    case eConnCallBackInfo: traceCallbackInfo_ = value; break;
    case eConnServerCharSet: {
      std::string text = TextAt(value);
      std::size_t slash = text.find('/');
      settings_.CharSet = rt::Trim(std::string_view(text).substr(0, slash));
      settings_.ClientEncoding = slash == std::string::npos ? std::string() : rt::Trim(std::string_view(text).substr(slash + 1));
      break;
    }
    case eConnServerPort: settings_.Port = std::to_string(static_cast<std::int32_t>(value)); break;
    case eConnTrimChar: settings_.TrimChar = static_cast<std::uint8_t>(value) != 0; break;
    default: break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength,
                                        std::int16_t* length) {
  switch (option) {
    case eConnBlockingMode:
      Put(propValue, static_cast<std::uint8_t>(settings_.AsyncMode ? 0 : 1));
      PutLength(length, 1);
      break;
    case eConnBlobSize: Put(propValue, settings_.BlobSize); break;
    case eConnTxnIsoLevel:
      Put(propValue, static_cast<std::uint32_t>(settings_.IsolationLevel == 2 ? xilREPEATABLEREAD : xilREADCOMMITTED));
      break;
    case eConnNativeHandle:
      Put(propValue, handle_);
      PutLength(length, sizeof handle_);
      break;
    case eConnServerVersion: return GetServerVersion(propValue, maxLength, length);
    case eConnCallBack:
      Put(propValue, traceCallback_);
      PutLength(length, sizeof traceCallback_);
      break;
    case eConnHostName:
      // Connected: the host that answered (of several, or of a service); else the setting.
      CopyOptionText(handle_ ? hostReached_ : settings_.HostName, propValue, maxLength, length);
      break;
    case eConnDatabaseName: CopyOptionText(database_, propValue, maxLength, length); break;
    case eConnCallBackInfo:
      Put(propValue, traceCallbackInfo_);
      PutLength(length, sizeof traceCallbackInfo_);
      break;
    case eConnServerCharSet:
      CopyOptionText(settings_.ClientEncoding.empty() ? settings_.CharSet : settings_.CharSet + "/" + settings_.ClientEncoding, propValue, maxLength,
                     nullptr);
      break;
    case eConnObjectQuoteChar:
      CopyOptionText(std::string_view(&kObjectQuoteChar, 1), propValue, maxLength, length);
      break;
    case eConnDBX4Compatible: settings_.MappingOptions.DBX4Compatible = true; break;
    default: break;
  }
  return DBXERR_NONE;
}

SQLResult TVNXISQLConnection::GetServerVersion(void* propValue, std::int16_t maxLength, std::int16_t* length) {
  if (!handle_) {
    CopyOptionText("", propValue, maxLength, nullptr);
    PutLength(length, 0);
    return DBXERR_FAILED;
  }
  TraceRes(trcCatalog, res::SGettingServerVersion);
  PGresult* result = nullptr;
  std::string error;
  bool ok = ExecQuery("select version();", result, error);
  std::string version;
  if (ok && PQ.PQntuples(result) > 0 && PQ.PQnfields(result) > 0) version = rt::FromPChar(PQ.PQgetvalue(result, 0, 0));
  if (result) PQ.PQclear(result);
  if (!ok) {
    SetErrorText(error);
    CopyOptionText("", propValue, maxLength, nullptr);
    PutLength(length, 0);
    return DBXERR_FAILED;
  }
  // Length tells how much was copied, not how long the version text is.
  std::size_t copied = std::min<std::size_t>(version.size(), maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0);
  CopyOptionText(version, propValue, maxLength, nullptr);
  PutLength(length, static_cast<std::int16_t>(copied + 1));
  return DBXERR_NONE;
}

namespace {

// "True" or "False" in any case; any other text leaves the setting as it was.
bool ApplyBoolean(bool& setting, std::string_view value) {
  if (rt::SameText(value, "True")) setting = true;
  else if (rt::SameText(value, "False")) setting = false;
  else return false;
  return true;
}

// The first of the names that matches value (without regard to case) gives its ordinal;
// no match leaves the setting as it was.
template <class E>
bool ApplyEnumeration(E& setting, std::string_view value, std::initializer_list<std::pair<std::string_view, E>> names) {
  for (const auto& [name, ordinal] : names) {
    if (rt::SameText(value, name)) {
      setting = ordinal;
      return true;
    }
  }
  return false;
}

std::string Expected(const char* text, std::string_view choices = {}) { return rt::Format(Res(text), choices); }

}  // namespace

std::string TVNXConnectionSettings::ApplyOption(const std::string& key, const std::string& value,
                                                TVNXISQLDriver* driver, const std::string& written) {
  TVNXMappingOptions& m = MappingOptions;
  // What the key expected when the value was not one of its values.
  std::string expected;
  auto boolean = [&](bool& setting) {
    if (!ApplyBoolean(setting, value)) expected = Expected(res::SExpectedBoolean);
  };
  auto number = [&](std::int32_t& setting, std::int32_t least) {
    const auto n = ParseInt32(value);
    if (n && *n >= least) setting = *n;
    else expected = Expected(res::SExpectedNumber);
  };
  if (key == "textasblob") {
    boolean(m.TextAsBlob);
  } else if (key == "mapunknownasstring") {
    boolean(m.MapUnknownAsString);
  } else if (key == "blockread" || key == "logdeclarefetch") {
    // Recognised for compatibility with older option strings; they change nothing.
  } else if (key == "serverdecimalseparator") {
    if (!value.empty()) ServerDecimalSeparator = value[0];
    else expected = Expected(res::SExpectedCharacter);
#if defined(VNX_MULTILANG) && VNX_MULTILANG
  } else if (key == "language") {
    UseLanguage(value);
#endif
  } else if (key == "usequalifiednames") {
    boolean(UseQualifiedNames);
  } else if (key == "restrictednamespace") {
    boolean(RestrictedNameSpace);
  } else if (key == "showoid") {
    boolean(ShowOID);
  } else if (key == "arrayasstring") {
    boolean(m.ArrayAsString);
  } else if (key == "byteamode") {
    if (!ApplyEnumeration(m.ByteaMode, value,
                          {{"asBlob", TVNXByteaMode::asBlob}, {"asVarBytes", TVNXByteaMode::asVarBytes},
                           {"asGraphic", TVNXByteaMode::asGraphic}}))
      expected = Expected(res::SExpectedOneOf, "asBlob, asVarBytes, asGraphic");
  } else if (key == "dbx4compatible") {
    boolean(m.DBX4Compatible);
  } else if (key == "int8mode") {
    if (!ApplyEnumeration(m.Int8Mode, value,
                          {{"AsInt8", TVNXInt8Mode::AsInt8}, {"Ignore", TVNXInt8Mode::Ignore},
                           {"AsString", TVNXInt8Mode::AsString}, {"AsInt4", TVNXInt8Mode::AsInt4},
                           {"AsBcd", TVNXInt8Mode::AsBcd}}))
      expected = Expected(res::SExpectedOneOf, "AsInt8, Ignore, AsString, AsInt4, AsBcd");
  } else if (key == "borlandcompatible") {
    boolean(m.BorlandCompatible);
  } else if (key == "unicodeaswidestring") {
    boolean(m.UnicodeAsWideString);
  } else if (key == "largebcdasstring") {
    boolean(m.LargeBcdAsString);
  } else if (key == "quoteobjects") {
    boolean(QuoteObjects);
  } else if (key == "requiressl") {
    boolean(RequireSSL);
  } else if (key == "connectiontimeout") {
    number(ConnectionTimeout, INT32_MIN);
  } else if (key == "typescachingmode") {
    // The mode belongs to the driver: every connection of the driver follows it. A
    // connection without a driver has nowhere to put it.
    std::uint8_t mode = 0;
    if (!ApplyEnumeration(mode, value,
                          {{"Default", std::uint8_t{0}}, {"Once", std::uint8_t{1}},
                           {"Connection", std::uint8_t{2}}, {"Cursor", std::uint8_t{3}}}))
      expected = Expected(res::SExpectedOneOf, "Default, Once, Connection, Cursor");
    else if (driver)
      driver->TypesCachingMode = mode;
  } else if (key == "fetchrows") {
    number(FetchRows, 0);  // 0 reads every result whole; a negative count is no count at all
  } else if (key == "querytimeout") {
    number(QueryTimeout, 0);
  } else if (key == "getextendedfieldsinformation") {
    boolean(GetExtendedFieldsInformation);
  } else if (key == "acceptnewerservers") {
    boolean(AcceptNewerServers);
  } else if (const TVNXLibpqKeyword* keyword = FindLibpqKeyword(key)) {
    // libpq's own: passed on as given (the keyword's own spelling, which is lower-case).
    std::erase_if(LibpqKeywords, [&](const TVNXOption& o) { return o.Key == keyword->Name; });
    LibpqKeywords.push_back({keyword->Name, value, written});
  } else {
    // A misspelt password keyword ("pasword", "pwd") must not show the password.
    const bool secret = key.find("pas") != std::string::npos || key.find("pw") != std::string::npos;
    return rt::Format(Res(res::SOptionUnknown), written, secret ? std::string("********") : value);
  }
  if (expected.empty()) return {};
  return rt::Format(Res(res::SOptionValueIgnored), written, value, expected);
}

std::string TVNXConnectionSettings::LibpqKeywordsText() const {
  std::string text;
  for (const TVNXOption& o : LibpqKeywords) {
    const TVNXLibpqKeyword* keyword = FindLibpqKeyword(o.Key);
    if (!text.empty()) text += ' ';
    text += o.Key + "=" + (keyword && keyword->Secret ? std::string("********") : o.Value);
  }
  return text;
}

std::string TVNXConnectionSettings::LibpqKeyword(std::string_view key) const {
  for (const TVNXOption& o : LibpqKeywords)
    if (o.Key == key) return o.Value;
  return {};
}

}  // namespace vnx
