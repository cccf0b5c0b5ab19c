// The loaded libpq's connection keywords (see connection_keywords.h).
#include "libpq/connection_keywords.h"

#include <cstring>
#include <vector>

#include "libpq/libpq_api.h"

namespace vnx {
namespace {

// Read once, after libpq is bound (it never changes afterwards); the first reader fills it.
std::vector<TVNXLibpqKeyword> ReadKeywords() {
  std::vector<TVNXLibpqKeyword> keywords;
  PQconninfoOption* options = PQ.PQconndefaults();
  if (!options) return keywords;
  for (const PQconninfoOption* o = options; o->keyword; ++o)
    // libpq marks the fields it would show masked with "*".
    keywords.push_back({o->keyword, o->dispchar && std::strchr(o->dispchar, '*') != nullptr});
  if (PQ.PQconninfoFree) PQ.PQconninfoFree(options);
  return keywords;
}

}  // namespace

const TVNXLibpqKeyword* FindLibpqKeyword(std::string_view name) {
  if (!LibpqLoaded()) return nullptr;
  static const std::vector<TVNXLibpqKeyword> keywords = ReadKeywords();
  for (const TVNXLibpqKeyword& k : keywords)
    if (k.Name == name) return &k;
  return nullptr;
}

}  // namespace vnx
