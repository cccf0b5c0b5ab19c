// Parameter values as SQL literal text, put in place of the "?" markers of a statement.
#pragma once

#include <string>
#include <string_view>

#include "common/command_param.h"

typedef struct pg_conn PGconn;

namespace vnx {

// The literal of one parameter; "NULL" for a null value. Raises EVNXTypeError
// "Type [%d] is not supported" for types without a literal. When `clientEncoding` is
// exactly "UTF8" text is converted to UTF-8 (before escaping, so that the connection's
// escaping sees the bytes the server will). `connection` may be null.
std::string FormatParamLiteral(const CommandParam& param, bool storedProc,
                               const std::string& clientEncoding, PGconn* connection);

// The same literal appended to out (the command builds its statement this way, without a
// string of its own for each parameter).
void AppendParamLiteral(std::string& out, const CommandParam& param, bool storedProc,
                        const std::string& clientEncoding, PGconn* connection);

// The text escaped for use between single quotes. With a connection and a libpq that has
// PQescapeStringConn, escaping follows that connection's settings (standard_conforming_
// strings, encoding); otherwise PQescapeString. Stops at a NUL byte.
std::string EscapeStringLiteral(std::string_view text, PGconn* connection);
// Text escaped byte by byte, as a server that reads bytes (SQL_ASCII) takes it: every quote
// doubled, and every backslash byte too unless standard_conforming_strings is on. The
// connection's escaping takes this way when its server's encoding is SQL_ASCII.
std::string EscapeByteByByte(std::string_view text, bool standardConformingStrings);

// The text between single quotes (no escaping of its own).
std::string QuoteLiteral(std::string_view text);

}  // namespace vnx
