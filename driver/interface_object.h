// Reference-counted objects handed to the application, and the thin layer that turns each
// interface slot into a call of an ordinary member function. No exception ever leaves a
// slot: the wrapper stores the failure's text in the object and returns a result code.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "driver/dbx_interfaces.h"

namespace vnx {

// Base of every object the application holds. The table pointer is the first field, so the
// interface pointer is the object's address.
class TInterfacedObject {
 public:
  TInterfacedObject(const TInterfacedObject&) = delete;
  TInterfacedObject& operator=(const TInterfacedObject&) = delete;

  void* AsInterface() noexcept { return static_cast<void*>(this); }
  static TInterfacedObject* FromInterface(void* self) noexcept { return static_cast<TInterfacedObject*>(self); }

  std::int32_t AddRef() noexcept { return ++refCount_; }
  // Destroys the object when the last reference goes.
  std::int32_t Release() noexcept;
  std::int32_t RefCount() const noexcept { return refCount_; }

 protected:
  using Destroyer = void (*)(TInterfacedObject*) noexcept;
  TInterfacedObject(const void* vtbl, const TGUID& iid, Destroyer destroy) noexcept
      : vtbl_(vtbl), iid_(&iid), destroy_(destroy) {}
  ~TInterfacedObject() = default;

 private:
  friend struct UnknownSlots;
  const void* vtbl_;  // must stay the first field
  std::atomic<std::int32_t> refCount_{0};
  const TGUID* iid_;
  Destroyer destroy_;
};

// QueryInterface, AddRef and Release, shared by every interface table.
struct UnknownSlots {
  static HResult VNX_STDCALL QueryInterface(void* self, const TGUID* iid, void** obj) noexcept;
  static std::int32_t VNX_STDCALL AddRef(void* self) noexcept;
  static std::int32_t VNX_STDCALL Release(void* self) noexcept;
  static constexpr IUnknownVtbl Table{&QueryInterface, &AddRef, &Release};
};

// Deletes an object through its most derived type.
template <class T>
void DestroyAs(TInterfacedObject* object) noexcept {
  delete static_cast<T*>(object);
}

class TVNXISQLConnection;

// The longest part of an error text the application can be told about: getErrorMessageLen
// states the length in a signed 16-bit value.
inline constexpr std::size_t kMaxErrorTextLength = 32767;

// How many bytes of `text` the application receives: all of it when it fits the 16-bit
// length, otherwise the longest part that ends between two characters of the text's
// encoding (that of `connection`'s texts; single bytes without a connection).
std::size_t ErrorTextLength(std::string_view text, const TVNXISQLConnection* connection) noexcept;

// An object that keeps the text of its last failure and serves getErrorMessage and
// getErrorMessageLen.
class TVNXErrorObject : public TInterfacedObject {
 public:
  std::string ErrorMessage;

  // Stores a failure text; never throws (an allocation failure leaves the text empty).
  void SetErrorText(std::string_view text) noexcept;

  // The error-message protocol: the length without terminator as a 16-bit value, then the
  // text with a NUL into a buffer of at least that length + 1. A text too long for the
  // 16-bit length is handed out cut, so that the two always agree.
  SQLResult getErrorMessage(char* error);
  SQLResult getErrorMessageLen(std::int16_t* errorLen);

  // Called by the slot wrapper from inside a catch block: stores the caught failure's text
  // and returns the generic failure code.
  SQLResult FailedCall() noexcept;

 protected:
  using TInterfacedObject::TInterfacedObject;

  // The connection whose client encoding the texts are in; kept alive by the object's own
  // counted reference to it (the connection names itself).
  const TVNXISQLConnection* TextConnection = nullptr;
};

// The slot wrapper: Slot<&C::op>::Call has the stdcall signature of the interface slot.
template <auto Method>
struct Slot;

template <class C, class R, class... A, R (C::*Method)(A...)>
struct Slot<Method> {
  static R VNX_STDCALL Call(void* self, A... args) noexcept {
    C* object = static_cast<C*>(TInterfacedObject::FromInterface(self));
    try {
      return (object->*Method)(args...);
    } catch (...) {
      return object->FailedCall();
    }
  }
};

// The same wrapper with the operation, and what it calls in its own source file, inlined
// into it: for the cursor's getters and next, which run once per value.
template <auto Method>
struct FlatSlot;

template <class C, class R, class... A, R (C::*Method)(A...)>
struct FlatSlot<Method> {
  [[gnu::flatten]] static R VNX_STDCALL Call(void* self, A... args) noexcept {
    C* object = static_cast<C*>(TInterfacedObject::FromInterface(self));
    try {
      return (object->*Method)(args...);
    } catch (...) {
      return object->FailedCall();
    }
  }
};

// A counted reference held by C++ code: a child's reference to the object it was made from,
// a command's output cursor.
template <class T>
class InterfaceRef {
 public:
  InterfaceRef() noexcept = default;
  explicit InterfaceRef(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  InterfaceRef(const InterfaceRef& o) noexcept : InterfaceRef(o.p_) {}
  InterfaceRef(InterfaceRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  InterfaceRef& operator=(InterfaceRef o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~InterfaceRef() {
    if (p_) p_->Release();
  }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept { *this = InterfaceRef(); }

 private:
  T* p_ = nullptr;
};

// Stores a new object into an `out` interface argument: the argument is set to nil first
// (its old content is not looked at), then the object with one added reference.
void SetOutInterface(void** out, TInterfacedObject* object) noexcept;

// Stores an object into a `var` interface argument: the previous interface in it, if
// any, loses the reference the argument held.
void SetVarInterface(void** var, TInterfacedObject* object) noexcept;

// GetOption for text values: copies at most maxLength characters and a NUL into propValue
// (which must hold maxLength + 1 bytes for long values) and reports the full length + 1.
void CopyOptionText(std::string_view value, void* propValue, std::int16_t maxLength,
                    std::int16_t* length) noexcept;

}  // namespace vnx
