// Message texts of commands, result cursors and BLOB reading.
#pragma once

#include "resources/driver_resources.h"  // the texts of ExecQuery that commands report too

namespace vnx::res {

// Commands.
inline constexpr const char SCommandExecuted[] = "Command executed sucessfully";
inline constexpr const char SRowsAffected[] = "%d row(s) affected";
inline constexpr const char SNoParametersRetrieved[] = "No paramaters retrieved from stored procedure.";
inline constexpr const char SParamTypeNotSupported[] = "Parameters of type %d are not supported.";
inline constexpr const char SMissingParameter[] =
    "The statement has more parameter markers than parameters: marker %d has no parameter.";
inline constexpr const char SMissingParameterBuffer[] = "Parameter %d has a value but no buffer.";
inline constexpr const char SNoOutputColumn[] = "Output parameter %d has no column in the procedure's result.";
inline constexpr const char SCopyNotSupported[] = "COPY to or from the client is not supported by this driver.";
inline constexpr const char SNotConnected[] = "The connection is not open.";

// Result cursors.
inline constexpr const char SQueryReturnedNoFields[] = "Query returned no fields.";
inline constexpr const char SGettingExtendedFieldsInfo[] = "Getting extended fields information";
inline constexpr const char SExtendedInfoFailed[] = "Could not retrieve extended type information from server.";
inline constexpr const char SInvalidColumnNumber[] = "Invalid column number %d: the result has %d column(s).";
inline constexpr const char SValueTooLong[] =
    "The value of column %d is %d bytes long and does not fit the column's size of %d bytes.";

// BLOB reading.
inline constexpr const char SStartingBlobTransaction[] = "Starting BLOB mandatory transaction: %s";
inline constexpr const char SEndingBlobTransaction[] = "Ending BLOB transaction: %s";
inline constexpr const char SCannotOpenBlob[] = "Cannot open the BLOB field [%s]";
inline constexpr const char SCannotMoveBlobPointer[] = "Cannot move the BLOB pointer [%s]";
inline constexpr const char SCannotReadBlob[] = "Cannot read data from the BLOB field [%s]";
inline constexpr const char SCannotCloseBlob[] = "Cannot close the BLOB field [%s]";
inline constexpr const char SDateStyleNotIso[] =
    "%s (the server writes dates in the style %s; the driver reads the ISO style, which it sets at connect)";
inline constexpr const char SMissingBlobBuffer[] = "getBlob of column %d was given no buffer for its %u bytes.";

}  // namespace vnx::res
