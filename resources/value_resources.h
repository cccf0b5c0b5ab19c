// Message texts of value conversion, type mapping and parameter literals, including the
// runtime's own conversion messages. Pass each through vnx::Res() before use.
#pragma once

namespace vnx::res {

// The runtime's number, date and time conversions.
inline constexpr const char SInvalidInteger[] = "'%s' is not a valid integer value";
inline constexpr const char SInvalidFloat[] = "'%s' is not a valid floating point value";
inline constexpr const char SInvalidBcd[] = "%s is not a valid BCD value";
inline constexpr const char SBcdOverflow[] = "%s has more integer digits than a BCD value holds";
inline constexpr const char SInvalidBcdRecord[] = "Invalid BCD record: precision %d, scale %d";
inline constexpr const char SInvalidTimeEncode[] = "Invalid argument to time encode";
inline constexpr const char SInvalidDateEncode[] = "Invalid argument to date encode";
inline constexpr const char SInvalidDateTime[] = "''%s'' is not a valid date and time";
inline constexpr const char SInvalidTimeStamp[] = "'%d.%d' is not a valid timestamp";

// Value conversion.
inline constexpr const char SInvalidBooleanValue[] = "Invalid boolean value [%s].";
inline constexpr const char SInvalidDateTimeValue[] = "Invalid Date/Time value [%s]";
inline constexpr const char SInvalidOidVector[] = "Invalid value in OidVector [%s]";
inline constexpr const char SArrayElementNotSupported[] =
    "Array elements of variant type %d are not supported";
inline constexpr const char SArrayTooDeep[] =
    "Array parameter nests arrays or variant references more than %d levels deep";
inline constexpr const char SArrayShapeNotSupported[] =
    "Only one-dimensional arrays can be passed as parameters (variant type %d, %d dimensions)";

// Type cache.
inline constexpr const char SCouldNotRetrieveTypes[] =
    "Could not retrieve types information from the database server [%s]";

// Parameter literals.
inline constexpr const char STypeNotSupported[] = "Type [%d] is not supported";
inline constexpr const char SParamValueTooShort[] =
    "Parameter value of type [%d] holds %d bytes; %d are needed";
inline constexpr const char SCouldNotEscape[] = "Could not escape a parameter value: %s";

}  // namespace vnx::res
