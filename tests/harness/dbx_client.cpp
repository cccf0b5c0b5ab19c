// The tests' dbExpress client.
#include "tests/harness/dbx_client.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace vnxtest {

DriverLibrary::DriverLibrary(bool ml) : DriverLibrary(std::string(ml ? VNX_LIB_ML_PATH : VNX_LIB_PATH)) {}

DriverLibrary::DriverLibrary(const std::string& path) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) throw std::runtime_error("dlopen " + path + ": " + dlerror());
  getDriver_ = reinterpret_cast<GetDriverFn>(dlsym(handle_, "getSQLDriverPOSTGRESQL"));
  cancelQuery_ = reinterpret_cast<CancelQueryFn>(dlsym(handle_, "CancelQuery"));
  if (!getDriver_ || !cancelQuery_) throw std::runtime_error("exports missing in " + path);
  // The library stays loaded: libpq, once bound by it, lives as long as the process.
}

DriverLibrary FreshLibraryCopy() {
  char dir[] = "/tmp/vnxlibXXXXXX";
  if (!mkdtemp(dir)) throw std::runtime_error("mkdtemp failed");
  const std::string copy = std::string(dir) + "/libdbexpvnx.so";
  {
    std::ifstream in(VNX_LIB_PATH, std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    out << in.rdbuf();
    if (!in || !out) throw std::runtime_error("cannot copy " VNX_LIB_PATH " to " + copy);
  }
  DriverLibrary lib(copy);
  // The mapping stays when the file goes.
  std::remove(copy.c_str());
  rmdir(dir);
  return lib;
}

Driver GetDriver(const DriverLibrary& lib, const char* vendorLib, const char* resourceFile) {
  Driver d;
  SQLResult rc = lib.getDriver()(vendorLib, resourceFile, d.out());
  EXPECT_EQ(rc, 0);
  return d;
}

Connection NewConnection(const Driver& driver) {
  Connection c;
  SQLResult rc = driver.call(&vnx::ISQLDriverVtbl::getSQLConnection, c.out());
  EXPECT_EQ(rc, 0);
  return c;
}

}  // namespace vnxtest
