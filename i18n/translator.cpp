// The translation instance: languages, catalogue directories, and finding and opening the
// catalogue of a domain in the embedded files or on disk.
#include "i18n/translator.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <clocale>
#include <vector>

#include "runtime/format.h"
#include "runtime/module_path.h"
#include "runtime/strutil.h"

namespace vnx {
namespace {

// The driver's catalogues are a few kilobytes; a file far larger than any of them is not
// read into memory on the strength of its name.
constexpr std::uint64_t kMaxCatalogueSize = 16u << 20;

// A language code becomes part of a path: letters, digits and "_", "-", "@" only, so that
// a value such as "../x" can never lead the lookup out of the catalogue directory.
bool UsableLanguage(const std::string& code) {
  if (code.empty()) return false;
  for (char c : code) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
              c == '@';
    if (!ok) return false;
  }
  return true;
}

// The languages tried for a code, best first: the code itself, then its language part, as
// gettext does ("de_DE", "de_AT@euro" and the "de-DE" that Windows users write all reach the
// catalogue "de"). Portuguese is shipped only as pt_BR, which a reader of "pt" or "pt_PT"
// understands better than the English it would otherwise get, so it comes last for them.
std::vector<std::string> Candidates(const std::string& code) {
  std::vector<std::string> names{code};
  std::size_t cut = code.find_first_of("_-@");
  if (cut != std::string::npos && cut > 0) names.push_back(code.substr(0, cut));
  if (code.compare(0, cut, "pt") == 0 && code != "pt_BR") names.emplace_back("pt_BR");
  return names;
}

}  // namespace

std::string NormalisePath(const std::string& path) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) full = std::string(cwd) + "/" + full;
  }
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= full.size()) {
    std::size_t slash = full.find('/', i);
    if (slash == std::string::npos) slash = full.size();
    std::string part = full.substr(i, slash - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    i = slash + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

TVNXTranslator::TVNXTranslator(std::string libraryPath, std::uint64_t directoryOffset, DiagnosticSink sink)
    : libraryDirectory_(rt::DirectoryOf(libraryPath)), libraryPath_(std::move(libraryPath)), sink_(std::move(sink)) {
  if (!libraryPath_.empty()) embedded_ = ReadEmbeddedDirectory(libraryPath_, directoryOffset);
  UseLanguage("");
  // Without its own path the library has no directory of its own to look in, rather than
  // a "locale" under whatever the working directory happens to be.
  if (!libraryDirectory_.empty()) BindMessageDirectory(domain_, libraryDirectory_ + "locale");
  else domains_[domain_];
}

void TVNXTranslator::UseLanguage(const std::string& code) {
  std::string language = code;
  if (language.empty()) language = rt::FromPChar(std::getenv("LANG"));
  // The system's default language is the message locale the process runs in ("C" unless the
  // application chose one), for which no catalogue exists.
  if (language.empty()) language = rt::FromPChar(std::setlocale(LC_MESSAGES, nullptr));
  language_ = language.substr(0, language.find('.'));
  // No plural rule is chosen: the driver has no message with plural forms (see mo_catalog.h).
  for (auto& [name, domain] : domains_) {
    domain.Catalogue.reset();
    domain.Source.clear();
    domain.Searched = domain.NotFound = false;
  }
}

void TVNXTranslator::BindMessageDirectory(const std::string& domain, const std::string& directory) {
  Domain& d = domains_[domain];
  d.Directory = directory;
  if (!d.Directory.empty() && d.Directory.back() != '/') d.Directory += '/';
  d.Catalogue.reset();
  d.Source.clear();
  d.Searched = d.NotFound = false;
}

TVNXTranslator::Domain& TVNXTranslator::Current() { return domains_[domain_]; }

std::optional<std::string> TVNXTranslator::Lookup(const char* text) {
  if (!enabled_ || !text) return std::nullopt;
  Domain& d = Current();
  if (!d.Searched) Open(domain_, d);
  if (!enabled_ || !d.Catalogue) return std::nullopt;
  const std::string* found = d.Catalogue->Find(text);
  // An empty translation would turn a message into nothing: the English text stays.
  if (!found || found->empty()) return std::nullopt;
  return *found;
}

std::string TVNXTranslator::CatalogueSource() {
  Domain& d = Current();
  if (!d.Searched) Open(domain_, d);
  return d.Catalogue ? d.Source : std::string();
}

void TVNXTranslator::Open(const std::string& name, Domain& domain) {
  domain.Searched = true;
  domain.NotFound = true;
  if (domain.Directory.empty() || !UsableLanguage(language_)) return;
  for (const std::string& language : Candidates(language_)) {
    const std::string path = domain.Directory + language + "/LC_MESSAGES/" + name + ".mo";
    std::string bytes, source;
    if (!Load(path, bytes, source)) continue;
    std::unique_ptr<TVNXMoCatalog> catalogue;
    try {
      catalogue = std::make_unique<TVNXMoCatalog>(bytes, source);
    } catch (const std::exception& e) {
      // A damaged catalogue translates nothing; a less specific language is not tried
      // instead, since this one was meant.
      Report(e.what());
      return;
    }
    if (rt::UpperCase(catalogue->HeaderField("Content-Type")).find("CHARSET=UTF-8") == std::string::npos) {
      Report(rt::Format("The translation for the language code %s (in %s) does not have charset=utf-8 in its "
                        "Content-Type. Translations are turned off.",
                        language_, source));
      enabled_ = false;
      return;
    }
    domain.Catalogue = std::move(catalogue);
    domain.Source = source;
    domain.NotFound = false;
    return;
  }
}

bool TVNXTranslator::Load(const std::string& path, std::string& bytes, std::string& source) const {
  const std::string wanted = NormalisePath(path);
  // The embedded files are named relative to the library's directory with "\" separators;
  // a name matches when it leads to the same place as the path asked for. They come first,
  // so that a library always finds the catalogues it was packaged with.
  if (!libraryDirectory_.empty()) {
    for (const TVNXEmbeddedFile& e : embedded_) {
      std::string name = e.Name;
      for (char& c : name)
        if (c == '\\') c = '/';
      if (name.empty() || NormalisePath(libraryDirectory_ + name) != wanted) continue;
      source = path;
      if (e.DataSize > kMaxCatalogueSize) {
        bytes.clear();
        return true;
      }
      if (ReadFileRange(libraryPath_, e.DataOffset, e.DataSize, bytes)) return true;
      break;  // the library file changed under us: the file system may still have it
    }
  }
  std::uint64_t size = 0;
  if (!RegularFileSize(path, size)) return false;
  source = path;
  if (size > kMaxCatalogueSize) {
    bytes.clear();  // too large to be one of ours: read as the invalid catalogue it is
    return true;
  }
  return ReadFileRange(path, 0, size, bytes);
}

void TVNXTranslator::Report(const std::string& text) const {
  if (sink_) {
    sink_(text);
    return;
  }
  // Standard output, as the message has no other place: translation failing is no error of
  // the operation whose message was being loaded.
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace vnx
