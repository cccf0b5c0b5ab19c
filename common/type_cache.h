// Which type cache a new cursor uses, by the driver's TypesCachingMode.
#pragma once

#include <cstdint>

#include "common/type_mapping.h"

namespace vnx {

// TypesCachingMode values.
enum : std::uint8_t {
  tcmDefault = 0, tcmOnce = 1, tcmConnection = 2, tcmCursor = 3,
};

// Returns the cache the new cursor uses, loading it through `handle` into the holder the
// mode names when that holder is empty. Mode tcmCursor returns a freshly loaded cache that
// only the cursor keeps. A failed load raises rt::EDatabaseError and leaves the holder
// empty, so the next cursor tries again. Unknown modes act as tcmDefault.
// Holders are read and filled under one process-wide lock, so that connections of one
// driver used from different threads never see a half-assigned cache.
TVNXTypeMappings SelectTypeCache(std::uint8_t mode, TVNXTypeMappings& driverCache,
                                 TVNXTypeMappings& connectionCache, PGconn* handle);

}  // namespace vnx
