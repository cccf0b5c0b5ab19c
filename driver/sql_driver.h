// TVNXISQLDriver: the object getSQLDriverPOSTGRESQL hands out. It creates connections and
// keeps the few settings shared by all of them.
#pragma once

#include <cstdint>
#include <string>

#include "common/type_mapping.h"
#include "driver/interface_object.h"

namespace vnx {

class TVNXISQLDriver final : public TInterfacedObject {
 public:
  TVNXISQLDriver(std::string vendorLib, std::string resourceFile);

  TVNXTypeMappings TypeCache;         // used in types caching mode "Once" (and "Default")
  std::int32_t BlobSize = 0;          // copied into each new connection
  std::string VendorLib;              // client library name; empty selects "libpq.so"
  std::string ResourceFile;
  std::uint8_t TypesCachingMode = 0;  // 0 Default, 1 Once, 2 Connection, 3 Cursor
  OptionValue TraceCallback = 0;      // stored and reported only
  OptionValue TraceCallbackInfo = 0;

  SQLResult getSQLConnection(void** connection);
  SQLResult SetOption(std::uint32_t option, OptionValue value);
  SQLResult GetOption(std::uint32_t option, void* propValue, std::int16_t maxLength, std::int16_t* length);

  // Driver operations have no error text; a failure that escapes is reported as a code.
  SQLResult FailedCall() noexcept { return DBXERR_FAILED; }

  static const ISQLDriverVtbl Vtbl;
};

// "Vornex Driver v%s [%s]" filled with the version (and " multilanguage" in the
// multi-language build) and the build time stamp.
std::string DriverBanner();

// The driver version and whether this is the multi-language build.
inline constexpr const char kDriverVersion[] = "4.23";
#if defined(VNX_MULTILANG) && VNX_MULTILANG
inline constexpr bool kMultiLanguage = true;
#else
inline constexpr bool kMultiLanguage = false;
#endif

// The object-name quote character, the string-literal quote and its escape character.
inline constexpr char kObjectQuoteChar = '"';
inline constexpr char kLiteralQuoteChar = '\'';
inline constexpr char kLiteralEscapeChar = '\\';

}  // namespace vnx
