// The virtual cursor and the metadata object without a server: rows filled in memory read
// through the cursor table, cell conversions, buffer bounds of the BLOB getters, and the
// metadata options and failures of an unconnected connection.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/sql_connection.h"
#include "tests/harness/connection_access.h"
#include "driver/sql_metadata.h"
#include "driver/virtual_cursor.h"
#include "runtime/exception.h"

using namespace vnx;

namespace {

TVNXFieldMapping Column(const char* name, std::uint16_t type, std::uint16_t subType = 0, std::uint32_t length = 0,
                        std::int16_t precision = 0) {
  TVNXFieldMapping f;
  f.Name = name;
  f.FieldType = type;
  f.SubType = subType;
  f.Length = length;
  f.Precision = precision;
  return f;
}

// A virtual cursor with one column of each kind the catalogue lists use, and two rows.
class VirtualCursor : public ::testing::Test {
 protected:
  void SetUp() override {
    cursor = new TVNXVirtualISQLCursor(nullptr, false);
    cursor->AddRef();
    cursor->Fields = {TVNXFieldMapping{},
                      Column("NAME", fldZSTRING, fldstFIXED, 8, 8),
                      Column("FLAG", fldBOOL, 0, 1),
                      Column("SMALL", fldINT16, 0, 2),
                      Column("NUMBER", fldINT32, 0, 4),
                      Column("BIG", fldINT64, 0, 8),
                      Column("REAL", fldFLOAT, 0, 8),
                      Column("MEMO", fldBLOB, fldstMEMO),
                      Column("BYTES", fldBLOB, fldstBINARY)};
    cursor->Fields[4].ReadOnly = true;
    cursor->Rows.push_back({std::string("first"), true, std::int16_t(-7), std::int32_t(70000),
                            std::int64_t(-9000000000LL), 2.5, std::string("hello"), std::uint8_t(1)});
    cursor->Rows.push_back({std::monostate{}, false, std::monostate{}, std::int32_t(-1)});  // a short row
  }
  void TearDown() override { cursor->Release(); }

  template <class F, class... A>
  SQLResult Call(F ISQLCursorVtbl::*op, A... args) {
    return (TVNXVirtualISQLCursor::Vtbl.*op)(cursor->AsInterface(), args...);
  }

  TVNXVirtualISQLCursor* cursor = nullptr;
};

TEST_F(VirtualCursor, WalksForwardAndStaysAtTheEnd) {
  std::uint16_t count = 0;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getColumnCount, &count), 0);
  EXPECT_EQ(count, 8);
  char text[16] = "untouched";
  std::int32_t blank = 0;
  // Before the first row every value is NULL and nothing is written.
  EXPECT_EQ(Call(&ISQLCursorVtbl::getString, std::uint16_t(1), text, &blank), 0);
  EXPECT_EQ(blank, -1);
  EXPECT_STREQ(text, "untouched");
  EXPECT_EQ(Call(&ISQLCursorVtbl::next), 0);
  EXPECT_EQ(Call(&ISQLCursorVtbl::next), 0);
  EXPECT_EQ(Call(&ISQLCursorVtbl::next), DBXERR_EOF);
  EXPECT_EQ(Call(&ISQLCursorVtbl::next), DBXERR_EOF);
  EXPECT_EQ(cursor->CurrentRow, 1);
  // Cells past the end of a short row read as NULL.
  std::uint32_t size = 99;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(7), &size, &blank), 0);
  EXPECT_EQ(blank, -1);
  EXPECT_EQ(size, 99u);

  TVNXVirtualISQLCursor empty(nullptr, false);
  EXPECT_EQ(empty.next(), DBXERR_EOF);
  EXPECT_EQ(empty.getColumnCount(&count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(VirtualCursor, DescribesColumnsAsStored) {
  char name[16];
  std::uint16_t length = 0, type = 0, sub = 0;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getColumnNameLength, std::uint16_t(4), &length), 0);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getColumnName, std::uint16_t(4), name), 0);
  EXPECT_STREQ(name, "NUMBER");
  // No 32-bit substitution for a 64-bit column asked for without its name.
  EXPECT_EQ(Call(&ISQLCursorVtbl::getColumnType, std::uint16_t(5), &type, &sub), 0);
  EXPECT_EQ(type, fldINT64);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getColumnType, std::uint16_t(7), &type, &sub), 0);
  EXPECT_EQ(type, fldBLOB);
  EXPECT_EQ(sub, fldstMEMO);
  std::int32_t flag = 5;
  Call(&ISQLCursorVtbl::isNullable, std::uint16_t(1), &flag);
  EXPECT_EQ(flag, 0);
  Call(&ISQLCursorVtbl::isAutoIncrement, std::uint16_t(1), &flag);
  EXPECT_EQ(flag, 0);
  Call(&ISQLCursorVtbl::isReadOnly, std::uint16_t(4), &flag);
  EXPECT_EQ(flag, -1);
  Call(&ISQLCursorVtbl::isReadOnly, std::uint16_t(3), &flag);
  EXPECT_EQ(flag, 0);
  Call(&ISQLCursorVtbl::isSearchable, std::uint16_t(7), &flag);
  EXPECT_EQ(flag, -1);
  Call(&ISQLCursorVtbl::isBlobSizeExact, std::uint16_t(7), &flag);
  EXPECT_EQ(flag, -1);
  std::uint32_t len = 0;
  std::int16_t precision = 0;
  Call(&ISQLCursorVtbl::getColumnLength, std::uint16_t(1), &len);
  Call(&ISQLCursorVtbl::getColumnPrecision, std::uint16_t(1), &precision);
  EXPECT_EQ(len, 8u);
  EXPECT_EQ(precision, 8);
  // Column numbers outside the columns fail with a text instead of reading elsewhere.
  EXPECT_EQ(Call(&ISQLCursorVtbl::getColumnName, std::uint16_t(0), name), DBXERR_FAILED);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getColumnType, std::uint16_t(9), &type, &sub), DBXERR_FAILED);
  EXPECT_EQ(cursor->ErrorMessage, "Invalid column number 9: the result has 8 column(s).");
  EXPECT_EQ(Call(&ISQLCursorVtbl::SetOption, 1u, OptionValue(5)), 0);
}

TEST_F(VirtualCursor, GettersConvertTheCells) {
  ASSERT_EQ(cursor->next(), 0);
  std::int32_t blank = 5;
  char text[16];
  EXPECT_EQ(Call(&ISQLCursorVtbl::getString, std::uint16_t(1), text, &blank), 0);
  EXPECT_EQ(blank, 0);
  EXPECT_STREQ(text, "first");
  // A Boolean is written as a whole 16-bit value.
  std::int16_t s = -1;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getShort, std::uint16_t(2), static_cast<void*>(&s), &blank), 0);
  EXPECT_EQ(s, 1);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getShort, std::uint16_t(3), static_cast<void*>(&s), &blank), 0);
  EXPECT_EQ(s, -7);
  std::int32_t l = 0;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getLong, std::uint16_t(4), static_cast<void*>(&l), &blank), 0);
  EXPECT_EQ(l, 70000);
  // A value that does not fit the getter's width is refused, not cut.
  EXPECT_EQ(Call(&ISQLCursorVtbl::getShort, std::uint16_t(4), static_cast<void*>(&s), &blank), DBXERR_FAILED);
  EXPECT_EQ(cursor->ErrorMessage, "The value 70000 of column 4 does not fit a 16-bit integer.");
  EXPECT_EQ(s, -7);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getLong, std::uint16_t(1), static_cast<void*>(&l), &blank), DBXERR_FAILED);
  EXPECT_EQ(cursor->ErrorMessage, "'first' is not a valid integer value");
  // A 64-bit column gets all eight bytes.
  std::int64_t big = 0;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getLong, std::uint16_t(5), static_cast<void*>(&big), &blank), 0);
  EXPECT_EQ(big, -9000000000LL);
  double d = 0;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getDouble, std::uint16_t(6), static_cast<void*>(&d), &blank), 0);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getDouble, std::uint16_t(4), static_cast<void*>(&d), &blank), 0);
  EXPECT_EQ(d, 70000.0);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getString, std::uint16_t(6), text, &blank), 0);
  EXPECT_STREQ(text, "2.5");
  // The getters of types the lists do not have write nothing and leave IsBlank alone.
  unsigned char raw[40];
  std::memset(raw, 0xAB, sizeof raw);
  blank = 7;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBcd, std::uint16_t(6), static_cast<void*>(raw), &blank), 0);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getTimeStamp, std::uint16_t(6), static_cast<void*>(raw), &blank), 0);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getDate, std::uint16_t(6), static_cast<void*>(raw), &blank), 0);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBytes, std::uint16_t(6), static_cast<void*>(raw), &blank), 0);
  EXPECT_EQ(blank, 7);
  EXPECT_EQ(raw[0], 0xAB);

  ASSERT_EQ(cursor->next(), 0);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getShort, std::uint16_t(2), static_cast<void*>(&s), &blank), 0);
  EXPECT_EQ(s, 0);
  s = 42;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getShort, std::uint16_t(3), static_cast<void*>(&s), &blank), 0);
  EXPECT_EQ(blank, -1);
  EXPECT_EQ(s, 42);
}

TEST_F(VirtualCursor, BlobGettersStayWithinTheBuffer) {
  ASSERT_EQ(cursor->next(), 0);
  std::uint32_t size = 0;
  std::int32_t blank = 5;
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(7), &size, &blank), 0);
  EXPECT_EQ(blank, 0);
  EXPECT_EQ(size, 5u);
  // A buffer of exactly the reported size gets the text and nothing after it.
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBlob, std::uint16_t(7), static_cast<void*>(buffer), &blank, size), 0);
  EXPECT_EQ(std::string(buffer, 6), "hello#");
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBlob, std::uint16_t(7), static_cast<void*>(buffer), &blank, 8u), 0);
  EXPECT_STREQ(buffer, "hello");
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBlob, std::uint16_t(7), static_cast<void*>(buffer), &blank, 3u), 0);
  EXPECT_EQ(std::string(buffer, 4), "hel#");
  // A binary BLOB was not copied: its cell is the number 1 and getBlob writes nothing.
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBlobSize, std::uint16_t(8), &size, &blank), 0);
  EXPECT_EQ(size, 1u);
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Call(&ISQLCursorVtbl::getBlob, std::uint16_t(8), static_cast<void*>(buffer), &blank, 8u), 0);
  EXPECT_EQ(buffer[0], '#');
  // A string longer than its column's description is refused rather than overrunning.
  cursor->Rows[0][0] = std::string("far too long");
  char text[16];
  EXPECT_EQ(Call(&ISQLCursorVtbl::getString, std::uint16_t(1), text, &blank), DBXERR_FAILED);
}

TEST(VirtualCells, ConversionsBetweenCellKinds) {
  EXPECT_EQ(CellToText(std::int16_t(-3), fldINT16), "-3");
  EXPECT_EQ(CellToText(std::uint8_t(1), fldBLOB), "1");
  EXPECT_EQ(CellToText(true, fldBOOL), "true");
  EXPECT_EQ(CellToText(0.1, fldFLOAT), "0.1");
  EXPECT_EQ(CellToText(TVNXCell{}, fldZSTRING), "");
  // A date-time cell is written in the form of its column's type (6 May 2004 07:08:09).
  const TVNXDateTimeCell moment{38113.0 + (7 * 3600 + 8 * 60 + 9) / 86400.0};
  EXPECT_EQ(CellToText(moment, fldDATE), "2004-05-06");
  EXPECT_EQ(CellToText(moment, fldTIME), "07:08:09");
  EXPECT_EQ(CellToText(moment, fldTIMESTAMP), "2004-05-06 07:08:09");
  EXPECT_EQ(CellToInt64(moment), 38113);

  EXPECT_EQ(CellToInt64(std::string("-12")), -12);
  EXPECT_EQ(CellToInt64(3.0), 3);
  EXPECT_THROW(CellToInt64(3.5), rt::EConvertError);
  EXPECT_THROW(CellToInt64(1e30), rt::EConvertError);
  EXPECT_THROW(CellToInt64(std::string("12x")), rt::EConvertError);
  EXPECT_EQ(CellToDouble(std::string("1.25")), 1.25);
  EXPECT_EQ(CellToDouble(std::int64_t(-4)), -4.0);
  EXPECT_THROW(CellToDouble(std::string("abc")), rt::EConvertError);
}

TEST(VirtualCells, ImportNeedsASource) {
  TVNXVirtualISQLCursor cursor(nullptr, false);
  EXPECT_EQ(cursor.ImportData(), DBXERR_FAILED);
  EXPECT_EQ(cursor.ErrorMessage, "The virtual cursor has no cursor to import from.");
  EXPECT_THROW(TVNXVirtualISQLCursor(nullptr, true), rt::EDatabaseError);
}

// --- The metadata object of a connection that is not connected ---------------------------

class MetaDataOffline : public ::testing::Test {
 protected:
  void SetUp() override {
    conn = new TVNXISQLConnection(nullptr);
    conn->AddRef();
    ASSERT_EQ(conn->getSQLMetaData(&raw), 0);
    ASSERT_NE(raw, nullptr);
    meta = static_cast<TVNXISQLMetaData*>(TInterfacedObject::FromInterface(raw));
  }
  void TearDown() override {
    meta->Release();
    conn->Release();
  }
  template <class F, class... A>
  SQLResult Call(F ISQLMetaDataVtbl::*op, A... args) {
    return (TVNXISQLMetaData::Vtbl.*op)(raw, args...);
  }

  TVNXISQLConnection* conn = nullptr;
  void* raw = nullptr;
  TVNXISQLMetaData* meta = nullptr;
};

TEST_F(MetaDataOffline, OptionsOfEveryOrdinal) {
  EXPECT_EQ(meta->RefCount(), 1);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::SetOption, eMetaCatalogName, reinterpret_cast<OptionValue>("cat")), 0);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::SetOption, eMetaSchemaName, reinterpret_cast<OptionValue>("public")), 0);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::SetOption, 99u, OptionValue(1)), 0);
  char text[32];
  std::int16_t length = 0;
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::GetOption, eMetaCatalogName, static_cast<void*>(text), std::int16_t(31), &length), 0);
  EXPECT_STREQ(text, "cat");
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::GetOption, eMetaSchemaName, static_cast<void*>(text), std::int16_t(3), &length), 0);
  EXPECT_STREQ(text, "pub");
  EXPECT_EQ(length, 7);
  vnx::TVNXConnectionTestAccess::Database(*conn) = "sales";
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::GetOption, eMetaDatabaseName, static_cast<void*>(text), std::int16_t(31), &length), 0);
  EXPECT_STREQ(text, "sales");
  EXPECT_EQ(length, 5);  // without the terminator
  // Not connected: the connection's answer, an empty text and a failure.
  length = 9;
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::GetOption, eMetaDatabaseVersion, static_cast<void*>(text), std::int16_t(31), &length),
            DBXERR_FAILED);
  EXPECT_STREQ(text, "");

  auto int32Option = [&](std::uint32_t option, std::int16_t expectedLength) {
    std::int32_t v = -99;
    length = -5;
    EXPECT_EQ(Call(&ISQLMetaDataVtbl::GetOption, option, static_cast<void*>(&v), std::int16_t(4), &length), 0);
    EXPECT_EQ(length, expectedLength) << option;
    return v;
  };
  vnx::TVNXConnectionTestAccess::Settings(*conn).IsolationLevel = 2;
  EXPECT_EQ(int32Option(eMetaTransactionIsoLevel, -5), 1);
  vnx::TVNXConnectionTestAccess::Settings(*conn).IsolationLevel = 1;
  EXPECT_EQ(int32Option(eMetaTransactionIsoLevel, -5), 0);
  EXPECT_EQ(int32Option(eMetaMaxObjectNameLength, 4), 64);
  EXPECT_EQ(int32Option(eMetaMaxColumnsInTable, 4), 1600);
  EXPECT_EQ(int32Option(eMetaMaxColumnsInSelect, 4), 2147483647);
  EXPECT_EQ(int32Option(eMetaMaxRowSize, 4), 2147483647);
  EXPECT_EQ(int32Option(eMetaMaxSQLLength, -5), -99);
  EXPECT_EQ(int32Option(77, -5), -99);

  auto byteOption = [&](std::uint32_t option) {
    unsigned char b = 0xEE;
    length = 0;
    EXPECT_EQ(Call(&ISQLMetaDataVtbl::GetOption, option, static_cast<void*>(&b), std::int16_t(1), &length), 0);
    EXPECT_EQ(length, 1) << option;
    return static_cast<int>(b);
  };
  EXPECT_EQ(byteOption(eMetaSupportsTransaction), 1);
  EXPECT_EQ(byteOption(eMetaObjectQuoteChar), '"');
  EXPECT_EQ(byteOption(eMetaSQLEscapeChar), '\\');
  EXPECT_EQ(byteOption(eMetaProcSupportsCursor), 1);
  EXPECT_EQ(byteOption(eMetaProcSupportsCursors), 1);
  vnx::TVNXConnectionTestAccess::Server(*conn).VersionNum = 70400;
  EXPECT_EQ(byteOption(eMetaSupportsTransactions), 0);
  vnx::TVNXConnectionTestAccess::Server(*conn).VersionNum = 80000;
  EXPECT_EQ(byteOption(eMetaSupportsTransactions), 1);
}

TEST_F(MetaDataOffline, ListsFailWithoutAConnectionAndGiveNoCursor) {
  void* cursor = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::getTables, "o'x", 0u, &cursor), DBXERR_FAILED);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(meta->ErrorMessage, "No PPGconn Connection handle.");
  cursor = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::getColumns, "t", "c", 0u, &cursor), DBXERR_FAILED);
  EXPECT_EQ(cursor, nullptr);
  cursor = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::getProcedureParams, "p", nullptr, &cursor), DBXERR_FAILED);
  EXPECT_EQ(cursor, nullptr);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::getObjectList, eObjTypeSynonym, &cursor), DBXERR_FAILED);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::getProcedures, nullptr, 0u, &cursor), DBXERR_FAILED);
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::getIndices, nullptr, 0u, &cursor), DBXERR_FAILED);
  std::int16_t len = 0;
  EXPECT_EQ(Call(&ISQLMetaDataVtbl::getErrorMessageLen, &len), 0);
  EXPECT_EQ(len, 29);
}

}  // namespace
