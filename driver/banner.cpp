// The version banner that connect traces first.
#include <cstdio>
#include <cstring>

#include "driver/sql_driver.h"
#include "runtime/format.h"

namespace vnx {
namespace {

// The compiler's __DATE__ ("Mmm dd yyyy") and __TIME__ as "yyyy-mm-dd hh:mm:ss".
std::string BuildTimeStamp() {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const char* date = __DATE__;
  char month[4] = {date[0], date[1], date[2], 0};
  const char* found = std::strstr(kMonths, month);
  int m = found ? static_cast<int>(found - kMonths) / 3 + 1 : 0;
  int day = (date[4] == ' ' ? 0 : date[4] - '0') * 10 + (date[5] - '0');
  return rt::Format("%s-%.2d-%.2d %s", std::string(date + 7, 4), m, day, __TIME__);
}

}  // namespace

std::string DriverBanner() {
  std::string version = kDriverVersion;
  if (kMultiLanguage) version += " multilanguage";
  // The runtime formats a third argument, "(release)", which the template does not show.
  return rt::Format("Vornex Driver v%s [%s]", version, BuildTimeStamp(), "(release)");
}

}  // namespace vnx
