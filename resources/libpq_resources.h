// Message texts of the client library binding.
#pragma once

namespace vnx::res {

inline constexpr const char SCouldNotLoadLibpq[] = "Could not load the LIBPQ library [%s]; reason: [%s].";
inline constexpr const char SLibpqFunctionMissing[] =
    "The function \"%s\" could not be loaded from the libpq library [%s].";

// The outer loader message is built from this literal and never translated.
inline constexpr const char SInternalLibpqError[] = "Internal LIBPQ [%s] error: [%s]";

}  // namespace vnx::res
