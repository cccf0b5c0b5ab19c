// String helpers of the runtime support.
#include "runtime/strutil.h"

namespace vnx::rt {

std::string_view TrimLeftView(std::string_view s) noexcept {
  std::size_t i = 0;
  while (i < s.size() && IsTrimmable(s[i])) ++i;
  return s.substr(i);
}

std::string_view TrimRightView(std::string_view s) noexcept {
  std::size_t n = s.size();
  while (n > 0 && IsTrimmable(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string_view TrimView(std::string_view s) noexcept { return TrimRightView(TrimLeftView(s)); }

static char Lower(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
static char Upper(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Lower(c);
  return r;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = Upper(c);
  return r;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

}  // namespace vnx::rt
