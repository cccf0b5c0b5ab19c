// The translation instance and the process-wide translation of resource texts: languages,
// catalogue directories, embedded and on-disk catalogues, and what turns translation off.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <thread>
#include <vector>

#include "i18n/embedded_files.h"
#include "i18n/translate.h"
#include "i18n/translator.h"
#include "resources/driver_resources.h"
#include "runtime/format.h"
#include "runtime/module_path.h"
#include "tests/i18n/i18n_test_util.h"

namespace {

using vnx::TVNXTranslator;
using vnxtest::MoWithHeader;
using vnxtest::ScratchDir;
using vnxtest::WriteFile;

const char kSync[] = "Connected in synchronous mode";
const char kSyncXx[] = "Conectado em modo s\xC3\xADncrono";  // UTF-8, as catalogues are

std::string CataloguePath(const std::string& dir, const std::string& language) {
  return dir + "/" + language + "/LC_MESSAGES/default.mo";
}

// Keeps LANG and the process-wide instance from leaking between tests.
class TranslatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* lang = std::getenv("LANG");
    hadLang_ = lang != nullptr;
    if (lang) savedLang_ = lang;
    unsetenv("LANG");
    std::setlocale(LC_ALL, "C");
  }
  void TearDown() override {
    if (hadLang_) setenv("LANG", savedLang_.c_str(), 1);
    else unsetenv("LANG");
    vnx::ResetTranslator("");
  }
  // Diagnostics of an instance made by Make().
  std::vector<std::string> reported_;
  TVNXTranslator Make(const std::string& libraryPath, std::uint64_t directory = 0) {
    return TVNXTranslator(libraryPath, directory, [this](const std::string& s) { reported_.push_back(s); });
  }

  ScratchDir dir_;
  bool hadLang_ = false;
  std::string savedLang_;
};

TEST_F(TranslatorTest, TranslatesFromAResourceDirectoryAndLanguage) {
  WriteFile(CataloguePath(dir_.path(), "xx_XX"), MoWithHeader({{kSync, kSyncXx}}));
  vnx::ResetTranslator(dir_.path());
  EXPECT_EQ(vnx::Translate(kSync), kSync);  // LANG unset: the "C" locale has no catalogue
  vnx::UseLanguage("xx_XX.UTF-8");
  // Converted to the application's character set: Latin-1 for a process in the "C" locale.
  EXPECT_EQ(vnx::Translate(kSync), "Conectado em modo s\xEDncrono");
  EXPECT_EQ(vnx::Res(vnx::res::SConnectedSync), "Conectado em modo s\xEDncrono");
  EXPECT_EQ(vnx::Translate(vnx::res::SConnectedAsync), vnx::res::SConnectedAsync);  // no translation
  vnx::UseLanguage("en_US");
  EXPECT_EQ(vnx::Translate(kSync), kSync);
  // A new driver rebuilds the instance: language and directory start afresh.
  vnx::ResetTranslator("");
  vnx::UseLanguage("xx_XX");
  EXPECT_EQ(vnx::Translate(kSync), kSync);
}

TEST_F(TranslatorTest, LangChoosesTheLanguageWhenNoneIsGiven) {
  WriteFile(CataloguePath(dir_.path(), "xx_XX"), MoWithHeader({{kSync, "sync"}}));
  setenv("LANG", "xx_XX.UTF-8@x", 1);
  vnx::ResetTranslator(dir_.path());
  EXPECT_EQ(vnx::Translate(kSync), "sync");
  // An empty Language option falls back to LANG again.
  vnx::UseLanguage("yy");
  EXPECT_EQ(vnx::Translate(kSync), kSync);
  vnx::UseLanguage("");
  EXPECT_EQ(vnx::Translate(kSync), "sync");
}

TEST_F(TranslatorTest, ARegionFallsBackToItsLanguage) {
  WriteFile(CataloguePath(dir_.path(), "pt"), MoWithHeader({{kSync, "pt"}}));
  auto t = Make(dir_ / "lib.so");
  t.BindMessageDirectory("default", dir_.path());
  t.UseLanguage("pt_PT");
  EXPECT_EQ(t.Lookup(kSync).value_or("-"), "pt");
  EXPECT_EQ(t.Language(), "pt_PT");
  // The more specific catalogue wins once it exists.
  WriteFile(CataloguePath(dir_.path(), "pt_PT"), MoWithHeader({{kSync, "pt_PT"}}));
  t.UseLanguage("pt_PT");
  EXPECT_EQ(t.Lookup(kSync).value_or("-"), "pt_PT");
  t.UseLanguage("p");
  EXPECT_FALSE(t.Lookup(kSync));
}

TEST_F(TranslatorTest, TheLibrarysOwnLocaleDirectoryIsTheDefault) {
  // An unpackaged library (directory offset 0) looks on disk only, under <its dir>/locale.
  WriteFile(CataloguePath(dir_ / "locale", "xx"), MoWithHeader({{kSync, "from disk"}}));
  auto t = Make(dir_ / "lib.so", 0);
  EXPECT_TRUE(t.EmbeddedFiles().empty());
  t.UseLanguage("xx");
  EXPECT_EQ(t.Lookup(kSync).value_or("-"), "from disk");
  EXPECT_EQ(t.CatalogueSource(), dir_ / "locale/xx/LC_MESSAGES/default.mo");
}

TEST_F(TranslatorTest, EmbeddedCataloguesAreFoundByTheirBackslashNames) {
  std::uint64_t first = 0;
  std::string lib = vnxtest::WithEmbeddedFiles(std::string(100, 'E'),
                                               {{"locale\\xx\\LC_MESSAGES\\default.mo", MoWithHeader({{kSync, "emb"}})},
                                                {"other\\yy\\LC_MESSAGES\\default.mo", MoWithHeader({{kSync, "yy"}})}},
                                               first);
  WriteFile(dir_ / "lib.so", lib);
  // The same file on disk loses to the embedded one.
  WriteFile(CataloguePath(dir_ / "locale", "xx"), MoWithHeader({{kSync, "disk"}}));
  auto t = Make(dir_ / "lib.so", first);
  ASSERT_EQ(t.EmbeddedFiles().size(), 2u);
  t.UseLanguage("xx");
  EXPECT_EQ(t.Lookup(kSync).value_or("-"), "emb");
  // A directory given another way that leads to the same place matches the same names.
  t.BindMessageDirectory("default", dir_ / "sub/../other/./");
  t.UseLanguage("yy");
  EXPECT_EQ(t.Lookup(kSync).value_or("-"), "yy");
  // Names are matched as a whole path, not by their last parts.
  t.BindMessageDirectory("default", dir_ / "elsewhere/locale");
  t.UseLanguage("xx");
  EXPECT_FALSE(t.Lookup(kSync));
}

TEST_F(TranslatorTest, ACatalogueWithoutUtf8TurnsTranslationOff) {
  WriteFile(CataloguePath(dir_.path(), "la"),
            MoWithHeader({{kSync, "latin"}}, false, "Content-Type: text/plain; charset=ISO-8859-1\n"));
  WriteFile(CataloguePath(dir_.path(), "ok"), MoWithHeader({{kSync, "ok"}}));
  auto t = Make(dir_ / "lib.so");
  t.BindMessageDirectory("default", dir_.path());
  t.UseLanguage("ok");
  EXPECT_EQ(t.Lookup(kSync).value_or("-"), "ok");
  t.UseLanguage("la.ISO-8859-1");
  EXPECT_FALSE(t.Lookup(kSync));
  EXPECT_FALSE(t.Enabled());
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(reported_[0], "The translation for the language code la (in " + CataloguePath(dir_.path(), "la") +
                              ") does not have charset=utf-8 in its Content-Type. Translations are turned off.");
  // Off for good: a sound catalogue does not bring it back.
  t.UseLanguage("ok");
  EXPECT_FALSE(t.Lookup(kSync));
  EXPECT_EQ(reported_.size(), 1u);
}

TEST_F(TranslatorTest, TheCharsetMessageGoesToStandardOutput) {
  WriteFile(CataloguePath(dir_.path(), "la"), MoWithHeader({{kSync, "latin"}}, false, "Language: la\n"));
  vnx::ResetTranslator(dir_.path());
  vnx::UseLanguage("la");
  testing::internal::CaptureStdout();
  EXPECT_EQ(vnx::Translate(kSync), kSync);
  EXPECT_EQ(vnx::Translate(kSync), kSync);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "The translation for the language code la (in " + CataloguePath(dir_.path(), "la") +
                     ") does not have charset=utf-8 in its Content-Type. Translations are turned off.\n");
}

TEST_F(TranslatorTest, ADamagedCatalogueTranslatesNothing) {
  std::string good = MoWithHeader({{kSync, "ok"}});
  WriteFile(CataloguePath(dir_.path(), "xx_YY"), good.substr(0, good.size() / 2));
  WriteFile(CataloguePath(dir_.path(), "xx"), good);
  WriteFile(CataloguePath(dir_.path(), "dir"), "");
  vnxtest::MakeDirs(dir_ / "zz/LC_MESSAGES/default.mo");  // a directory where the file should be
  auto t = Make(dir_ / "lib.so");
  t.BindMessageDirectory("default", dir_.path());
  t.UseLanguage("xx_YY");
  EXPECT_FALSE(t.Lookup(kSync));  // the damaged catalogue is meant; no fallback to "xx"
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(reported_[0], "This file is not a valid GNU gettext mo file: " + CataloguePath(dir_.path(), "xx_YY"));
  EXPECT_TRUE(t.Enabled());
  t.UseLanguage("dir");
  EXPECT_FALSE(t.Lookup(kSync));
  EXPECT_EQ(reported_.size(), 2u);
  t.UseLanguage("zz");
  EXPECT_FALSE(t.Lookup(kSync));
  EXPECT_EQ(reported_.size(), 2u);  // no file at all: nothing to say
  t.UseLanguage("xx");
  EXPECT_EQ(t.Lookup(kSync).value_or("-"), "ok");
}

TEST_F(TranslatorTest, ALanguageCodeCannotLeaveTheDirectory) {
  WriteFile(dir_ / "evil/LC_MESSAGES/default.mo", MoWithHeader({{kSync, "evil"}}));
  auto t = Make(dir_ / "lib.so");
  t.BindMessageDirectory("default", dir_ / "locale");
  for (const char* code : {"../evil", "..", "xx/../../evil", "a b"}) {
    t.UseLanguage(code);
    EXPECT_FALSE(t.Lookup(kSync)) << code;
  }
}

TEST_F(TranslatorTest, UnusableTranslationsLeaveTheEnglishText) {
  const char* connecting = vnx::res::SConnectingTo;  // "Connecting to database %s on server %s"
  WriteFile(CataloguePath(dir_.path(), "xx"),
            MoWithHeader({{kSync, "bad \xC3"},
                          {connecting, "Servidor %1:s, banco %0:s"},
                          {vnx::res::SCommitingTransaction, ""},
                          {vnx::res::SConnectedAsync, "\xF0\x9F\x98\x80"},
                          {vnx::res::SServerEncoding, "%d"},
                          {vnx::res::SStartingTransaction, "In\xC3\xAD" "cio"}}));
  vnx::ResetTranslator(dir_.path());
  vnx::UseLanguage("xx");
  EXPECT_EQ(vnx::Translate(kSync), kSync);  // truncated UTF-8
  EXPECT_EQ(vnx::Translate(vnx::res::SConnectedAsync), vnx::res::SConnectedAsync);  // beyond U+FFFF
  EXPECT_EQ(vnx::Translate(vnx::res::SCommitingTransaction), vnx::res::SCommitingTransaction);  // empty
  EXPECT_EQ(vnx::Translate(vnx::res::SServerEncoding), vnx::res::SServerEncoding);  // wrong directive
  EXPECT_EQ(vnx::rt::Format(vnx::Res(connecting), "db1", "host1"), "Servidor host1, banco db1");
  EXPECT_EQ(vnx::Translate(vnx::res::SStartingTransaction), "In\xED" "cio");
  EXPECT_EQ(vnx::Translate(nullptr), "");
}

TEST_F(TranslatorTest, ConcurrentUseAndReplacementIsSafe) {
  WriteFile(CataloguePath(dir_.path(), "xx"), MoWithHeader({{kSync, "sync"}}));
  vnx::ResetTranslator(dir_.path());
  std::vector<std::thread> threads;
  for (int k = 0; k < 4; ++k) {
    threads.emplace_back([k, this] {
      for (int i = 0; i < 200; ++i) {
        if (k == 0 && i % 10 == 0) vnx::ResetTranslator(dir_.path());
        if (k == 1 && i % 7 == 0) vnx::UseLanguage(i % 2 ? "xx" : "en_US");
        std::string s = vnx::Translate(kSync);
        if (s != kSync && s != "sync") ADD_FAILURE() << s;
      }
    });
  }
  for (auto& t : threads) t.join();
}

}  // namespace
