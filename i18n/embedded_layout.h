// Layout of the block of files appended to the multi-language library: shared by the library,
// which reads it, and by the packaging tool, which writes it.
//
// The library's data holds a 44-byte marker (the text below, NUL-padded) followed by the
// 64-bit little-endian file offset of the first directory entry, 0 while nothing is appended.
// Each entry holds NextOffset, DataOffset and DataSize (64-bit little-endian) and then the
// file's name, blank-padded up to NextOffset; a NextOffset of 0 ends the chain.
#pragma once

#include <cstddef>
#include <cstdint>

// A macro rather than a constant: the text must occur exactly once in the library (in the
// marker itself), and an unused constant could still leave a copy in its debug information.
#define VNX_EMBED_MARKER_TEXT "6637DB2E-62E1-4A60-AC19-C23867046A89"

namespace vnx::embed {

inline constexpr std::size_t kMarkerSize = 44;
inline constexpr std::size_t kOffsetSize = 8;
inline constexpr std::size_t kEntrySize = 256;
inline constexpr std::size_t kEntryNumbersSize = 24;  // NextOffset, DataOffset, DataSize
inline constexpr std::size_t kEntryNameSize = kEntrySize - kEntryNumbersSize;

static_assert(sizeof(VNX_EMBED_MARKER_TEXT) <= kMarkerSize);

inline std::uint64_t ReadLE64(const unsigned char* p) noexcept {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline void WriteLE64(unsigned char* p, std::uint64_t v) noexcept {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace vnx::embed
