// Column descriptions shared by the result cursor and the virtual cursor.
#include "driver/cursor_columns.h"

#include <cstring>

#include "common/errors.h"
#include "i18n/translate.h"
#include "resources/command_resources.h"
#include "runtime/format.h"

namespace vnx {

void TVNXCursorColumns::CheckColumn(std::uint16_t column) const {
  if (column < 1 || column >= Fields.size()) [[unlikely]]
    throw EVNXError(rt::Format(Res(res::SInvalidColumnNumber), static_cast<unsigned>(column),
                               static_cast<unsigned>(Fields.empty() ? 0 : Fields.size() - 1)));
}

void TVNXCursorColumns::CopyColumnName(std::uint16_t column, char* name) const {
  CheckColumn(column);
  const std::string& n = Fields[column].Name;
  if (!name) return;
  if (!n.empty()) std::memcpy(name, n.data(), n.size());
  name[n.size()] = '\0';
}

SQLResult TVNXCursorColumns::SetOption(std::uint32_t, OptionValue) { return DBXERR_NONE; }

SQLResult TVNXCursorColumns::GetOption(std::uint32_t, void*, std::int16_t, std::int16_t*) { return DBXERR_NONE; }

SQLResult TVNXCursorColumns::getColumnCount(std::uint16_t* columns) {
  // A result without columns has no element 0 either: its count is 0, never -1.
  if (columns) *columns = static_cast<std::uint16_t>(Fields.empty() ? 0 : Fields.size() - 1);
  return DBXERR_NONE;
}

SQLResult TVNXCursorColumns::getColumnNameLength(std::uint16_t column, std::uint16_t* length) {
  CheckColumn(column);
  if (length) *length = static_cast<std::uint16_t>(Fields[column].Name.size());
  return DBXERR_NONE;
}

SQLResult TVNXCursorColumns::getColumnLength(std::uint16_t column, std::uint32_t* length) {
  CheckColumn(column);
  if (length) *length = Fields[column].Length;
  return DBXERR_NONE;
}

SQLResult TVNXCursorColumns::getColumnPrecision(std::uint16_t column, std::int16_t* precision) {
  CheckColumn(column);
  if (precision) *precision = Fields[column].Precision;
  return DBXERR_NONE;
}

SQLResult TVNXCursorColumns::getColumnScale(std::uint16_t column, std::int16_t* scale) {
  CheckColumn(column);
  if (scale) *scale = Fields[column].Scale;
  return DBXERR_NONE;
}

SQLResult TVNXCursorColumns::isReadOnly(std::uint16_t column, std::int32_t* readOnly) {
  CheckColumn(column);
  PutFlag(readOnly, Fields[column].ReadOnly);
  return DBXERR_NONE;
}

SQLResult TVNXCursorColumns::isBlobSizeExact(std::uint16_t column, std::int32_t* isExact) {
  CheckColumn(column);
  PutFlag(isExact, true);
  return DBXERR_NONE;
}

}  // namespace vnx
