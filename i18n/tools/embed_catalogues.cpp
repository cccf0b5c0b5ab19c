// Build tool: appends files (the message catalogues) to the multi-language library after its
// ELF section header table, writes their directory and records its offset in the library.
//
//   vnx_embed_catalogues LIBRARY NAME=FILE...
//
// NAME is the file's name relative to the library's directory; "/" is stored as "\".
// Running the tool again on its own output replaces the block it appended before.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "i18n/embedded_layout.h"

namespace {

using vnx::embed::ReadLE64;
using vnx::embed::WriteLE64;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("cannot read " + path);
  return bytes;
}

// Reads an unsigned number of width bytes in the ELF file's byte order.
std::uint64_t Field(const std::string& elf, std::uint64_t at, int width, bool bigEndian) {
  if (at > elf.size() || elf.size() - at < static_cast<std::uint64_t>(width))
    throw std::runtime_error("truncated ELF file");
  std::uint64_t v = 0;
  for (int i = 0; i < width; ++i) {
    unsigned char b = static_cast<unsigned char>(elf[at + static_cast<std::uint64_t>(bigEndian ? i : width - 1 - i)]);
    v = (v << 8) | b;
  }
  return v;
}

// The end of everything the dynamic loader and the ELF tools use: the section header table
// as a rule, but never before the end of any section or segment.
std::uint64_t ElfContentEnd(const std::string& elf) {
  if (elf.size() < 52 || std::memcmp(elf.data(), "\x7f" "ELF", 4) != 0) throw std::runtime_error("not an ELF file");
  const bool wide = elf[4] == 2;
  const bool big = elf[5] == 2;
  if ((elf[4] != 1 && elf[4] != 2) || (elf[5] != 1 && elf[5] != 2)) throw std::runtime_error("unknown ELF class");
  const int word = wide ? 8 : 4;
  const std::uint64_t phoff = Field(elf, wide ? 32 : 28, word, big);
  const std::uint64_t shoff = Field(elf, wide ? 40 : 32, word, big);
  const std::uint64_t phentsize = Field(elf, wide ? 54 : 42, 2, big);
  std::uint64_t phnum = Field(elf, wide ? 56 : 44, 2, big);
  const std::uint64_t shentsize = Field(elf, wide ? 58 : 46, 2, big);
  std::uint64_t shnum = Field(elf, wide ? 60 : 48, 2, big);
  if (shoff == 0) throw std::runtime_error("the library has no section header table");
  if (shnum == 0) shnum = Field(elf, shoff + (wide ? 32 : 20), word, big);  // extended numbering
  if (phnum == 0xffff) phnum = Field(elf, shoff + (wide ? 44 : 28), 4, big);

  std::uint64_t end = shoff + shnum * shentsize;
  for (std::uint64_t i = 0; i < shnum; ++i) {
    const std::uint64_t sh = shoff + i * shentsize;
    const std::uint64_t type = Field(elf, sh + 4, 4, big);
    if (type == 8) continue;  // SHT_NOBITS occupies no file space
    const std::uint64_t off = Field(elf, sh + (wide ? 24 : 16), word, big);
    const std::uint64_t size = Field(elf, sh + (wide ? 32 : 20), word, big);
    if (off + size > end) end = off + size;
  }
  for (std::uint64_t i = 0; i < phnum; ++i) {
    const std::uint64_t ph = phoff + i * phentsize;
    const std::uint64_t off = Field(elf, ph + (wide ? 8 : 4), word, big);
    const std::uint64_t size = Field(elf, ph + (wide ? 32 : 16), word, big);
    if (off + size > end) end = off + size;
  }
  if (end > elf.size()) throw std::runtime_error("ELF tables point past the end of the file");
  return end;
}

std::uint64_t FindMarker(const std::string& elf) {
  std::string marker(VNX_EMBED_MARKER_TEXT);
  marker.resize(vnx::embed::kMarkerSize, '\0');
  const std::size_t first = elf.find(marker);
  if (first == std::string::npos) throw std::runtime_error("the library holds no embedding marker");
  if (elf.find(marker, first + 1) != std::string::npos) throw std::runtime_error("the marker occurs more than once");
  if (elf.size() - first < marker.size() + vnx::embed::kOffsetSize) throw std::runtime_error("truncated marker");
  return first + marker.size();
}

struct Input {
  std::string Name;
  std::string Bytes;
};

void Embed(const std::string& library, const std::vector<Input>& inputs) {
  std::string elf = ReadWhole(library);
  const std::uint64_t offsetAt = FindMarker(elf);
  const std::uint64_t contentEnd = ElfContentEnd(elf);
  const auto* stored = reinterpret_cast<const unsigned char*>(elf.data() + offsetAt);
  if (elf.size() > contentEnd) {
    // Only a block this tool appended may be dropped; anything else after the tables is
    // someone else's and stays untouched, so the tool refuses.
    if (ReadLE64(stored) < contentEnd) throw std::runtime_error("unknown data after the section header table");
    elf.resize(contentEnd);
  }

  std::string block;
  std::vector<std::uint64_t> offsets;
  for (const Input& in : inputs) {
    offsets.push_back(contentEnd + block.size());
    block += in.Bytes;
  }
  block.append((8 - (contentEnd + block.size()) % 8) % 8, '\0');
  const std::uint64_t firstEntry = contentEnd + block.size();
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    unsigned char numbers[vnx::embed::kEntryNumbersSize];
    const std::uint64_t entry = contentEnd + block.size();
    WriteLE64(numbers, entry + vnx::embed::kEntrySize);
    WriteLE64(numbers + 8, offsets[i]);
    WriteLE64(numbers + 16, inputs[i].Bytes.size());
    block.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
    std::string name = inputs[i].Name;
    name.resize(vnx::embed::kEntryNameSize, ' ');
    block += name;
  }
  block.append(vnx::embed::kOffsetSize, '\0');  // NextOffset 0: the end of the chain

  unsigned char patched[vnx::embed::kOffsetSize];
  WriteLE64(patched, inputs.empty() ? 0 : firstEntry);
  elf.replace(offsetAt, sizeof patched, reinterpret_cast<const char*>(patched), sizeof patched);
  elf += block;

  // Written beside the library and renamed over it, so that a failure never leaves a
  // half-written library behind.
  struct stat st {};
  const bool haveMode = ::stat(library.c_str(), &st) == 0;
  const std::string temp = library + ".embedding";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(elf.data(), static_cast<std::streamsize>(elf.size()));
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      throw std::runtime_error("cannot write " + temp);
    }
  }
  if (haveMode) ::chmod(temp.c_str(), st.st_mode & 07777);
  if (std::rename(temp.c_str(), library.c_str()) != 0) {
    std::remove(temp.c_str());
    throw std::runtime_error("cannot replace " + library);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s LIBRARY NAME=FILE...\n", argv[0]);
    return 2;
  }
  try {
    std::vector<Input> inputs;
    for (int i = 2; i < argc; ++i) {
      std::string arg = argv[i];
      std::size_t eq = arg.find('=');
      if (eq == std::string::npos || eq == 0) throw std::runtime_error("expected NAME=FILE: " + arg);
      Input in{arg.substr(0, eq), ReadWhole(arg.substr(eq + 1))};
      for (char& c : in.Name)
        if (c == '/') c = '\\';
      if (in.Name.size() > vnx::embed::kEntryNameSize) throw std::runtime_error("name too long: " + in.Name);
      inputs.push_back(std::move(in));
    }
    Embed(argv[1], inputs);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
