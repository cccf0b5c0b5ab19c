// Choosing (and loading when needed) the type cache of a new cursor.
#include "common/type_cache.h"

#include <mutex>

namespace vnx {
namespace {

// One lock for every holder: connections of one driver may create cursors from different
// threads, and a shared_ptr being assigned must not be read at the same time. It is held
// only while a cursor is being created.
std::mutex& CacheLock() {
  static std::mutex lock;
  return lock;
}

const TVNXTypeMappings& LoadedInto(TVNXTypeMappings& holder, PGconn* handle) {
  if (!IsLoaded(holder)) {
    TVNXTypeMappings fresh;
    LoadTypeMappings(handle, fresh);  // raises with the holder untouched
    holder = std::move(fresh);
  }
  return holder;
}

}  // namespace

TVNXTypeMappings SelectTypeCache(std::uint8_t mode, TVNXTypeMappings& driverCache,
                                 TVNXTypeMappings& connectionCache, PGconn* handle) {
  if (mode == tcmCursor) {
    TVNXTypeMappings own;
    LoadTypeMappings(handle, own);
    return own;
  }
  std::lock_guard<std::mutex> guard(CacheLock());
  switch (mode) {
    case tcmOnce: return LoadedInto(driverCache, handle);
    case tcmConnection: return LoadedInto(connectionCache, handle);
    default:
      if (IsLoaded(connectionCache)) return connectionCache;
      return LoadedInto(driverCache, handle);
  }
}

}  // namespace vnx
