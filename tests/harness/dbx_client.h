// A small dbExpress client for the tests: loads a driver library with dlopen, resolves its
// entry and talks to the objects only through their interface tables, as an application does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "driver/dbx_interfaces.h"

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

// A counted interface pointer; releases its reference when it goes.
template <class Vtbl>
class Intf {
 public:
  Intf() = default;
  explicit Intf(void* p) : p_(p) {}
  Intf(const Intf&) = delete;
  Intf& operator=(const Intf&) = delete;
  Intf(Intf&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Intf& operator=(Intf&& o) noexcept {
    reset();
    p_ = std::exchange(o.p_, nullptr);
    return *this;
  }
  ~Intf() { reset(); }

  void reset() {
    if (p_) vt()->Unknown.Release(std::exchange(p_, nullptr));
  }
  // For out and var arguments: drops the current reference first.
  void** out() {
    reset();
    return &p_;
  }
  void* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  const Vtbl* vt() const { return *static_cast<const Vtbl* const*>(p_); }
  // Calls an operation: obj.call(&Vtbl::op, args...).
  template <class F, class... A>
  auto call(F Vtbl::*op, A&&... args) const {
    return (vt()->*op)(p_, std::forward<A>(args)...);
  }
  std::int32_t refCount() const {  // AddRef followed by Release reports the count
    vt()->Unknown.AddRef(p_);
    return vt()->Unknown.Release(p_);
  }

 private:
  void* p_ = nullptr;
};

using Driver = Intf<vnx::ISQLDriverVtbl>;
using Connection = Intf<vnx::ISQLConnectionVtbl>;
using Command = Intf<vnx::ISQLCommandVtbl>;
using Cursor = Intf<vnx::ISQLCursorVtbl>;
using MetaData = Intf<vnx::ISQLMetaDataVtbl>;

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

Driver GetDriver(const DriverLibrary& lib, const char* vendorLib = VNX_TEST_LIBPQ,
                 const char* resourceFile = "");
Connection NewConnection(const Driver& driver);

}  // namespace vnxtest
