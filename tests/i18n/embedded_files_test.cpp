// Reading the directory of appended files, sound and damaged.
#include <gtest/gtest.h>

#include "i18n/embedded_files.h"
#include "tests/i18n/i18n_test_util.h"

namespace {

using vnx::ReadEmbeddedDirectory;
using vnxtest::PatchLE64;
using vnxtest::ScratchDir;
using vnxtest::WriteFile;

class EmbeddedDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = vnxtest::WithEmbeddedFiles(std::string(1001, 'L'),
                                        {{"locale\\en_US\\LC_MESSAGES\\default.mo", "first"},
                                         {"locale\\pt_BR\\LC_MESSAGES\\default.mo", "second!"},
                                         {"x", ""}},
                                        first_);
  }
  std::vector<vnx::TVNXEmbeddedFile> Read(const std::string& bytes, std::uint64_t first) {
    WriteFile(path_, bytes);
    return ReadEmbeddedDirectory(path_, first);
  }

  ScratchDir dir_;
  std::string path_ = dir_ / "lib.so";
  std::string bytes_;
  std::uint64_t first_ = 0;
};

TEST_F(EmbeddedDirectory, ReadsTheChain) {
  auto files = Read(bytes_, first_);
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].Name, "locale\\en_US\\LC_MESSAGES\\default.mo");  // padding trimmed
  EXPECT_EQ(files[0].DataOffset, 1001u);
  EXPECT_EQ(files[0].DataSize, 5u);
  EXPECT_EQ(files[1].Name, "locale\\pt_BR\\LC_MESSAGES\\default.mo");
  EXPECT_EQ(files[1].DataOffset, 1006u);
  EXPECT_EQ(files[1].DataSize, 7u);
  EXPECT_EQ(files[2].DataSize, 0u);
  std::string data;
  ASSERT_TRUE(vnx::ReadFileRange(path_, files[1].DataOffset, files[1].DataSize, data));
  EXPECT_EQ(data, "second!");

  EXPECT_TRUE(Read(bytes_, 0).empty());  // an unpackaged library
  EXPECT_TRUE(ReadEmbeddedDirectory(dir_ / "missing.so", first_).empty());
}

TEST_F(EmbeddedDirectory, StopsAtTheFirstDamagedEntry) {
  const std::uint64_t second = first_ + 256, third = first_ + 512;
  struct Case {
    const char* what;
    std::uint64_t at, value;
    std::size_t kept;
  } cases[] = {
      {"next entry points back to the first (a cycle)", second, first_, 1},
      {"entry points to itself", second, second, 1},
      {"next entry past the end of the file", second, 1u << 30, 1},
      {"next entry at the very last byte", first_, first_ + bytes_.size(), 0},
      {"next entry too close to hold the numbers", first_, first_ + 10, 0},
      {"next offset at the largest value", first_, ~std::uint64_t(0), 0},
      {"data offset past the end", second + 8, bytes_.size() + 1, 1},
      {"data size past the end", second + 16, bytes_.size(), 1},
      {"data range wrapping around", second + 8, ~std::uint64_t(0) - 2, 1},
      {"data size at the largest value", third + 16, ~std::uint64_t(0), 2},
  };
  for (const Case& c : cases) {
    std::string b = bytes_;
    PatchLE64(b, c.at, c.value);
    EXPECT_EQ(Read(b, first_).size(), c.kept) << c.what;
  }
  // A first offset outside the file, or one that leaves no room for the numbers.
  EXPECT_TRUE(Read(bytes_, bytes_.size()).empty());
  EXPECT_TRUE(Read(bytes_, bytes_.size() - 4).empty());
  EXPECT_TRUE(Read(bytes_, ~std::uint64_t(0) - 3).empty());
  // A file cut short inside the directory keeps what lies before the cut.
  EXPECT_EQ(Read(bytes_.substr(0, first_ + 300), first_).size(), 1u);
}

TEST_F(EmbeddedDirectory, AChainOfGarbageEnds) {
  // Offsets that move forward a few bytes at a time through a large file still end.
  std::string b(1 << 16, '\0');
  for (std::uint64_t at = 0; at + 24 <= b.size(); at += 24) {
    PatchLE64(b, at, at + 24);
    PatchLE64(b, at + 8, 0);
    PatchLE64(b, at + 16, 0);
  }
  auto files = Read(b, 24);
  EXPECT_LE(files.size(), 4096u);
}

TEST(EmbeddedMarker, TheTestProgramIsNotPackaged) {
  // The tests link the driver's code directly; nothing was appended to their executable.
  EXPECT_EQ(vnx::EmbeddedDirectoryOffset(), 0u);
}

}  // namespace
