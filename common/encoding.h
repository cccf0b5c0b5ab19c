// Conversion between UTF-8 and the application's 8-bit character set, for connections whose
// client encoding is exactly "UTF8".
//
// The application's character set is the codeset of the process locale (LC_CTYPE) at the
// time of the call. A process that never chose a locale runs in "C", whose codeset is ASCII;
// as the driver's boundary is 8-bit, such a process is served ISO-8859-1 instead. A character
// the target set cannot hold becomes "?", and so does every byte of an invalid sequence: a
// text is never cut short or dropped because one character does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vnx {

// What cutting a text between two characters needs to know of its encoding.
struct TVNXTextEncoding {
  enum class Kind : std::uint8_t {
    SingleByte,  // every byte a character
    Utf8,
    Libpq,       // libpq's encoding number LibpqId; libpq tells each character's length
    Unknown,     // possibly multibyte: cut only after a byte no encoding uses inside a character
  };
  Kind kind = Kind::SingleByte;
  int LibpqId = -1;
};

// The length of the longest start of text, at most limit bytes, that ends between two
// characters.
std::size_t CharacterPrefixLength(std::string_view text, std::size_t limit, const TVNXTextEncoding& encoding) noexcept;

// The encoding of texts in the application's character set.
TVNXTextEncoding ApplicationTextEncoding();

// The iconv name of the application's 8-bit character set.
std::string ApplicationCharset();

// UTF-8 text to the application's character set.
std::string Utf8ToApplication(std::string_view text);

// Text in the application's character set to UTF-8.
std::string ApplicationToUtf8(std::string_view text);

}  // namespace vnx
