// Date and time encodings of the runtime (see datetime.h).
#include "runtime/datetime.h"

#include <chrono>
#include <cmath>

#include "i18n/translate.h"
#include "resources/value_resources.h"
#include "runtime/exception.h"
#include "runtime/format.h"

namespace vnx::rt {
namespace {

using namespace std::chrono;

constexpr sys_days kEpoch = sys_days{year{1899} / December / 30};

std::string RenderFields(int y, int mo, int d, int h, int mi, int s, int ms) {
  return Format("%.4d-%.2d-%.2d %.2d:%.2d:%.2d.%.3d", y, mo, d, h, mi, s, ms);
}

[[noreturn]] void InvalidMoment(TDateTime moment) {
  throw EConvertError(Format(Res(res::SInvalidDateTime), Format("%g", moment)));
}

}  // namespace

bool TryEncodeDate(int y, int m, int d, double& out) noexcept {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  const year_month_day ymd{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
  if (!ymd.ok()) return false;
  out = static_cast<double>((sys_days{ymd} - kEpoch).count());
  return true;
}

bool TryEncodeTime(int h, int mi, int s, int ms, double& out) noexcept {
  if (h < 0 || h >= 24 || mi < 0 || mi >= 60 || s < 0 || s >= 60 || ms < 0 || ms >= 1000)
    return false;
  out = (((h * 60 + mi) * 60 + s) * 1000.0 + ms) / kMSecsPerDay;
  return true;
}

TDateTime EncodeTime(int h, int mi, int s, int ms) {
  double t;
  if (!TryEncodeTime(h, mi, s, ms, t)) throw EConvertError(Res(res::SInvalidTimeEncode));
  return t;
}

TDateTime EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
  double date, time;
  if (!TryEncodeDate(y, mo, d, date) || !TryEncodeTime(h, mi, s, ms, time))
    throw EConvertError(Format(Res(res::SInvalidDateTime), RenderFields(y, mo, d, h, mi, s, ms)));
  // Before the epoch the integer part counts days back while the fraction still counts
  // forward from midnight.
  return date < 0 ? date - time : date + time;
}

void DateTimeToTimeStamp(TDateTime moment, std::int32_t& dayNumber, std::int32_t& ms) {
  // 1 January 0001 and the end of 31 December 9999 relative to the epoch.
  if (!(moment > -693594.0 - 1 && moment < 2958466.0)) InvalidMoment(moment);
  const double total = std::round(moment * kMSecsPerDay);
  const auto whole = static_cast<std::int64_t>(total);
  const std::int64_t days = whole / kMSecsPerDay;  // towards zero: the day of the integer part
  std::int64_t rest = whole % kMSecsPerDay;
  if (rest < 0) rest = -rest;
  const std::int64_t day = kDateDelta + days;
  if (day < 1 || day > kMaxDayNumber) InvalidMoment(moment);
  dayNumber = static_cast<std::int32_t>(day);
  ms = static_cast<std::int32_t>(rest);
}

TDateTime TimeStampToDateTime(std::int32_t dayNumber, std::int32_t ms) {
  if (dayNumber < 1 || dayNumber > kMaxDayNumber || ms < 0 || ms >= kMSecsPerDay)
    throw EConvertError(Format(Res(res::SInvalidTimeStamp), dayNumber, ms));
  const double date = static_cast<double>(dayNumber - kDateDelta);
  const double time = static_cast<double>(ms) / kMSecsPerDay;
  return date < 0 ? date - time : date + time;
}

void DayNumberToDate(std::int32_t dayNumber, int& y, int& m, int& d) noexcept {
  const year_month_day ymd{kEpoch + days{dayNumber - kDateDelta}};
  y = static_cast<int>(ymd.year());
  m = static_cast<int>(static_cast<unsigned>(ymd.month()));
  d = static_cast<int>(static_cast<unsigned>(ymd.day()));
}

DateTimeFields DecodeTimeStamp(std::int32_t dayNumber, std::int32_t ms) noexcept {
  DateTimeFields f;
  DayNumberToDate(dayNumber, f.Year, f.Month, f.Day);
  f.Hour = ms / 3600000;
  f.Minute = ms / 60000 % 60;
  f.Second = ms / 1000 % 60;
  f.MilliSecond = ms % 1000;
  return f;
}

DateTimeFields DecodeDateTime(TDateTime moment) {
  std::int32_t day, ms;
  DateTimeToTimeStamp(moment, day, ms);
  return DecodeTimeStamp(day, ms);
}

}  // namespace vnx::rt
