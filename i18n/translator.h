// TVNXTranslator: the message translation instance of the multi-language build. One instance
// serves the whole process (see translate.h); it is a class of its own so that it can be
// tried on catalogues and library files made for the purpose.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "i18n/embedded_files.h"
#include "i18n/mo_catalog.h"

namespace vnx {

class TVNXTranslator {
 public:
  // Receives the diagnostics of catalogue opening (a catalogue that is damaged or not UTF-8).
  using DiagnosticSink = std::function<void(const std::string&)>;

  // libraryPath is the library's own file: its directory followed by "locale" is where the
  // domain "default" looks first, and its directory chain from directoryOffset (0: none)
  // lists the embedded files. Diagnostics go to standard output unless a sink is given.
  TVNXTranslator(std::string libraryPath, std::uint64_t directoryOffset, DiagnosticSink sink = nullptr);

  // Selects the language of every domain; an empty code means LANG, or failing that the
  // process's message locale. The part from the first "." on is dropped.
  void UseLanguage(const std::string& code);
  // The domain looks up its catalogues under directory from now on.
  void BindMessageDirectory(const std::string& domain, const std::string& directory);

  // The current domain's translation of text, still in UTF-8, or nothing.
  std::optional<std::string> Lookup(const char* text);

  bool Enabled() const noexcept { return enabled_; }
  const std::string& Language() const noexcept { return language_; }
  const std::vector<TVNXEmbeddedFile>& EmbeddedFiles() const noexcept { return embedded_; }
  // Where the current domain's catalogue came from (a file or embedded name); empty while
  // none is open.
  std::string CatalogueSource();

 private:
  struct Domain {
    std::string Directory;  // with a final "/"
    std::unique_ptr<TVNXMoCatalog> Catalogue;
    std::string Source;
    bool Searched = false;  // the catalogue was looked for; NotFound tells the outcome
    bool NotFound = false;
  };

  Domain& Current();
  void Open(const std::string& name, Domain& domain);
  // The bytes of the catalogue at path, from the embedded files or the file system.
  bool Load(const std::string& path, std::string& bytes, std::string& source) const;
  void Report(const std::string& text) const;

  bool enabled_ = true;
  std::string language_;
  std::string domain_ = "default";
  std::map<std::string, Domain> domains_;
  std::string libraryDirectory_;
  std::vector<TVNXEmbeddedFile> embedded_;
  std::string libraryPath_;
  DiagnosticSink sink_;
};

// A path with "." and empty components removed and ".." applied, made absolute against the
// working directory; embedded names and catalogue paths are compared in this form.
std::string NormalisePath(const std::string& path);

}  // namespace vnx
