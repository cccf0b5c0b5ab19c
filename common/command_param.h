// One parameter of a command: a private copy of the value the application gave setParameter.
#pragma once

#include <cstdint>
#include <vector>

namespace vnx {

struct CommandParam {
  std::uint16_t ChildPosition = 0;
  std::uint32_t ParamType = 0;      // 0 unknown, 1 in, 2 out, 3 in/out, 4 result
  std::int32_t OutputColumn = -1;   // 1 for out and in/out parameters
  std::uint16_t LogicalType = 0;    // dbExpress field type
  std::uint16_t SubType = 0;
  std::int32_t Precision = 0;
  std::int32_t Scale = 0;
  std::uint32_t Length = 0;         // bytes of the value copy
  // The value copy: Length bytes, or nothing (HasData false) for a null value.
  // For fldARRAY the bytes are either the address of the application's 16-byte variant
  // (rt::TVarData), pointer-sized, or a copy of that variant record itself (16 bytes);
  // the two sizes never coincide. Either way the variant's array descriptor stays the
  // application's, which must keep it alive until execute.
  std::vector<std::uint8_t> Data;
  bool HasData = false;
  std::int32_t Indicator = 0;       // the value is null when the low byte is not 0

  bool IsNull() const noexcept { return (Indicator & 0xFF) != 0 || !HasData; }
};

}  // namespace vnx
