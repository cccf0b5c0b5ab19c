// BCD records and the Format routines. Properties: any BCD record is written as text or
// refused, and text the driver writes reads back to the same text; e, f and g directives of
// any precision agree with the C library's printf; FloatToText reads back as a finite double,
// exactly so with 17 digits; any format string gives text or the runtime's refusal.
#include <cmath>
#include <string>

#include "runtime/bcd.h"
#include "runtime/exception.h"
#include "runtime/format.h"
#include "runtime/numconv.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/harness/printf_text.h"

using namespace vnx;
using namespace vnxfuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);

  const TBcd bcd = in.Take<TBcd>();
  std::string written;
  try {
    written = rt::BcdToText(bcd);
  } catch (const rt::EConvertError&) {
  }
  if (!written.empty()) {
    TBcd back{};
    FUZZ_CHECK(rt::TryTextToBcd(written, back), written);
    FUZZ_CHECK(rt::BcdToText(back) == written, written);
  }

  const double v = in.Take<double>();
  // Mostly the precisions callers use; one input in eight goes past any fixed buffer.
  const std::uint16_t choice = in.Take<std::uint16_t>();
  const int precision = 1 + (choice % 8 == 0 ? choice % 1100 : choice % 40);
  if (std::isfinite(v)) {
    const std::string p = "%." + std::to_string(precision);
    FUZZ_CHECK(rt::Format(p + "e", v) == vnxtest::PrintfText("%.*E", precision - 1, v), p + "e");
    FUZZ_CHECK(rt::Format(p + "f", v) == vnxtest::PrintfText("%.*f", precision, v), p + "f");
    FUZZ_CHECK(rt::Format(p + "g", v) == vnxtest::PrintfText("%.*G", precision, v), p + "g");
    const int digits = 1 + precision % 17;
    double back = 0;
    const std::string text = rt::FloatToText(v, digits);
    FUZZ_CHECK(rt::TryStrToFloat(text, back) && std::isfinite(back), text);
    if (digits == 17) FUZZ_CHECK(back == v, text);
  }

  // Widths and precisions up to 9999: enough to pass any fixed buffer, while templates of
  // many 100,000-character pieces would only slow the search down.
  const std::string format(in.Rest());
  std::size_t digits = 0;
  for (char c : format)
    if ((digits = c >= '0' && c <= '9' ? digits + 1 : 0) > 4) return 0;
  try {
    rt::Format(format, -42, 42u, v, "text", 'c');
  } catch (const rt::EConvertError&) {
    // A directive that does not fit its argument, or a template cut short.
  }
  return 0;
}
