// The type cache loaded from a real server, and the mapping of a column of every known type.
#include <gtest/gtest.h>

#include <map>

#include "common/type_cache.h"
#include "common/type_mapping.h"
#include "runtime/exception.h"
#include "tests/common/live_connection.h"

namespace {

using namespace vnx;
using namespace vnxtest;

class TypeCacheLive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (TestServer::Get().port.empty()) return;
    // A base type with the name of the rich-text BLOB type, like the "lo" type of the cluster.
    TestServer::Get().Psql(R"(
do $$ begin
  if not exists (select 1 from pg_type where typname = 'lo_richtext') then
    create type public.lo_richtext;
    create function public.lo_richtext_in(cstring) returns public.lo_richtext
      as 'textin' language internal immutable strict;
    create function public.lo_richtext_out(public.lo_richtext) returns cstring
      as 'textout' language internal immutable strict;
    create type public.lo_richtext (input = public.lo_richtext_in,
      output = public.lo_richtext_out, internallength = variable);
  end if;
end $$;)");
  }
  void SetUp() override { VNX_REQUIRE_SERVER(); }
};

TEST_F(TypeCacheLive, LoadsTheKnownTypes) {
  Connection c = ConnectAs(kRole83);
  TVNXTypeMappings cache;
  LoadTypeMappings(c.get(), cache);
  ASSERT_TRUE(IsLoaded(cache));
  std::map<std::string, TVNXTypeMapping> byName;
  std::uint32_t last = 0;
  for (const TVNXTypeMapping& m : *cache) {
    EXPECT_LT(last, m.Oid);
    last = m.Oid;
    byName[m.TypeName] = m;
  }
  EXPECT_EQ(byName["int4"].Oid, 23u);
  EXPECT_EQ(byName["int4"].FieldType, fldINT32);
  EXPECT_TRUE(byName["_int4"].IsArray);
  EXPECT_EQ(byName["_int4"].FieldType, fldINT32);
  EXPECT_FALSE(byName["_bpchar"].IsArray);
  EXPECT_EQ(byName["_bpchar"].SubType, fldstFIXED);
  EXPECT_EQ(byName["lo"].SubType, fldstBINARY);
  EXPECT_EQ(byName["lo_richtext"].SubType, fldstFMTMEMO);
  EXPECT_TRUE(byName["point"].Newer);  // mapped only for servers served as they are
  EXPECT_FALSE(byName["int4"].Newer);
  TVNXTypeMapping m;
  EXPECT_TRUE(FindTypeMapping(1043, cache, m));
  EXPECT_EQ(m.TypeName, "varchar");
}

TEST_F(TypeCacheLive, FailedLoadLeavesTheHolderEmpty) {
  Connection c = ConnectAs(kRole83);
  Exec(c.get(), "begin");
  Result(PQ.PQexec(c.get(), "select 1/0"));  // the transaction is aborted: the type query fails
  TVNXTypeMappings driver, connection;
  try {
    SelectTypeCache(tcmDefault, driver, connection, c.get());
    FAIL();
  } catch (const rt::EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Could not retrieve types information from the database server [", 0), 0u)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("aborted"), std::string::npos);
  }
  EXPECT_FALSE(driver);
  EXPECT_FALSE(connection);
  EXPECT_THROW(SelectTypeCache(tcmCursor, driver, connection, c.get()), rt::EDatabaseError);
  Exec(c.get(), "rollback");
  EXPECT_TRUE(IsLoaded(SelectTypeCache(tcmDefault, driver, connection, c.get())));
  EXPECT_TRUE(IsLoaded(driver));
}

TEST_F(TypeCacheLive, CachingModes) {
  Connection c = ConnectAs(kRole83);
  TVNXTypeMappings driver, conn1, conn2;
  const TVNXTypeMappings once = SelectTypeCache(tcmOnce, driver, conn1, c.get());
  EXPECT_EQ(once, driver);
  EXPECT_EQ(SelectTypeCache(tcmOnce, driver, conn2, c.get()), once);  // no second load
  EXPECT_EQ(SelectTypeCache(tcmDefault, driver, conn2, c.get()), once);
  EXPECT_FALSE(conn2);

  const TVNXTypeMappings own = SelectTypeCache(tcmConnection, driver, conn2, c.get());
  EXPECT_EQ(own, conn2);
  EXPECT_NE(own, driver);
  EXPECT_EQ(SelectTypeCache(tcmDefault, driver, conn2, c.get()), conn2);  // the connection's first

  const TVNXTypeMappings a = SelectTypeCache(tcmCursor, driver, conn1, c.get());
  const TVNXTypeMappings b = SelectTypeCache(tcmCursor, driver, conn1, c.get());
  EXPECT_NE(a, b);
  EXPECT_EQ(a->size(), b->size());
  EXPECT_FALSE(conn1);
}

struct Expect {
  const char* expr;
  std::uint16_t type, subType;
  std::uint32_t length;
  std::int16_t precision = 0, scale = 0;
  bool searchable = true;
};

// One column of every type of the mapping table (those the server still has), as
// described with default options.
const Expect kColumns[] = {
    {"true as c_bool", fldBOOL, 0, 1},
    {"'x'::varchar(20) as c_varchar20", fldZSTRING, 0, 20, 20},
    {"'x'::varchar as c_varchar", fldBLOB, fldstMEMO, 0, 0, 0, false},
    {"'1 day'::interval as c_interval", fldZSTRING, 0, 100, 100},
    {"'x'::\"char\" as c_char1", fldZSTRING, fldstFIXED, 4, 4},
    {"'x'::char(5) as c_bpchar", fldZSTRING, fldstFIXED, 5, 5},
    {"array['x']::char(5)[] as c_bpchar_array", fldZSTRING, fldstFIXED, 0, 32767},  // as long as any array
    {"'x'::name as c_name", fldZSTRING, fldstFIXED, 64, 64},
    {"'int4in'::regproc as c_regproc", fldZSTRING, fldstFIXED, 257, 257},   // "schema"."name"
    {"'=r/postgres'::aclitem as c_aclitem", fldZSTRING, fldstFIXED, 289, 289},  // and privileges
    {"1::int8 as c_int8", fldINT64, 0, 8},
    {"1::int2 as c_int2", fldINT16, 0, 2},
    {"1::int4 as c_int4", fldINT32, 0, 4},
    {"1::oid as oid", fldINT32, 0, 4},
    {"1::oid as c_image", fldBLOB, fldstBINARY, 0, 0, 0, false},
    {"1::float4 as c_float4", fldFLOAT, 0, 4},
    {"1::float8 as c_float8", fldFLOAT, 0, 8},
    {"1::numeric as c_numeric", fldFMTBCD, 0, 0, 38, 38},
    {"1::numeric(10,2) as c_numeric10_2", fldFMTBCD, 0, 0, 10, 2},
    {"now()::timestamp as c_timestamp", fldDATETIME, 0, 8},
    {"now() as c_timestamptz", fldDATETIME, 0, 8, 0, 0, false},
    {"now()::time as c_time", fldTIME, 0, 8},
    {"now()::timetz as c_timetz", fldTIME, 0, 12, 0, 0, false},
    {"now()::date as c_date", fldDATE, 0, 4},
    {"'1'::public.lo as c_lo", fldBLOB, fldstBINARY, 0, 0, 0, false},
    {"'x'::text as c_text", fldBLOB, fldstMEMO, 0, 0, 0, false},
    {"'<a/>'::xml as c_xml", fldBLOB, fldstMEMO, 0, 0, 0, false},
    {"'x'::public.lo_richtext as c_richtext", fldBLOB, fldstFMTMEMO, 0, 0, 0, false},
    {"'101'::varbit as c_varbit", fldBLOB, fldstGRAPHIC, 0, 0, 0, false},
    {"'x'::bytea as c_bytea", fldBLOB, fldstGRAPHIC, 0, 0, 0, false},
    {"1::money as c_money", fldFLOAT, fldstMONEY, 8},
    {"'1 2'::oidvector as c_oidvector", fldZSTRING, 0, 0, 32767},  // not an "_" array type
    {"'1 2'::int2vector as c_int2vector", fldZSTRING, 0, 0, 32767},
    {"'101'::bit(3) as c_bit", fldUNKNOWN, 0, 0},
    {"array[1,2] as c_int4_array", fldZSTRING, 0, 0, 32767, 0, false},
    {"point(1,2) as c_point", fldZSTRING, 0, 53, 53},  // outside the old mapping, width known
};

class ColumnMappingLive : public TypeCacheLive {
 protected:
  void SetUp() override {
    TypeCacheLive::SetUp();
    if (IsSkipped()) return;
    conn_ = ConnectAs(kRole83);
    LoadTypeMappings(conn_.get(), cache_);
    std::string sql = "select ";
    for (const Expect& e : kColumns) sql += std::string(&e == kColumns ? "" : ", ") + e.expr;
    result_ = Exec(conn_.get(), sql);
    ASSERT_EQ(PQ.PQnfields(result_.get()), static_cast<int>(std::size(kColumns)));
  }

  std::vector<TVNXFieldMapping> MapAll(const TVNXMappingOptions& o) {
    std::vector<TVNXFieldMapping> out;
    for (int i = 0; i < PQ.PQnfields(result_.get()); ++i) {
      TVNXFieldMapping f;
      BuildFieldMapping(f, cache_, PQ.PQfname(result_.get(), i), PQ.PQftype(result_.get(), i),
                        PQ.PQfsize(result_.get(), i), PQ.PQfmod(result_.get(), i), o);
      out.push_back(f);
    }
    return out;
  }

  int Column(const char* name) { return PQ.PQfnumber(result_.get(), name); }

  // Maps with the options and checks that only the named columns differ from the defaults.
  std::vector<TVNXFieldMapping> Changed(const TVNXMappingOptions& o, std::vector<const char*> changed) {
    const auto base = MapAll({});
    auto mapped = MapAll(o);
    for (std::size_t i = 0; i < base.size(); ++i) {
      bool expectChange = false;
      for (const char* n : changed) expectChange |= static_cast<int>(i) == Column(n);
      const bool same = base[i].FieldType == mapped[i].FieldType && base[i].SubType == mapped[i].SubType &&
                        base[i].Length == mapped[i].Length && base[i].Precision == mapped[i].Precision &&
                        base[i].Scale == mapped[i].Scale;
      EXPECT_EQ(same, !expectChange) << kColumns[i].expr;
    }
    return mapped;
  }

  Connection conn_;
  TVNXTypeMappings cache_;
  Result result_;
};

TEST_F(ColumnMappingLive, DefaultOptions) {
  const auto cols = MapAll({});
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const Expect& e = kColumns[i];
    const TVNXFieldMapping& f = cols[i];
    SCOPED_TRACE(e.expr);
    EXPECT_EQ(f.FieldType, e.type);
    EXPECT_EQ(f.SubType, e.subType);
    EXPECT_EQ(f.Length, e.length);
    EXPECT_EQ(f.Precision, e.precision);
    EXPECT_EQ(f.Scale, e.scale);
    EXPECT_EQ(f.Searchable, e.searchable);
    EXPECT_EQ(f.Name, PQ.PQfname(result_.get(), static_cast<int>(i)));
    EXPECT_TRUE(f.Nullable);
  }
}

TEST_F(ColumnMappingLive, EachOptionChanged) {
  TVNXMappingOptions o;
  o.TextAsBlob = false;
  auto m = Changed(o, {"c_varchar"});
  EXPECT_EQ(m[Column("c_varchar")].FieldType, fldZSTRING);
  EXPECT_EQ(m[Column("c_varchar")].Precision, 32766);

  o = {};
  o.MapUnknownAsString = false;
  m = Changed(o, {"c_point"});
  EXPECT_EQ(m[Column("c_point")].FieldType, fldUNKNOWN);

  o = {};
  o.ArrayAsString = false;
  m = Changed(o, {"c_oidvector", "c_int2vector", "c_int4_array"});
  EXPECT_EQ(m[Column("c_int4_array")].FieldType, fldUNKNOWN);

  o = {};
  o.Int8Mode = TVNXInt8Mode::AsString;
  m = Changed(o, {"c_int8"});
  EXPECT_EQ(m[Column("c_int8")].FieldType, fldZSTRING);
  EXPECT_EQ(m[Column("c_int8")].Length, 20u);
  for (auto mode : {TVNXInt8Mode::Ignore, TVNXInt8Mode::AsInt4, TVNXInt8Mode::AsBcd}) {
    o.Int8Mode = mode;
    Changed(o, {"c_int8"});
  }

  o = {};
  o.ByteaMode = TVNXByteaMode::asVarBytes;
  m = Changed(o, {"c_bytea", "c_varbit"});
  EXPECT_EQ(m[Column("c_bytea")].FieldType, fldVARBYTES);
  EXPECT_EQ(m[Column("c_bytea")].Length, 32767u);
  o.ByteaMode = TVNXByteaMode::asBlob;
  m = Changed(o, {"c_bytea", "c_varbit"});
  EXPECT_EQ(m[Column("c_bytea")].SubType, fldstBINARY);

  o = {};
  o.LargeBcdAsString = true;
  m = Changed(o, {"c_numeric"});
  EXPECT_EQ(m[Column("c_numeric")].FieldType, fldZSTRING);
  EXPECT_EQ(m[Column("c_numeric")].Length, 16449u);

  o = {};
  o.BorlandCompatible = true;
  m = Changed(o, {});  // numeric(10,2) and numeric without modifier stay FMTBCD
  EXPECT_EQ(m[Column("c_numeric10_2")].FieldType, fldFMTBCD);

  o = {};
  o.DBX4Compatible = true;
  m = Changed(o, {"c_numeric", "c_numeric10_2", "c_timestamp", "c_timestamptz"});
  EXPECT_EQ(m[Column("c_numeric10_2")].FieldType, fldBCD);
  EXPECT_EQ(m[Column("c_timestamp")].Length, 16u);

  o = {};
  o.UnicodeAsWideString = true;
  Changed(o, {});
  o = {};
  o.MaxNameLength = 128;
  m = Changed(o, {"c_name", "c_regproc", "c_aclitem"});
  EXPECT_EQ(m[Column("c_name")].Length, 128u);
}

}  // namespace
