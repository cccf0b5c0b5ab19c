// Reference counting, QueryInterface and the error-message protocol shared by all objects.
#include "driver/interface_object.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace vnx {

std::int32_t TInterfacedObject::Release() noexcept {
  std::int32_t left = --refCount_;
  if (left == 0) destroy_(this);
  return left;
}

HResult VNX_STDCALL UnknownSlots::QueryInterface(void* self, const TGUID* iid, void** obj) noexcept {
  if (!obj) return E_NOINTERFACE;
  TInterfacedObject* object = TInterfacedObject::FromInterface(self);
  if (iid && (*iid == IID_IUnknown || *iid == *object->iid_)) {
    object->AddRef();
    *obj = self;
    return S_OK;
  }
  *obj = nullptr;
  return E_NOINTERFACE;
}

std::int32_t VNX_STDCALL UnknownSlots::AddRef(void* self) noexcept {
  return TInterfacedObject::FromInterface(self)->AddRef();
}

std::int32_t VNX_STDCALL UnknownSlots::Release(void* self) noexcept {
  return TInterfacedObject::FromInterface(self)->Release();
}

void TVNXErrorObject::SetErrorText(std::string_view text) noexcept {
  try {
    ErrorMessage.assign(text);
  } catch (...) {
    ErrorMessage.clear();
  }
}

SQLResult TVNXErrorObject::getErrorMessage(char* error) {
  if (error) {
    const std::size_t n = ErrorTextLength(ErrorMessage, TextConnection);
    if (n > 0) std::memcpy(error, ErrorMessage.data(), n);
    error[n] = '\0';
  }
  return DBXERR_NONE;
}

SQLResult TVNXErrorObject::getErrorMessageLen(std::int16_t* errorLen) {
  if (errorLen) *errorLen = static_cast<std::int16_t>(ErrorTextLength(ErrorMessage, TextConnection));
  return DBXERR_NONE;
}

SQLResult TVNXErrorObject::FailedCall() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    SetErrorText("Out of memory");
  } catch (const std::exception& e) {
    SetErrorText(e.what());
  } catch (...) {
    SetErrorText("Unexpected failure");
  }
  return DBXERR_FAILED;
}

void SetOutInterface(void** out, TInterfacedObject* object) noexcept {
  if (!out) return;
  *out = nullptr;
  if (object) {
    object->AddRef();
    *out = object->AsInterface();
  }
}

void SetVarInterface(void** var, TInterfacedObject* object) noexcept {
  if (!var) return;
  if (object) object->AddRef();
  void* old = *var;
  *var = object ? object->AsInterface() : nullptr;
  if (old) (*static_cast<IUnknownVtbl* const*>(old))->Release(old);
}

void CopyOptionText(std::string_view value, void* propValue, std::int16_t maxLength,
                    std::int16_t* length) noexcept {
  if (propValue) {
    std::size_t n = std::min<std::size_t>(value.size(), maxLength > 0 ? static_cast<std::size_t>(maxLength) : 0);
    char* dst = static_cast<char*>(propValue);
    if (n > 0) std::memcpy(dst, value.data(), n);
    dst[n] = '\0';
  }
  if (length) *length = static_cast<std::int16_t>(value.size() + 1);
}

}  // namespace vnx
