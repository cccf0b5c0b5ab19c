// The client encoding of a connection: character-set names, the choice made at the end of
// connect, and the conversion of server texts when the client encoding is UTF-8.
#include <array>
#include <string_view>

#include "common/encoding.h"
#include "common/errors.h"
#include "common/param_literal.h"
#include "driver/connection_options.h"
#include "driver/sql_connection.h"
#include "libpq/libpq_api.h"
#include "resources/driver_resources.h"
#include "runtime/strutil.h"

namespace vnx {

std::string CharSetToEncoding(std::string_view charSet) {
  static constexpr std::array<std::string_view, 20> kAsTheyAre = {
      "euc_jp", "euc_tw", "latin1", "latin2", "latin3", "latin4", "latin5",
      "latin6", "latin7", "latin8", "latin9", "latin10", "koi8", "alt",
      "win", "iso_8859_5", "iso_8859_6", "iso_8859_7", "iso_8859_8", "iso_8859_9"};
  std::string name = rt::LowerCase(rt::TrimView(charSet));
  if (name == "default" || name == "sql_ascii") return "SQL_ASCII";
  for (std::string_view known : kAsTheyAre)
    if (name == known) return name;
  return {};
}

std::string TVNXISQLConnection::FromServerText(std::string text) const {
  // Only the exact name chosen by the application or the negotiation counts; the server
  // accepts "utf8" as well, but then the application asked for the texts as they come.
  // What the application's character set is, and what happens to characters it cannot
  // hold, is decided in common/encoding.h (the locale's codeset; "?" for the rest).
  if (settings_.ClientEncoding == "UTF8") return Utf8ToApplication(text);
  return text;
}

TVNXTextEncoding TVNXISQLConnection::TextEncoding() const noexcept {
  // server_ texts of a "UTF8" connection were converted to the application's character set;
  // all others are as libpq handed them over, in the client encoding.
  try {
    if (settings_.ClientEncoding == "UTF8") return ApplicationTextEncoding();
  } catch (...) {
    return TVNXTextEncoding{TVNXTextEncoding::Kind::Unknown};
  }
  TVNXTextEncoding e{TVNXTextEncoding::Kind::Unknown};
  if (handle_ && PQ.PQclientEncoding) {
    e.LibpqId = PQ.PQclientEncoding(handle_);
    if (e.LibpqId >= 0) e.kind = TVNXTextEncoding::Kind::Libpq;
  }
  return e;
}

std::size_t ErrorTextLength(std::string_view text, const TVNXISQLConnection* connection) noexcept {
  if (text.size() <= kMaxErrorTextLength) return text.size();
  const TVNXTextEncoding encoding = connection ? connection->TextEncoding() : TVNXTextEncoding{};
  return CharacterPrefixLength(text, kMaxErrorTextLength, encoding);
}

TVNXMappingOptions TVNXISQLConnection::CurrentMappingOptions() const {
  TVNXMappingOptions o = settings_.MappingOptions;
  o.NewerTypes = server_.Newer;
  // Texts of a connection whose client encoding is exactly "UTF8" reach the application in
  // its own character set; any other client encoding reaches it as the server sends it.
  std::string received = settings_.ClientEncoding == "UTF8" ? ApplicationCharset() : server_.ClientEncoding();
  if (received.empty()) received = settings_.ClientEncoding;
  o.CharBytes = static_cast<std::uint8_t>(MaxCharBytes(received));
  // A text the server counts in bytes (a name) keeps its byte count when the application
  // receives the server's own encoding; otherwise each byte may become a whole character.
  o.ByteGrowth = SameEncoding(received, server_.ServerEncoding) ? 1 : o.CharBytes;
  return o;
}

TVNXMetaSqlOptions TVNXISQLConnection::CatalogSqlOptions() const {
  TVNXMetaSqlOptions o;
  o.Database = database_;
  o.Server = server_;
  o.UseQualifiedNames = settings_.UseQualifiedNames;
  o.RestrictedNameSpace = settings_.RestrictedNameSpace;
  o.ShowOID = settings_.ShowOID;
  o.StandardConformingStrings = server_.StandardConformingStrings();
  // Names and patterns from the application reach the server as literals escaped for this
  // connection: "%" and "_" stay LIKE wildcards, a quote stays part of the pattern.
  PGconn* handle = handle_;
  const bool utf8 = settings_.ClientEncoding == "UTF8";
  const bool scs = o.StandardConformingStrings;
  o.Escape = [handle, utf8, scs](std::string_view text) {
    const std::string server = utf8 ? ApplicationToUtf8(text) : std::string(text);
    if (PQ.PQescapeString) return EscapeStringLiteral(server, handle);
    // Without libpq the text is never sent (there is no connection); it is still built.
    TVNXMetaSqlOptions plain;
    plain.StandardConformingStrings = scs;
    return EscapedLiteralText(server, plain);
  };
  return o;
}

void TVNXISQLConnection::NegotiateClientEncoding() {
  std::string serverEncoding = rt::FromPChar(PQ.PQparameterStatus(handle_, "server_encoding"));
  if (!serverEncoding.empty()) TraceRes(trcConnect, res::SServerEncoding, rt::UpperCase(serverEncoding));
  std::string reported = rt::FromPChar(PQ.PQparameterStatus(handle_, "client_encoding"));

  if (settings_.ClientEncoding.empty() && !settings_.CharSet.empty()) settings_.ClientEncoding = CharSetToEncoding(settings_.CharSet);

  bool send = true;
  if (settings_.ClientEncoding.empty()) {
    settings_.ClientEncoding = reported == "UNICODE" ? std::string("UTF8") : reported;
    if (settings_.ClientEncoding == "UTF8" && server_.Newer && MaxCharBytes(ApplicationCharset()) == 4) {
      // An application that runs in UTF-8 reads the server's texts as they come.
      send = false;
    } else if (settings_.ClientEncoding == "UTF8") {
      // The application's texts are 8-bit: a Unicode server gets a single-byte client.
      settings_.ClientEncoding = "LATIN1";
      TraceRes(trcDiagnostic, res::SNoUnicodeSupport);
      TraceRes(trcDiagnostic, res::SSettingClientEncoding, settings_.ClientEncoding);
    } else {
      send = false;
    }
  } else {
    TraceRes(trcConnect, res::SSettingClientEncoding, rt::UpperCase(settings_.ClientEncoding));
  }

  if (send) {
    if (PQ.PQclientEncoding(handle_) == -1)
      throw EVNXError(rt::Format(Res(res::SNoMultibyteSupport), LoadedLibpqName()));
    if (PQ.PQsetClientEncoding(handle_, settings_.ClientEncoding.c_str()) != 0 || PQ.PQclientEncoding(handle_) == -1)
      throw EVNXError(rt::Format(Res(res::SCouldNotSetClientEncoding), settings_.ClientEncoding));
  }
  TraceRes(trcConnect, res::SClientEncoding, rt::UpperCase(settings_.ClientEncoding));
}

}  // namespace vnx
