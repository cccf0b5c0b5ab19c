// Helpers of the translation tests: scratch directories, catalogues written byte by byte or
// compiled with msgfmt, and files with an appended directory of embedded files.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "i18n/embedded_layout.h"

namespace vnxtest {

// A directory under /tmp, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    char tmpl[] = "/tmp/vnx_i18n_XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~ScratchDir() {
    std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) { /* nothing more to do */ }
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

 private:
  std::string path_;
};

inline void MakeDirs(const std::string& path) {
  std::string cmd = "mkdir -p '" + path + "'";
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot create " + path);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeDirs(path.substr(0, slash));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline const char kUtf8Header[] =
    "Project-Id-Version: tests\nLanguage: xx\nMIME-Version: 1.0\n"
    "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n";

// A ".mo" catalogue of the given (id, translation) pairs, in little- or big-endian order,
// without a hash table. Pairs must be sorted by id, as the format asks.
inline std::string MoBytes(const std::vector<std::pair<std::string, std::string>>& pairs, bool bigEndian = false) {
  auto u32 = [bigEndian](std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * (bigEndian ? 3 - i : i))));
  };
  const std::uint32_t n = static_cast<std::uint32_t>(pairs.size());
  const std::uint32_t originals = 28, translations = originals + 8 * n;
  std::uint32_t strings = translations + 8 * n;
  std::string head, tables, pool;
  u32(head, 0x950412de);
  u32(head, 0);
  u32(head, n);
  u32(head, originals);
  u32(head, translations);
  u32(head, 0);
  u32(head, 0);
  std::string origTable, transTable;
  for (const auto& [id, text] : pairs) {
    u32(origTable, static_cast<std::uint32_t>(id.size()));
    u32(origTable, strings + static_cast<std::uint32_t>(pool.size()));
    pool += id;
    pool.push_back('\0');
  }
  for (const auto& [id, text] : pairs) {
    u32(transTable, static_cast<std::uint32_t>(text.size()));
    u32(transTable, strings + static_cast<std::uint32_t>(pool.size()));
    pool += text;
    pool.push_back('\0');
  }
  return head + origTable + transTable + pool;
}

// A catalogue with the usual UTF-8 header and the given translations.
inline std::string MoWithHeader(std::vector<std::pair<std::string, std::string>> pairs, bool bigEndian = false,
                                const std::string& header = kUtf8Header) {
  pairs.insert(pairs.begin(), {"", header});
  return MoBytes(pairs, bigEndian);
}

// Compiles a .po text with msgfmt; the path of the catalogue, or empty when msgfmt failed.
inline std::string Msgfmt(const ScratchDir& dir, const std::string& name, const std::string& po) {
  const std::string poPath = dir / (name + ".po");
  const std::string moPath = dir / (name + ".mo");
  WriteFile(poPath, po);
  std::string cmd = "msgfmt -o '" + moPath + "' '" + poPath + "' 2>/dev/null";
  return std::system(cmd.c_str()) == 0 ? moPath : std::string();
}

struct EmbeddedFileBytes {
  std::string name;   // as stored, "\"-separated
  std::string bytes;
};

// Appends files and their directory to base the way the packaging tool lays them out;
// returns the file's bytes and sets firstEntry to the offset of the first entry.
inline std::string WithEmbeddedFiles(std::string base, const std::vector<EmbeddedFileBytes>& files,
                                     std::uint64_t& firstEntry) {
  std::vector<std::uint64_t> offsets;
  for (const auto& f : files) {
    offsets.push_back(base.size());
    base += f.bytes;
  }
  base.append((8 - base.size() % 8) % 8, '\0');
  firstEntry = base.size();
  for (std::size_t i = 0; i < files.size(); ++i) {
    unsigned char numbers[24];
    vnx::embed::WriteLE64(numbers, base.size() + vnx::embed::kEntrySize);
    vnx::embed::WriteLE64(numbers + 8, offsets[i]);
    vnx::embed::WriteLE64(numbers + 16, files[i].bytes.size());
    base.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
    std::string name = files[i].name;
    name.resize(vnx::embed::kEntryNameSize, ' ');
    base += name;
  }
  base.append(8, '\0');
  return base;
}

// Overwrites 8 bytes at offset with a little-endian number.
inline void PatchLE64(std::string& bytes, std::uint64_t offset, std::uint64_t value) {
  unsigned char b[8];
  vnx::embed::WriteLE64(b, value);
  bytes.replace(offset, 8, reinterpret_cast<const char*>(b), 8);
}

}  // namespace vnxtest
