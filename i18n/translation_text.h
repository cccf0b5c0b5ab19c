// Checks that a translation passes before it stands in for an English text, and its
// conversion to the application's character set.
#pragma once

#include <string>
#include <string_view>

namespace vnx {

// Raises rt::EConvertError unless text is UTF-8 of characters up to U+FFFF; the error text
// says whether a byte sequence was invalid, a character lay beyond U+FFFF, or the text
// ended inside a sequence.
void CheckTranslationUtf8(std::string_view text);

// A UTF-8 translation in the application's 8-bit character set; raises as CheckTranslationUtf8.
std::string TranslationToApplication(std::string_view text);

// Whether a translation can be filled with the arguments meant for the English template:
// every directive of the translation takes an argument that the template takes, of the same
// kind (whole number, text or floating point). A template that is no valid Format template
// puts no limit on its translation; a translation that is none fits no valid template.
bool FormatDirectivesFit(std::string_view english, std::string_view translation);

}  // namespace vnx
