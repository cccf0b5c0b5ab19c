// Reading the directory of files appended to the multi-language library.

// 64-bit file offsets in the 32-bit build too: the offsets read from the file are checked
// against its size, and must not be cut short on the way to the system.
#define _FILE_OFFSET_BITS 64

#include "i18n/embedded_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "i18n/embedded_layout.h"
#include "runtime/strutil.h"

namespace vnx {
namespace {

// The marker and the offset after it. Not const, so that the bytes stay in the library's
// data rather than being folded into the code: the packaging step rewrites the offset in the
// file after linking. Read only through volatile accesses for the same reason.
struct EmbedMarker {
  char Text[embed::kMarkerSize];
  unsigned char FirstEntry[embed::kOffsetSize];
};
static_assert(sizeof(EmbedMarker) == embed::kMarkerSize + embed::kOffsetSize);

[[gnu::used]] EmbedMarker g_embedMarker = {VNX_EMBED_MARKER_TEXT, {0, 0, 0, 0, 0, 0, 0, 0}};

// A directory of a handful of catalogues needs no more; a longer chain is damage.
constexpr std::size_t kMaxEntries = 4096;

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path) noexcept : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool Size(std::uint64_t& size) const noexcept {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

  // Reads exactly size bytes at offset (the caller has checked the range against the size).
  bool Read(std::uint64_t offset, void* buffer, std::size_t size) const noexcept {
    auto* p = static_cast<unsigned char*>(buffer);
    while (size > 0) {
      ssize_t n = ::pread(fd_, p, size, static_cast<off_t>(offset));
      if (n <= 0) return false;
      p += n;
      offset += static_cast<std::uint64_t>(n);
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
};

bool InFile(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize) noexcept {
  return size <= fileSize && offset <= fileSize - size;
}

}  // namespace

std::uint64_t EmbeddedDirectoryOffset() noexcept {
  unsigned char bytes[embed::kOffsetSize];
  const volatile unsigned char* stored = g_embedMarker.FirstEntry;
  for (std::size_t i = 0; i < embed::kOffsetSize; ++i) bytes[i] = stored[i];
  return embed::ReadLE64(bytes);
}

std::vector<TVNXEmbeddedFile> ReadEmbeddedDirectory(const std::string& file, std::uint64_t firstEntry) noexcept {
  std::vector<TVNXEmbeddedFile> files;
  if (firstEntry == 0) return files;
  try {
    ReadOnlyFile f(file);
    std::uint64_t fileSize = 0;
    if (!f.Size(fileSize)) return files;
    std::uint64_t entry = firstEntry;
    while (files.size() < kMaxEntries) {
      unsigned char numbers[embed::kEntryNumbersSize];
      if (!InFile(entry, embed::kOffsetSize, fileSize) || !f.Read(entry, numbers, embed::kOffsetSize)) break;
      const std::uint64_t next = embed::ReadLE64(numbers);
      if (next == 0) break;  // the end of the chain
      // Each entry ends where the next begins, so a chain that moves strictly forward
      // within the file can neither loop nor run on for ever.
      if (next <= entry || next - entry < embed::kEntryNumbersSize || next > fileSize) break;
      if (next - entry > embed::kEntrySize * 16) break;  // a name no tool would write
      if (!f.Read(entry, numbers, embed::kEntryNumbersSize)) break;
      TVNXEmbeddedFile e;
      e.DataOffset = embed::ReadLE64(numbers + 8);
      e.DataSize = embed::ReadLE64(numbers + 16);
      if (!InFile(e.DataOffset, e.DataSize, fileSize)) break;
      std::string name(static_cast<std::size_t>(next - entry - embed::kEntryNumbersSize), '\0');
      if (!name.empty() && !f.Read(entry + embed::kEntryNumbersSize, name.data(), name.size())) break;
      e.Name = rt::Trim(name);
      files.push_back(std::move(e));
      entry = next;
    }
  } catch (...) {
    // Out of memory while reading: the entries read so far stand.
  }
  return files;
}

bool ReadFileRange(const std::string& file, std::uint64_t offset, std::uint64_t size, std::string& bytes) noexcept {
  try {
    ReadOnlyFile f(file);
    std::uint64_t fileSize = 0;
    if (!f.Size(fileSize) || !InFile(offset, size, fileSize)) return false;
    if (size > static_cast<std::uint64_t>(bytes.max_size())) return false;
    bytes.assign(static_cast<std::size_t>(size), '\0');
    return size == 0 || f.Read(offset, bytes.data(), bytes.size());
  } catch (...) {
    return false;
  }
}

bool RegularFileSize(const std::string& file, std::uint64_t& size) noexcept {
  ReadOnlyFile f(file);
  return f.Size(size);
}

}  // namespace vnx
