// The connection keywords the loaded libpq knows (PQconndefaults): option keys that are not
// the driver's own go to libpq when it lists them.
#pragma once

#include <string>
#include <string_view>

namespace vnx {

struct TVNXLibpqKeyword {
  std::string Name;
  bool Secret = false;  // a password or key passphrase: never shown
};

// The keyword of that name (lower-case), or null: also while libpq is not loaded yet.
const TVNXLibpqKeyword* FindLibpqKeyword(std::string_view name);

}  // namespace vnx
