// Translated messages through the loaded libraries against the throwaway server: the trace
// and error texts of a connect in the multi-language build, and the same connect in the
// single-language build.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/harness/dbx_client.h"
#include "tests/harness/test_server.h"
#include "tests/i18n/i18n_test_util.h"

using namespace vnxtest;
using vnx::ISQLConnectionVtbl;

namespace {

std::vector<std::string> g_lines;

std::int32_t VNX_STDCALL Collect(std::int32_t, void* info) {
  auto* desc = static_cast<vnx::SQLTRACEDesc*>(info);
  g_lines.emplace_back(desc->pszTrace, strnlen(desc->pszTrace, sizeof desc->pszTrace));
  return 0;
}

bool Traced(const std::string& text) {
  for (const auto& l : g_lines)
    if (l == text) return true;
  return false;
}

const DriverLibrary& Lib(bool ml) {
  static DriverLibrary single(false), multi(true);
  return ml ? multi : single;
}

// A catalogue for language xx_XX, compiled by msgfmt, with a few of the driver's texts.
const char kPo[] =
    "msgid \"\"\n"
    "msgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
    "msgid \"Connected in synchronous mode\"\n"
    "msgstr \"Conectado em modo s\xC3\xADncrono\"\n\n"
    "msgid \"Disconnecting from server on %s\"\n"
    "msgstr \"Desconectando do banco %s\"\n\n"
    "msgid \"Could not connect to the database server. Reason: [%s].\"\n"
    "msgstr \"N\xC3\xA3o foi poss\xC3\xADvel conectar. Motivo: [%s].\"\n";

class TranslationLive : public ::testing::Test {
 protected:
  void SetUp() override {
    VNX_REQUIRE_SERVER();
    g_lines.clear();
    const char* lang = std::getenv("LANG");
    hadLang_ = lang != nullptr;
    if (lang) savedLang_ = lang;
    unsetenv("LANG");
    std::string mo = Msgfmt(dir_, "xx", kPo);
    ASSERT_FALSE(mo.empty()) << "msgfmt failed";
    WriteFile(dir_ / "xx_XX/LC_MESSAGES/default.mo", ReadFile(mo));
  }
  void TearDown() override {
    std::setlocale(LC_CTYPE, "C");
    if (hadLang_) setenv("LANG", savedLang_.c_str(), 1);
    else unsetenv("LANG");
  }

  // Connects with a trace callback through a new driver of the chosen library; the result.
  SQLResult Connect(bool ml, const std::string& resourceFile, const std::string& options,
                    const std::string& database = "") {
    driver_ = GetDriver(Lib(ml), VNX_TEST_LIBPQ, resourceFile.c_str());
    conn_ = NewConnection(driver_);
    conn_.call(&ISQLConnectionVtbl::SetOption, std::uint32_t(vnx::eConnCallBack),
               reinterpret_cast<vnx::OptionValue>(&Collect));
    const TestServer& s = TestServer::Get();
    std::string name = s.SocketServerName(options);
    if (!database.empty()) name = s.DatabaseServerName(database, options);
    return conn_.call(&ISQLConnectionVtbl::connect, name.c_str(), kRole83, "");
  }
  void Disconnect() { conn_.call(&ISQLConnectionVtbl::disconnect); }

  ScratchDir dir_;
  Driver driver_;
  Connection conn_;
  bool hadLang_ = false;
  std::string savedLang_;
};

TEST_F(TranslationLive, TheMultiLanguageBuildTranslatesWithTheLanguageOption) {
  ASSERT_EQ(Connect(true, dir_.path(), "Language=xx_XX"), 0) << ErrorOf(conn_);
  Disconnect();
  ASSERT_FALSE(g_lines.empty());
  EXPECT_EQ(g_lines[0].rfind("Vornex Driver v4.23 multilanguage [", 0), 0u) << g_lines[0];
  // The application runs in the "C" locale: the translation reaches it in Latin-1.
  EXPECT_TRUE(Traced("Conectado em modo s\xEDncrono"));
  EXPECT_FALSE(Traced("Connected in synchronous mode"));
  EXPECT_TRUE(Traced("Desconectando do banco " + TestServer::Get().database));
  // Texts the catalogue lacks, and texts built from literals, stay as they are.
  EXPECT_TRUE(Traced("dbExpress protocol version: 2.5"));

  g_lines.clear();
  EXPECT_NE(Connect(true, dir_.path(), "Language=xx_XX", "no_such_database_i18n"), 0);
  EXPECT_EQ(ErrorOf(conn_).rfind("N\xE3o foi poss\xEDvel conectar. Motivo: [", 0), 0u) << ErrorOf(conn_);
}

TEST_F(TranslationLive, TheSingleLanguageBuildStaysEnglish) {
  setenv("LANG", "xx_XX.UTF-8", 1);
  ASSERT_EQ(Connect(false, dir_.path(), "Language=xx_XX"), 0) << ErrorOf(conn_);
  Disconnect();
  ASSERT_FALSE(g_lines.empty());
  EXPECT_EQ(g_lines[0].rfind("Vornex Driver v4.23 [", 0), 0u) << g_lines[0];
  EXPECT_TRUE(Traced("Connected in synchronous mode"));
  EXPECT_TRUE(Traced("Disconnecting from server on " + TestServer::Get().database));
  EXPECT_NE(Connect(false, dir_.path(), "Language=xx_XX", "no_such_database_i18n"), 0);
  EXPECT_EQ(ErrorOf(conn_).rfind("Could not connect to the database server. Reason: [", 0), 0u) << ErrorOf(conn_);
}

// The shipped catalogues: a failed connect's text in each language, chosen by the Language
// option or by LANG, for an application in a UTF-8 locale and in the "C" locale.
TEST_F(TranslationLive, TheShippedCataloguesTranslateEachLanguage) {
  const std::string pt = "Não foi possível conectar ao servidor de banco de dados. Motivo: [",
                    de = "Es konnte keine Verbindung zum Datenbankserver hergestellt werden. Grund: [";
  const struct { const char *locale, *language, *lang; std::string text; } cases[] = {
      {"C.UTF-8", "pt_BR", "", pt}, {"C.UTF-8", "", "pt_BR.UTF-8", pt}, {"C.UTF-8", "pt", "", pt},
      {"C.UTF-8", "de", "", de}, {"C.UTF-8", "", "de_DE.UTF-8", de}, {"C.UTF-8", "de-AT", "", de},
      {"C.UTF-8", "es_MX", "", "No se pudo conectar con el servidor de base de datos. Motivo: ["},
      {"C.UTF-8", "fr", "", "Impossible de se connecter au serveur de base de données. Raison : ["},
      {"C.UTF-8", "ja_JP", "", "データベース サーバーに接続できませんでした。理由: ["},
      {"C", "ja", "", "?????? ??????????????????: ["},  // Latin-1 holds no Japanese
      {"C.UTF-8", "en_US", "de_DE.UTF-8", "Could not connect to the database server. Reason: ["}};
  testing::internal::CaptureStdout();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.language) + " " + c.lang);
    ASSERT_NE(std::setlocale(LC_CTYPE, c.locale), nullptr);
    setenv("LANG", c.lang, 1);
    EXPECT_NE(Connect(true, "", *c.language ? std::string("Language=") + c.language : "", "no_such_database_i18n"), 0);
    EXPECT_EQ(ErrorOf(conn_).rfind(c.text, 0), 0u) << ErrorOf(conn_);
    EXPECT_NE(ErrorOf(conn_).find("no_such_database_i18n"), std::string::npos) << ErrorOf(conn_);
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(TranslationLive, ACatalogueWithoutUtf8IsReportedAndTurnsTranslationOff) {
  WriteFile(dir_ / "la/LC_MESSAGES/default.mo",
            MoWithHeader({{"Connected in synchronous mode", "latin"}}, false, "Content-Type: text/plain\n"));
  testing::internal::CaptureStdout();
  ASSERT_EQ(Connect(true, dir_.path(), "Language=la"), 0) << ErrorOf(conn_);
  // Off for the rest of this driver's instance: even the sound catalogue translates nothing.
  const std::string ok = "Language=xx_XX";
  ASSERT_EQ(conn_.call(&ISQLConnectionVtbl::connect, TestServer::Get().SocketServerName(ok).c_str(), kRole83, ""), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "The translation for the language code la (in " + dir_.path() +
                     "/la/LC_MESSAGES/default.mo) does not have charset=utf-8 in its Content-Type. "
                     "Translations are turned off.\n");
  EXPECT_TRUE(Traced("Connected in synchronous mode"));
  EXPECT_FALSE(Traced("latin"));
  EXPECT_FALSE(Traced("Conectado em modo s\xEDncrono"));
}

}  // namespace
