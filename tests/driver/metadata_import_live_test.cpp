// Importing result cursors into virtual cursors, in-process against the server: the cell
// each column type gives, empty results, unsupported column types and failing source calls.
#include <gtest/gtest.h>

#include <string>

#include "driver/sql_connection.h"
#include "driver/sql_cursor.h"
#include "driver/sql_driver.h"
#include "driver/virtual_cursor.h"
#include "libpq/libpq_api.h"
#include "runtime/exception.h"
#include "tests/harness/test_server.h"

using namespace vnx;
using vnxtest::TestServer;

namespace {

class ImportLive : public ::testing::Test {
 protected:
  void SetUp() override {
    VNX_REQUIRE_SERVER();
    driver = new TVNXISQLDriver(VNX_TEST_LIBPQ, "");
    driver->AddRef();
    conn = new TVNXISQLConnection(driver);
    conn->AddRef();
    ASSERT_EQ(conn->connect(TestServer::Get().SocketServerName().c_str(), vnxtest::kRole83, ""), 0)
        << conn->ErrorMessage;
  }
  void TearDown() override {
    if (conn) {
      conn->disconnect();
      conn->Release();
    }
    if (driver) driver->Release();
  }

  // A result cursor over a query, as the metadata object makes it; counted by the caller.
  InterfaceRef<TVNXISQLCursor> Source(const std::string& sql) {
    PGresult* result = nullptr;
    std::string error;
    EXPECT_TRUE(conn->ExecQuery(sql, result, error)) << error;
    return InterfaceRef<TVNXISQLCursor>(new TVNXISQLCursor(nullptr, conn, sql, result, 0));
  }

  TVNXISQLDriver* driver = nullptr;
  TVNXISQLConnection* conn = nullptr;
};

TEST_F(ImportLive, EachColumnTypeGivesItsCell) {
  InterfaceRef<TVNXISQLCursor> src = Source(
      "select 7::int4 as i4, 'abc'::name as vc, true as b, (-2)::int2 as i2, 1.5::float8 as f, "
      "'\\\\001'::bytea as ba, 9000000000::int8 as i8, null::int4 as n, '2004-05-06'::date as d, "
      "'07:08:09'::time as t, null::bytea as nb, 'x'::\"char\" as ch "
      "union all select null, null, false, null, null, null, null, 1, null, null, null, null");
  InterfaceRef<TVNXVirtualISQLCursor> v(new TVNXVirtualISQLCursor(src.get(), true));
  ASSERT_EQ(v->RowCount(), 2);
  EXPECT_EQ(v->Fields.size(), 13u);
  const TVNXRow& r = v->Rows[0];
  ASSERT_EQ(r.size(), 12u);
  EXPECT_EQ(std::get<std::int32_t>(r[0]), 7);
  EXPECT_EQ(std::get<std::string>(r[1]), "abc");
  EXPECT_EQ(std::get<bool>(r[2]), true);
  EXPECT_EQ(std::get<std::int16_t>(r[3]), -2);
  EXPECT_EQ(std::get<double>(r[4]), 1.5);
  EXPECT_EQ(std::get<std::uint8_t>(r[5]), 1);  // a BLOB is not copied
  EXPECT_EQ(std::get<std::int64_t>(r[6]), 9000000000LL);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(r[7]));
  EXPECT_EQ(CellToText(r[8], fldDATE), "2004-05-06");
  EXPECT_EQ(CellToText(r[9], fldTIME), "07:08:09");
  EXPECT_TRUE(std::holds_alternative<std::monostate>(r[10]));  // a NULL BLOB stays NULL
  EXPECT_EQ(std::get<std::string>(r[11]), "x");
  const TVNXRow& second = v->Rows[1];
  EXPECT_EQ(std::get<bool>(second[2]), false);
  EXPECT_EQ(std::get<std::int32_t>(second[7]), 1);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(second[1]));

  // Through the interface: the BLOB reads as the text of the number 1.
  ASSERT_EQ(v->next(), 0);
  std::uint32_t size = 0;
  std::int32_t blank = 0;
  EXPECT_EQ(v->getBlobSize(6, &size, &blank), 0);
  EXPECT_EQ(size, 1u);
  std::int64_t big = 0;
  EXPECT_EQ(v->getLong(7, &big, &blank), 0);
  EXPECT_EQ(big, 9000000000LL);
  // The source is not needed once the rows are copied.
  v->SourceCursor.reset();
  src.reset();
  EXPECT_EQ(v->next(), 0);
  EXPECT_EQ(v->next(), DBXERR_EOF);
}

TEST_F(ImportLive, NoRowsImportsNothing) {
  InterfaceRef<TVNXISQLCursor> src = Source("select 1::int4 as a, 2.5::numeric as b where false");
  InterfaceRef<TVNXVirtualISQLCursor> v(new TVNXVirtualISQLCursor(src.get(), false));
  EXPECT_EQ(v->ImportData(), 0);
  EXPECT_EQ(v->RowCount(), 0);
  EXPECT_EQ(v->next(), DBXERR_EOF);
  std::uint16_t count = 0;
  v->getColumnCount(&count);
  EXPECT_EQ(count, 2);
}

TEST_F(ImportLive, UnsupportedColumnTypesFailTheImport) {
  {
    InterfaceRef<TVNXISQLCursor> src = Source("select 1::int4 as a, 2.5::numeric(4,1) as b");
    InterfaceRef<TVNXVirtualISQLCursor> v(new TVNXVirtualISQLCursor(src.get(), false));
    EXPECT_EQ(v->ImportData(), 2);
    EXPECT_EQ(v->ErrorMessage, "Field type [25] is not supported on virtual cursors.");
    EXPECT_EQ(v->RowCount(), 0);
  }
  {
    InterfaceRef<TVNXISQLCursor> src = Source("select now()::timestamp as ts");
    InterfaceRef<TVNXVirtualISQLCursor> v(new TVNXVirtualISQLCursor(src.get(), false));
    EXPECT_EQ(v->ImportData(), 2);
    EXPECT_EQ(v->ErrorMessage, "Field type [24] is not supported on virtual cursors.");
  }
  // Importing at creation raises the same text.
  InterfaceRef<TVNXISQLCursor> src = Source("select 2.5::numeric as b");
  try {
    TVNXVirtualISQLCursor v(src.get(), true);
    ADD_FAILURE() << "no failure";
  } catch (const rt::EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Field type [25] is not supported on virtual cursors.");
  }
}

TEST_F(ImportLive, AFailingSourceCallReportsTheSourcesText) {
  InterfaceRef<TVNXISQLCursor> src = Source("select 'abc'::text as t");
  InterfaceRef<TVNXVirtualISQLCursor> v(new TVNXVirtualISQLCursor(src.get(), false));
  v->Fields[1].FieldType = fldINT32;  // read as a number, which the text is not
  EXPECT_EQ(v->ImportData(), DBXERR_FAILED);
  EXPECT_EQ(v->ErrorMessage, "'abc' is not a valid integer value");
  EXPECT_EQ(v->RowCount(), 0);
}

TEST_F(ImportLive, LongTextsAreCopiedWhole) {
  InterfaceRef<TVNXISQLCursor> src = Source("select repeat('x', 40000)::varchar as v");
  InterfaceRef<TVNXVirtualISQLCursor> v(new TVNXVirtualISQLCursor(src.get(), false));
  v->Fields[1].FieldType = fldZSTRING;  // the memo read as a string, beyond the import buffer
  v->Fields[1].SubType = 0;
  ASSERT_EQ(v->ImportData(), 0) << v->ErrorMessage;
  EXPECT_EQ(std::get<std::string>(v->Rows[0][0]).size(), 40000u);
}

}  // namespace
