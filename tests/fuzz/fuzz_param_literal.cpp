// Literal building from arbitrary parameter records: any type, subtype, null flag and bytes,
// and for array parameters any graph of variants (arrays of arrays, by-reference variants
// that point at each other or at themselves) that an application could lay out. Properties:
// a literal is built or refused with one of the driver's errors; a quoted literal is one
// string whose quotes and backslashes are all doubled (connection-less escaping); any other
// literal is NULL, true, false, empty or an integer, possibly negative in parentheses and cast.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/dbx_types.h"
#include "common/param_literal.h"
#include "runtime/exception.h"
#include "runtime/variant.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vnx;
using namespace vnxfuzz;

namespace {

// Variants and array descriptors whose pointers all lead into the arena itself.
class VariantArena {
 public:
  static constexpr std::size_t kVariants = 8;

  explicit VariantArena(Input& in) : variants_(kVariants) {
    for (rt::TVarData& v : variants_) Build(v, in);
  }
  const rt::TVarData* Root() const { return &variants_[0]; }

 private:
  rt::TVarData* Variant(Input& in) { return &variants_[in.Byte() % kVariants]; }

  // A descriptor of one dimension (or of the count the input asks for) over `data`.
  rt::TVarArray* Descriptor(Input& in, void* data, std::int32_t count, std::int32_t elementSize) {
    auto& block = blocks_.emplace_back(sizeof(rt::TVarArray), std::uint8_t{0});
    auto* a = reinterpret_cast<rt::TVarArray*>(block.data());
    const std::uint8_t shape = in.Byte();
    a->DimCount = shape < 240 ? 1 : shape % 3;
    a->ElementSize = elementSize;
    a->Data = data;
    a->Bounds[0].ElementCount = shape % 17 == 16 ? -count : count;
    a->Bounds[0].LowBound = in.Take<std::int8_t>();
    return a;
  }

  void Build(rt::TVarData& v, Input& in) {
    static constexpr std::uint16_t kScalars[] = {
        rt::varEmpty, rt::varNull, rt::varSmallint, rt::varInteger, rt::varSingle, rt::varDouble,
        rt::varCurrency, rt::varDate, rt::varBoolean, rt::varShortInt, rt::varByte, rt::varWord,
        rt::varLongWord, rt::varInt64, rt::varUInt64, rt::varDispatch, rt::varDecimal, rt::varError};
    const std::uint8_t choice = in.Byte();
    switch (choice % 8) {
      case 0: case 1: {  // a scalar with any bits
        v.VType = kScalars[in.Byte() % std::size(kScalars)];
        v.VInt64 = in.Take<std::int64_t>();
        break;
      }
      case 2: {  // 8-bit text
        auto& s = texts_.emplace_back(in.Bytes(in.Byte() % 16));
        v.VType = rt::varString;
        v.VString = s.c_str();
        break;
      }
      case 3: {  // UTF-16 text
        auto& s = wides_.emplace_back();
        for (int n = in.Byte() % 8; n > 0; --n) s += in.Take<char16_t>();
        v.VType = choice & 8 ? rt::varOleStr : rt::varUString;
        v.VOleStr = s.c_str();
        break;
      }
      case 4: {  // a reference to another variant, or to this one
        v.VType = rt::varByRef | rt::varVariant;
        v.VPointer = Variant(in);
        break;
      }
      case 5: {  // a reference to a scalar
        auto& cell = blocks_.emplace_back(8, std::uint8_t{0});
        const std::string_view bits = in.Bytes(8);
        std::memcpy(cell.data(), bits.data(), bits.size());
        v.VType = rt::varByRef | kScalars[in.Byte() % std::size(kScalars)];
        v.VPointer = cell.data();
        break;
      }
      case 6: {  // an array of variants copied from the arena (which may hold arrays)
        const std::int32_t n = in.Byte() % 6;
        auto& block = blocks_.emplace_back(sizeof(rt::TVarData) * static_cast<std::size_t>(n), std::uint8_t{0});
        for (std::int32_t i = 0; i < n; ++i)
          std::memcpy(block.data() + sizeof(rt::TVarData) * static_cast<std::size_t>(i), Variant(in), sizeof(rt::TVarData));
        rt::TVarArray* a = Descriptor(in, n ? block.data() : nullptr, n, static_cast<std::int32_t>(sizeof(rt::TVarData)));
        v.VType = rt::varArray | rt::varVariant;
        v.VArray = a;
        if (choice & 8) {  // held by reference
          auto& slot = blocks_.emplace_back(sizeof(void*), std::uint8_t{0});
          std::memcpy(slot.data(), &a, sizeof a);
          v.VType |= rt::varByRef;
          v.VPointer = slot.data();
        }
        break;
      }
      default: {  // an array of plain numbers, of any element size the data fills
        const std::uint16_t kind = kScalars[in.Byte() % std::size(kScalars)];
        const std::int32_t n = in.Byte() % 6;
        const std::int32_t elementSize = in.Byte() % 12;
        auto& block = blocks_.emplace_back(static_cast<std::size_t>(n * elementSize) + 1, std::uint8_t{0});
        const std::string_view bits = in.Bytes(block.size());
        std::memcpy(block.data(), bits.data(), bits.size());
        v.VType = rt::varArray | kind;
        v.VArray = Descriptor(in, block.data(), n, elementSize);
        break;
      }
    }
  }

  std::vector<rt::TVarData> variants_;
  std::vector<std::vector<std::uint8_t>> blocks_;
  std::vector<std::string> texts_;
  std::vector<std::u16string> wides_;
};

bool IsDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// NULL, true, false, nothing, or [(-]digits[)][::int2|::int8].
bool IsPlainLiteral(std::string_view s) {
  if (s.empty() || s == "NULL" || s == "true" || s == "false") return true;
  for (std::string_view cast : {"::int2", "::int8"})
    if (s.size() > cast.size() && s.substr(s.size() - cast.size()) == cast) s.remove_suffix(cast.size());
  if (s.size() > 3 && s.substr(0, 2) == "(-" && s.back() == ')') return IsDigits(s.substr(2, s.size() - 3));
  return IsDigits(s);
}

// One string in which every quote and backslash is doubled, as escaping without a
// connection (standard_conforming_strings assumed off) writes it.
bool IsQuotedLiteral(std::string_view s) {
  if (s.size() < 2 || s.front() != '\'' || s.back() != '\'') return false;
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] == '\'' || s[i] == '\\') {
      if (i + 2 >= s.size() || s[i + 1] != s[i]) return false;
      ++i;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NeedLibpq();
  Input in(data, size);
  CommandParam p;
  const std::uint8_t flags = in.Byte();
  p.LogicalType = in.Byte() % 32;
  p.SubType = in.Byte() % 34;
  p.Indicator = flags & 1 ? in.Take<std::int32_t>() : 0;
  p.HasData = (flags & 2) == 0;
  const bool storedProc = flags & 4;
  const std::string encoding = flags & 8 ? "UTF8" : "LATIN1";

  std::unique_ptr<VariantArena> arena;
  if (p.LogicalType == fldARRAY && (flags & 16) == 0) {
    // The address of the application's variant.
    arena = std::make_unique<VariantArena>(in);
    const rt::TVarData* root = arena->Root();
    p.Data.resize(sizeof root);
    std::memcpy(p.Data.data(), &root, sizeof root);
  } else if (p.LogicalType == fldARRAY) {
    // A copy of the variant record: only a record without pointers can come from bytes.
    rt::TVarData record{};
    record.VType = static_cast<std::uint16_t>(in.Take<std::uint16_t>() & ~(rt::varArray | rt::varByRef));
    record.VInt64 = in.Take<std::int64_t>();
    p.Data.resize(sizeof record);
    std::memcpy(p.Data.data(), &record, sizeof record);
  } else {
    const std::string_view rest = in.Rest();
    p.Data.assign(rest.begin(), rest.end());
  }
  p.Length = static_cast<std::uint32_t>(p.Data.size());

  std::string literal;
  try {
    literal = FormatParamLiteral(p, storedProc, encoding, nullptr);
  } catch (const rt::Exception&) {
    return 0;  // refused with the driver's message
  }
  FUZZ_CHECK(IsPlainLiteral(literal) || IsQuotedLiteral(literal), literal);
  return 0;
}
