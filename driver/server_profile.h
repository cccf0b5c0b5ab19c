// What the driver knows about the server of one connection: its version and what that
// version offers, learnt once per connect, and the session settings that decide how literals
// are written and texts read. Catalogue SQL, literals and readers ask it instead of testing
// version numbers of their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

typedef struct pg_conn PGconn;

namespace vnx {

// The newest major version the driver has been tested against; a newer server is accepted
// under AcceptNewerServers with a trace line that says so.
inline constexpr int kNewestTestedMajor = 18;

// The version as the server's server_version_num writes it: 8.3.23 is 80323, 9.6.24 is
// 90624, 10.23 is 100023. Reads the number part of a server_version text ("15.14 (Debian
// ...)", "18beta1") or of a version() text after its product name; 0 when it has none.
std::int32_t VersionNumFromText(std::string_view text);

struct TVNXServerProfile {
  std::string VersionText;     // what version() answered at connect
  double Version = -1;         // the number of VersionText (8.3.7 reads 8.37); -1 unknown
  std::int32_t VersionNum = 0; // see VersionNumFromText; 0 before a connect
  // AcceptNewerServers was on at connect. The driver then takes the server for what it is
  // (server_version_num) and uses what its version offers; without it, the driver works
  // as it always did, with the server that version() describes.
  bool Newer = false;
  std::string ServerEncoding;  // as the server reports it, upper-case
  PGconn* Handle = nullptr;    // the connection the live settings are read from

  // Fills the profile for a connected handle from the version() text and the option.
  void Learn(PGconn* handle, std::string versionText, bool acceptNewer);
  void Forget() { *this = TVNXServerProfile{}; }

  // The first number of the version: 8 for 8.3, 10 for 10.23.
  int Major() const noexcept { return VersionNum / 10000; }
  bool AtLeast(std::int32_t versionNum) const noexcept { return VersionNum >= versionNum; }

  // --- What the version offers ---------------------------------------------------------
  bool HasSchemas() const noexcept { return AtLeast(70300); }
  bool HasTransactionsOption() const noexcept { return AtLeast(80000); }
  // Cursors that outlive their transaction's commit (DECLARE ... NO SCROLL ... WITH HOLD,
  // 7.4): what lets a batched read step aside for other statements.
  bool HasHoldableCursors() const noexcept { return AtLeast(70400); }
  // A commit keeps a NO SCROLL cursor's remaining rows without running its query again from
  // the start (11); before, the query's functions would run twice and the rows come anew.
  bool KeepsCursorsInPlace() const noexcept { return AtLeast(110000); }
  // pg_cursors lists a session's open cursors (8.2).
  bool HasCursorList() const noexcept { return AtLeast(80200); }
  // Column defaults as text: pg_get_expr (7.4 on) rather than pg_attrdef.adsrc, which 12
  // removed. Servers served the old way keep adsrc.
  bool DefaultsByGetExpr() const noexcept { return Newer && AtLeast(70400); }
  // Attribute number -2 is a table's oid column (12 made it xmin and dropped oid columns).
  bool RowOidColumn() const noexcept { return !AtLeast(120000); }
  bool HasIdentityColumns() const noexcept { return AtLeast(100000); }
  bool HasGeneratedColumns() const noexcept { return AtLeast(120000); }
  // pg_proc.prokind and procedures called with CALL (11); before, proisagg marks aggregates.
  bool HasProcedures() const noexcept { return AtLeast(110000); }
  bool HasPartitionedTables() const noexcept { return AtLeast(100000); }  // relkind 'p'
  bool HasMaterializedViews() const noexcept { return AtLeast(90300); }   // relkind 'm'
  bool HasForeignTables() const noexcept { return AtLeast(90100); }       // relkind 'f'
  // Roles (pg_roles, 8.1 on) rather than users and groups.
  bool HasRoles() const noexcept { return Newer && AtLeast(80100); }
  // Domains are described as their base types, aggregates and window functions are not
  // listed as procedures, and types the old mapping did not name get one.
  bool ModernCatalogue() const noexcept { return Newer && HasSchemas(); }

  // --- Session settings, read when asked (a SET changes them) --------------------------
  // standard_conforming_strings is on: backslashes in '...' are plain characters.
  bool StandardConformingStrings() const;
  // The client encoding in force, as the server names it ("UTF8", "LATIN1", "EUC_JP").
  std::string ClientEncoding() const;
  // The encoding the server reads statement text in: the client encoding, which it converts
  // from, except on an SQL_ASCII server, which converts nothing and reads byte by byte.
  std::string StatementEncoding() const {
    return ServerEncoding == "SQL_ASCII" ? std::string("SQL_ASCII") : ClientEncoding();
  }
};

// What connect makes of a server's version. Accepted: 7.1 up to (not including) 8.4, or
// with AcceptNewerServers any later one up to the newest tested major version; Untested: a
// newer major version than that, accepted with a trace line; the rest are refused.
enum class TVNXVersionVerdict : std::uint8_t { Accepted, Untested, Unknown, TooOld, NotTested };
TVNXVersionVerdict JudgeServerVersion(const TVNXServerProfile& server);

// Whether a connection has standard_conforming_strings on (false without a connection).
bool StandardConformingStrings(PGconn* handle);

// The most bytes one character takes in an encoding, by its server name ("UTF8", "SJIS")
// or its iconv name ("UTF-8", "EUC-JP"); 1 for the single-byte ones.
int MaxCharBytes(std::string_view encoding);
// Whether two names, server or iconv spellings, name one encoding ("UTF8" and "utf-8").
bool SameEncoding(std::string_view a, std::string_view b);

}  // namespace vnx
