// The .mo reader and the directory of files appended to the multi-language library, over any
// bytes. Properties: a catalogue is read or refused with the reader's error; the directory
// gives only entries whose data lies inside the file, and each can be read.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "common/errors.h"
#include "i18n/embedded_files.h"
#include "i18n/mo_catalog.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vnx;
using namespace vnxfuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint64_t firstEntry = in.Take<std::uint16_t>();
  const std::string_view bytes = in.Rest();

  try {
    const TVNXMoCatalog catalogue(bytes, "fuzz.mo");
    catalogue.HeaderField("Content-Type");
    catalogue.Find("");
    catalogue.Find(bytes.substr(0, 16));
  } catch (const EVNXError&) {
  }

  // The bytes as a file, reused from input to input.
  static const int fd = memfd_create("vnx-fuzz", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  FUZZ_CHECK(fd >= 0 && ftruncate(fd, 0) == 0, "memfd");
  FUZZ_CHECK(pwrite(fd, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()), "pwrite");
  for (const TVNXEmbeddedFile& f : ReadEmbeddedDirectory(path, firstEntry)) {
    FUZZ_CHECK(f.DataOffset <= bytes.size() && f.DataSize <= bytes.size() - f.DataOffset, f.Name);
    std::string content;
    FUZZ_CHECK(ReadFileRange(path, f.DataOffset, f.DataSize, content) && content.size() == f.DataSize, f.Name);
  }
  return 0;
}
