// Parsing of GNU gettext ".mo" catalogues.
#include "i18n/mo_catalog.h"

#include <cstdint>

#include "common/errors.h"
#include "runtime/strutil.h"

namespace vnx {
namespace {

constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kMagicSwapped = 0xde120495;
constexpr std::size_t kHeaderSize = 28;  // magic, revision, count, two table offsets, hash size and offset

class Bytes {
 public:
  Bytes(std::string_view data, bool swapped) : data_(data), swapped_(swapped) {}

  bool U32(std::uint64_t at, std::uint32_t& v) const {
    if (at > data_.size() || data_.size() - at < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + at);
    v = swapped_ ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3])
                 : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
    return true;
  }

  // String table entry i of the table at tableOffset: its length and offset.
  bool Text(std::uint64_t tableOffset, std::uint32_t i, std::string_view& text) const {
    std::uint32_t length = 0, offset = 0;
    std::uint64_t at = tableOffset + std::uint64_t(i) * 8;
    if (!U32(at, length) || !U32(at + 4, offset)) return false;
    if (offset > data_.size() || data_.size() - offset < length) return false;
    text = data_.substr(offset, length);
    return true;
  }

 private:
  std::string_view data_;
  bool swapped_;
};

// The part before the first NUL: the singular of a plural entry.
std::string_view Singular(std::string_view s) {
  std::size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

}  // namespace

TVNXMoCatalog::TVNXMoCatalog(std::string_view bytes, const std::string& name) {
  auto invalid = [&name]() { return EVNXError("This file is not a valid GNU gettext mo file: " + name); };
  if (bytes.size() < kHeaderSize) throw invalid();
  std::uint32_t magic = 0;
  Bytes probe(bytes, false);
  probe.U32(0, magic);
  if (magic != kMagic && magic != kMagicSwapped) throw invalid();
  Bytes b(bytes, magic == kMagicSwapped);

  std::uint32_t revision = 0, count = 0, originals = 0, translations = 0;
  b.U32(4, revision);
  b.U32(8, count);
  b.U32(12, originals);
  b.U32(16, translations);
  // Major revisions 0 and 1 share this layout; anything later is a format this reader does
  // not know.
  if ((revision >> 16) > 1) throw invalid();
  // Both tables must lie inside the file before their count is believed.
  const std::uint64_t tableBytes = std::uint64_t(count) * 8;
  if (originals > bytes.size() || bytes.size() - originals < tableBytes) throw invalid();
  if (translations > bytes.size() || bytes.size() - translations < tableBytes) throw invalid();

  for (std::uint32_t i = 0; i < count; ++i) {
    std::string_view id, text;
    if (!b.Text(originals, i, id) || !b.Text(translations, i, text)) throw invalid();
    id = Singular(id);
    text = Singular(text);
    if (id.empty()) {
      header_.assign(text);
      continue;
    }
    messages_.emplace(std::string(id), std::string(text));
  }
}

const std::string* TVNXMoCatalog::Find(std::string_view id) const {
  auto it = messages_.find(id);
  return it == messages_.end() ? nullptr : &it->second;
}

std::string TVNXMoCatalog::HeaderField(std::string_view field) const {
  std::string_view rest = header_;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && rt::SameText(rt::TrimView(line.substr(0, colon)), field))
      return rt::Trim(line.substr(colon + 1));
  }
  return {};
}

}  // namespace vnx
