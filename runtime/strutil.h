// Small string helpers with the runtime's semantics: trimming removes every character
// whose code is 32 or below, case changes touch ASCII letters only.
#pragma once

#include <string>
#include <string_view>

namespace vnx::rt {

inline bool IsTrimmable(char c) noexcept { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimView(std::string_view s) noexcept;
std::string_view TrimLeftView(std::string_view s) noexcept;
std::string_view TrimRightView(std::string_view s) noexcept;
inline std::string Trim(std::string_view s) { return std::string(TrimView(s)); }
inline std::string TrimRight(std::string_view s) { return std::string(TrimRightView(s)); }

std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b) noexcept;

// Copies a possibly null C text.
inline std::string FromPChar(const char* p) { return p ? std::string(p) : std::string(); }

}  // namespace vnx::rt
