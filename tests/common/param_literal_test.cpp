// Parameter values as SQL literals, without a server (the connection-less escaping).
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <functional>
#include <random>

#include "common/errors.h"
#include "common/param_literal.h"
#include "libpq/libpq_api.h"
#include "runtime/bcd.h"
#include "runtime/exception.h"
#include "runtime/variant.h"
#include "tests/common/param_values.h"

namespace {

using namespace vnx;
using namespace vnxtest;

class ParamLiteral : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { LoadLibpq(VNX_TEST_LIBPQ); }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

std::string Lit(const CommandParam& p, bool storedProc = false, const std::string& enc = "LATIN1") {
  return FormatParamLiteral(p, storedProc, enc, nullptr);
}

TEST_F(ParamLiteral, NullForEveryType) {
  for (std::uint16_t t = 0; t <= 30; ++t) {
    CommandParam p = Param<std::int32_t>(t, 1);
    p.Indicator = 1;
    EXPECT_EQ(Lit(p), "NULL") << t;
    p.Indicator = 0x100;  // only the low byte counts
    p.HasData = false;
    EXPECT_EQ(Lit(p), "NULL") << t;
  }
}

TEST_F(ParamLiteral, Strings) {
  EXPECT_EQ(Lit(Bytes(fldZSTRING, std::string("O'Brien\0", 8))), "'O''Brien'");
  EXPECT_EQ(Lit(Bytes(fldUNKNOWN, "x")), "'x'");
  EXPECT_EQ(Lit(Bytes(fldBLOB, "memo", fldstMEMO)), "'memo'");
  EXPECT_EQ(Lit(Bytes(fldZSTRING, "")), "''");
  EXPECT_EQ(Lit(Bytes(fldZSTRING, std::string("a\0b", 3))), "'a'");  // stops at the NUL
  EXPECT_EQ(Lit(Bytes(fldBLOB, "x", fldstFMTMEMO)), "");
  EXPECT_EQ(Lit(Bytes(fldWIDESTRING, "x")), "");
  EXPECT_EQ(Lit(Bytes(30, "x")), "");
  // Converted to UTF-8 for a UTF8 connection, and only then.
  EXPECT_EQ(Lit(Bytes(fldZSTRING, "caf\xE9"), false, "UTF8"), "'caf\xC3\xA9'");
  EXPECT_EQ(Lit(Bytes(fldZSTRING, "caf\xE9"), false, "utf8"), "'caf\xE9'");
  EXPECT_EQ(QuoteLiteral("a"), "'a'");
}

TEST_F(ParamLiteral, Numbers) {
  EXPECT_EQ(Lit(Param<std::int16_t>(fldINT16, -7)), "(-7)");
  EXPECT_EQ(Lit(Param<std::int16_t>(fldINT16, -7), true), "(-7)::int2");
  EXPECT_EQ(Lit(Param<std::int16_t>(fldINT16, 7), true), "7::int2");
  EXPECT_EQ(Lit(Param<std::int32_t>(fldINT32, INT32_MIN)), "(-2147483648)");
  EXPECT_EQ(Lit(Param<std::int32_t>(fldINT32, 12), true), "12");
  EXPECT_EQ(Lit(Param<std::int64_t>(fldINT64, 5)), "5");
  EXPECT_EQ(Lit(Param<std::int64_t>(fldINT64, 5), true), "5::int8");
  EXPECT_EQ(Lit(Param<std::int64_t>(fldINT64, -5), true), "(-5)::int8");
  EXPECT_EQ(Lit(Param<std::int64_t>(fldINT64, INT64_MAX)), "9223372036854775807");
  EXPECT_EQ(Lit(Param<std::uint8_t>(fldBOOL, 2)), "true");
  EXPECT_EQ(Lit(Param<std::uint8_t>(fldBOOL, 0)), "false");
  EXPECT_EQ(Lit(Param<double>(fldFLOAT, 1.5)), "'1.5'");
  EXPECT_EQ(Lit(Param<double>(fldFLOAT, -1e300)), "'-1E300'");
  EXPECT_EQ(Lit(Param(fldBCD, rt::TextToBcd("-123.450"))), "'-123.450'");
  EXPECT_EQ(Lit(Param(fldFMTBCD, rt::TextToBcd(std::string(64, '9')))), "'" + std::string(64, '9') + "'");
}

TEST_F(ParamLiteral, NumbersIgnoreTheProcessLocale) {
  // scripts/setup.sh generates the locale: without it the test would prove nothing.
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locale de_DE.UTF-8 missing (scripts/setup.sh)";
  EXPECT_EQ(Lit(Param<double>(fldFLOAT, 1.5)), "'1.5'");
  EXPECT_EQ(Lit(Param<double>(fldFLOAT, 1234567.25)), "'1234567.25'");
  EXPECT_EQ(Lit(Param(fldBCD, rt::TextToBcd("1.5"))), "'1.5'");
}

TEST_F(ParamLiteral, DatesAndTimes) {
  EXPECT_EQ(Lit(Param<std::int32_t>(fldDATE, 731708)), "'2004-05-07'");
  EXPECT_EQ(Lit(Param<std::int32_t>(fldDATE, 1)), "'0001-01-01'");
  EXPECT_EQ(Lit(Param<std::int32_t>(fldTIME, ((13 * 60 + 45) * 60 + 7) * 1000 + 250)), "'13:45:07'");
  EXPECT_EQ(Lit(Param<std::int32_t>(fldTIME, 0)), "'00:00:00'");
  EXPECT_EQ(Lit(Param<std::int32_t>(fldTIME, 86399999)), "'23:59:59'");
  const TSQLTimeStamp ts{2004, 5, 6, 7, 8, 9, 5};
  EXPECT_EQ(Lit(Param(fldTIMESTAMP, ts)), "'2004-05-06 07:08:09.005'");
  EXPECT_EQ(Lit(Param(fldDATETIME, ts)), "'2004-05-06 07:08:09.005'");

  auto message = [](const CommandParam& p) {
    try {
      Lit(p);
    } catch (const rt::Exception& e) {
      return std::string(e.what());
    }
    return std::string("(nothing raised)");
  };
  EXPECT_EQ(message(Param<std::int32_t>(fldDATE, 0)), "'0.0' is not a valid timestamp");
  EXPECT_EQ(message(Param<std::int32_t>(fldTIME, -1)), "'1.-1' is not a valid timestamp");
  EXPECT_EQ(message(Param<std::int32_t>(fldTIME, 86400000)), "'1.86400000' is not a valid timestamp");
}

TEST_F(ParamLiteral, ByteStrings) {
  const std::string bytes("a\0'\\\xFF", 5);
  const std::string lit = Lit(Bytes(fldVARBYTES, bytes));
  ASSERT_GE(lit.size(), 2u);
  EXPECT_EQ(lit.front(), '\'');
  EXPECT_EQ(lit.back(), '\'');
  EXPECT_EQ(lit.find('\0'), std::string::npos);
  EXPECT_EQ(lit.find('\''), 0u);  // the inner quote is escaped as octal
  EXPECT_EQ(Lit(Bytes(fldBYTES, bytes)), lit);
  EXPECT_EQ(Lit(Bytes(fldBLOB, bytes, fldstBINARY)), lit);
  EXPECT_EQ(Lit(Bytes(fldBLOB, bytes, fldstGRAPHIC)), lit);
  EXPECT_EQ(Lit(Bytes(fldBYTES, "")), "''");

  // The length prefix of a var-bytes value is not part of it; bytes past that length are
  // not either, and a prefix claiming more than the buffer holds is refused.
  CommandParam padded = Bytes(fldVARBYTES, bytes);
  padded.Data.push_back('z');
  EXPECT_EQ(Lit(padded), lit);
  CommandParam lying = Bytes(fldVARBYTES, bytes);
  lying.Data.pop_back();
  EXPECT_THROW(Lit(lying), EVNXTypeError);
}

TEST_F(ParamLiteral, UnsupportedTypes) {
  for (std::uint16_t t : {fldUINT16, fldUINT32, fldFLOATIEEE, fldLOCKINFO, fldCURSOR, fldUINT64, fldADT,
                          fldREF, fldTABLE}) {
    try {
      Lit(Param<std::int32_t>(t, 1));
      ADD_FAILURE() << t;
    } catch (const EVNXTypeError& e) {
      EXPECT_EQ(std::string(e.what()), "Type [" + std::to_string(t) + "] is not supported");
    }
  }
}

TEST_F(ParamLiteral, ValuesShorterThanTheirTypeAreRefused) {
  for (std::uint16_t t : {fldBOOL, fldINT16, fldINT32, fldINT64, fldFLOAT, fldBCD, fldDATE, fldTIME,
                          fldTIMESTAMP, fldARRAY}) {
    CommandParam p = Bytes(t, "");
    EXPECT_THROW(Lit(p), EVNXTypeError) << t;
  }
  EXPECT_THROW(Lit(Param<std::int16_t>(fldINT32, 1)), EVNXTypeError);
}

TEST_F(ParamLiteral, Arrays) {
  rt::TVarData items[3]{};
  for (int i = 0; i < 3; ++i) {
    items[i].VType = rt::varInteger;
    items[i].VInteger = i + 1;
  }
  alignas(rt::TVarArray) unsigned char desc[sizeof(rt::TVarArray) + 8]{};
  auto* a = reinterpret_cast<rt::TVarArray*>(desc);
  a->DimCount = 1;
  a->ElementSize = sizeof(rt::TVarData);
  a->Data = items;
  a->Bounds[0].ElementCount = 3;
  rt::TVarData v{};
  v.VType = rt::varArray | rt::varVariant;
  v.VArray = a;

  // The address of the variant, or the variant record itself.
  const void* address = &v;
  EXPECT_EQ(Lit(Param(fldARRAY, address)), "'{1, 2, 3}'");
  EXPECT_EQ(Lit(Param(fldARRAY, v)), "'{1, 2, 3}'");

  static const char kQuote[] = "it's \"x\"";
  static const char kLatin[] = "\xE9";
  items[0].VType = rt::varString;
  items[0].VString = kQuote;
  items[1].VType = rt::varString;
  items[1].VString = kLatin;
  a->Bounds[0].ElementCount = 2;
  // The array text is escaped as a whole for the string literal around it.
  EXPECT_EQ(Lit(Param(fldARRAY, address)), "'{\"it''s \\\\\"x\\\\\"\", \"\xE9\"}'");
  EXPECT_EQ(Lit(Param(fldARRAY, address), false, "UTF8"), "'{\"it''s \\\\\"x\\\\\"\", \"\xC3\xA9\"}'");
}

// Values that need no escaping skip libpq: whatever the text, the literal must be the one
// libpq's escaping gives, on both sides of the stack buffer's size.
TEST_F(ParamLiteral, TextLiteralsMatchLibpqEscaping) {
  std::mt19937 rng(11);
  const std::string alphabet = std::string("aZ09 ?'\\\"\x01\x7F\x80\xE9\xFF", 14) + std::string(1, '\0');
  for (int i = 0; i < 600; ++i) {
    const std::size_t n = rng() % 4 == 0 ? 200 + rng() % 400 : rng() % 12;
    std::string text;
    // Mostly plain text, so that both the plain and the escaped paths are taken.
    const bool plain = rng() % 2 == 0;
    for (std::size_t k = 0; k < n; ++k) text += plain ? alphabet[rng() % 5] : alphabet[rng() % alphabet.size()];
    EXPECT_EQ(Lit(Bytes(fldZSTRING, text)), "'" + EscapeStringLiteral(text, nullptr) + "'");
  }
}

TEST_F(ParamLiteral, EscapingWithoutConnection) {
  EXPECT_EQ(EscapeStringLiteral("a'b", nullptr), "a''b");
  EXPECT_EQ(EscapeStringLiteral(std::string_view("x\0y", 3), nullptr), "x");
  EXPECT_EQ(EscapeStringLiteral("", nullptr), "");
  // An SJIS character whose second byte is a backslash: to a server that reads bytes, it is one.
  EXPECT_EQ(EscapeByteByByte("\x95\\'", false), "\x95\\\\''");
  EXPECT_EQ(EscapeByteByByte("\x95\\'", true), "\x95\\''");
}

}  // namespace
