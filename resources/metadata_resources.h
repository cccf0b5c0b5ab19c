// Message texts of the metadata object and the virtual cursor.
#pragma once

namespace vnx::res {

// Virtual cursor.
inline constexpr const char SVirtualFieldTypeNotSupported[] = "Field type [%d] is not supported on virtual cursors.";
inline constexpr const char SCouldNotRetrieveErrorMessage[] = "Couldn't retrieve error message.";
inline constexpr const char SVirtualNoSource[] = "The virtual cursor has no cursor to import from.";
inline constexpr const char SVirtualValueOutOfRange[] = "The value %s of column %d does not fit a %d-bit integer.";

// Column and parameter lists.
inline constexpr const char SErrorImportingData[] = "Error importing data to virtual cursor.";
inline constexpr const char SErrorMappingFields[] = "Error mapping fields in virtual cursor";

}  // namespace vnx::res
