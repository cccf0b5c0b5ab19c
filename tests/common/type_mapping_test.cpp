// Column descriptions from a type cache, with every mapping option.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>

#include "common/type_mapping.h"

namespace {

using namespace vnx;

// OIDs as the server assigns them.
enum : std::uint32_t {
  kBool = 16, kBytea = 17, kChar = 18, kName = 19, kInt8 = 20, kInt2 = 21, kInt2Vector = 22,
  kInt4 = 23, kRegproc = 24, kText = 25, kOid = 26, kOidVector = 30, kXml = 142, kPoint = 600,
  kFloat4 = 700, kFloat8 = 701, kAbstime = 702, kMoney = 790, kInt4Array = 1007,
  kBpcharArray = 1014, kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTime = 1083,
  kTimestamp = 1114, kTimestamptz = 1184, kInterval = 1186, kTimetz = 1266, kBit = 1560,
  kVarbit = 1562, kNumeric = 1700, kUnknown = 705, kLo = 90000,
  kTid = 27, kJson = 114, kInet = 869, kAclitem = 1033, kUuid = 2950, kJsonb = 3802, kUserType = 99999,
};

TVNXTypeMappings Cache() {
  auto v = std::make_shared<std::vector<TVNXTypeMapping>>();
  const std::pair<std::uint32_t, const char*> rows[] = {
      {kBool, "bool"}, {kBytea, "bytea"}, {kChar, "char"}, {kName, "name"}, {kInt8, "int8"},
      {kInt2, "int2"}, {kInt2Vector, "int2vector"}, {kInt4, "int4"}, {kRegproc, "regproc"},
      {kText, "text"}, {kOid, "oid"}, {kOidVector, "oidvector"}, {kXml, "xml"},
      {kFloat4, "float4"}, {kFloat8, "float8"}, {kAbstime, "abstime"}, {kUnknown, "unknown"},
      {kMoney, "money"}, {kInt4Array, "_int4"}, {kBpcharArray, "_bpchar"}, {kBpchar, "bpchar"},
      {kVarchar, "varchar"}, {kDate, "date"}, {kTime, "time"}, {kTimestamp, "timestamp"},
      {kTimestamptz, "timestamptz"}, {kInterval, "interval"}, {kTimetz, "timetz"},
      {kBit, "bit"}, {kVarbit, "varbit"}, {kNumeric, "numeric"}, {kLo, "lo"},
      {kTid, "tid"}, {kJson, "json"}, {kInet, "inet"}, {kAclitem, "aclitem"}, {kUuid, "uuid"},
      {kJsonb, "jsonb"}};
  for (auto [oid, name] : rows) {
    TVNXTypeMapping m;
    m.Oid = oid;
    m.TypeName = name;
    std::string_view n = name;
    m.IsArray = n[0] == '_' && n != "_bpchar";
    EXPECT_TRUE(LookupTypeName(m.IsArray ? n.substr(1) : n, m.FieldType, m.SubType, &m.Newer)) << name;
    v->push_back(m);
  }
  std::sort(v->begin(), v->end(), [](const TVNXTypeMapping& a, const TVNXTypeMapping& b) { return a.Oid < b.Oid; });
  return v;
}

struct Column {
  TVNXFieldMapping f;
  bool mapped;
};

Column Map(std::uint32_t oid, std::int32_t size = -1, std::int32_t mod = -1,
           const TVNXMappingOptions& o = {}, const std::string& name = "c") {
  static const TVNXTypeMappings cache = Cache();
  Column c;
  c.mapped = BuildFieldMapping(c.f, cache, name, oid, size, mod, o);
  return c;
}

constexpr std::int32_t Numeric(int p, int s) { return (p << 16) + (s & 0x7FF) + 4; }

TEST(TypeMapping, Lookup) {
  const TVNXTypeMappings cache = Cache();
  TVNXTypeMapping m;
  ASSERT_TRUE(FindTypeMapping(kInt4Array, cache, m));
  EXPECT_EQ(m.TypeName, "_int4");
  EXPECT_TRUE(m.IsArray);
  EXPECT_EQ(m.FieldType, fldINT32);
  ASSERT_TRUE(FindTypeMapping(kBool, cache, m));
  ASSERT_TRUE(FindTypeMapping(kLo, cache, m));  // first and last
  EXPECT_FALSE(FindTypeMapping(0, cache, m));
  EXPECT_FALSE(FindTypeMapping(kPoint, cache, m));
  EXPECT_EQ(m.Oid, 0u);
  EXPECT_FALSE(FindTypeMapping(kInt4, nullptr, m));
  std::uint16_t t, s;
  EXPECT_FALSE(LookupTypeName("txid_snapshot", t, s));
  bool newer = false;
  EXPECT_TRUE(LookupTypeName("point", t, s, &newer));
  EXPECT_TRUE(newer);
  EXPECT_TRUE(LookupTypeName("bool", t, s, &newer));
  EXPECT_FALSE(newer);
}

TEST(TypeMapping, DefaultOptions) {
  Column c = Map(kInt4, 4);
  EXPECT_EQ(c.f.FieldType, fldINT32);
  EXPECT_EQ(c.f.Length, 4u);
  EXPECT_TRUE(c.f.Searchable && c.f.Nullable && !c.f.AutoIncrement && !c.f.ReadOnly);
  EXPECT_EQ(c.f.Name, "c");
  EXPECT_EQ(c.f.TypeName, "int4");
  EXPECT_EQ(Map(kInt8, 8).f.Length, 8u);
  EXPECT_EQ(Map(kInt8, 8).f.FieldType, fldINT64);
  EXPECT_EQ(Map(kInt2, 2).f.Length, 2u);

  c = Map(kNumeric, -1, Numeric(10, 2));
  EXPECT_EQ(c.f.FieldType, fldFMTBCD);
  EXPECT_EQ(c.f.Precision, 10);
  EXPECT_EQ(c.f.Scale, 2);
  c = Map(kNumeric);
  EXPECT_EQ(c.f.Precision, 38);
  EXPECT_EQ(c.f.Scale, 38);

  c = Map(kBytea);
  EXPECT_EQ(c.f.FieldType, fldBLOB);
  EXPECT_EQ(c.f.SubType, fldstGRAPHIC);
  EXPECT_FALSE(c.f.Searchable);
  c = Map(kText);
  EXPECT_EQ(c.f.FieldType, fldBLOB);
  EXPECT_EQ(c.f.SubType, fldstMEMO);
  c = Map(kVarchar);
  EXPECT_EQ(c.f.FieldType, fldBLOB);
  EXPECT_EQ(c.f.SubType, fldstMEMO);
  c = Map(kVarchar, -1, 24);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.Length, 20u);
  EXPECT_EQ(c.f.Precision, 20);
  EXPECT_EQ(Map(kBpchar, -1, 24).f.SubType, fldstFIXED);
  EXPECT_EQ(Map(kChar, 1).f.Length, 4u);  // a byte above 127 comes as \ooo
  c = Map(kInterval, 16);
  EXPECT_EQ(c.f.Length, 100u);
  EXPECT_EQ(c.f.Precision, 100);
  c = Map(kName, 64);
  EXPECT_EQ(c.f.Length, 64u);
  EXPECT_EQ(c.f.SubType, fldstFIXED);

  c = Map(kTimestamptz, 8);
  EXPECT_EQ(c.f.FieldType, fldDATETIME);
  EXPECT_EQ(c.f.Length, 8u);
  EXPECT_FALSE(c.f.Searchable);
  EXPECT_TRUE(Map(kTimestamp, 8).f.Searchable);
  EXPECT_FALSE(Map(kTimetz, 12).f.Searchable);
  EXPECT_EQ(Map(kTime, 8).f.FieldType, fldTIME);
  EXPECT_EQ(Map(kDate, 4).f.Length, 4u);
  EXPECT_EQ(Map(kFloat8, 8).f.Length, 8u);
  EXPECT_EQ(Map(kFloat4, 4).f.Length, 4u);
  EXPECT_EQ(Map(kBool, 1).f.Length, 1u);
  c = Map(kMoney, 8);
  EXPECT_EQ(c.f.FieldType, fldFLOAT);
  EXPECT_EQ(c.f.SubType, fldstMONEY);

  c = Map(kInt4Array);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.Precision, 32767);
  EXPECT_EQ(c.f.Length, 0u);
  EXPECT_TRUE(c.f.IsArray);
  EXPECT_FALSE(c.f.Searchable);
  EXPECT_EQ(Map(kOidVector).f.FieldType, fldZSTRING);

  c = Map(kBpcharArray, -1, 14);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.SubType, fldstFIXED);
  EXPECT_FALSE(c.f.IsArray);
  EXPECT_EQ(c.f.Length, 0u);  // an array's text, not its elements' size
  EXPECT_EQ(c.f.Precision, 32767);

  c = Map(kLo, 4);
  EXPECT_EQ(c.f.FieldType, fldBLOB);
  EXPECT_EQ(c.f.SubType, fldstBINARY);
  EXPECT_EQ(Map(kXml).f.SubType, fldstMEMO);
  EXPECT_EQ(Map(kVarbit).f.SubType, fldstGRAPHIC);
  EXPECT_EQ(Map(kAbstime, 4).f.FieldType, fldDATETIME);
  EXPECT_EQ(Map(kUnknown, -2).f.Precision, 32766);
}

TEST(TypeMapping, OidColumnsAndUnknownTypes) {
  Column c = Map(kOid, 4, -1, {}, "image");
  EXPECT_EQ(c.f.FieldType, fldBLOB);
  EXPECT_EQ(c.f.SubType, fldstBINARY);
  c = Map(kOid, 4, -1, {}, "oid");
  EXPECT_EQ(c.f.FieldType, fldINT32);
  EXPECT_EQ(c.f.Length, 4u);

  c = Map(kBit, -1, 5);
  EXPECT_TRUE(c.mapped);
  EXPECT_EQ(c.f.FieldType, fldUNKNOWN);

  // An unknown type's storage size says nothing of its text: it is unbounded text.
  c = Map(kPoint, 16);
  EXPECT_TRUE(c.mapped);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.Length, 0u);
  EXPECT_EQ(c.f.Precision, 32766);
  EXPECT_EQ(c.f.Oid, kPoint);
  EXPECT_EQ(c.f.TypeName, "");
  EXPECT_TRUE(c.f.Searchable);
  TVNXMappingOptions o;
  o.MapUnknownAsString = false;
  c = Map(kPoint, 16, -1, o);
  EXPECT_FALSE(c.mapped);
  EXPECT_EQ(c.f.FieldType, fldUNKNOWN);
  EXPECT_EQ(c.f.Name, "");
  EXPECT_EQ(c.f.Length, 0u);
  EXPECT_FALSE(c.f.Nullable);
}

TEST(TypeMapping, Options) {
  TVNXMappingOptions o;
  o.TextAsBlob = false;
  Column c = Map(kVarchar, -1, -1, o);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.Precision, 32766);
  EXPECT_EQ(c.f.Length, 0u);
  EXPECT_EQ(Map(kText, -1, -1, o).f.FieldType, fldBLOB);  // its cache entry is a BLOB

  o = {};
  o.BorlandCompatible = true;
  c = Map(kNumeric, -1, Numeric(4, 0), o);
  EXPECT_EQ(c.f.FieldType, fldINT16);
  EXPECT_EQ(c.f.Length, 2u);
  c = Map(kNumeric, -1, Numeric(9, 0), o);
  EXPECT_EQ(c.f.FieldType, fldINT32);
  EXPECT_EQ(c.f.Length, 4u);
  EXPECT_EQ(Map(kNumeric, -1, Numeric(9, 4), o).f.FieldType, fldBCD);
  EXPECT_EQ(Map(kNumeric, -1, Numeric(9, 5), o).f.FieldType, fldFMTBCD);
  EXPECT_EQ(Map(kNumeric, -1, Numeric(10, 0), o).f.FieldType, fldFMTBCD);

  o = {};
  o.LargeBcdAsString = true;
  c = Map(kNumeric, -1, Numeric(70, 2), o);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.Length, 72u);
  EXPECT_EQ(c.f.Precision, 72);
  c = Map(kNumeric, -1, -1, o);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.Length, 16449u);
  EXPECT_EQ(Map(kNumeric, -1, Numeric(64, 32), o).f.FieldType, fldFMTBCD);
  EXPECT_EQ(Map(kNumeric, -1, Numeric(70, 70), o).f.Length, 73u);  // -0. and 70 decimals
  // Negative scales and scales past the precision: every digit a value may have is counted.
  for (const auto& [p, s, precision, scale, length] : {std::array{3, -6, 9, 0, 0}, std::array{3, 5, 5, 5, 0},
                                                      std::array{60, -10, 70, 0, 71}}) {
    c = Map(kNumeric, -1, Numeric(p, s), o);
    EXPECT_EQ(c.f.Precision, length ? length : precision) << p << "," << s;
    EXPECT_EQ(c.f.Scale, scale) << p << "," << s;
    EXPECT_EQ(c.f.Length, static_cast<std::uint32_t>(length)) << p << "," << s;
  }

  o = {};
  o.Int8Mode = TVNXInt8Mode::AsString;
  c = Map(kInt8, 8, -1, o);
  EXPECT_EQ(c.f.FieldType, fldZSTRING);
  EXPECT_EQ(c.f.Length, 20u);
  o.Int8Mode = TVNXInt8Mode::Ignore;
  EXPECT_EQ(Map(kInt8, 8, -1, o).f.FieldType, fldUNKNOWN);
  o.Int8Mode = TVNXInt8Mode::AsBcd;
  c = Map(kInt8, 8, -1, o);
  EXPECT_EQ(c.f.FieldType, fldBCD);
  EXPECT_EQ(c.f.Length, 34u);
  EXPECT_EQ(c.f.Precision, 31);
  o.Int8Mode = TVNXInt8Mode::AsInt4;
  c = Map(kInt8, 8, -1, o);
  EXPECT_EQ(c.f.FieldType, fldINT32);
  EXPECT_EQ(c.f.Length, 4u);

  o = {};
  o.ByteaMode = TVNXByteaMode::asVarBytes;
  c = Map(kBytea, -1, -1, o);
  EXPECT_EQ(c.f.FieldType, fldVARBYTES);
  EXPECT_EQ(c.f.Length, 32767u);
  o.ByteaMode = TVNXByteaMode::asBlob;
  EXPECT_EQ(Map(kBytea, -1, -1, o).f.SubType, fldstBINARY);

  o = {};
  o.DBX4Compatible = true;
  EXPECT_EQ(Map(kTimestamp, 8, -1, o).f.Length, 16u);
  EXPECT_EQ(Map(kNumeric, -1, Numeric(10, 2), o).f.FieldType, fldBCD);

  o = {};
  o.ArrayAsString = false;
  c = Map(kInt4Array, -1, -1, o);
  EXPECT_EQ(c.f.FieldType, fldUNKNOWN);
  EXPECT_TRUE(c.f.IsArray);

  o = {};
  o.MaxNameLength = 128;
  // A function name written schema-qualified, both parts quoted with doubled quotes.
  EXPECT_EQ(Map(kRegproc, 4, -1, o).f.Length, 2u * (2 * 127 + 2) + 1);
  EXPECT_EQ(Map(kName, 128, -1, o).f.Length, 128u);
}

// Every described length holds every value the server can send, in the bytes the
// application receives; types the old mapping did not name map only for servers served as
// they are, and their names still give their widths.
TEST(TypeMapping, LengthsHoldEveryValue) {
  struct Case {
    std::uint32_t oid;
    std::int32_t size, mod;
    bool newer;
    std::uint8_t charBytes, byteGrowth;
    std::uint16_t type, subType;
    std::uint32_t length;
    std::int16_t precision;
    const char* typeName;
  };
  const Case cases[] = {
      {kVarchar, -1, 24, false, 4, 1, fldZSTRING, 0, 80, 80, "varchar"},       // 20 characters of UTF-8
      {kBpchar, -1, 9, false, 3, 3, fldZSTRING, fldstFIXED, 15, 15, "bpchar"},  // 5 of EUC_JP
      {kVarchar, -1, 24, true, 1, 1, fldZSTRING, 0, 20, 20, "varchar"},
      {kName, 64, -1, false, 4, 4, fldZSTRING, fldstFIXED, 256, 256, "name"},  // 63 bytes that may each grow
      {kName, 64, -1, true, 4, 1, fldZSTRING, fldstFIXED, 64, 64, "name"},     // the server's own encoding
      {kAclitem, 12, -1, false, 1, 1, fldZSTRING, fldstFIXED, 289, 289, "aclitem"},
      {kUuid, 16, -1, false, 1, 1, fldZSTRING, 0, 36, 36, ""},   // unknown, yet 36 characters wide
      {kUuid, 16, -1, true, 4, 1, fldZSTRING, 0, 36, 36, "uuid"},
      {kInet, -1, -1, true, 1, 1, fldZSTRING, 0, 49, 49, "inet"},
      {kTid, 6, -1, false, 1, 1, fldZSTRING, 0, 18, 18, ""},     // (4294967295,65535), not 6 - 4
      {kJson, -1, -1, false, 1, 1, fldZSTRING, 0, 0, 32766, ""},
      {kJson, -1, -1, true, 1, 1, fldBLOB, fldstMEMO, 0, 0, "json"},
      {kJsonb, -1, -1, true, 1, 1, fldBLOB, fldstMEMO, 0, 0, "jsonb"},
      {kUserType, 8, -1, true, 1, 1, fldZSTRING, 0, 0, 32766, ""},
      {kUserType, -1, 40, true, 1, 1, fldZSTRING, 0, 0, 32766, ""},  // a modifier of a type we do not know
  };
  for (const Case& k : cases) {
    TVNXMappingOptions o;
    o.NewerTypes = k.newer;
    o.CharBytes = k.charBytes;
    o.ByteGrowth = k.byteGrowth;
    const Column c = Map(k.oid, k.size, k.mod, o);
    SCOPED_TRACE(std::to_string(k.oid) + (k.newer ? " newer" : ""));
    EXPECT_TRUE(c.mapped);
    EXPECT_EQ(c.f.FieldType, k.type);
    EXPECT_EQ(c.f.SubType, k.subType);
    EXPECT_EQ(c.f.Length, k.length);
    EXPECT_EQ(c.f.Precision, k.precision);
    EXPECT_EQ(c.f.TypeName, k.typeName);
  }
  // Without MapUnknownAsString a new type is unknown to an old-style connection only.
  TVNXMappingOptions o;
  o.MapUnknownAsString = false;
  EXPECT_FALSE(Map(kUuid, 16, -1, o).mapped);
  o.NewerTypes = true;
  EXPECT_EQ(Map(kUuid, 16, -1, o).f.FieldType, fldZSTRING);
  EXPECT_EQ(Map(kJsonb, -1, -1, o).f.FieldType, fldBLOB);
}

}  // namespace
