// UTF-8 and the application's 8-bit character set, through iconv.
#include "common/encoding.h"

#include <errno.h>
#include <iconv.h>
#include <langinfo.h>

#include <cstring>

#include "libpq/libpq_api.h"
#include "runtime/strutil.h"

namespace vnx {
namespace {

bool IsAscii(std::string_view text) noexcept {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Length of the UTF-8 sequence starting with lead byte c (1 for an invalid lead).
std::size_t Utf8SequenceLength(unsigned char c) noexcept {
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) return 2;
  if ((c & 0xF0) == 0xE0) return 3;
  if ((c & 0xF8) == 0xF0) return 4;
  return 1;
}

// Runs iconv over the whole text; an input sequence that cannot be converted becomes "?".
std::string Convert(const char* to, const char* from, std::string_view text, bool fromUtf8) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  out.reserve(text.size() + text.size() / 2 + 8);
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char buf[1024];
  while (inLeft > 0) {
    char* o = buf;
    std::size_t oLeft = sizeof buf;
    std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<std::size_t>(o - buf));
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ (no such character in the target, or invalid input) or EINVAL (a sequence cut
    // off at the end): write "?" and skip the offending input.
    std::size_t skip = fromUtf8 ? Utf8SequenceLength(static_cast<unsigned char>(*in)) : 1;
    if (errno == EILSEQ && fromUtf8) {
      // A sequence cut short by a byte that cannot continue it ends before that byte.
      std::size_t valid = 1;
      while (valid < skip && valid < inLeft && (static_cast<unsigned char>(in[valid]) & 0xC0) == 0x80) ++valid;
      skip = valid;  // one "?" for the lead byte and the continuation bytes that follow it
    }
    if (skip > inLeft) skip = inLeft;
    out.push_back('?');
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string ApplicationCharset() {
  const char* codeset = nl_langinfo(CODESET);
  std::string name = codeset ? codeset : "";
  if (name.empty() || name == "ANSI_X3.4-1968" || rt::SameText(name, "ASCII") || rt::SameText(name, "US-ASCII"))
    return "ISO-8859-1";
  return name;
}

std::string Utf8ToApplication(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  std::string charset = ApplicationCharset();
  if (rt::SameText(charset, "UTF-8")) return std::string(text);
  return Convert(charset.c_str(), "UTF-8", text, true);
}

std::string ApplicationToUtf8(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  std::string charset = ApplicationCharset();
  if (rt::SameText(charset, "UTF-8")) return std::string(text);
  return Convert("UTF-8", charset.c_str(), text, false);
}

}  // namespace vnx

namespace vnx {

std::size_t CharacterPrefixLength(std::string_view text, std::size_t limit,
                                  const TVNXTextEncoding& encoding) noexcept {
  if (text.size() <= limit) return text.size();
  using Kind = TVNXTextEncoding::Kind;
  auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  Kind kind = encoding.kind;
  if (kind == Kind::Libpq && (!PQ.PQmblen || encoding.LibpqId < 0)) kind = Kind::Unknown;
  switch (kind) {
    case Kind::SingleByte: return limit;
    case Kind::Utf8: {
      // Back to the lead byte of the character the limit falls into (at most three steps:
      // further continuation bytes are no valid text, which may be cut anywhere).
      std::size_t n = limit;
      while (n > 0 && limit - n < 3 && (byte(n) & 0xC0) == 0x80) --n;
      return (byte(n) & 0xC0) == 0x80 ? limit : n;
    }
    case Kind::Libpq: {
      // Only a walk from the start finds where characters begin (a trail byte of SJIS may
      // look like ASCII). The text is NUL-terminated, so libpq never reads past it.
      std::size_t n = 0;
      for (;;) {
        const int length = PQ.PQmblen(text.data() + n, encoding.LibpqId);
        const std::size_t step = length > 0 ? static_cast<std::size_t>(length) : 1;
        if (n + step > limit) return n;
        n += step;
      }
    }
    case Kind::Unknown: break;
  }
  // Bytes below 0x30 are characters of their own in every client encoding; a start without
  // any byte above 0x7F holds single-byte characters only.
  bool ascii = true;
  for (std::size_t i = 0; i < limit && ascii; ++i) ascii = byte(i) < 0x80;
  if (ascii) return limit;
  std::size_t n = limit;
  while (n > 0 && byte(n - 1) >= 0x30) --n;
  return n;
}

TVNXTextEncoding ApplicationTextEncoding() {
  const std::string charset = rt::UpperCase(ApplicationCharset());
  TVNXTextEncoding e;
  if (charset == "UTF-8" || charset == "UTF8") e.kind = TVNXTextEncoding::Kind::Utf8;
  else if (charset.rfind("ISO-8859-", 0) == 0 || charset.rfind("CP125", 0) == 0 || charset.rfind("KOI8", 0) == 0)
    e.kind = TVNXTextEncoding::Kind::SingleByte;
  else e.kind = TVNXTextEncoding::Kind::Unknown;
  return e;
}

}  // namespace vnx
