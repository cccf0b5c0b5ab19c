// The built libraries: 32-bit ELF objects (in the i386 tree) exporting exactly the two
// entry points, and not linked against libpq.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

std::string Shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  std::array<char, 512> buf{};
  while (std::fgets(buf.data(), buf.size(), p)) out += buf.data();
  pclose(p);
  return out;
}

class BuiltLibrary : public ::testing::TestWithParam<const char*> {};

TEST_P(BuiltLibrary, ExportsOnlyTheEntryPoints) {
  std::string out = Shell(std::string("nm -D --defined-only '") + GetParam() + "'");
  std::set<std::string> defined;
  std::istringstream lines(out);
  std::string addr, kind, name;
  while (lines >> addr >> kind >> name)
    if (kind == "T" || kind == "W" || kind == "D" || kind == "B" || kind == "R") defined.insert(name);
  EXPECT_EQ(defined, (std::set<std::string>{"CancelQuery", "getSQLDriverPOSTGRESQL"})) << out;
}

TEST_P(BuiltLibrary, IsNotLinkedAgainstLibpq) {
  std::string out = Shell(std::string("readelf -d '") + GetParam() + "'");
  EXPECT_NE(out.find("NEEDED"), std::string::npos);
  EXPECT_EQ(out.find("libpq"), std::string::npos) << out;
}

#if defined(__i386__)
TEST_P(BuiltLibrary, IsA32BitIntelSharedObject) {
  std::string out = Shell(std::string("file -L '") + GetParam() + "'");
  EXPECT_NE(out.find("ELF 32-bit LSB shared object, Intel 80386"), std::string::npos) << out;
}
#endif

INSTANTIATE_TEST_SUITE_P(BothBuilds, BuiltLibrary, ::testing::Values(VNX_LIB_PATH, VNX_LIB_ML_PATH));

}  // namespace
