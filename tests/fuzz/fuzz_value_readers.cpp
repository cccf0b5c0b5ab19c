// Every reader of server text over any text: integers, floats and money, BCD, dates, times,
// time stamps, booleans, OID vectors and bytea. Properties: a reader gives a value or raises
// one of the driver's errors (anything else escapes and is reported); values that are read
// are consistent with the writers that serve parameters.
#include <cmath>
#include <cstring>
#include <string>

#include "common/conversion.h"
#include "runtime/bcd.h"
#include "runtime/exception.h"
#include "runtime/numconv.h"
#include "tests/fuzz/fuzz_support.h"

using namespace vnx;
using namespace vnxfuzz;

namespace {

template <class F>
void Attempt(F&& f) {
  try {
    f();
  } catch (const rt::Exception&) {
    // The driver's own refusal: what a getter turns into an error code.
  }
}

// A reading of what the driver itself wrote: a refusal is a finding.
template <class F>
void MustRead(F&& f, const std::string& what) {
  try {
    f();
  } catch (const rt::Exception& e) {
    FUZZ_CHECK(false, what + ": " + e.what());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NeedLibpq();
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string_view t = text;

  Attempt([&] {
    const std::int32_t v = TextToInteger(t);
    FUZZ_CHECK(TextToInt64(t) == v, text);
  });
  Attempt([&] { TextToInt64(t); });
  Attempt([&] {
    const double v = TextToFloat(t);
    if (std::isfinite(v)) MustRead([&] { FUZZ_CHECK(TextToFloat(rt::FloatToText(v, 17)) == v, text); }, text);
  });
  Attempt([&] {
    const std::string written = rt::BcdToText(TextToBcd(t));
    MustRead([&] { FUZZ_CHECK(rt::BcdToText(TextToBcd(written)) == written, text); }, text);
  });
  Attempt([&] { FUZZ_CHECK(TextToBoolean(t) == (t == "t"), text); });
  Attempt([&] {
    const TDateTime moment = TextToDateTime(t, '.');
    FUZZ_CHECK(std::isfinite(moment), text);
    DateTimeToMilliseconds(moment);
    DateTimeToDayNumber(moment);
  });
  Attempt([&] { TextToDayNumber(t, '.'); });
  Attempt([&] {
    TSQLTimeStamp ts{};
    TextToSQLTimeStamp(t, '.', ts);
    if (ts.Year < 0 || ts.Fractions > 999) return;
    // What a time stamp parameter writes reads back as the same record.
    MustRead([&] {
      TSQLTimeStamp back{};
      TextToSQLTimeStamp(SQLTimeStampToText(ts, '.'), '.', back);
      FUZZ_CHECK(std::memcmp(&back, &ts, sizeof ts) == 0, text);
    }, text);
  });
  Attempt([&] { TextToOidVector(t); });
  SplitText(t, ' ');
  UnescapeBytea(text.c_str());
  return 0;
}
