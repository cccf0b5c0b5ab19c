// The dbExpress interfaces as the application sees them: interface identities and the
// tables of operations behind each interface pointer, in slot order. An interface pointer
// is the address of an object whose first field points at one of these tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/dbx_types.h"

#if defined(__i386__)
#define VNX_STDCALL __attribute__((stdcall))
// Borland's "register" convention for one argument: it arrives in EAX.
#define VNX_REGISTER __attribute__((regparm(1)))
#else
#define VNX_STDCALL
#define VNX_REGISTER
#endif

namespace vnx {

struct TGUID {
  std::uint32_t D1;
  std::uint16_t D2;
  std::uint16_t D3;
  std::uint8_t D4[8];
};
static_assert(sizeof(TGUID) == 16);

inline bool operator==(const TGUID& a, const TGUID& b) noexcept {
  if (a.D1 != b.D1 || a.D2 != b.D2 || a.D3 != b.D3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.D4[i] != b.D4[i]) return false;
  return true;
}

using HResult = std::int32_t;
inline constexpr HResult S_OK = 0;
inline constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002u);

inline constexpr TGUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr TGUID IID_ISQLDriver = {0x5AE8D6C0, 0x260A, 0x4B9C, {0x87, 0x71, 0x87, 0xBB, 0x0A, 0x34, 0x30, 0x85}};
inline constexpr TGUID IID_ISQLConnection = {0xE263C376, 0x97F5, 0x4CCD, {0xB6, 0x7C, 0xD8, 0x56, 0x7A, 0x52, 0xFB, 0x46}};
inline constexpr TGUID IID_ISQLCommand = {0xB8E1243E, 0x1FB3, 0x42A5, {0x9B, 0x5C, 0x27, 0xAB, 0x8E, 0x6E, 0xE6, 0x4B}};
inline constexpr TGUID IID_ISQLCursor = {0x349D6C53, 0x07F3, 0x476B, {0xA5, 0xE5, 0x34, 0x36, 0xB8, 0xA5, 0x0D, 0xFD}};
inline constexpr TGUID IID_ISQLMetaData = {0x82F3B2D6, 0x49B4, 0x4044, {0xAC, 0x5A, 0x20, 0x14, 0x12, 0xE8, 0x3B, 0xCB}};

// The trace callback the application registers (eConnCallBack).
using TSQLCallbackEvent = std::int32_t(VNX_STDCALL*)(std::int32_t callType, void* cbInfo);

// Every operation takes the interface pointer first. 16-bit arguments occupy a full stack
// slot, as the stdcall convention widens them.
struct IUnknownVtbl {
  HResult(VNX_STDCALL* QueryInterface)(void* self, const TGUID* iid, void** obj);
  std::int32_t(VNX_STDCALL* AddRef)(void* self);
  std::int32_t(VNX_STDCALL* Release)(void* self);
};

struct ISQLDriverVtbl {
  IUnknownVtbl Unknown;
  SQLResult(VNX_STDCALL* getSQLConnection)(void* self, void** connection);
  SQLResult(VNX_STDCALL* SetOption)(void* self, std::uint32_t option, OptionValue value);
  SQLResult(VNX_STDCALL* GetOption)(void* self, std::uint32_t option, void* propValue,
                                    std::int16_t maxLength, std::int16_t* length);
};

struct ISQLConnectionVtbl {
  IUnknownVtbl Unknown;
  SQLResult(VNX_STDCALL* connect)(void* self, const char* serverName, const char* userName,
                                  const char* password);
  SQLResult(VNX_STDCALL* disconnect)(void* self);
  SQLResult(VNX_STDCALL* getSQLCommand)(void* self, void** command);
  SQLResult(VNX_STDCALL* getSQLMetaData)(void* self, void** metaData);
  SQLResult(VNX_STDCALL* SetOption)(void* self, std::uint32_t option, OptionValue value);
  SQLResult(VNX_STDCALL* GetOption)(void* self, std::uint32_t option, void* propValue,
                                    std::int16_t maxLength, std::int16_t* length);
  SQLResult(VNX_STDCALL* beginTransaction)(void* self, TTransactionDesc* tranID);
  SQLResult(VNX_STDCALL* commit)(void* self, TTransactionDesc* tranID);
  SQLResult(VNX_STDCALL* rollback)(void* self, TTransactionDesc* tranID);
  SQLResult(VNX_STDCALL* getErrorMessage)(void* self, char* error);
  SQLResult(VNX_STDCALL* getErrorMessageLen)(void* self, std::int16_t* errorLen);
};

struct ISQLCommandVtbl {
  IUnknownVtbl Unknown;
  SQLResult(VNX_STDCALL* SetOption)(void* self, std::uint32_t option, OptionValue value);
  SQLResult(VNX_STDCALL* GetOption)(void* self, std::uint32_t option, void* propValue,
                                    std::int16_t maxLength, std::int16_t* length);
  SQLResult(VNX_STDCALL* setParameter)(void* self, std::uint16_t parameterNumber,
                                       std::uint16_t childPosition, std::uint32_t paramType,
                                       std::uint16_t logicalType, std::uint16_t subType,
                                       std::int32_t precision, std::int32_t scale,
                                       std::uint32_t length, void* buffer, std::int32_t indicator);
  SQLResult(VNX_STDCALL* getParameter)(void* self, std::uint16_t parameterNumber,
                                       std::uint16_t childPosition, void* value,
                                       std::int32_t length, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* prepare)(void* self, const char* sql, std::uint16_t paramCount);
  SQLResult(VNX_STDCALL* execute)(void* self, void** cursor);
  SQLResult(VNX_STDCALL* executeImmediate)(void* self, const char* sql, void** cursor);
  SQLResult(VNX_STDCALL* getNextCursor)(void* self, void** cursor);
  SQLResult(VNX_STDCALL* getRowsAffected)(void* self, std::uint32_t* rows);
  SQLResult(VNX_STDCALL* close)(void* self);
  SQLResult(VNX_STDCALL* getErrorMessage)(void* self, char* error);
  SQLResult(VNX_STDCALL* getErrorMessageLen)(void* self, std::int16_t* errorLen);
};

struct ISQLCursorVtbl {
  IUnknownVtbl Unknown;
  SQLResult(VNX_STDCALL* SetOption)(void* self, std::uint32_t option, OptionValue value);
  SQLResult(VNX_STDCALL* GetOption)(void* self, std::uint32_t option, void* propValue,
                                    std::int16_t maxLength, std::int16_t* length);
  SQLResult(VNX_STDCALL* getErrorMessage)(void* self, char* error);
  SQLResult(VNX_STDCALL* getErrorMessageLen)(void* self, std::int16_t* errorLen);
  SQLResult(VNX_STDCALL* getColumnCount)(void* self, std::uint16_t* columns);
  SQLResult(VNX_STDCALL* getColumnNameLength)(void* self, std::uint16_t column, std::uint16_t* length);
  SQLResult(VNX_STDCALL* getColumnName)(void* self, std::uint16_t column, char* name);
  SQLResult(VNX_STDCALL* getColumnType)(void* self, std::uint16_t column, std::uint16_t* type,
                                        std::uint16_t* subType);
  SQLResult(VNX_STDCALL* getColumnLength)(void* self, std::uint16_t column, std::uint32_t* length);
  SQLResult(VNX_STDCALL* getColumnPrecision)(void* self, std::uint16_t column, std::int16_t* precision);
  SQLResult(VNX_STDCALL* getColumnScale)(void* self, std::uint16_t column, std::int16_t* scale);
  SQLResult(VNX_STDCALL* isNullable)(void* self, std::uint16_t column, std::int32_t* nullable);
  SQLResult(VNX_STDCALL* isAutoIncrement)(void* self, std::uint16_t column, std::int32_t* autoIncrement);
  SQLResult(VNX_STDCALL* isReadOnly)(void* self, std::uint16_t column, std::int32_t* readOnly);
  SQLResult(VNX_STDCALL* isSearchable)(void* self, std::uint16_t column, std::int32_t* searchable);
  SQLResult(VNX_STDCALL* isBlobSizeExact)(void* self, std::uint16_t column, std::int32_t* isExact);
  SQLResult(VNX_STDCALL* next)(void* self);
  SQLResult(VNX_STDCALL* getString)(void* self, std::uint16_t column, char* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getShort)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getLong)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getDouble)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getBcd)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getTimeStamp)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getTime)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getDate)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getBytes)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getBlobSize)(void* self, std::uint16_t column, std::uint32_t* length,
                                      std::int32_t* isBlank);
  SQLResult(VNX_STDCALL* getBlob)(void* self, std::uint16_t column, void* value, std::int32_t* isBlank,
                                  std::uint32_t length);
};

struct ISQLMetaDataVtbl {
  IUnknownVtbl Unknown;
  SQLResult(VNX_STDCALL* SetOption)(void* self, std::uint32_t option, OptionValue value);
  SQLResult(VNX_STDCALL* GetOption)(void* self, std::uint32_t option, void* propValue,
                                    std::int16_t maxLength, std::int16_t* length);
  SQLResult(VNX_STDCALL* getObjectList)(void* self, std::uint32_t objectType, void** cursor);
  SQLResult(VNX_STDCALL* getTables)(void* self, const char* tableName, std::uint32_t tableType,
                                    void** cursor);
  SQLResult(VNX_STDCALL* getProcedures)(void* self, const char* procedureName, std::uint32_t procType,
                                        void** cursor);
  SQLResult(VNX_STDCALL* getColumns)(void* self, const char* tableName, const char* columnName,
                                     std::uint32_t columnType, void** cursor);
  SQLResult(VNX_STDCALL* getProcedureParams)(void* self, const char* procedureName,
                                             const char* paramName, void** cursor);
  SQLResult(VNX_STDCALL* getIndices)(void* self, const char* tableName, std::uint32_t indexType,
                                     void** cursor);
  SQLResult(VNX_STDCALL* getErrorMessage)(void* self, char* error);
  SQLResult(VNX_STDCALL* getErrorMessageLen)(void* self, std::int16_t* errorLen);
};

// Slot positions are part of the contract.
#define VNX_SLOT(vtbl, field, index) static_assert(offsetof(vtbl, field) == (index) * sizeof(void*))
VNX_SLOT(IUnknownVtbl, Release, 2);
VNX_SLOT(ISQLDriverVtbl, getSQLConnection, 3);
VNX_SLOT(ISQLDriverVtbl, GetOption, 5);
static_assert(sizeof(ISQLDriverVtbl) == 6 * sizeof(void*));
VNX_SLOT(ISQLConnectionVtbl, connect, 3);
VNX_SLOT(ISQLConnectionVtbl, SetOption, 7);
VNX_SLOT(ISQLConnectionVtbl, beginTransaction, 9);
VNX_SLOT(ISQLConnectionVtbl, getErrorMessageLen, 13);
static_assert(sizeof(ISQLConnectionVtbl) == 14 * sizeof(void*));
VNX_SLOT(ISQLCommandVtbl, SetOption, 3);
VNX_SLOT(ISQLCommandVtbl, setParameter, 5);
VNX_SLOT(ISQLCommandVtbl, execute, 8);
VNX_SLOT(ISQLCommandVtbl, close, 12);
VNX_SLOT(ISQLCommandVtbl, getErrorMessageLen, 14);
static_assert(sizeof(ISQLCommandVtbl) == 15 * sizeof(void*));
VNX_SLOT(ISQLCursorVtbl, SetOption, 3);
VNX_SLOT(ISQLCursorVtbl, getColumnCount, 7);
VNX_SLOT(ISQLCursorVtbl, isBlobSizeExact, 18);
VNX_SLOT(ISQLCursorVtbl, next, 19);
VNX_SLOT(ISQLCursorVtbl, getString, 20);
VNX_SLOT(ISQLCursorVtbl, getBytes, 28);
VNX_SLOT(ISQLCursorVtbl, getBlob, 30);
static_assert(sizeof(ISQLCursorVtbl) == 31 * sizeof(void*));
VNX_SLOT(ISQLMetaDataVtbl, getObjectList, 5);
VNX_SLOT(ISQLMetaDataVtbl, getIndices, 10);
VNX_SLOT(ISQLMetaDataVtbl, getErrorMessageLen, 12);
static_assert(sizeof(ISQLMetaDataVtbl) == 13 * sizeof(void*));
#undef VNX_SLOT

}  // namespace vnx

struct pg_conn;  // libpq's connection handle (PGconn)

// The library's exports.
extern "C" {
vnx::SQLResult VNX_STDCALL getSQLDriverPOSTGRESQL(const char* vendorLib, const char* resourceFile,
                                                  void** driver);
void VNX_REGISTER CancelQuery(pg_conn* connection);
}
