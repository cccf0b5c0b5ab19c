// What the fuzz targets share: structured values taken from the fuzzer's bytes, the client
// library for the routines that escape through it, and the check that reports a finding.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "libpq/libpq_api.h"

namespace vnxfuzz {

// Takes values from the front of the input; once it runs dry every value is zero.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(reinterpret_cast<const char*>(data)), size_(size) {}

  template <class T>
  T Take() {
    T v{};
    const std::size_t n = std::min(sizeof v, size_);
    std::memcpy(&v, data_, n);
    Skip(n);
    return v;
  }
  std::uint8_t Byte() { return Take<std::uint8_t>(); }
  std::string_view Bytes(std::size_t n) {
    n = std::min(n, size_);
    const std::string_view v(data_, n);
    Skip(n);
    return v;
  }
  std::string_view Rest() { return Bytes(size_); }
  bool Empty() const noexcept { return size_ == 0; }

 private:
  void Skip(std::size_t n) {
    data_ += n;
    size_ -= n;
  }
  const char* data_;
  std::size_t size_;
};

// The native tree's client library is the system's; loaded once per process.
inline void NeedLibpq() {
  static const bool loaded = vnx::LoadLibpq("libpq.so.5");
  if (!loaded) {
    std::fprintf(stderr, "fuzz: libpq.so.5 cannot be loaded\n");
    std::abort();
  }
}

// A property that does not hold is a finding: the input is kept as a crash.
#define FUZZ_CHECK(condition, what)                                                 \
  do {                                                                              \
    if (!(condition)) {                                                             \
      std::fprintf(stderr, "fuzz: %s:%d: %s fails: %s\n", __FILE__, __LINE__, #condition, \
                   std::string(what).c_str());                                      \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

}  // namespace vnxfuzz
