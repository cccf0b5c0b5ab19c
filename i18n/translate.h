// Routing of the driver's resource texts. The multi-language build looks each text up in
// the message catalogue of the current language; the single-language build uses it as it is.
#pragma once

#include <string>

namespace vnx {

#if defined(VNX_MULTILANG) && VNX_MULTILANG
// Returns the catalogue's translation of a resource text, or the text itself.
std::string Translate(const char* text);
// Rebuilds the process-wide translator when a driver object is created; a non-empty
// resource file names the directory of the message catalogues.
void ResetTranslator(const std::string& resourceFile);
// Selects the language of the translated messages (connection option Language).
void UseLanguage(const std::string& code);
#else
inline std::string Translate(const char* text) { return text; }
inline void ResetTranslator(const std::string&) {}
#endif

// A resource text ready for use.
inline std::string Res(const char* text) { return Translate(text); }

}  // namespace vnx
