// UTF-8 to and from the application's 8-bit character set.
#include <gtest/gtest.h>

#include <clocale>

#include "common/encoding.h"

namespace {

class EncodingTest : public ::testing::Test {
 protected:
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(EncodingTest, ProcessWithoutLocaleGetsLatin1) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(vnx::ApplicationCharset(), "ISO-8859-1");
  EXPECT_EQ(vnx::Utf8ToApplication("caf\xC3\xA9"), "caf\xE9");
  EXPECT_EQ(vnx::ApplicationToUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(vnx::Utf8ToApplication("plain ascii"), "plain ascii");
}

TEST_F(EncodingTest, CharactersTheTargetCannotHoldBecomeQuestionMarks) {
  std::setlocale(LC_ALL, "C");
  // The euro sign has no Latin-1 code; the text around it survives.
  EXPECT_EQ(vnx::Utf8ToApplication("a\xE2\x82\xAC" "b"), "a?b");
  // Invalid and truncated sequences.
  EXPECT_EQ(vnx::Utf8ToApplication("a\xFF" "b"), "a?b");
  EXPECT_EQ(vnx::Utf8ToApplication("a\xC3"), "a?");
  EXPECT_EQ(vnx::Utf8ToApplication("a\xE2\x82" "b"), "a?b");
}

TEST_F(EncodingTest, Utf8ApplicationIsLeftAlone) {
  // scripts/setup.sh generates the locale: without it the test would prove nothing.
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing (scripts/setup.sh)";
  EXPECT_EQ(vnx::Utf8ToApplication("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(vnx::ApplicationToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");
}

}  // namespace
