// The .mo reader: both byte orders, msgfmt's own output, plural entries, and damaged files.
#include <gtest/gtest.h>

#include <string>

#include "common/errors.h"
#include "i18n/mo_catalog.h"
#include "tests/i18n/i18n_test_util.h"

namespace {

using vnx::TVNXMoCatalog;
using vnxtest::MoWithHeader;

TEST(MoCatalog, ReadsBothByteOrders) {
  for (bool big : {false, true}) {
    std::string bytes = MoWithHeader({{"Commiting transaction", "Confirmando transa\xC3\xA7\xC3\xA3o"},
                                      {"Starting transaction", "Iniciando"}},
                                     big);
    TVNXMoCatalog mo(bytes, "x.mo");
    EXPECT_EQ(mo.Size(), 2u) << big;
    ASSERT_NE(mo.Find("Starting transaction"), nullptr);
    EXPECT_EQ(*mo.Find("Starting transaction"), "Iniciando");
    EXPECT_EQ(*mo.Find("Commiting transaction"), "Confirmando transa\xC3\xA7\xC3\xA3o");
    EXPECT_EQ(mo.Find("Rolling back transaction"), nullptr);
    EXPECT_EQ(mo.Find(""), nullptr);  // the header is no message
    EXPECT_EQ(mo.HeaderField("Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(mo.HeaderField("content-type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(mo.HeaderField("Plural-Forms"), "");
  }
}

TEST(MoCatalog, ReadsWhatMsgfmtWrites) {
  // The shipped header-only catalogue, and one with a translation, a plural entry and a
  // context, all with msgfmt's hash table.
  TVNXMoCatalog shipped(vnxtest::ReadFile(VNX_BUILD_DIR "/catalogues/en_US/LC_MESSAGES/default.mo"), "en_US");
  EXPECT_EQ(shipped.Size(), 0u);
  EXPECT_EQ(shipped.HeaderField("Content-Type"), "text/plain; charset=UTF-8");
  EXPECT_EQ(shipped.HeaderField("Language"), "en_US");

  vnxtest::ScratchDir dir;
  std::string mo = vnxtest::Msgfmt(dir, "t",
                                   "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=UTF-8\\n\"\n\n"
                                   "msgid \"Connected in synchronous mode\"\nmsgstr \"Conectado\"\n\n"
                                   "msgid \"%d row\"\nmsgid_plural \"%d rows\"\nmsgstr[0] \"%d linha\"\n"
                                   "msgstr[1] \"%d linhas\"\n\n"
                                   "msgctxt \"menu\"\nmsgid \"Open\"\nmsgstr \"Abrir\"\n");
  ASSERT_FALSE(mo.empty()) << "msgfmt failed";
  TVNXMoCatalog cat(vnxtest::ReadFile(mo), mo);
  ASSERT_NE(cat.Find("Connected in synchronous mode"), nullptr);
  EXPECT_EQ(*cat.Find("Connected in synchronous mode"), "Conectado");
  // A plural entry answers to its singular id with its first form.
  ASSERT_NE(cat.Find("%d row"), nullptr);
  EXPECT_EQ(*cat.Find("%d row"), "%d linha");
  EXPECT_EQ(cat.Find("%d rows"), nullptr);
  // An id with a context is not the bare id.
  EXPECT_EQ(cat.Find("Open"), nullptr);
}

void ExpectInvalid(const std::string& bytes, const std::string& why) {
  try {
    TVNXMoCatalog mo(bytes, "/some/dir/default.mo");
    ADD_FAILURE() << "accepted: " << why;
  } catch (const vnx::EVNXError& e) {
    EXPECT_STREQ(e.what(), "This file is not a valid GNU gettext mo file: /some/dir/default.mo") << why;
  }
}

void SetU32(std::string& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

TEST(MoCatalog, RejectsWhatIsNoCatalogue) {
  const std::string good = MoWithHeader({{"a", "b"}});
  ExpectInvalid("", "empty");
  ExpectInvalid(good.substr(0, 27), "shorter than its header");
  ExpectInvalid(std::string(64, '\0'), "no magic number");
  ExpectInvalid("\x7f" "ELF" + good.substr(4), "another file type");

  std::string b = good;
  SetU32(b, 4, 2u << 16);
  ExpectInvalid(b, "unknown major revision");
  b = good;
  SetU32(b, 8, 0xFFFFFFFFu);
  ExpectInvalid(b, "count far beyond the file");
  b = good;
  SetU32(b, 12, 0xFFFFFFF0u);
  ExpectInvalid(b, "id table past the end");
  b = good;
  SetU32(b, 16, static_cast<std::uint32_t>(good.size()) - 4);
  ExpectInvalid(b, "translation table running off the end");
  b = good;
  SetU32(b, 28 + 8 + 4, 0xFFFFFFFEu);  // offset of the second id
  ExpectInvalid(b, "string offset past the end");
  b = good;
  SetU32(b, 28 + 8, 0xFFFFFFFFu);  // length of the second id
  ExpectInvalid(b, "string length past the end");
}

TEST(MoCatalog, NoDamageCrashesTheReader) {
  // Every truncation and a sweep of byte changes: each either reads or is rejected with the
  // error; the sanitizers of the native tree see any stray access.
  const std::string good = MoWithHeader({{"Commiting transaction", "x"}, {"Starting transaction", "y"}});
  for (std::size_t n = 0; n < good.size(); ++n) {
    try {
      TVNXMoCatalog mo(good.substr(0, n), "t");
      (void)mo.Find("Starting transaction");
    } catch (const vnx::EVNXError&) {
    }
  }
  std::uint32_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::string b = good;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245u + 12345u;
      b[(seed >> 8) % b.size()] = static_cast<char>(seed >> 24);
    }
    try {
      TVNXMoCatalog mo(b, "t");
      (void)mo.HeaderField("Content-Type");
      (void)mo.Find("Commiting transaction");
    } catch (const vnx::EVNXError&) {
    }
  }
}

}  // namespace
