// The files appended to the multi-language library (its message catalogues): where the
// directory starts, and reading it back from the library file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vnx {

struct TVNXEmbeddedFile {
  std::string Name;              // relative to the library's directory, "\"-separated
  std::uint64_t DataOffset = 0;  // file offset of the file's bytes
  std::uint64_t DataSize = 0;
};

// Offset of the first directory entry, written into this library by the packaging step;
// 0 for a library that was not packaged.
std::uint64_t EmbeddedDirectoryOffset() noexcept;

// Follows the directory chain of file from firstEntry (0: none). The file may have been
// damaged or replaced, so the chain is trusted no further than it checks out: reading stops
// at the first entry that does not lie wholly inside the file, does not move forward, or
// names data outside the file; the entries before it are kept. Never raises.
std::vector<TVNXEmbeddedFile> ReadEmbeddedDirectory(const std::string& file, std::uint64_t firstEntry) noexcept;

// Reads size bytes at offset; false when the file cannot be read or the range leaves it.
bool ReadFileRange(const std::string& file, std::uint64_t offset, std::uint64_t size, std::string& bytes) noexcept;

// Size of a regular file; false when it is not one or cannot be examined.
bool RegularFileSize(const std::string& file, std::uint64_t& size) noexcept;

}  // namespace vnx
