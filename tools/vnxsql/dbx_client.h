// The shell's side of the driver boundary: loading a driver library by name and holding
// its objects through their interface tables, as any dbExpress application does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "driver/dbx_interfaces.h"
#include "tools/vnxsql/interrupt.h"

namespace vnxsql {

using vnx::SQLResult;

// A counted interface pointer; gives its reference back when it goes.
template <class Vtbl>
class Intf {
 public:
  Intf() = default;
  // Takes over a reference the caller already holds.
  explicit Intf(void* p) : p_(p) {}
  Intf(const Intf&) = delete;
  Intf& operator=(const Intf&) = delete;
  Intf(Intf&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Intf& operator=(Intf&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
    }
    return *this;
  }
  ~Intf() { reset(); }

  void reset() {
    if (p_) vt()->Unknown.Release(std::exchange(p_, nullptr));
  }
  // For out and var arguments: the reference held so far is given back first.
  void** out() {
    reset();
    return &p_;
  }
  void* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  const Vtbl* vt() const { return *static_cast<const Vtbl* const*>(p_); }
  template <class F, class... A>
  SQLResult call(F Vtbl::*op, A&&... args) const {
    return (vt()->*op)(p_, std::forward<A>(args)...);
  }
  // The object's last error text, fetched the way the interface prescribes.
  std::string error() const {
    std::int16_t len = 0;
    if (call(&Vtbl::getErrorMessageLen, &len) != 0 || len <= 0) return {};
    std::string text(static_cast<std::size_t>(len) + 1, '\0');
    call(&Vtbl::getErrorMessage, text.data());
    text.resize(static_cast<std::size_t>(len));
    return text;
  }

 private:
  void* p_ = nullptr;
};

using Driver = Intf<vnx::ISQLDriverVtbl>;
using Connection = Intf<vnx::ISQLConnectionVtbl>;
using Command = Intf<vnx::ISQLCommandVtbl>;
using Cursor = Intf<vnx::ISQLCursorVtbl>;
using MetaData = Intf<vnx::ISQLMetaDataVtbl>;

// One driver library opened with dlopen. It stays loaded for the life of the process:
// the client library it binds cannot be unloaded safely.
class DriverLibrary {
 public:
  // Opens path; on failure ok() is false and error() tells why.
  explicit DriverLibrary(const std::string& path);
  bool ok() const { return getDriver_ != nullptr; }
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  // getSQLDriverPOSTGRESQL; returns its result code.
  SQLResult NewDriver(const std::string& vendorLib, Driver& driver) const;
  // The CancelQuery export; null when the library has none.
  CancelFn cancelQuery() const { return cancelQuery_; }

 private:
  using GetDriverFn = SQLResult(VNX_STDCALL*)(const char*, const char*, void**);
  std::string path_;
  std::string error_;
  GetDriverFn getDriver_ = nullptr;
  CancelFn cancelQuery_ = nullptr;
};

}  // namespace vnxsql
