// The process-wide message translator of the multi-language build.
#include "i18n/translate.h"

namespace vnx {

std::string Translate(const char* text) { return text; }

void ResetTranslator(const std::string&) {}

void UseLanguage(const std::string&) {}

}  // namespace vnx
