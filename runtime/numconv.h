// Reading and writing numbers in the server's fixed notation ("." as decimal separator),
// whatever the process locale says.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vnx::rt {

// Optional sign, then decimal digits, nothing else. False on anything else or overflow.
bool TryStrToInt64(std::string_view text, std::int64_t& out) noexcept;
bool TryStrToInt(std::string_view text, std::int32_t& out) noexcept;
// The same, raising EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);

// Decimal or exponent notation, NaN and infinities (any case). False on anything else,
// including a value out of the double's range.
bool TryStrToFloat(std::string_view text, double& out) noexcept;

// The general form with at most `digits` significant digits: plain digits from 0.00001 up
// to 10^digits, otherwise mantissa, "E" and exponent (1.5E20, 1E-7); "NaN", "Infinity",
// "-Infinity" for the special values.
std::string FloatToText(double value, int digits = 15);

}  // namespace vnx::rt
