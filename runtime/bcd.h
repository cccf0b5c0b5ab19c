// The runtime's BCD record (TBcd) to and from plain decimal text.
#pragma once

#include <string>
#include <string_view>

#include "common/dbx_types.h"

namespace vnx::rt {

inline constexpr int kMaxBcdDigits = 64;  // 32 bytes of nibbles
inline constexpr int kMaxBcdScale = 63;   // six bits of SignSpecialPlaces

// Reads [sign] digits [. digits]. Precision and scale are those of the text: leading zeros
// of the integer part are dropped, fraction digits are kept as written (123.450 has scale
// 3). A value needing more than 64 digits, or more than 63 decimals, has its fraction
// rounded (half away from zero) to fit; a value with more than 64 integer digits cannot be
// held and raises EConvertError, as does text that is not a decimal number
// ("%s is not a valid BCD value").
bool TryTextToBcd(std::string_view text, TBcd& out) noexcept;  // false also for overflow
TBcd TextToBcd(std::string_view text);

// Plain decimal text with "." ("-" when negative, no exponent, fraction digits as the
// record's scale says). Raises EConvertError for a record that is not valid (precision over
// 64, scale over precision, a nibble over 9).
std::string BcdToText(const TBcd& value);

}  // namespace vnx::rt
