// The runtime's variant record and variant array descriptor, as applications lay them out
// in memory (array parameters arrive in this form).
#pragma once

#include <cstddef>
#include <cstdint>

namespace vnx::rt {

// Variant kinds (the low 12 bits of VType) and flags.
enum : std::uint16_t {
  varEmpty = 0, varNull = 1, varSmallint = 2, varInteger = 3, varSingle = 4, varDouble = 5,
  varCurrency = 6, varDate = 7, varOleStr = 8, varDispatch = 9, varError = 10, varBoolean = 11,
  varVariant = 12, varUnknown = 13, varDecimal = 14, varShortInt = 16, varByte = 17,
  varWord = 18, varLongWord = 19, varInt64 = 20, varUInt64 = 21, varStrArg = 72,
  varString = 256, varUString = 258,
  varTypeMask = 0x0FFF, varArray = 0x2000, varByRef = 0x4000,
};

struct TVarArrayBound {
  std::int32_t ElementCount;
  std::int32_t LowBound;
};

// Descriptor of a variant array. Bounds has DimCount entries; the data holds ElementSize
// bytes per element, element 0 first.
struct TVarArray {
  std::uint16_t DimCount;
  std::uint16_t Flags;
  std::int32_t ElementSize;
  std::int32_t LockCount;
  void* Data;
  TVarArrayBound Bounds[1];
};

// A variant: 16 bytes, the kind at offset 0 and the value (or the pointer to a string or
// array descriptor) at offset 8.
struct TVarData {
  std::uint16_t VType;
  std::uint16_t Reserved1;
  std::uint16_t Reserved2;
  std::uint16_t Reserved3;
  union {
    std::int16_t VSmallInt;
    std::int32_t VInteger;
    float VSingle;
    double VDouble;
    std::int64_t VCurrency;  // value times 10000
    double VDate;            // TDateTime
    const char16_t* VOleStr; // NUL-terminated UTF-16
    std::int16_t VBoolean;   // 0 false, anything else true
    std::int8_t VShortInt;
    std::uint8_t VByte;
    std::uint16_t VWord;
    std::uint32_t VLongWord;
    std::int64_t VInt64;
    std::uint64_t VUInt64;
    const char* VString;     // NUL-terminated 8-bit text
    TVarArray* VArray;
    void* VPointer;
  };
};

static_assert(sizeof(TVarData) == 16);
static_assert(offsetof(TVarData, VArray) == 8);
static_assert(offsetof(TVarArray, ElementSize) == 4);
static_assert(offsetof(TVarArray, Data) == (sizeof(void*) == 4 ? 12 : 16));

}  // namespace vnx::rt
