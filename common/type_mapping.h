// Column descriptions and the type cache: which dbExpress field a server type stands for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/dbx_types.h"

typedef struct pg_conn PGconn;

namespace vnx {

// One server type the driver knows.
struct TVNXTypeMapping {
  std::uint32_t Oid = 0;
  std::string TypeName;  // as pg_type gives it; array types keep their leading "_"
  std::uint16_t FieldType = fldUNKNOWN;
  std::uint16_t SubType = 0;
  bool IsArray = false;
  // A type the old mapping did not name: mapped only for servers served as they are
  // (NewerTypes); otherwise it is an unknown type whose name still tells its text width.
  bool Newer = false;
};

// The type cache: known types in ascending Oid. A null or empty cache is not loaded.
// Holders (driver, connection, cursor) share one loaded cache; it is never changed after
// it was filled.
using TVNXTypeMappings = std::shared_ptr<const std::vector<TVNXTypeMapping>>;

inline bool IsLoaded(const TVNXTypeMappings& cache) noexcept { return cache && !cache->empty(); }

// One result column as dbExpress sees it.
struct TVNXFieldMapping {
  std::string Name;
  std::uint16_t FieldType = fldUNKNOWN;
  std::uint16_t SubType = 0;
  std::uint32_t Length = 0;
  std::int16_t Precision = 0;
  std::int16_t Scale = 0;
  bool IsArray = false;
  bool Nullable = false;
  bool AutoIncrement = false;
  bool ReadOnly = false;
  bool Searchable = false;
  std::uint32_t Oid = 0;
  std::string TypeName;
};

// Element 0 is unused; column n is element n.
using TVNXFieldMappings = std::vector<TVNXFieldMapping>;

enum class TVNXInt8Mode : std::uint8_t { Ignore = 0, AsInt4 = 1, AsString = 2, AsBcd = 3, AsInt8 = 4 };
enum class TVNXByteaMode : std::uint8_t { asGraphic = 0, asBlob = 1, asVarBytes = 2 };

// The connection's type-mapping switches; every cursor copies the whole block when it is
// created.
struct TVNXMappingOptions {
  bool TextAsBlob = true;
  bool MapUnknownAsString = true;
  bool ArrayAsString = true;
  TVNXInt8Mode Int8Mode = TVNXInt8Mode::AsInt8;
  TVNXByteaMode ByteaMode = TVNXByteaMode::asGraphic;
  bool LargeBcdAsString = false;
  bool BorlandCompatible = false;
  bool DBX4Compatible = false;
  bool UnicodeAsWideString = false;
  std::uint16_t MaxNameLength = 64;  // size of the server's name type, learnt at connect
  // Set per cursor from the connection, not by options:
  bool NewerTypes = false;        // the server is served as it is (AcceptNewerServers)
  std::uint8_t CharBytes = 1;     // most bytes of one character in the texts handed out
  std::uint8_t ByteGrowth = 1;    // most bytes one byte of a server text can become
};

// Runs the type catalogue query on the connection and replaces `cache` with the known
// types found. Raises rt::EDatabaseError "Could not retrieve types information from the
// database server [%s]" when the query fails; `cache` is then left empty.
void LoadTypeMappings(PGconn* handle, TVNXTypeMappings& cache);

// Binary search by OID; true with a copy of the entry when found (OID 0 never is).
bool FindTypeMapping(std::uint32_t oid, const TVNXTypeMappings& cache, TVNXTypeMapping& out);

// Describes one result column. False (with FieldType fldUNKNOWN and everything else empty)
// when the type is not in the cache and MapUnknownAsString is off.
bool BuildFieldMapping(TVNXFieldMapping& out, const TVNXTypeMappings& cache,
                       const std::string& name, std::uint32_t oid, std::int32_t size,
                       std::int32_t modifier, const TVNXMappingOptions& options);

// The field type and subtype a server type name stands for (the name without an array
// prefix); false for names the driver does not know. newer, when given, tells whether the
// name is one the old mapping did not have.
bool LookupTypeName(std::string_view name, std::uint16_t& fieldType, std::uint16_t& subType,
                    bool* newer = nullptr);

}  // namespace vnx
