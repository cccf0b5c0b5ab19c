// Strict UTF-8 checking and Format-directive comparison of translations.
#include "i18n/translation_text.h"

#include <cstdint>
#include <map>

#include "common/encoding.h"
#include "runtime/exception.h"

namespace vnx {
namespace {

constexpr const char kInvalidSequence[] = "Invalid byte sequence encountered in utf-8 string";
constexpr const char kBeyondBmp[] =
    "Utf-8 string contained unicode character larger than $FFFF. This is not supported.";
constexpr const char kTruncated[] = "Utf-8 string terminated unexpectedly in the middle of a multibyte sequence";

bool IsContinuation(unsigned char c) noexcept { return (c & 0xC0) == 0x80; }

// Kinds of argument a directive takes, as bits so that one argument may be used by several.
enum : unsigned { kWhole = 1, kText = 2, kFloat = 4 };

// The argument index and kind of each directive of a Format template, parsed as
// rt::FormatList parses it; false when fmt is no valid template.
bool Directives(std::string_view fmt, std::map<std::size_t, unsigned>& uses) {
  std::size_t next = 0;
  std::size_t i = 0;
  bool tooLarge = false;
  auto number = [&](std::size_t& value) {
    std::size_t start = i;
    value = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      value = value * 10 + static_cast<std::size_t>(fmt[i] - '0');
      if (value > 100000) tooLarge = true;
      ++i;
    }
    return i > start;
  };
  while (i < fmt.size()) {
    if (fmt[i++] != '%') continue;
    if (i >= fmt.size()) return false;
    if (fmt[i] == '%') {
      ++i;
      continue;
    }
    std::size_t save = i, value = 0;
    if (number(value) && i < fmt.size() && fmt[i] == ':') {
      next = value;
      ++i;
    } else {
      i = save;
    }
    if (i < fmt.size() && fmt[i] == '-') ++i;
    number(value);
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      number(value);
    }
    if (tooLarge || i >= fmt.size()) return false;
    unsigned kind = 0;
    switch (fmt[i++] | 0x20) {
      case 'd': case 'u': case 'x': kind = kWhole; break;
      case 's': kind = kText; break;
      case 'f': case 'e': case 'g': kind = kFloat; break;
      default: return false;
    }
    uses[next++] |= kind;
  }
  return true;
}

}  // namespace

void CheckTranslationUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    std::uint32_t min;
    if (c >= 0xC2 && c <= 0xDF) length = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0) length = 3, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, min = 0x10000;
    else throw rt::EConvertError(kInvalidSequence);  // a continuation byte, C0, C1 or F5 and up
    std::uint32_t cp = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= n) throw rt::EConvertError(kTruncated);
      if (!IsContinuation(p[i + k])) throw rt::EConvertError(kInvalidSequence);
      cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are no UTF-8 at all;
    // the planes above the first are valid but beyond what an 8-bit application is served.
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) throw rt::EConvertError(kInvalidSequence);
    if (cp > 0xFFFF) throw rt::EConvertError(kBeyondBmp);
    i += length;
  }
}

std::string TranslationToApplication(std::string_view text) {
  CheckTranslationUtf8(text);
  return Utf8ToApplication(text);
}

bool FormatDirectivesFit(std::string_view english, std::string_view translation) {
  std::map<std::size_t, unsigned> wanted, given;
  if (!Directives(english, wanted)) return true;
  if (!Directives(translation, given)) return false;
  for (const auto& [index, kinds] : given) {
    auto it = wanted.find(index);
    if (it == wanted.end() || (kinds & ~it->second) != 0) return false;
  }
  return true;
}

}  // namespace vnx
