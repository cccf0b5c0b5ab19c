// Loading a driver library and resolving its entry.
#include "tools/vnxsql/dbx_client.h"

#include <dlfcn.h>

namespace vnxsql {

DriverLibrary::DriverLibrary(const std::string& path) : path_(path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error_ = why ? why : "cannot open " + path;
    return;
  }
  getDriver_ = reinterpret_cast<GetDriverFn>(dlsym(handle, "getSQLDriverPOSTGRESQL"));
  if (!getDriver_) error_ = path + " has no getSQLDriverPOSTGRESQL entry";
  cancelQuery_ = reinterpret_cast<CancelFn>(dlsym(handle, "CancelQuery"));
}

SQLResult DriverLibrary::NewDriver(const std::string& vendorLib, Driver& driver) const {
  return getDriver_(vendorLib.c_str(), "", driver.out());
}

}  // namespace vnxsql
