// The virtual cursor: importing a result cursor's rows into memory and serving them through
// the cursor interface.
#include "driver/virtual_cursor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/conversion.h"
#include "common/errors.h"
#include "driver/sql_connection.h"
#include "driver/sql_cursor.h"
#include "i18n/translate.h"
#include "resources/command_resources.h"
#include "resources/metadata_resources.h"
#include "resources/value_resources.h"
#include "runtime/exception.h"
#include "runtime/format.h"

namespace vnx {

const ISQLCursorVtbl TVNXVirtualISQLCursor::Vtbl = {
    UnknownSlots::Table,
    &Slot<&TVNXVirtualISQLCursor::SetOption>::Call,
    &Slot<&TVNXVirtualISQLCursor::GetOption>::Call,
    &Slot<&TVNXVirtualISQLCursor::getErrorMessage>::Call,
    &Slot<&TVNXVirtualISQLCursor::getErrorMessageLen>::Call,
    &Slot<&TVNXVirtualISQLCursor::getColumnCount>::Call,
    &Slot<&TVNXVirtualISQLCursor::getColumnNameLength>::Call,
    &Slot<&TVNXVirtualISQLCursor::getColumnName>::Call,
    &Slot<&TVNXVirtualISQLCursor::getColumnType>::Call,
    &Slot<&TVNXVirtualISQLCursor::getColumnLength>::Call,
    &Slot<&TVNXVirtualISQLCursor::getColumnPrecision>::Call,
    &Slot<&TVNXVirtualISQLCursor::getColumnScale>::Call,
    &Slot<&TVNXVirtualISQLCursor::isNullable>::Call,
    &Slot<&TVNXVirtualISQLCursor::isAutoIncrement>::Call,
    &Slot<&TVNXVirtualISQLCursor::isReadOnly>::Call,
    &Slot<&TVNXVirtualISQLCursor::isSearchable>::Call,
    &Slot<&TVNXVirtualISQLCursor::isBlobSizeExact>::Call,
    &Slot<&TVNXVirtualISQLCursor::next>::Call,
    &Slot<&TVNXVirtualISQLCursor::getString>::Call,
    &Slot<&TVNXVirtualISQLCursor::getShort>::Call,
    &Slot<&TVNXVirtualISQLCursor::getLong>::Call,
    &Slot<&TVNXVirtualISQLCursor::getDouble>::Call,
    &Slot<&TVNXVirtualISQLCursor::getBcd>::Call,
    &Slot<&TVNXVirtualISQLCursor::getTimeStamp>::Call,
    &Slot<&TVNXVirtualISQLCursor::getTime>::Call,
    &Slot<&TVNXVirtualISQLCursor::getDate>::Call,
    &Slot<&TVNXVirtualISQLCursor::getBytes>::Call,
    &Slot<&TVNXVirtualISQLCursor::getBlobSize>::Call,
    &Slot<&TVNXVirtualISQLCursor::getBlob>::Call,
};

// --- Cells ----------------------------------------------------------------------------

namespace {

std::string DoubleText(double v) {
  char buffer[64];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, v);  // shortest exact form, "." always
  return std::string(buffer, r.ptr);
}

}  // namespace

std::string CellToText(const TVNXCell& cell, std::uint16_t fieldType) {
  struct Visitor {
    std::uint16_t fieldType;
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(const std::string& v) const { return v; }
    std::string operator()(bool v) const { return BooleanToText(v); }
    std::string operator()(std::int16_t v) const { return std::to_string(v); }
    std::string operator()(std::int32_t v) const { return std::to_string(v); }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const { return DoubleText(v); }
    std::string operator()(TVNXDateTimeCell v) const { return DateTimeToText(v.Value, fieldType); }
    std::string operator()(std::uint8_t v) const { return std::to_string(v); }
  };
  return std::visit(Visitor{fieldType}, cell);
}

std::int64_t CellToInt64(const TVNXCell& cell) {
  struct Visitor {
    std::int64_t FromDouble(double v) const {
      // A whole number only: a fraction or a value beyond 64 bits has no integer reading.
      if (!(std::trunc(v) == v) || !(v >= -9223372036854775808.0 && v < 9223372036854775808.0))
        throw rt::EConvertError(rt::Format(Res(res::SInvalidInteger), DoubleText(v)));
      return static_cast<std::int64_t>(v);
    }
    std::int64_t operator()(std::monostate) const { return 0; }
    std::int64_t operator()(const std::string& v) const { return TextToInt64(v); }
    std::int64_t operator()(bool v) const { return v ? 1 : 0; }
    std::int64_t operator()(std::int16_t v) const { return v; }
    std::int64_t operator()(std::int32_t v) const { return v; }
    std::int64_t operator()(std::int64_t v) const { return v; }
    std::int64_t operator()(double v) const { return FromDouble(v); }
    std::int64_t operator()(TVNXDateTimeCell v) const { return FromDouble(std::floor(v.Value)); }
    std::int64_t operator()(std::uint8_t v) const { return v; }
  };
  return std::visit(Visitor{}, cell);
}

double CellToDouble(const TVNXCell& cell) {
  struct Visitor {
    double operator()(std::monostate) const { return 0; }
    double operator()(const std::string& v) const { return TextToFloat(v); }
    double operator()(bool v) const { return v ? 1 : 0; }
    double operator()(std::int16_t v) const { return v; }
    double operator()(std::int32_t v) const { return v; }
    double operator()(std::int64_t v) const { return static_cast<double>(v); }
    double operator()(double v) const { return v; }
    double operator()(TVNXDateTimeCell v) const { return v.Value; }
    double operator()(std::uint8_t v) const { return v; }
  };
  return std::visit(Visitor{}, cell);
}

// --- Creation and import ----------------------------------------------------------------

TVNXVirtualISQLCursor::TVNXVirtualISQLCursor(TVNXISQLCursor* source, bool import)
    : TVNXCursorColumns(&Vtbl, IID_ISQLCursor, &DestroyAs<TVNXVirtualISQLCursor>), SourceCursor(source) {
  if (source) {
    Connection = source->Connection;
    TextConnection = Connection.get();
    Fields = source->FieldsCopySource();
    TypeCache = source->TypeCache;
    MappingOptions = source->MappingOptionsSource();
  }
  if (import && ImportData() != DBXERR_NONE) throw rt::EDatabaseError(ErrorMessage);
}

TVNXVirtualISQLCursor::~TVNXVirtualISQLCursor() = default;

namespace {

// A column type outside what the import copies; reported with code 2.
struct UnsupportedFieldType {
  std::uint16_t type;
};

// Size of the text buffer of the import. Longer values get a buffer of their own size, so
// that no value is cut or written past the buffer.
constexpr std::size_t kImportBufferSize = 32768;

}  // namespace

SQLResult TVNXVirtualISQLCursor::ImportData() {
  try {
    if (!SourceCursor) throw EVNXError(Res(res::SVirtualNoSource));
    Rows.clear();
    CurrentRow = -1;
    const std::int32_t count = SourceCursor->RowCount();
    if (count <= 0) return DBXERR_NONE;
    Rows.reserve(static_cast<std::size_t>(count));
    void* source = SourceCursor->AsInterface();
    // Anything but success from next (normally the end of the rows) ends the import.
    while (Slot<&TVNXISQLCursor::next>::Call(source) == DBXERR_NONE) {
      TVNXRow row(Fields.empty() ? 0 : Fields.size() - 1);
      ImportRow(row);
      Rows.push_back(std::move(row));
    }
    return DBXERR_NONE;
  } catch (const UnsupportedFieldType& u) {
    SetErrorText(rt::Format(Res(res::SVirtualFieldTypeNotSupported), static_cast<int>(u.type)));
    Rows.clear();
    return DBXERR_WRONG_PARAM_TYPE;
  } catch (...) {
    const SQLResult rc = FailedCall();
    Rows.clear();
    return rc;
  }
}

void TVNXVirtualISQLCursor::ImportRow(TVNXRow& row) {
  TVNXISQLCursor* src = SourceCursor.get();
  void* source = src->AsInterface();
  // A failing call of the source is reported with the source's own text.
  auto check = [src](SQLResult rc) {
    if (rc == DBXERR_NONE) return;
    if (src->ErrorMessage.empty()) throw EVNXError(Res(res::SCouldNotRetrieveErrorMessage));
    throw EVNXError(src->ErrorMessage);
  };
  auto readText = [&](std::uint16_t c, std::string& out) -> bool {
    std::size_t size = kImportBufferSize;
    if (!src->IsNull(c)) {
      std::string scratch;
      size = std::max(size, src->ValueText(c, scratch).size() + 1);
    }
    std::vector<char> buffer(size, '\0');
    std::int32_t blank = 0;
    check(Slot<&TVNXISQLCursor::getString>::Call(source, c, buffer.data(), &blank));
    if (blank) return false;
    out.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
    return true;
  };

  for (std::size_t i = 1; i < Fields.size(); ++i) {
    const auto c = static_cast<std::uint16_t>(i);
    TVNXCell& cell = row[i - 1];
    std::int32_t blank = 0;
    switch (Fields[i].FieldType) {
      case fldZSTRING: {
        std::string text;
        if (readText(c, text)) cell = std::move(text);
        break;
      }
      case fldBOOL:
      case fldINT16: {
        std::int16_t v = 0;
        check(Slot<&TVNXISQLCursor::getShort>::Call(source, c, static_cast<void*>(&v), &blank));
        if (blank) break;
        if (Fields[i].FieldType == fldBOOL) cell = (v & 0xFF) != 0;
        else cell = v;
        break;
      }
      case fldINT32:
      case fldINT64: {
        // Eight bytes whatever the column: an int8 column writes all of them.
        std::int64_t v = 0;
        check(Slot<&TVNXISQLCursor::getLong>::Call(source, c, static_cast<void*>(&v), &blank));
        if (blank) break;
        if (Fields[i].FieldType == fldINT64) {
          cell = v;
        } else {
          std::int32_t low;
          std::memcpy(&low, &v, sizeof low);
          cell = low;
        }
        break;
      }
      case fldFLOAT: {
        double v = 0;
        check(Slot<&TVNXISQLCursor::getDouble>::Call(source, c, static_cast<void*>(&v), &blank));
        if (!blank) cell = v;
        break;
      }
      case fldDATE:
      case fldTIME:
      case fldTIMESTAMP: {
        // The source has no getter that yields a date-time value as such; its text is read
        // the way the date and time getters read it.
        std::string text;
        if (readText(c, text)) cell = TVNXDateTimeCell{TextToDateTime(text, '.')};
        break;
      }
      case fldBLOB:
      case fldBCD:
      case fldBYTES:
      case fldVARBYTES:
        // Not copied; a NULL value stays NULL.
        if (!src->IsNull(c)) cell = std::uint8_t{1};
        break;
      default:
        throw UnsupportedFieldType{Fields[i].FieldType};
    }
  }
}

// --- Interface operations -----------------------------------------------------------------

const TVNXCell& TVNXVirtualISQLCursor::Current(std::uint16_t column) const {
  static const TVNXCell empty;
  if (CurrentRow < 0 || static_cast<std::size_t>(CurrentRow) >= Rows.size()) return empty;
  const TVNXRow& row = Rows[static_cast<std::size_t>(CurrentRow)];
  return column - 1u < row.size() ? row[column - 1u] : empty;
}

const TVNXCell* TVNXVirtualISQLCursor::ReadCell(std::uint16_t column, std::int32_t* isBlank) const {
  CheckColumn(column);
  const TVNXCell& cell = Current(column);
  const bool blank = std::holds_alternative<std::monostate>(cell);
  if (isBlank) *isBlank = blank ? -1 : 0;
  return blank ? nullptr : &cell;
}

std::int64_t TVNXVirtualISQLCursor::IntegerOf(std::uint16_t column, const TVNXCell& cell, int bits) const {
  const std::int64_t v = CellToInt64(cell);
  const std::int64_t high = (std::int64_t{1} << (bits - 1)) - 1;
  if (bits < 64 && (v > high || v < -high - 1))
    throw EVNXConvertError(rt::Format(Res(res::SVirtualValueOutOfRange), std::to_string(v),
                                      static_cast<unsigned>(column), bits));
  return v;
}

SQLResult TVNXVirtualISQLCursor::getColumnName(std::uint16_t column, char* name) {
  CopyColumnName(column, name);
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::getColumnType(std::uint16_t column, std::uint16_t* type, std::uint16_t* subType) {
  CheckColumn(column);
  if (type) *type = Fields[column].FieldType;
  if (subType) *subType = Fields[column].SubType;
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::isNullable(std::uint16_t column, std::int32_t* nullable) {
  CheckColumn(column);
  PutFlag(nullable, false);
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::isAutoIncrement(std::uint16_t column, std::int32_t* autoIncrement) {
  CheckColumn(column);
  PutFlag(autoIncrement, false);
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::isSearchable(std::uint16_t column, std::int32_t* searchable) {
  CheckColumn(column);
  PutFlag(searchable, true);
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::next() {
  if (CurrentRow < RowCount() - 1) {
    ++CurrentRow;
    return DBXERR_NONE;
  }
  return DBXERR_EOF;
}

SQLResult TVNXVirtualISQLCursor::getString(std::uint16_t column, char* value, std::int32_t* isBlank) {
  const TVNXCell* cell = ReadCell(column, isBlank);
  if (!cell) return DBXERR_NONE;
  const TVNXFieldMapping& f = Fields[column];
  const std::string text = CellToText(*cell, f.FieldType);
  // The application sized its buffer from the column's description.
  const std::size_t limit =
      f.FieldType == fldZSTRING ? std::max<std::size_t>(f.Length, f.Precision > 0 ? f.Precision : 0) : 0;
  if (limit > 0 && text.size() > limit)
    throw EVNXError(rt::Format(Res(res::SValueTooLong), static_cast<unsigned>(column),
                               static_cast<unsigned>(text.size()), static_cast<unsigned>(limit)));
  if (value) {
    std::memcpy(value, text.data(), text.size());
    value[text.size()] = '\0';
  }
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::getShort(std::uint16_t column, void* value, std::int32_t* isBlank) {
  const TVNXCell* cell = ReadCell(column, isBlank);
  if (!cell) return DBXERR_NONE;
  // A Boolean goes out as a whole 16-bit 1 or 0, as the result cursor writes it: a single
  // byte would leave the high byte of the application's value as it was.
  std::int16_t v;
  if (Fields[column].FieldType == fldBOOL) v = CellToInt64(*cell) != 0 ? 1 : 0;
  else v = static_cast<std::int16_t>(IntegerOf(column, *cell, 16));
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::getLong(std::uint16_t column, void* value, std::int32_t* isBlank) {
  const TVNXCell* cell = ReadCell(column, isBlank);
  if (!cell) return DBXERR_NONE;
  // A column described as 64-bit gets all 64 bits, as from the result cursor.
  if (Fields[column].FieldType == fldINT64) {
    const std::int64_t v = IntegerOf(column, *cell, 64);
    if (value) std::memcpy(value, &v, sizeof v);
  } else {
    const auto v = static_cast<std::int32_t>(IntegerOf(column, *cell, 32));
    if (value) std::memcpy(value, &v, sizeof v);
  }
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::getDouble(std::uint16_t column, void* value, std::int32_t* isBlank) {
  const TVNXCell* cell = ReadCell(column, isBlank);
  if (!cell) return DBXERR_NONE;
  const double v = CellToDouble(*cell);
  if (value) std::memcpy(value, &v, sizeof v);
  return DBXERR_NONE;
}

// The catalogue lists have no such columns; these getters write nothing.
SQLResult TVNXVirtualISQLCursor::getBcd(std::uint16_t, void*, std::int32_t*) { return DBXERR_NONE; }
SQLResult TVNXVirtualISQLCursor::getTimeStamp(std::uint16_t, void*, std::int32_t*) { return DBXERR_NONE; }
SQLResult TVNXVirtualISQLCursor::getTime(std::uint16_t, void*, std::int32_t*) { return DBXERR_NONE; }
SQLResult TVNXVirtualISQLCursor::getDate(std::uint16_t, void*, std::int32_t*) { return DBXERR_NONE; }
SQLResult TVNXVirtualISQLCursor::getBytes(std::uint16_t, void*, std::int32_t*) { return DBXERR_NONE; }

SQLResult TVNXVirtualISQLCursor::getBlobSize(std::uint16_t column, std::uint32_t* length, std::int32_t* isBlank) {
  const TVNXCell* cell = ReadCell(column, isBlank);
  if (!cell) return DBXERR_NONE;
  if (length) *length = static_cast<std::uint32_t>(CellToText(*cell, Fields[column].FieldType).size());
  return DBXERR_NONE;
}

SQLResult TVNXVirtualISQLCursor::getBlob(std::uint16_t column, void* value, std::int32_t* isBlank,
                                         std::uint32_t length) {
  const TVNXCell* cell = ReadCell(column, isBlank);
  if (!cell || Fields[column].SubType != fldstMEMO || !value) return DBXERR_NONE;
  // The buffer holds `length` bytes, the size getBlobSize reported: the terminating NUL is
  // written only when it fits.
  const std::string text = CellToText(*cell, Fields[column].FieldType);
  const std::size_t n = std::min<std::size_t>(text.size(), length);
  std::memcpy(value, text.data(), n);
  if (n < length) static_cast<char*>(value)[n] = '\0';
  return DBXERR_NONE;
}

}  // namespace vnx
