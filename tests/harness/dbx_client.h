// A small dbExpress client for the tests: loads a driver library with dlopen, resolves its
// entry and talks to the objects only through their interface tables, as an application does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "driver/dbx_interfaces.h"
#include "tools/vnxsql/dbx_client.h"

namespace vnxtest {

using vnx::SQLResult;
using GetDriverFn = SQLResult(VNX_STDCALL*)(const char*, const char*, void**);
using CancelQueryFn = void(VNX_REGISTER*)(pg_conn*);

// One loaded driver library (the single-language build unless ml is set).
class DriverLibrary {
 public:
  explicit DriverLibrary(bool ml = false);
  explicit DriverLibrary(const std::string& path);
  void* handle() const { return handle_; }
  GetDriverFn getDriver() const { return getDriver_; }
  CancelQueryFn cancelQuery() const { return cancelQuery_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* handle_ = nullptr;
  GetDriverFn getDriver_ = nullptr;
  CancelQueryFn cancelQuery_ = nullptr;
};

// The shell's counted interface pointer serves the tests too.
template <class Vtbl>
using Intf = vnxsql::Intf<Vtbl>;
using vnxsql::Command;
using vnxsql::Connection;
using vnxsql::Cursor;
using vnxsql::Driver;
using vnxsql::MetaData;

// The object's reference count: AddRef followed by Release reports it.
template <class Vtbl>
std::int32_t RefCount(const Intf<Vtbl>& obj) {
  obj.vt()->Unknown.AddRef(obj.get());
  return obj.vt()->Unknown.Release(obj.get());
}

// The object's last error text through getErrorMessageLen and getErrorMessage.
template <class Vtbl>
std::string ErrorOf(const Intf<Vtbl>& obj) {
  std::int16_t len = -1;
  obj.call(&Vtbl::getErrorMessageLen, &len);
  std::string text(static_cast<std::size_t>(len < 0 ? 0 : len) + 1, '\xAA');
  obj.call(&Vtbl::getErrorMessage, text.data());
  text.resize(static_cast<std::size_t>(len < 0 ? 0 : len));
  return text;
}

// A private copy of the single-language library, opened under a name of its own: its
// process-wide state (libpq above all) starts unbound, whatever earlier tests loaded.
DriverLibrary FreshLibraryCopy();

Driver GetDriver(const DriverLibrary& lib, const char* vendorLib = VNX_TEST_LIBPQ,
                 const char* resourceFile = "");
Connection NewConnection(const Driver& driver);

}  // namespace vnxtest
