// Value records, type codes, result codes and option ordinals shared with
// dbExpress applications. Every record here crosses the C ABI, so its layout is pinned.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vnx {

using SQLResult = std::uint16_t;

// Result codes.
inline constexpr SQLResult DBXERR_NONE = 0x0000;
inline constexpr SQLResult DBXERR_NOT_CREATED = 0x0001;        // object could not be created
inline constexpr SQLResult DBXERR_WRONG_PARAM_TYPE = 0x0002;   // unsupported type in a conversion
inline constexpr SQLResult DBXERR_NO_OUTPUT_CURSOR = 0x0003;
inline constexpr SQLResult DBXERR_INVALID_CONVERSION = 0x0004; // date/time conversion failed
inline constexpr SQLResult DBXERR_NOT_SUPPORTED = 0x0005;
inline constexpr SQLResult DBXERR_INVALID_PARAM_NUMBER = 0x0007;
inline constexpr SQLResult DBXERR_EOF = 0x000A;
inline constexpr SQLResult DBXERR_INVALIDTXNISOLEVEL = 0x000F;
inline constexpr SQLResult DBXERR_CONNECTION_NOT_CREATED = 0x0016;
inline constexpr SQLResult DBXERR_FAILED = 0x2000;

// Field types (getColumnType, setParameter's logical type).
enum : std::uint16_t {
  fldUNKNOWN = 0, fldZSTRING = 1, fldDATE = 2, fldBLOB = 3, fldBOOL = 4, fldINT16 = 5,
  fldINT32 = 6, fldFLOAT = 7, fldBCD = 8, fldBYTES = 9, fldTIME = 10, fldTIMESTAMP = 11,
  fldUINT16 = 12, fldUINT32 = 13, fldFLOATIEEE = 14, fldVARBYTES = 15, fldLOCKINFO = 16,
  fldCURSOR = 17, fldINT64 = 18, fldUINT64 = 19, fldADT = 20, fldARRAY = 21, fldREF = 22,
  fldTABLE = 23, fldDATETIME = 24, fldFMTBCD = 25, fldWIDESTRING = 26,
};

// Field subtypes.
enum : std::uint16_t {
  fldstNONE = 0, fldstMONEY = 21, fldstMEMO = 22, fldstBINARY = 23, fldstFMTMEMO = 24,
  fldstOLEOBJ = 25, fldstGRAPHIC = 26, fldstFIXED = 31, fldstUNICODE = 32,
};

// Transaction isolation levels of TTransactionDesc.
enum : std::uint32_t { xilREADCOMMITTED = 0, xilREPEATABLEREAD = 1, xilDIRTYREAD = 2, xilCUSTOM = 3 };

// Driver option ordinals.
enum : std::uint32_t { eDrvBlobSize = 0, eDrvCallBack = 1, eDrvCallBackInfo = 2 };

// Connection option ordinals.
enum : std::uint32_t {
  eConnAutoCommit = 0, eConnBlockingMode = 1, eConnBlobSize = 2, eConnRoleName = 3,
  eConnTxnIsoLevel = 6, eConnNativeHandle = 7, eConnServerVersion = 8, eConnCallBack = 9,
  eConnHostName = 10, eConnDatabaseName = 11, eConnCallBackInfo = 12, eConnServerCharSet = 15,
  eConnObjectQuoteChar = 18, eConnServerPort = 23, eConnTrimChar = 25,
  eConnDBX4Compatible = 42,  // GetOption only: switches the DBX4Compatible mapping on
};

// Command option ordinals.
enum : std::uint32_t {
  eCommRowsetSize = 0, eCommBlockRead = 2, eCommBlockWrite = 3, eCommParamCount = 4,
  eCommNativeHandle = 5, eCommStoredProc = 7,
};

// Metadata option ordinals.
enum : std::uint32_t {
  eMetaCatalogName = 0, eMetaSchemaName = 1, eMetaDatabaseName = 2, eMetaDatabaseVersion = 3,
  eMetaTransactionIsoLevel = 4, eMetaSupportsTransaction = 5, eMetaMaxObjectNameLength = 6,
  eMetaMaxColumnsInTable = 7, eMetaMaxColumnsInSelect = 8, eMetaMaxRowSize = 9,
  eMetaMaxSQLLength = 10, eMetaObjectQuoteChar = 11, eMetaSQLEscapeChar = 12,
  eMetaProcSupportsCursor = 13, eMetaProcSupportsCursors = 14, eMetaSupportsTransactions = 15,
};

// Object types of getObjectList.
enum : std::uint32_t {
  eObjTypeDatabase = 0, eObjTypeDataType = 1, eObjTypeTable = 2, eObjTypeView = 3,
  eObjTypeSynonym = 4, eObjTypeProcedure = 5, eObjTypeUser = 6, eObjTypeRole = 7, eObjTypeUDT = 8,
};

// Parameter directions of setParameter.
enum : std::uint32_t {
  paramUNKNOWN = 0, paramIN = 1, paramOUT = 2, paramINOUT = 3, paramRET = 4,
};

// Trace callback call type.
inline constexpr std::int32_t cbTRACE = 27;

// Option values travel in one register-sized slot: 32 bits on i386, where dbExpress
// defines them, and pointer-sized elsewhere so that callbacks and handles fit.
using OptionValue = std::intptr_t;
static_assert(sizeof(OptionValue) == sizeof(void*));

#pragma pack(push, 1)

// Packed decimal: two digits a byte, first digit in the high nibble, left-aligned.
struct TBcd {
  std::uint8_t Precision;
  std::uint8_t SignSpecialPlaces;  // bit 7 negative, bit 6 special, bits 0-5 decimal places
  std::uint8_t Fraction[32];
};

struct TSQLTimeStamp {
  std::int16_t Year;
  std::uint16_t Month;
  std::uint16_t Day;
  std::uint16_t Hour;
  std::uint16_t Minute;
  std::uint16_t Second;
  std::uint32_t Fractions;  // milliseconds
};

struct TTransactionDesc {
  std::uint32_t TransactionID;
  std::uint32_t GlobalID;
  std::uint32_t IsolationLevel;
  std::uint32_t CustomIsolation;
};

struct SQLTRACEDesc {
  char pszTrace[1024];
  std::int32_t eTraceCat;
  std::uintptr_t ClientData;  // the application's callback info; a pointer on 64-bit builds
  std::uint16_t uTotalMsgLen;
};

#pragma pack(pop)

static_assert(sizeof(TBcd) == 34);
static_assert(offsetof(TBcd, SignSpecialPlaces) == 1);
static_assert(offsetof(TBcd, Fraction) == 2);
static_assert(sizeof(TSQLTimeStamp) == 16);
static_assert(offsetof(TSQLTimeStamp, Month) == 2);
static_assert(offsetof(TSQLTimeStamp, Second) == 10);
static_assert(offsetof(TSQLTimeStamp, Fractions) == 12);
static_assert(sizeof(TTransactionDesc) == 16);
static_assert(offsetof(TTransactionDesc, IsolationLevel) == 8);
static_assert(offsetof(SQLTRACEDesc, eTraceCat) == 1024);
static_assert(offsetof(SQLTRACEDesc, ClientData) == 1028);
static_assert(offsetof(SQLTRACEDesc, uTotalMsgLen) == 1028 + sizeof(void*));
static_assert(sizeof(SQLTRACEDesc) == 1030 + sizeof(void*));  // 1034 on i386

}  // namespace vnx
