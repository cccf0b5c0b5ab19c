// The part both cursors share: their column descriptions and the operations that only
// report them.
#pragma once

#include <cstdint>

#include "common/type_mapping.h"
#include "driver/interface_object.h"

namespace vnx {

class TVNXCursorColumns : public TVNXErrorObject {
 public:
  TVNXFieldMappings Fields;  // element 0 unused; column n is element n

  // Raises when column is outside 1 to the column count.
  void CheckColumn(std::uint16_t column) const;

  // Interface operations that read the descriptions only.
  SQLResult SetOption(std::uint32_t option, OptionValue value);
  SQLResult GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength, std::int16_t* length);
  SQLResult getColumnCount(std::uint16_t* columns);
  SQLResult getColumnNameLength(std::uint16_t column, std::uint16_t* length);
  SQLResult getColumnLength(std::uint16_t column, std::uint32_t* length);
  SQLResult getColumnPrecision(std::uint16_t column, std::int16_t* precision);
  SQLResult getColumnScale(std::uint16_t column, std::int16_t* scale);
  SQLResult isReadOnly(std::uint16_t column, std::int32_t* readOnly);
  SQLResult isBlobSizeExact(std::uint16_t column, std::int32_t* isExact);

 protected:
  using TVNXErrorObject::TVNXErrorObject;
  // Copies the column's name and a NUL.
  void CopyColumnName(std::uint16_t column, char* name) const;
  // A LongBool answer: -1 for true, 0 for false.
  static void PutFlag(std::int32_t* out, bool value) noexcept {
    if (out) *out = value ? -1 : 0;
  }
};

}  // namespace vnx
