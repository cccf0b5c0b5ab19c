// The type cache and column descriptions: which dbExpress field a server type stands for.
#include "common/type_mapping.h"

#include <algorithm>
#include <memory>

#include "i18n/translate.h"
#include "libpq/libpq_api.h"
#include "resources/value_resources.h"
#include "runtime/exception.h"
#include "runtime/format.h"
#include "runtime/numconv.h"

namespace vnx {
namespace {

struct KnownType {
  const char* name;
  std::uint16_t fieldType;
  std::uint16_t subType;
  bool newer = false;  // not in the old mapping: see TVNXTypeMapping::Newer
};

constexpr KnownType kKnownTypes[] = {
    {"bool", fldBOOL, 0},
    {"varchar", fldZSTRING, 0}, {"unknown", fldZSTRING, 0}, {"tinterval", fldZSTRING, 0},
    {"interval", fldZSTRING, 0},
    {"char", fldZSTRING, fldstFIXED}, {"bpchar", fldZSTRING, fldstFIXED},
    {"_bpchar", fldZSTRING, fldstFIXED}, {"name", fldZSTRING, fldstFIXED},
    {"regproc", fldZSTRING, fldstFIXED}, {"aclitem", fldZSTRING, fldstFIXED},
    {"int8", fldINT64, 0},
    {"int2", fldINT16, 0},
    {"int4", fldINT32, 0}, {"oid", fldINT32, 0},
    {"float4", fldFLOAT, 0}, {"float8", fldFLOAT, 0},
    {"numeric", fldFMTBCD, 0},
    {"timestamp", fldDATETIME, 0}, {"abstime", fldDATETIME, 0}, {"reltime", fldDATETIME, 0},
    {"timestamptz", fldDATETIME, 0},
    {"time", fldTIME, 0}, {"timetz", fldTIME, 0},
    {"date", fldDATE, 0},
    {"lo", fldBLOB, fldstBINARY},
    {"text", fldBLOB, fldstMEMO}, {"xml", fldBLOB, fldstMEMO},
    {"lo_richtext", fldBLOB, fldstFMTMEMO},
    {"varbit", fldVARBYTES, 0}, {"bytea", fldVARBYTES, 0},
    {"money", fldFLOAT, fldstMONEY},
    {"oidvector", fldARRAY, 0}, {"int2vector", fldARRAY, 0},
    {"bit", fldUNKNOWN, 0},
    // Types of today's servers: texts of a known greatest width are strings, the others memos.
    {"uuid", fldZSTRING, 0, true}, {"inet", fldZSTRING, 0, true}, {"cidr", fldZSTRING, 0, true},
    {"macaddr", fldZSTRING, 0, true}, {"macaddr8", fldZSTRING, 0, true},
    {"point", fldZSTRING, 0, true}, {"lseg", fldZSTRING, 0, true}, {"box", fldZSTRING, 0, true},
    {"line", fldZSTRING, 0, true}, {"circle", fldZSTRING, 0, true},
    {"tid", fldZSTRING, 0, true}, {"xid", fldZSTRING, 0, true}, {"xid8", fldZSTRING, 0, true},
    {"cid", fldZSTRING, 0, true}, {"pg_lsn", fldZSTRING, 0, true},
    {"regclass", fldZSTRING, 0, true}, {"regtype", fldZSTRING, 0, true},
    {"json", fldBLOB, fldstMEMO, true}, {"jsonb", fldBLOB, fldstMEMO, true},
    {"path", fldBLOB, fldstMEMO, true}, {"polygon", fldBLOB, fldstMEMO, true},
    {"tsvector", fldBLOB, fldstMEMO, true}, {"tsquery", fldBLOB, fldstMEMO, true},
};

// The longest text the server writes for a value of a fixed-size type, by type name: the
// storage size says nothing about it (a 16-byte point is up to 53 characters).
struct TextWidth {
  const char* name;
  std::uint16_t width;
};
// A float8 takes up to 25 characters: a sign, 18 digits (extra_float_digits 3 before 12),
// the point and e+308.
constexpr std::uint16_t kFloat8Text = 25;
// The most decimals a numeric value keeps (its display scale is 14 bits).
constexpr std::int64_t kMaxNumericDecimals = 16383;
constexpr std::uint16_t kPointText = 2 * kFloat8Text + 3;  // (x,y)
constexpr TextWidth kTextWidths[] = {
    {"uuid", 36},
    {"inet", 49},  // ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255/128
    {"cidr", 49},
    {"macaddr", 17},
    {"macaddr8", 23},
    {"point", kPointText},
    {"lseg", 2 * kPointText + 3},                   // [(x,y),(x,y)]
    {"box", 2 * kPointText + 1},                    // (x,y),(x,y)
    {"line", 3 * kFloat8Text + 4},                  // {a,b,c}
    {"circle", kPointText + kFloat8Text + 3},       // <(x,y),r>
    {"tid", 18},                                    // (4294967295,65535)
    {"xid", 10},
    {"xid8", 20},
    {"cid", 10},
    {"pg_lsn", 17},                                 // FFFFFFFF/FFFFFFFF
};

std::uint32_t KnownTextWidth(std::string_view typeName) {
  for (const TextWidth& w : kTextWidths)
    if (typeName == w.name) return w.width;
  return 0;
}

// Names outside ASCII are never in the mapping, and a client encoding that cannot hold one
// (SJIS and a user type named "mé_t") would fail the whole query: the server leaves them out.
constexpr char kTypeQuery[] = "select oid, typname from pg_type where typrelid=0 and typname ~ '^[ -~]*$' order by oid";

}  // namespace

bool LookupTypeName(std::string_view name, std::uint16_t& fieldType, std::uint16_t& subType, bool* newer) {
  for (const KnownType& t : kKnownTypes) {
    if (name == t.name) {
      fieldType = t.fieldType;
      subType = t.subType;
      if (newer) *newer = t.newer;
      return true;
    }
  }
  return false;
}

void LoadTypeMappings(PGconn* handle, TVNXTypeMappings& cache) {
  cache.reset();
  PGresult* result = PQ.PQexec(handle, kTypeQuery);
  std::unique_ptr<PGresult, decltype(PQ.PQclear)> guard(result, PQ.PQclear);
  if (!result || PQ.PQresultStatus(result) != PGRES_TUPLES_OK) {
    const char* why = handle ? PQ.PQerrorMessage(handle) : nullptr;
    throw rt::EDatabaseError(
        rt::Format(Res(res::SCouldNotRetrieveTypes), why ? std::string_view(why) : std::string_view()));
  }
  const int rows = PQ.PQntuples(result);
  auto types = std::make_shared<std::vector<TVNXTypeMapping>>();
  types->reserve(static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    const std::string_view raw = PQ.PQgetvalue(result, row, 1);
    TVNXTypeMapping entry;
    entry.IsArray = raw.size() > 1 && raw[0] == '_' && raw != "_bpchar";
    if (!LookupTypeName(entry.IsArray ? raw.substr(1) : raw, entry.FieldType, entry.SubType, &entry.Newer))
      continue;
    std::int64_t oid;
    // An OID that is not a number cannot be looked up; such a row is left out.
    if (!rt::TryStrToInt64(PQ.PQgetvalue(result, row, 0), oid) || oid <= 0 || oid > UINT32_MAX) continue;
    entry.Oid = static_cast<std::uint32_t>(oid);
    entry.TypeName = raw;
    types->push_back(std::move(entry));
  }
  types->shrink_to_fit();
  // Lookups rely on ascending OIDs; the query orders them, but a server that compares OIDs
  // as signed numbers past 2^31 would not.
  std::stable_sort(types->begin(), types->end(),
                   [](const TVNXTypeMapping& a, const TVNXTypeMapping& b) { return a.Oid < b.Oid; });
  cache = std::move(types);
}

bool FindTypeMapping(std::uint32_t oid, const TVNXTypeMappings& cache, TVNXTypeMapping& out) {
  out = TVNXTypeMapping{};
  if (oid == 0 || !cache) return false;
  auto it = std::lower_bound(cache->begin(), cache->end(), oid,
                             [](const TVNXTypeMapping& m, std::uint32_t o) { return m.Oid < o; });
  if (it == cache->end() || it->Oid != oid) return false;
  out = *it;
  return true;
}

bool BuildFieldMapping(TVNXFieldMapping& out, const TVNXTypeMappings& cache, const std::string& name,
                       std::uint32_t oid, std::int32_t size, std::int32_t modifier,
                       const TVNXMappingOptions& options) {
  out = TVNXFieldMapping{};
  TVNXTypeMapping entry;
  bool found = FindTypeMapping(oid, cache, entry);
  // A type the old mapping did not name is unknown to a connection served the old way; its
  // name still tells how wide its texts are.
  const std::string knownName = found ? entry.TypeName : std::string();
  if (found && entry.Newer && !options.NewerTypes) found = false;
  if (!found) {
    if (!options.MapUnknownAsString) {
      out.FieldType = fldUNKNOWN;
      return false;
    }
    out.Name = name;
    out.Oid = oid;
    out.FieldType = fldZSTRING;
  } else {
    out.Name = name;
    out.Oid = entry.Oid;
    out.TypeName = entry.TypeName;
    out.ReadOnly = false;
    if (entry.TypeName == "oid" && name != "oid" && oid == 26) {
      // A column of large-object identifiers; the system column "oid" stays an integer.
      out.FieldType = fldBLOB;
      out.SubType = fldstBINARY;
    } else if (entry.IsArray) {
      out.FieldType = fldARRAY;
    } else {
      out.FieldType = entry.FieldType;
      out.SubType = entry.SubType;
    }
  }

  const std::string& typeName = out.TypeName;
  out.Precision = 0;
  out.Scale = 0;
  auto clampLength = [](std::int64_t v) { return static_cast<std::int16_t>(std::min<std::int64_t>(v, INT16_MAX)); };
  // The described length holds every value the server can send, in the bytes the
  // application receives: Length and Precision both state it, so that a buffer sized by
  // either holds the value.
  auto setWidth = [&](std::int64_t bytes) {
    out.Length = static_cast<std::uint32_t>(bytes);
    out.Precision = clampLength(bytes);
  };
  const std::int64_t growth = std::max<std::uint8_t>(options.ByteGrowth, 1);
  // A name written whole, schema-qualified and in quotes with doubled quotes ("s"."n").
  const std::int64_t qualifiedName = 2 * (2 * (std::int64_t{options.MaxNameLength} - 1) + 2) + 1;
  switch (out.FieldType) {
    case fldZSTRING:
      if (options.TextAsBlob &&
          (typeName == "text" || (typeName == "varchar" && size < 0 && modifier < 0))) {
        out.FieldType = fldBLOB;
        out.SubType = fldstMEMO;
        out.Length = 0;
      } else if (typeName == "tinterval" || typeName == "interval") {
        out.Length = 100;
        out.Precision = 100;
      } else if (typeName == "name") {
        setWidth(std::int64_t{options.MaxNameLength} * growth);
      } else if (typeName == "regproc" || typeName == "regclass" || typeName == "regtype") {
        setWidth(qualifiedName * growth);
      } else if (typeName == "aclitem") {
        // grantee=privileges/grantor, both names quoted, each privilege with its grant mark.
        setWidth((qualifiedName + 32) * growth);
      } else if (const std::uint32_t width = KnownTextWidth(knownName)) {
        setWidth(width);
      } else if (typeName == "_bpchar") {
        // An array of char(n): the modifier is its elements' size, not the text's, which
        // is as long as any other array's.
        out.Precision = 32767;
        out.Length = 0;
      } else if (!found || (size < 0 && modifier < 0)) {
        // Unbounded text, and every type the mapping does not know: its storage size does
        // not bound its text (a fixed-size type of 6 bytes may write 18 characters).
        out.Precision = 32766;
        out.Length = 0;
      } else if (typeName == "char") {
        // One byte, which servers from 15 on write as \ooo when it is above 127.
        setWidth(4);
      } else {
        // n characters of char(n) and varchar(n), each as wide as the client encoding makes it.
        const std::int64_t chars = std::max<std::int64_t>({1, std::int64_t{size} - 4, std::int64_t{modifier} - 4});
        setWidth(chars * std::max<std::uint8_t>(options.CharBytes, 1));
      }
      break;
    case fldINT16: case fldUINT16: out.Length = 2; break;
    case fldINT32: case fldUINT32: out.Length = 4; break;
    case fldBYTES: out.Precision = clampLength(size); break;
    case fldVARBYTES:
      switch (options.ByteaMode) {
        case TVNXByteaMode::asBlob: out.FieldType = fldBLOB; out.SubType = fldstBINARY; break;
        case TVNXByteaMode::asVarBytes: out.Length = 32767; out.Precision = 32767; break;
        case TVNXByteaMode::asGraphic:
        default: out.FieldType = fldBLOB; out.SubType = fldstGRAPHIC; break;
      }
      break;
    case fldBCD: case fldFMTBCD: {
      int precision, scale;
      if (modifier < 0) {
        precision = 38;
        scale = 38;
      } else {
        // The scale is an 11-bit signed number: from 15 on a numeric(3,-6) rounds to millions.
        precision = ((modifier - 4) >> 16) & 0xFFFF;
        scale = (((modifier - 4) & 0x7FF) ^ 1024) - 1024;
      }
      // Digits a value may have on either side of the point: numeric(3,-6) holds 999000000
      // (nine digits, none after the point) and numeric(3,5) holds 0.00999 (five).
      if (scale < 0) {
        precision -= scale;
        scale = 0;
      } else if (scale > precision) {
        precision = scale;
      }
      out.Precision = static_cast<std::int16_t>(precision);
      out.Scale = static_cast<std::int16_t>(scale);
      if (options.BorlandCompatible) {
        out.FieldType = fldBCD;
        if (precision > 9 || scale > 4) {
          out.FieldType = fldFMTBCD;
        } else if (scale == 0) {
          if (precision < 5) {
            out.FieldType = fldINT16;
            out.Length = 2;
          } else {
            out.FieldType = fldINT32;
            out.Length = 4;
          }
        }
      } else if (options.DBX4Compatible) {
        out.FieldType = fldBCD;
      } else {
        out.FieldType = fldFMTBCD;
      }
      if ((precision > 64 || scale > 32) && options.LargeBcdAsString) {
        // The text as the server writes it: a sign, the integer digits (at least a 0) and
        // the point with the decimals. Without a modifier the value may be any the BCD
        // reading carries (64 integer digits, its decimals rounded) with as many decimals
        // as the server keeps (16383): longer integer parts are refused as too long.
        out.FieldType = fldZSTRING;
        const std::int64_t integer = modifier < 0 ? 64 : std::max(1, precision - scale);
        const std::int64_t decimals = modifier < 0 ? kMaxNumericDecimals : scale;
        setWidth(1 + integer + (decimals > 0 ? 1 + decimals : 0));
      }
      break;
    }
    case fldDATETIME: out.Length = options.DBX4Compatible ? 16 : 8; break;
    case fldARRAY:
      if (options.ArrayAsString) {
        out.FieldType = fldZSTRING;
        out.SubType = 0;
        out.Precision = 32767;
        out.Length = 0;
      } else {
        out.FieldType = fldUNKNOWN;
      }
      break;
    case fldINT64:
      if (typeName == "int8") {
        switch (options.Int8Mode) {
          case TVNXInt8Mode::Ignore: out.FieldType = fldUNKNOWN; break;
          case TVNXInt8Mode::AsInt4: out.FieldType = fldINT32; out.Length = 4; break;
          case TVNXInt8Mode::AsString: out.FieldType = fldZSTRING; out.Length = 20; out.Precision = 20; break;
          case TVNXInt8Mode::AsBcd:
            out.FieldType = fldBCD; out.Length = 34; out.Precision = 31; out.Scale = 0;
            break;
          case TVNXInt8Mode::AsInt8:
          default: out.FieldType = fldINT64; out.Length = 8; break;
        }
      }
      break;
    case fldBLOB: break;
    default: out.Length = size >= 0 ? static_cast<std::uint32_t>(size) : 0; break;
  }

  out.IsArray = found && entry.IsArray;
  out.Searchable = !(out.FieldType == fldBLOB || out.FieldType == fldARRAY || out.IsArray ||
                     typeName == "timetz" || typeName == "timestamptz");
  out.Nullable = true;
  out.AutoIncrement = false;
  return true;
}

}  // namespace vnx
