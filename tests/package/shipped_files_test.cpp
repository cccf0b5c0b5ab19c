// The shipped binaries as they leave the build: stripped, small, and linked to their debug
// information by debug link and build id.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <string>

#include "tests/i18n/i18n_test_util.h"

namespace {

// The sections of an ELF file by name, each as its bytes (empty for sections without any).
std::map<std::string, std::string> Sections(const std::string& elf) {
  auto field = [&elf](std::uint64_t at, int width) {
    std::uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(elf.at(at + static_cast<std::uint64_t>(i)));
    return v;
  };
  const bool wide = elf.at(4) == 2;
  const int word = wide ? 8 : 4;
  const std::uint64_t shoff = field(wide ? 40 : 32, word), shentsize = field(wide ? 58 : 46, 2);
  const std::uint64_t shnum = field(wide ? 60 : 48, 2), shstrndx = field(wide ? 62 : 50, 2);
  auto header = [&](std::uint64_t i) { return shoff + i * shentsize; };
  const std::uint64_t names = field(header(shstrndx) + (wide ? 24 : 16), word);
  std::map<std::string, std::string> sections;
  for (std::uint64_t i = 1; i < shnum; ++i) {
    const std::uint64_t h = header(i);
    const std::string name = elf.c_str() + names + field(h, 4);
    const bool nobits = field(h + 4, 4) == 8;
    const std::uint64_t off = field(h + (wide ? 24 : 16), word), size = field(h + (wide ? 32 : 20), word);
    sections[name] = nobits ? std::string() : elf.substr(off, size);
  }
  return sections;
}

// Where the ELF image ends, with its section header table; the -ml library's catalogues follow.
std::uint64_t ImageEnd(const std::string& elf) {
  auto le = [&elf](std::size_t at, int n) {
    std::uint64_t v = 0;
    while (n--) v = v << 8 | static_cast<unsigned char>(elf.at(at + static_cast<std::size_t>(n)));
    return v;
  };
  return elf.at(4) == 2 ? le(40, 8) + le(60, 2) * le(58, 2) : le(32, 4) + le(48, 2) * le(46, 2);
}

// The build id note's bytes in hexadecimal.
std::string BuildId(const std::map<std::string, std::string>& sections) {
  auto it = sections.find(".note.gnu.build-id");
  if (it == sections.end() || it->second.size() < 16) return "";
  const std::string& note = it->second;  // namesz, descsz, type, "GNU\0", id
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (std::size_t i = 16; i < note.size(); ++i) {
    const auto b = static_cast<unsigned char>(note[i]);
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

struct Shipped {
  const char* path;
  std::uint64_t maxSize;  // of the ELF image, the catalogues appended to it apart; 0: no limit
};

TEST(ShippedFiles, StrippedSmallAndLinkedToTheirDebugInformation) {
  if (!VNX_SPLIT_DEBUG) {
    GTEST_SKIP() << "this tree keeps the debug information in its binaries";
  }
  const Shipped shipped[] = {
      {VNX_LIB_PATH, 1u << 20},
      {VNX_LIB_ML_PATH, 1u << 20},
      {VNXSQL_BIN, 0},
  };
  for (const Shipped& s : shipped) {
    SCOPED_TRACE(s.path);
    const std::string file = vnxtest::ReadFile(s.path);
    if (s.maxSize) {
      EXPECT_LE(ImageEnd(file), s.maxSize);
      EXPECT_LE(file.size() - ImageEnd(file), 512u << 10);
    }
    const auto sections = Sections(file);
    EXPECT_EQ(sections.count(".symtab"), 0u);
    EXPECT_EQ(sections.count(".debug_info"), 0u);
    EXPECT_EQ(sections.count(".comment"), 0u);

    const std::string path = s.path, base = path.substr(path.rfind('/') + 1);
    ASSERT_EQ(sections.count(".gnu_debuglink"), 1u);
    EXPECT_STREQ(sections.at(".gnu_debuglink").c_str(), (base + ".debug").c_str());

    const std::string id = BuildId(sections);
    ASSERT_EQ(id.size(), 40u);
    const auto debug = Sections(vnxtest::ReadFile(path + ".debug"));
    EXPECT_EQ(BuildId(debug), id);
    EXPECT_NE(debug.count(".debug_info"), 0u);
    // The link by build id, as gdb looks it up, reaches the same file.
    struct stat byId {}, beside {};
    const std::string link = std::string(VNX_DEBUG_DIR "/.build-id/") + id.substr(0, 2) + "/" + id.substr(2) + ".debug";
    ASSERT_EQ(::stat(link.c_str(), &byId), 0) << link;
    ASSERT_EQ(::stat((path + ".debug").c_str(), &beside), 0);
    EXPECT_EQ(byId.st_ino, beside.st_ino);
  }
}

}  // namespace
