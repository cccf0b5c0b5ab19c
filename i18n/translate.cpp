// The process-wide translation instance of the multi-language build and the translation of
// resource texts through it.
#include "i18n/translate.h"

#include <memory>
#include <mutex>

#include "i18n/embedded_files.h"
#include "i18n/translation_text.h"
#include "i18n/translator.h"
#include "runtime/module_path.h"

namespace vnx {
namespace {

// Both are constant-initialised, so they exist before any other code of the library runs.
// The one lock guards the instance pointer and all its data, for readers and writers alike:
// creating a driver replaces the instance while another thread may be translating.
std::mutex g_lock;
std::unique_ptr<TVNXTranslator> g_instance;

std::unique_ptr<TVNXTranslator> NewInstance() {
  return std::make_unique<TVNXTranslator>(rt::ThisModulePath(), EmbeddedDirectoryOffset());
}

// The instance is made on first use rather than while the library is being loaded: nothing
// translates before the first driver exists, and the loader's lock is not held over file
// reading.
TVNXTranslator& Instance() {
  if (!g_instance) g_instance = NewInstance();
  return *g_instance;
}

}  // namespace

std::string Translate(const char* text) {
  if (!text) return std::string();
  try {
    std::optional<std::string> translation;
    {
      std::lock_guard<std::mutex> guard(g_lock);
      translation = Instance().Lookup(text);
    }
    // A translation that could break the message is not used: the English text serves
    // instead, as the operation whose message this is must not fail over its wording.
    if (!translation || !FormatDirectivesFit(text, *translation)) return text;
    return TranslationToApplication(*translation);
  } catch (...) {
    return text;
  }
}

void ResetTranslator(const std::string& resourceFile) {
  try {
    auto fresh = NewInstance();
    if (!resourceFile.empty()) fresh->BindMessageDirectory("default", resourceFile);
    std::lock_guard<std::mutex> guard(g_lock);
    g_instance = std::move(fresh);
  } catch (...) {
    // Out of memory: the previous instance, if any, goes on serving.
  }
}

void UseLanguage(const std::string& code) {
  try {
    std::lock_guard<std::mutex> guard(g_lock);
    Instance().UseLanguage(code);
  } catch (...) {
  }
}

}  // namespace vnx
