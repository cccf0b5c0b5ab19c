// TVNXVirtualISQLCursor: a read-only, forward-only cursor whose rows live in memory, copied
// from a result cursor so that the metadata object can rewrite and multiply them.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "common/type_mapping.h"
#include "driver/cursor_columns.h"

namespace vnx {

class TVNXISQLConnection;
class TVNXISQLCursor;

// A date-time cell: the runtime's TDateTime (days since 30 December 1899).
struct TVNXDateTimeCell {
  double Value = 0;
};

// One value. An unassigned cell (monostate) reads as NULL. BLOB-like columns are not
// copied: their cells hold the number 1 (std::uint8_t).
using TVNXCell = std::variant<std::monostate, std::string, bool, std::int16_t, std::int32_t, std::int64_t, double,
                              TVNXDateTimeCell, std::uint8_t>;
// Cell c - 1 holds column c.
using TVNXRow = std::vector<TVNXCell>;

// The cell as text; `fieldType` chooses the form of a date-time cell. Empty for NULL.
std::string CellToText(const TVNXCell& cell, std::uint16_t fieldType);
// The cell as a 64-bit integer; raises rt::EConvertError for text that is no integer and
// for a number with a fraction or out of range.
std::int64_t CellToInt64(const TVNXCell& cell);
// The cell as a floating-point number; raises rt::EConvertError for text that is none.
double CellToDouble(const TVNXCell& cell);

class TVNXVirtualISQLCursor final : public TVNXCursorColumns {
 public:
  // Takes over the source's column descriptions, type cache and mapping options, and with
  // `import` set copies its rows (raising rt::EDatabaseError with the import's text when
  // that fails). The source stays alive until the creator lets it go (SourceCursor.reset()
  // once the rows are copied). A null source gives an empty cursor whose Fields and Rows
  // the caller fills.
  TVNXVirtualISQLCursor(TVNXISQLCursor* source, bool import);
  ~TVNXVirtualISQLCursor();

  // Copies every row of the source. 0 on success; 2 for a column type the cursor cannot
  // hold; 0x2000 for any other failure. The text is left in ErrorMessage.
  SQLResult ImportData();
  std::int32_t RowCount() const noexcept { return static_cast<std::int32_t>(Rows.size()); }

  // Interface operations.
  SQLResult getColumnName(std::uint16_t column, char* name);
  SQLResult getColumnType(std::uint16_t column, std::uint16_t* type, std::uint16_t* subType);
  SQLResult isNullable(std::uint16_t column, std::int32_t* nullable);
  SQLResult isAutoIncrement(std::uint16_t column, std::int32_t* autoIncrement);
  SQLResult isSearchable(std::uint16_t column, std::int32_t* searchable);
  SQLResult next();
  SQLResult getString(std::uint16_t column, char* value, std::int32_t* isBlank);
  SQLResult getShort(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getLong(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getDouble(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getBcd(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getTimeStamp(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getTime(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getDate(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getBytes(std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult getBlobSize(std::uint16_t column, std::uint32_t* length, std::int32_t* isBlank);
  SQLResult getBlob(std::uint16_t column, void* value, std::int32_t* isBlank, std::uint32_t length);

  static const ISQLCursorVtbl Vtbl;

  std::int32_t CurrentRow = -1;
  InterfaceRef<TVNXISQLCursor> SourceCursor;
  // The source's connection: the texts of the rows are in its client encoding.
  InterfaceRef<TVNXISQLConnection> Connection;
  TVNXTypeMappings TypeCache;
  TVNXMappingOptions MappingOptions;
  std::vector<TVNXRow> Rows;

 private:
  // The cell of the current row; an empty cell before the first row or past a short row.
  const TVNXCell& Current(std::uint16_t column) const;
  // Writes IsBlank and returns the cell, or null for a NULL value.
  const TVNXCell* ReadCell(std::uint16_t column, std::int32_t* isBlank) const;
  std::int64_t IntegerOf(std::uint16_t column, const TVNXCell& cell, int bits) const;
  void ImportRow(TVNXRow& row);
};

}  // namespace vnx
