// The packaged multi-language library: its appended catalogues, lookups in them, and the
// packaging tool; and the single-language library, which carries none of it.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>

#include "i18n/embedded_files.h"
#include "i18n/embedded_layout.h"
#include "i18n/mo_catalog.h"
#include "i18n/translator.h"
#include "runtime/module_path.h"
#include "tests/harness/dbx_client.h"
#include "tests/i18n/i18n_test_util.h"

namespace {

std::string Marker() {
  std::string m(VNX_EMBED_MARKER_TEXT);
  m.resize(vnx::embed::kMarkerSize, '\0');
  return m;
}

// The directory offset stored after the marker of a library file; 0 when there is none.
std::uint64_t StoredOffset(const std::string& file, std::size_t* markers = nullptr) {
  std::string m = Marker();
  std::size_t at = file.find(m), count = 0;
  for (std::size_t p = at; p != std::string::npos; p = file.find(m, p + 1)) ++count;
  if (markers) *markers = count;
  if (at == std::string::npos || file.size() - at < m.size() + 8) return 0;
  return vnx::embed::ReadLE64(reinterpret_cast<const unsigned char*>(file.data() + at + m.size()));
}

// Offset of the end of the ELF section header table.
std::uint64_t SectionTableEnd(const std::string& elf) {
  auto field = [&elf](std::size_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(elf[at + static_cast<std::size_t>(i)]);
    return v;
  };
  const bool wide = elf[4] == 2;
  return wide ? field(40, 8) + field(60, 2) * field(58, 2) : field(32, 4) + field(48, 2) * field(46, 2);
}

TEST(PackagedLibrary, CarriesTheCatalogues) {
  const std::string lib = vnxtest::ReadFile(VNX_LIB_ML_PATH);
  std::size_t markers = 0;
  const std::uint64_t first = StoredOffset(lib, &markers);
  EXPECT_EQ(markers, 1u);
  ASSERT_NE(first, 0u);
  auto files = vnx::ReadEmbeddedDirectory(VNX_LIB_ML_PATH, first);
  const char* languages[] = {"en_US", "pt_BR", "de", "es", "fr", "ja"};
  ASSERT_EQ(files.size(), std::size(languages));
  const std::uint64_t tableEnd = SectionTableEnd(lib);
  std::uint64_t expectedOffset = tableEnd;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string msgfmtOutput =
        vnxtest::ReadFile(std::string(VNX_BUILD_DIR "/catalogues/") + languages[i] + "/LC_MESSAGES/default.mo");
    EXPECT_EQ(files[i].Name, std::string("locale\\") + languages[i] + "\\LC_MESSAGES\\default.mo");
    EXPECT_EQ(files[i].DataOffset, expectedOffset) << "stored back to back after the section headers";
    EXPECT_EQ(lib.substr(files[i].DataOffset, files[i].DataSize), msgfmtOutput);
    expectedOffset += files[i].DataSize;
    vnx::TVNXMoCatalog mo(msgfmtOutput, languages[i]);
    EXPECT_EQ(mo.Size() == 0, i == 0) << "only en_US, the language of the texts, has no translations";
    EXPECT_NE(mo.HeaderField("Content-Type").find("charset=UTF-8"), std::string::npos);
  }
  // Zero bytes up to the next multiple of 8, where the directory starts (its first byte may
  // be zero as well), 256 bytes an entry, and the final zero offset closes the file.
  const std::uint64_t aligned = (expectedOffset + 7) / 8 * 8;
  EXPECT_EQ(first, aligned);
  EXPECT_EQ(lib.substr(expectedOffset, aligned - expectedOffset), std::string(aligned - expectedOffset, '\0'));
  EXPECT_EQ(first + files.size() * 256 + 8, lib.size());
  EXPECT_EQ(lib.substr(lib.size() - 8), std::string(8, '\0'));
}

TEST(PackagedLibrary, LooksUpItsEmbeddedCatalogues) {
  const std::string lib = vnxtest::ReadFile(VNX_LIB_ML_PATH);
  std::vector<std::string> reported;
  vnx::TVNXTranslator t(VNX_LIB_ML_PATH, StoredOffset(lib), [&](const std::string& s) { reported.push_back(s); });
  ASSERT_EQ(t.EmbeddedFiles().size(), 6u);
  // LANG=pt_BR.UTF-8 chooses pt_BR; en_US opens and leaves messages English.
  setenv("LANG", "pt_BR.UTF-8", 1);
  t.UseLanguage("");
  EXPECT_EQ(t.Language(), "pt_BR");
  EXPECT_EQ(t.Lookup("Connected in synchronous mode").value_or(""), "Conectado no modo s\xC3\xADncrono");
  EXPECT_EQ(t.CatalogueSource(), vnx::rt::DirectoryOf(VNX_LIB_ML_PATH) + "locale/pt_BR/LC_MESSAGES/default.mo");
  t.UseLanguage("en_US");
  EXPECT_FALSE(t.Lookup("Commiting transaction"));
  EXPECT_NE(t.CatalogueSource(), "");
  EXPECT_TRUE(t.Enabled());
  EXPECT_TRUE(reported.empty());
  unsetenv("LANG");
}

TEST(PackagedLibrary, TheSingleLanguageBuildHasNoTranslationCode) {
  const std::string lib = vnxtest::ReadFile(VNX_LIB_PATH);
  EXPECT_EQ(lib.find(Marker()), std::string::npos);
  EXPECT_EQ(lib.find("This file is not a valid GNU gettext mo file"), std::string::npos);
  EXPECT_EQ(lib.find(" multilanguage"), std::string::npos);
  const std::string ml = vnxtest::ReadFile(VNX_LIB_ML_PATH);
  EXPECT_NE(ml.find(" multilanguage"), std::string::npos);
}

TEST(PackagedLibrary, StillLoadsAndWorks) {
  vnxtest::DriverLibrary ml(true);
  for (const char* resourceFile : {"", "/nonexistent/dir"}) {
    vnxtest::Driver driver = vnxtest::GetDriver(ml, "libpq.so", resourceFile);
    ASSERT_TRUE(driver);
    vnxtest::Connection conn = vnxtest::NewConnection(driver);
    EXPECT_TRUE(conn);
  }
}

#if !defined(__i386__)  // the tool is tried once, natively; the i386 tree runs it at every link
// Runs the packaging tool; its exit status.
int RunTool(const std::string& args) {
  std::string cmd = VNX_BUILD_DIR "/vnx_embed_catalogues " + args + " 2>/dev/null";
  return std::system(cmd.c_str());
}

TEST(PackagingTool, RepackagingReplacesTheBlock) {
  vnxtest::ScratchDir dir;
  const std::string copy = dir / "lib.so";
  vnxtest::WriteFile(copy, vnxtest::ReadFile(VNX_LIB_ML_PATH));
  vnxtest::WriteFile(dir / "a.mo", "AAAA");
  ASSERT_EQ(RunTool(copy + " locale/a/LC_MESSAGES/default.mo=" + dir / "a.mo" + " b=" + dir / "a.mo"), 0);
  std::string once = vnxtest::ReadFile(copy);
  auto files = vnx::ReadEmbeddedDirectory(copy, StoredOffset(once));
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0].Name, "locale\\a\\LC_MESSAGES\\default.mo");
  EXPECT_EQ(files[0].DataOffset, SectionTableEnd(once));
  EXPECT_EQ(files[1].Name, "b");

  // Nothing at all: the offset returns to 0 and only the terminator stays.
  ASSERT_EQ(RunTool(copy), 0);
  std::string none = vnxtest::ReadFile(copy);
  EXPECT_EQ(StoredOffset(none), 0u);
  EXPECT_EQ(none.size(), SectionTableEnd(none) + 8);

  // Data after the tables that the tool did not append is left alone, and so is the file.
  vnxtest::WriteFile(copy, none.substr(0, SectionTableEnd(none)) + "someone else's");
  EXPECT_NE(RunTool(copy + " b=" + dir / "a.mo"), 0);
  EXPECT_EQ(vnxtest::ReadFile(copy), none.substr(0, SectionTableEnd(none)) + "someone else's");
  EXPECT_NE(RunTool(dir / "a.mo" + " b=" + dir / "a.mo"), 0);  // not a library
  EXPECT_NE(RunTool(VNX_LIB_PATH), 0);                        // no marker to patch
}
#endif

}  // namespace
