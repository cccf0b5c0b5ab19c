// The metadata object against the server, through the interface tables: catalogue lists of
// tables, procedures, indices and objects, the reworked column and parameter lists, a server
// without schemas, patterns with quotes, and both ways of reading backslashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/harness/live_session.h"

using namespace vnxtest;
using vnx::ISQLConnectionVtbl;
using vnx::ISQLCursorVtbl;
using vnx::ISQLMetaDataVtbl;

namespace {

constexpr const char* kCreateObjects = R"SQL(
set role vnx83;
drop table if exists public.meta_cols, public.meta_serial, public."meta_o'q", public."mé_t" cascade;
create table public.meta_cols (c_int int4, c_varchar varchar(30), c_num numeric(10,2), c_text text);
create table public.meta_serial (id serial primary key, name varchar(10) default 'x', plain int4 not null);
create unique index meta_serial_name on public.meta_serial (name);
create index meta_serial_plain on public.meta_serial (plain);
create view public.meta_view as select * from public.meta_cols;
create table public."meta_o'q" (x int4);
create table public."mé_t" (x int4);
create or replace function public.meta_fn(int4, text) returns bool language sql as 'select true';
create or replace function public.meta_pair_a(int4, int4) returns int4 language sql as 'select 1';
create or replace function public.meta_pair_b(text) returns text language sql as 'select $1';
create or replace function public.vnx_numeric_echo(numeric) returns numeric language sql as 'select $1';
create or replace function public.vnx_string_echo(varchar, bpchar) returns varchar language sql as 'select $1';
)SQL";

std::vector<std::string> Column(const std::vector<Row>& rows, const std::string& name) {
  std::vector<std::string> out;
  for (const Row& r : rows) out.push_back(r.at(name));
  return out;
}

using Texts = std::vector<std::string>;

class MetaDataLive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (TestServer::Get().port.empty()) return;
    TestServer::Get().Psql(kCreateObjects);
  }
  void SetUp() override { VNX_REQUIRE_SERVER(); }

  static MetaData NewMetaData(const LiveSession& s) {
    MetaData m;
    EXPECT_EQ(s.conn.call(&ISQLConnectionVtbl::getSQLMetaData, m.out()), 0);
    return m;
  }
};

// Calls a list operation that must succeed and reads its rows.
template <class F, class... A>
std::vector<Row> List(const MetaData& m, F ISQLMetaDataVtbl::*op, A... args) {
  Cursor c;
  const SQLResult rc = m.call(op, args..., c.out());
  EXPECT_EQ(rc, 0) << ErrorOf(m);
  if (rc != 0 || !c) return {};
  return ReadAll(c);
}

TEST_F(MetaDataLive, TablesByMaskIncludingATemporaryTable) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  s.MustExec("create temp table meta_tmp (x int4)");
  MetaData m = NewMetaData(s);
  std::vector<Row> all = List(m, &ISQLMetaDataVtbl::getTables, "meta%", 0u);
  std::map<std::string, std::string> types;
  for (const Row& r : all) types[r.at("table_name")] = r.at("table_type");
  EXPECT_EQ(types["public.meta_cols"], "1");
  EXPECT_EQ(types["public.meta_serial"], "1");
  EXPECT_EQ(types["public.meta_view"], "2");
  std::string temp;
  for (const auto& [name, type] : types)
    if (name.find(".meta_tmp") != std::string::npos) temp = type;
  EXPECT_EQ(temp, "10");
  EXPECT_EQ(all.front().at("catalog_name"), TestServer::Get().database);
  EXPECT_EQ(all.front().at("schema_name"), "vnx83");

  // Mask 1: tables only; mask 2: views, and the temporary table (10 has bit 2).
  std::vector<Row> tables = List(m, &ISQLMetaDataVtbl::getTables, "meta%", 1u);
  for (const Row& r : tables) EXPECT_EQ(r.at("table_type"), "1") << r.at("table_name");
  EXPECT_EQ(tables.size(), 3u);  // meta_cols, meta_o'q, meta_serial
  std::vector<Row> views = List(m, &ISQLMetaDataVtbl::getTables, "meta%", 2u);
  ASSERT_EQ(views.size(), 2u);
  Texts viewTypes = Column(views, "table_type");
  std::sort(viewTypes.begin(), viewTypes.end());
  EXPECT_EQ(viewTypes, (Texts{"10", "2"}));
  // A schema pattern selects by schema instead of visibility.
  std::vector<Row> inPublic = List(m, &ISQLMetaDataVtbl::getTables, "public.meta_cols", 0u);
  ASSERT_EQ(inPublic.size(), 1u);
  EXPECT_EQ(inPublic[0].at("table_name"), "public.meta_cols");
}

TEST_F(MetaDataLive, ColumnsWithTheirDbExpressTypes) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  Cursor c;
  ASSERT_EQ(m.call(&ISQLMetaDataVtbl::getColumns, "meta_cols", nullptr, 0u, c.out()), 0) << ErrorOf(m);
  std::uint16_t count = 0, type = 0, sub = 0;
  c.call(&ISQLCursorVtbl::getColumnCount, &count);
  EXPECT_EQ(count, 14);
  // COLUMN_DATATYPE holds field type codes and is described like COLUMN_SUBTYPE.
  c.call(&ISQLCursorVtbl::getColumnType, std::uint16_t(8), &type, &sub);
  EXPECT_EQ(type, vnx::fldINT16);
  std::vector<Row> rows = ReadAll(c);
  ASSERT_EQ(rows.size(), 4u);
  // In order of the column name: c_int, c_num, c_text, c_varchar.
  EXPECT_EQ(Column(rows, "column_name"), (Texts{"c_int", "c_num", "c_text", "c_varchar"}));
  EXPECT_EQ(Column(rows, "column_datatype"), (Texts{"6", "25", "3", "1"}));
  EXPECT_EQ(Column(rows, "column_length"), (Texts{"4", "0", "0", "30"}));
  EXPECT_EQ(Column(rows, "column_precision"), (Texts{"0", "10", "0", "30"}));
  EXPECT_EQ(Column(rows, "column_scale"), (Texts{"0", "2", "0", "0"}));
  EXPECT_EQ(Column(rows, "column_subtype"), (Texts{"0", "0", "22", "0"}));
  EXPECT_EQ(Column(rows, "column_typename"), (Texts{"int4", "numeric", "text", "varchar"}));
  EXPECT_EQ(Column(rows, "column_position"), (Texts{"1", "3", "4", "2"}));
  EXPECT_EQ(Column(rows, "column_nullable"), (Texts{"1", "1", "1", "1"}));
  EXPECT_EQ(rows[0].at("table_name"), "public.meta_cols");

  // Mask 4: only the column whose default is a nextval call.
  std::vector<Row> serial = List(m, &ISQLMetaDataVtbl::getColumns, "meta_serial", "", 4u);
  ASSERT_EQ(serial.size(), 1u);
  EXPECT_EQ(serial[0].at("column_name"), "id");
  EXPECT_EQ(serial[0].at("column_type"), "12");
  EXPECT_EQ(serial[0].at("column_nullable"), "0");
  std::vector<Row> all = List(m, &ISQLMetaDataVtbl::getColumns, "meta_serial", nullptr, 0u);
  EXPECT_EQ(Column(all, "column_type"), (Texts{"12", "8", "8"}));  // id, name, plain
  std::vector<Row> one = List(m, &ISQLMetaDataVtbl::getColumns, "meta_serial", "pla%", 0u);
  EXPECT_EQ(Column(one, "column_name"), Texts{"plain"});
}

TEST_F(MetaDataLive, ProcedureParametersRowByRow) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  Cursor c;
  ASSERT_EQ(m.call(&ISQLMetaDataVtbl::getProcedureParams, "meta_fn", nullptr, c.out()), 0) << ErrorOf(m);
  std::uint16_t count = 0, type = 0, sub = 0;
  c.call(&ISQLCursorVtbl::getColumnCount, &count);
  EXPECT_EQ(count, 14);
  c.call(&ISQLCursorVtbl::getColumnType, std::uint16_t(8), &type, &sub);
  EXPECT_EQ(type, vnx::fldINT16);  // the placeholder's description
  std::vector<Row> rows = ReadAll(c);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(Column(rows, "recno"), (Texts{"1", "2", "3"}));
  EXPECT_EQ(Column(rows, "param_name"), (Texts{"Arg1", "Arg2", "Result"}));
  EXPECT_EQ(Column(rows, "param_position"), (Texts{"1", "2", "3"}));
  EXPECT_EQ(Column(rows, "param_type"), (Texts{"1", "1", "2"}));
  EXPECT_EQ(Column(rows, "param_datatype"), (Texts{"6", "3", "4"}));
  EXPECT_EQ(Column(rows, "param_subtype"), (Texts{"0", "22", "0"}));
  EXPECT_EQ(Column(rows, "param_typename"), (Texts{"int4", "text", "bool"}));
  EXPECT_EQ(Column(rows, "param_length"), (Texts{"4", "0", "0"}));
  EXPECT_EQ(Column(rows, "param_nullable"), (Texts{"1", "1", "1"}));
  EXPECT_EQ(rows[0].at("proc_name"), "public.meta_fn");

  // Two functions of two and one argument, both with a result: five rows numbered 1 to 5.
  std::vector<Row> pair = List(m, &ISQLMetaDataVtbl::getProcedureParams, "meta_pair%", "ignored");
  EXPECT_EQ(Column(pair, "recno"), (Texts{"1", "2", "3", "4", "5"}));
  int results = 0;
  for (const Row& r : pair) results += r.at("param_name") == "Result";
  EXPECT_EQ(results, 2);
}

TEST_F(MetaDataLive, ArraysAsStringsOffLeaveTheParameterListUnreadable) {
  SessionOptions o;
  o.options = "ArrayAsString=False";
  LiveSession s(o);
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  Cursor c;
  EXPECT_EQ(m.call(&ISQLMetaDataVtbl::getProcedureParams, "meta_fn", nullptr, c.out()), 2);
  EXPECT_FALSE(c);
  EXPECT_EQ(ErrorOf(m), "Error importing data to virtual cursor.");
  // The column list has no array column and still works.
  EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getColumns, "meta_cols", nullptr, 0u).size(), 4u);
}

TEST_F(MetaDataLive, ProceduresAndIndices) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  std::vector<Row> procs = List(m, &ISQLMetaDataVtbl::getProcedures, "meta%", 0u);
  EXPECT_EQ(Column(procs, "proc_name"), (Texts{"public.meta_fn", "public.meta_pair_a", "public.meta_pair_b"}));
  EXPECT_EQ(Column(procs, "proc_type"), (Texts{"3", "3", "3"}));
  EXPECT_EQ(Column(procs, "in_params"), (Texts{"2", "2", "1"}));
  EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getProcedures, "meta%", 8u).size(), 0u);
  EXPECT_GT(List(m, &ISQLMetaDataVtbl::getProcedures, "int4%", 8u).size(), 0u);

  std::vector<Row> indices = List(m, &ISQLMetaDataVtbl::getIndices, "meta_serial", 0u);
  std::map<std::string, std::string> kinds;
  for (const Row& r : indices) {
    kinds[r.at("index_name")] = r.at("index_type");
    EXPECT_EQ(r.at("pkey_name"), "meta_serial_pkey");
    EXPECT_EQ(r.at("tablename"), "public.meta_serial");
  }
  EXPECT_EQ(kinds, (std::map<std::string, std::string>{
                       {"meta_serial_name", "2"}, {"meta_serial_pkey", "4"}, {"meta_serial_plain", "1"}}));
  std::vector<Row> primary = List(m, &ISQLMetaDataVtbl::getIndices, "meta_serial", 4u);
  ASSERT_EQ(primary.size(), 1u);
  EXPECT_EQ(primary[0].at("index_type"), "4");
  EXPECT_EQ(primary[0].at("column_name"), "id");
  EXPECT_EQ(primary[0].at("column_position"), "1");
  // A table without indices has no rows.
  EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getIndices, "meta_cols", 0u).size(), 0u);
}

TEST_F(MetaDataLive, EveryObjectListGivesACursor) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  for (std::uint32_t type = vnx::eObjTypeDatabase; type <= vnx::eObjTypeUDT; ++type) {
    Cursor c;
    ASSERT_EQ(m.call(&ISQLMetaDataVtbl::getObjectList, type, c.out()), 0) << type << ": " << ErrorOf(m);
    ASSERT_TRUE(c);
    std::uint16_t count = 0;
    c.call(&ISQLCursorVtbl::getColumnCount, &count);
    EXPECT_EQ(count, 4) << type;
    std::vector<Row> rows = ReadAll(c);
    if (type == vnx::eObjTypeSynonym) EXPECT_TRUE(rows.empty());
    else EXPECT_FALSE(rows.empty()) << type;
    if (type == vnx::eObjTypeUser) {
      bool found = false;
      for (const Row& r : rows) found |= r.at("object_name") == "vnx83" && r.at("recno") != "0";
      EXPECT_TRUE(found);
    }
    if (type == vnx::eObjTypeDatabase) {
      bool found = false;
      for (const Row& r : rows) found |= r.at("object_name") == TestServer::Get().database;
      EXPECT_TRUE(found);
    }
  }
  Cursor none;
  EXPECT_EQ(m.call(&ISQLMetaDataVtbl::getObjectList, 9u, none.out()), vnx::DBXERR_FAILED);
  EXPECT_FALSE(none);
  EXPECT_EQ(ErrorOf(m), "Query is empty");
  // A later success clears the text.
  EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getObjectList, vnx::eObjTypeSynonym).size(), 0u);
  EXPECT_EQ(ErrorOf(m), "");
}

TEST_F(MetaDataLive, OptionsThatAskTheConnection) {
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  char text[256];
  std::int16_t length = 0;
  EXPECT_EQ(m.call(&ISQLMetaDataVtbl::GetOption, vnx::eMetaDatabaseVersion, static_cast<void*>(text),
                   std::int16_t(255), &length),
            0);
  EXPECT_EQ(std::string(text).rfind(TestServer::Get().VersionTextPrefix(), 0), 0u) << text;
  EXPECT_EQ(m.call(&ISQLMetaDataVtbl::GetOption, vnx::eMetaDatabaseName, static_cast<void*>(text),
                   std::int16_t(255), &length),
            0);
  EXPECT_EQ(text, TestServer::Get().database);
  EXPECT_EQ(length, static_cast<std::int16_t>(TestServer::Get().database.size()));
  std::int32_t maxName = 0;
  m.call(&ISQLMetaDataVtbl::GetOption, vnx::eMetaMaxObjectNameLength, static_cast<void*>(&maxName), std::int16_t(4),
         &length);
  EXPECT_EQ(maxName, 64);
  unsigned char transactions = 0;
  m.call(&ISQLMetaDataVtbl::GetOption, vnx::eMetaSupportsTransactions, static_cast<void*>(&transactions),
         std::int16_t(1), &length);
  EXPECT_EQ(transactions, 1);
}

TEST_F(MetaDataLive, ServerWithoutSchemas) {
  VNX_ONLY_DISGUISED("a server older than 7.3 is one of the disguised roles");
  SessionOptions o;
  o.role = kRole71;
  LiveSession s(o);
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  std::vector<Row> tables = List(m, &ISQLMetaDataVtbl::getTables, "meta_%", 0u);
  std::map<std::string, std::string> types;
  for (const Row& r : tables) types[r.at("table_name")] = r.at("table_type");
  EXPECT_EQ(types["meta_cols"], "1");  // bare names
  EXPECT_EQ(types["meta_view"], "2");
  std::vector<Row> columns = List(m, &ISQLMetaDataVtbl::getColumns, "meta_cols", nullptr, 0u);
  EXPECT_EQ(Column(columns, "column_datatype"), (Texts{"6", "25", "3", "1"}));
  EXPECT_EQ(columns.at(0).at("table_name"), "meta_cols");
  std::vector<Row> params = List(m, &ISQLMetaDataVtbl::getProcedureParams, "meta_fn", nullptr);
  EXPECT_EQ(Column(params, "param_name"), (Texts{"Arg1", "Arg2", "Result"}));
  EXPECT_EQ(params.at(0).at("proc_name"), "meta_fn");
  std::vector<Row> procs = List(m, &ISQLMetaDataVtbl::getProcedures, "meta_fn", 0u);
  EXPECT_EQ(Column(procs, "proc_type"), Texts{"2"});  // a user function by the OID rule
  EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getIndices, "meta_serial", 4u).size(), 1u);
  unsigned char transactions = 9;
  std::int16_t length = 0;
  m.call(&ISQLMetaDataVtbl::GetOption, vnx::eMetaSupportsTransactions, static_cast<void*>(&transactions),
         std::int16_t(1), &length);
  EXPECT_EQ(transactions, 0);
}

TEST_F(MetaDataLive, ProcedureParametersCarryNoTypeModifier) {
  // A numeric argument has no declared precision: it is described as an unconstrained
  // numeric column would be, never with a negative scale.
  LiveSession s;
  ASSERT_EQ(s.connectResult, 0) << s.ConnError();
  MetaData m = NewMetaData(s);
  std::vector<Row> params = List(m, &ISQLMetaDataVtbl::getProcedureParams, "vnx_numeric_echo", nullptr);
  ASSERT_EQ(params.size(), 2u);
  for (const Row& r : params) {
    EXPECT_EQ(r.at("param_datatype"), "25");
    EXPECT_EQ(r.at("param_precision"), "38");
    EXPECT_EQ(r.at("param_scale"), "38");
  }
  // Nor a length: string arguments are unbounded text, never one character long.
  params = List(m, &ISQLMetaDataVtbl::getProcedureParams, "vnx_string_echo", nullptr);
  ASSERT_EQ(params.size(), 3u);
  EXPECT_EQ(Column(params, "param_datatype"), (Texts{"3", "1", "3"}));      // memo, string, memo
  EXPECT_EQ(Column(params, "param_precision"), (Texts{"0", "32766", "0"}));
}

TEST_F(MetaDataLive, QuotesInPatternsStayInThePattern) {
  for (const char* scs : {"off", "on"}) {
    LiveSession s;
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    s.MustExec(std::string("set standard_conforming_strings = ") + scs);
    MetaData m = NewMetaData(s);
    std::vector<Row> quoted = List(m, &ISQLMetaDataVtbl::getTables, "meta_o'q", 0u);
    ASSERT_EQ(quoted.size(), 1u) << scs;
    EXPECT_EQ(quoted[0].at("table_name"), "public.meta_o'q");
    EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getColumns, "meta_o'q", "x", 0u).size(), 1u) << scs;
    // An attempt to add a condition finds nothing and breaks nothing.
    EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getTables, "x' or relname ~~ '%", 0u).size(), 0u) << scs;
    EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getColumns, "meta_cols", "x' or '1'='1", 0u).size(), 0u) << scs;
    // The nextval test is written for the way the server now reads backslashes.
    EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getColumns, "meta_serial", nullptr, 4u).size(), 1u) << scs;
  }
}

TEST_F(MetaDataLive, PatternsInTheApplicationsCharacterSet) {
  // On a UTF8 connection names are converted both ways: the pattern to UTF-8 before it is
  // escaped, the names found back to the application's 8-bit set (Latin-1 here).
  Driver driver = GetDriver(Library());
  Connection conn = NewConnection(driver);
  conn.call(&ISQLConnectionVtbl::SetOption, vnx::eConnServerCharSet, reinterpret_cast<vnx::OptionValue>("/UTF8"));
  ASSERT_EQ(conn.call(&ISQLConnectionVtbl::connect, TestServer::Get().SocketServerName().c_str(), kRole83, ""), 0)
      << ErrorOf(conn);
  MetaData m;
  ASSERT_EQ(conn.call(&ISQLConnectionVtbl::getSQLMetaData, m.out()), 0);
  std::vector<Row> rows = List(m, &ISQLMetaDataVtbl::getTables, "m\xE9_t", 0u);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("table_name"), "public.m\xE9_t");
  EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getColumns, "public.m\xE9_t", nullptr, 0u).size(), 1u);
  m.reset();
  conn.call(&ISQLConnectionVtbl::disconnect);
}

TEST_F(MetaDataLive, AsynchronousConnectionAndExtendedFieldInformation) {
  // The catalogue queries go through the same cursor as any query, with whatever the
  // connection does for every query.
  for (const char* options : {"", "GetExtendedFieldsInformation=True"}) {
    SessionOptions o;
    o.async = *options == '\0';
    o.options = options;
    LiveSession s(o);
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    MetaData m = NewMetaData(s);
    EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getColumns, "meta_cols", nullptr, 0u).size(), 4u) << options;
    EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getProcedureParams, "meta_fn", nullptr).size(), 3u) << options;
    EXPECT_EQ(List(m, &ISQLMetaDataVtbl::getTables, "meta_cols", 1u).size(), 1u) << options;
    EXPECT_FALSE(List(m, &ISQLMetaDataVtbl::getObjectList, vnx::eObjTypeUser).empty()) << options;
  }
}

// Whatever the options, no list asks the server for something it does not have.
TEST_F(MetaDataLive, EveryListUnderEveryCombinationOfOptions) {
  const char* names[] = {"ShowOID", "UseQualifiedNames", "RestrictedNameSpace", "QuoteObjects",
                         "GetExtendedFieldsInformation"};
  for (unsigned bits = 0; bits < 32; ++bits) {
    std::string options;
    for (unsigned i = 0; i < 5; ++i)
      options += std::string(i ? "," : "") + names[i] + ((bits >> i) & 1 ? "=True" : "=False");
    SessionOptions o;
    o.options = options;
    LiveSession s(o);
    ASSERT_EQ(s.connectResult, 0) << s.ConnError();
    MetaData m = NewMetaData(s);
    auto ok = [&](SQLResult rc, const std::string& what) {
      EXPECT_EQ(rc, 0) << options << ", " << what << ": " << ErrorOf(m);
    };
    for (std::uint32_t type = vnx::eObjTypeDatabase; type <= vnx::eObjTypeUDT; ++type) {
      Cursor c;
      ok(m.call(&ISQLMetaDataVtbl::getObjectList, type, c.out()), "object list " + std::to_string(type));
    }
    for (const char* name : {static_cast<const char*>(nullptr), "public.meta%"}) {
      const std::string which = name ? name : "(nil)";
      Cursor c;
      ok(m.call(&ISQLMetaDataVtbl::getTables, name, 0u, c.out()), "tables " + which);
      ok(m.call(&ISQLMetaDataVtbl::getProcedures, name, 0u, c.out()), "procedures " + which);
      ok(m.call(&ISQLMetaDataVtbl::getIndices, name, 0u, c.out()), "indices " + which);
    }
    Cursor c;
    ok(m.call(&ISQLMetaDataVtbl::getColumns, "meta%", nullptr, 0u, c.out()), "columns");
    ok(m.call(&ISQLMetaDataVtbl::getProcedureParams, "meta%", nullptr, c.out()), "procedure parameters");
  }
}

}  // namespace
