// Message texts of the driver. Every text here is a resource: the multi-language build
// passes it through the message catalogue before use (see i18n/translate.h).
#pragma once

namespace vnx::res {

// Connection events and diagnostics.
inline constexpr const char SLoadingLibpq[] = "Loading PostgreSQL interface Library %s";
inline constexpr const char SConnectingTo[] = "Connecting to database %s on server %s";
inline constexpr const char SConnectedAsync[] = "Connected using asynchronous mode";
inline constexpr const char SConnectedSync[] = "Connected in synchronous mode";
inline constexpr const char SDbxProtocolVersion[] = "dbExpress protocol version: %s";
inline constexpr const char SLibpqProtocolVersion[] = "PostgreSQL libpq protocol version: %s";
inline constexpr const char SCouldNotConnect[] = "Could not connect to the database server. Reason: [%s].";
inline constexpr const char SServerEncoding[] = "Server encoding: %s";
inline constexpr const char SNoUnicodeSupport[] =
    "No UNICODE support detected; a single-byte encoding will be used.";
inline constexpr const char SSettingClientEncoding[] = "Setting client encoding to %s";
inline constexpr const char SClientEncoding[] = "Client encoding: %s";
inline constexpr const char SDisconnecting[] = "Disconnecting from server on %s";
inline constexpr const char SGettingServerVersion[] = "Getting PostgreSQL server version";
inline constexpr const char SStartingTransaction[] = "Starting transaction";
inline constexpr const char SCommitingTransaction[] = "Commiting transaction";
inline constexpr const char SRollingBackTransaction[] = "Rolling back transaction";

// The server name and the option string.
inline constexpr const char SBadServerName[] = "The server name cannot be read: %s";
inline constexpr const char SBracketNotClosed[] = "the \"[\" of %s is not closed";
inline constexpr const char STextAfterBracket[] = "only a port may follow the \"]\" of %s";
inline constexpr const char SIPv6NeedsBrackets[] = "the IPv6 address %s must be written in brackets, as [address]:port";
inline constexpr const char SPortIgnored[] = "The port %s of host %s is not a number and was left out";
inline constexpr const char SOptionUnknown[] = "The option %s=%s was ignored: neither the driver nor libpq knows the key";
inline constexpr const char SOptionValueIgnored[] = "The option %s=%s was ignored: expected %s";
inline constexpr const char SOptionWithoutValue[] = "The option %s was ignored: it has no value";
inline constexpr const char SExpectedBoolean[] = "True or False";
inline constexpr const char SExpectedNumber[] = "a whole number";
inline constexpr const char SExpectedCharacter[] = "one character";
inline constexpr const char SExpectedOneOf[] = "one of %s";
inline constexpr const char SLibpqSettings[] = "libpq settings: %s";
inline constexpr const char SServerReachedTls[] = "Server reached: host %s, port %s, over TLS";
inline constexpr const char SServerReachedPlain[] = "Server reached: host %s, port %s, without TLS";

// Connection failures.
inline constexpr const char SUnknownServerVersion[] = "Unknown server version [%s]";
inline constexpr const char SServerTooOld[] = "Error: Vornex requires a PostgreSQL server %s or newer. Yours is:\r%s";
inline constexpr const char SServerNotTested[] =
    "The Vornex Driver has not been tested with this server version [%s]";
inline constexpr const char SNoMultibyteSupport[] =
    "The libpq library [%s] does not seem to provide multibyte support";
inline constexpr const char SCouldNotSetClientEncoding[] = "Could not set client encoding to \"%s\"";
inline constexpr const char STransactionModeNotSupported[] = "Transaction mode not supported by PostgreSQL";
inline constexpr const char SCommitOutcomeUnknown[] =
    "The connection was lost while the transaction was being committed; whether it was committed is unknown: %s";
inline constexpr const char SQueryTimedOut[] =
    "The server did not answer within %d seconds (QueryTimeout); the statement was cancelled: %s";
inline constexpr const char SQueryTimeoutLost[] =
    "The server did not answer within %d seconds (QueryTimeout), nor to the cancel request; the connection was closed.";
inline constexpr const char SCommitRolledBack[] =
    "The transaction was rolled back, not committed: an earlier statement in it failed.";

// Reading rows in batches (FetchRows).
inline constexpr const char SBatchTransactionEnded[] =
    "The transaction in which cursor %s read its rows has ended; the rest of its rows cannot be read.";
inline constexpr const char SBatchReadCancelled[] = "Reading the rows of cursor %s was cancelled.";
inline constexpr const char SBatchTransaction[] = "Transaction for batched reading: %s";
inline constexpr const char SBatchKeepFailed[] =
    "The rest of the rows of cursor %s could not be kept for reading, so the statement that needed the "
    "connection was not run: %s";
// A statement the driver sends on its own (closing a cursor, ending its transaction).
inline constexpr const char SDriverStatementFailed[] = "The driver's statement \"%s\" failed: %s";

// Failures of ExecQuery.
inline constexpr const char SNoConnectionHandle[] = "No PPGconn Connection handle.";
inline constexpr const char SNoResponse[] = "No response from server.";
inline constexpr const char SQueryIsEmpty[] = "Query is empty";

}  // namespace vnx::res
