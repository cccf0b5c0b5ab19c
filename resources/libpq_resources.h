// Message texts of the client library binding.
#pragma once

namespace vnx::res {

inline constexpr const char SCouldNotLoadLibpq[] = "Could not load the LIBPQ library [%s]; reason: [%s].";
inline constexpr const char SLibpqNotOnSearchPath[] = "not on the system's library search path (%s)";
inline constexpr const char SLibpqNotInProgramFolder[] = "not in the program's folder %s (%s)";
inline constexpr const char SLibpqTryingSoname[] = "%s could not be loaded (%s); trying libpq.so.5";
inline constexpr const char SLibpqFunctionMissing[] =
    "The function \"%s\" could not be loaded from the libpq library [%s].";

// The outer loader message is built from this literal and never translated.
inline constexpr const char SInternalLibpqError[] = "Internal LIBPQ [%s] error: [%s]";

}  // namespace vnx::res
