// The checks a translation passes before use: strict UTF-8 and matching Format directives.
#include <gtest/gtest.h>

#include <clocale>

#include "i18n/translation_text.h"
#include "runtime/exception.h"
#include "runtime/format.h"

namespace {

std::string Utf8Error(const std::string& text) {
  try {
    vnx::CheckTranslationUtf8(text);
    return "";
  } catch (const vnx::rt::EConvertError& e) {
    return e.what();
  }
}

const std::string kInvalid = "Invalid byte sequence encountered in utf-8 string";
const std::string kBeyond = "Utf-8 string contained unicode character larger than $FFFF. This is not supported.";
const std::string kTruncated = "Utf-8 string terminated unexpectedly in the middle of a multibyte sequence";

TEST(TranslationUtf8, AcceptsTheBasicPlane) {
  EXPECT_EQ(Utf8Error(""), "");
  EXPECT_EQ(Utf8Error("plain"), "");
  EXPECT_EQ(Utf8Error("transa\xC3\xA7\xC3\xA3o \xE2\x82\xAC \xEF\xBF\xBF \xC2\x80"), "");
}

TEST(TranslationUtf8, NamesEachFault) {
  EXPECT_EQ(Utf8Error("a\xF0\x9F\x98\x80" "b"), kBeyond);      // U+1F600
  EXPECT_EQ(Utf8Error("\xF4\x8F\xBF\xBF"), kBeyond);            // U+10FFFF
  EXPECT_EQ(Utf8Error("ab\xC3"), kTruncated);
  EXPECT_EQ(Utf8Error("ab\xE2\x82"), kTruncated);
  EXPECT_EQ(Utf8Error("ab\xF0\x9F\x98"), kTruncated);
  EXPECT_EQ(Utf8Error("a\x80" "b"), kInvalid);                  // lone continuation byte
  EXPECT_EQ(Utf8Error("a\xC3" "b"), kInvalid);                  // lead without continuation
  EXPECT_EQ(Utf8Error("\xC0\xAF"), kInvalid);                   // overlong "/"
  EXPECT_EQ(Utf8Error("\xE0\x80\xAF"), kInvalid);               // overlong, three bytes
  EXPECT_EQ(Utf8Error("\xED\xA0\x80"), kInvalid);               // a UTF-16 surrogate
  EXPECT_EQ(Utf8Error("\xF4\x90\x80\x80"), kInvalid);           // past U+10FFFF
  EXPECT_EQ(Utf8Error("\xFF"), kInvalid);
}

TEST(TranslationUtf8, ConvertsToTheApplicationCharacterSet) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(vnx::TranslationToApplication("Conex\xC3\xA3o"), "Conex\xE3o");
  EXPECT_THROW(vnx::TranslationToApplication("Conex\xE3o"), vnx::rt::EConvertError);
}

TEST(FormatDirectives, TranslationsMayReorderButNotChangeArguments) {
  using vnx::FormatDirectivesFit;
  const char* connecting = "Connecting to database %s on server %s";
  EXPECT_TRUE(FormatDirectivesFit(connecting, "Conectando ao banco %s no servidor %s"));
  EXPECT_TRUE(FormatDirectivesFit(connecting, "Servidor %1:s, banco %0:s"));
  EXPECT_TRUE(FormatDirectivesFit(connecting, "Conectando"));  // leaving an argument out is harmless
  EXPECT_TRUE(FormatDirectivesFit(connecting, "100%% %-20s"));
  EXPECT_FALSE(FormatDirectivesFit(connecting, "%s %s %s"));    // one argument too many
  EXPECT_FALSE(FormatDirectivesFit(connecting, "%d em %s"));    // a number for a text
  EXPECT_FALSE(FormatDirectivesFit(connecting, "%2:s"));
  EXPECT_FALSE(FormatDirectivesFit(connecting, "banco %"));     // no valid template at all
  EXPECT_FALSE(FormatDirectivesFit(connecting, "%q"));
  EXPECT_FALSE(FormatDirectivesFit(connecting, "%200000s"));
  EXPECT_TRUE(FormatDirectivesFit("%d row(s) affected", "%.3d linha(s)"));
  EXPECT_TRUE(FormatDirectivesFit("%d row(s) affected", "%x"));
  EXPECT_FALSE(FormatDirectivesFit("%d row(s) affected", "%f"));
  // A text that is no template itself puts no limit on its translation.
  EXPECT_TRUE(FormatDirectivesFit("50% done", "%s"));

  // What passes really formats with the arguments of the English text.
  EXPECT_EQ(vnx::rt::Format("Servidor %1:s, banco %0:s", "db", "host"), "Servidor host, banco db");
}

}  // namespace
