#include "time/clockDisplay.h"

#include <chrono>
#include <cmath>

#include "Exceptions.h"

namespace clocks {

namespace {

// From 1601-01-01 to 1970-01-01 and to 1899-12-30.
constexpr FileTime kUnixEpoch = 116'444'736'000'000'000;
constexpr FileTime kDateTimeEpoch = 94'353'120'000'000'000;

}  // namespace

FileTime UtcFileTimeNow() {
  const auto since1970 =
      std::chrono::duration_cast<std::chrono::duration<FileTime, std::ratio<1, kTicksPerSecond>>>(
          std::chrono::system_clock::now().time_since_epoch());
  return kUnixEpoch + since1970.count();
}

FileTime FileTimeFromDateTime(Platform::TDateTime utc) {
  return kDateTimeEpoch + static_cast<FileTime>(std::llround(utc * 86'400'000.0)) * 10'000;
}

bool NextSecond(State& state, Platform::TDateTime localNow) {
  int hour = 0, minute = 0, second = 0, msec = 0;
  Platform::DecodeTime(localNow, hour, minute, second, msec);
  if (second == state.lastSecond) {
    return false;
  }
  state.lastSecond = second;
  return true;
}

std::optional<std::string> ZoneDifferenceChange(State& state, double localOffset,
                                                double virtualOffset) {
  const double difference = localOffset - virtualOffset;
  if (difference == state.lastZoneDifference) {
    return std::nullopt;
  }
  state.lastZoneDifference = difference;
  return Platform::Format("%-.2f", difference + 0.0);  // never "-0.00"
}

std::string LocalClockText(Platform::TDateTime localNow, bool military, bool showZone,
                           const std::string& zoneName) {
  std::string text = Platform::FormatDateTime(military ? "hh:nn:ss" : "hh:nn:ss am/pm", localNow);
  if (showZone) {
    text += " " + zoneName;
  }
  return text;
}

std::string VirtualClockText(FileTime utc, double offsetHours, bool military, bool showZone,
                             const std::string& zoneText) {
  // The offset in whole ticks, truncated toward zero; whole days of it change no time of
  // day, so they are dropped before adding, which keeps the sum in range.
  double offsetTicks = std::trunc(offsetHours * 60 * 60 * kTicksPerSecond);
  offsetTicks = std::isfinite(offsetTicks) ? std::fmod(offsetTicks, double(kTicksPerDay)) : 0.0;
  FileTime ticksOfDay = (utc % kTicksPerDay + static_cast<FileTime>(offsetTicks)) % kTicksPerDay;
  if (ticksOfDay < 0) {
    ticksOfDay += kTicksPerDay;
  }
  const int secondsOfDay = static_cast<int>(ticksOfDay / kTicksPerSecond);
  int hour = secondsOfDay / 3600;
  const int minute = secondsOfDay / 60 % 60;
  const int second = secondsOfDay % 60;
  const char* suffix = "";
  if (!military) {
    suffix = hour < 12 ? " am" : " pm";
    if (hour == 0) {
      hour = 12;
    } else if (hour > 12) {
      hour -= 12;
    }
  }
  std::string text = Platform::Format("%-.2d:%-.2d:%-.2d", hour, minute, second) + suffix;
  if (showZone) {
    text += " " + zoneText;
  }
  return text;
}

}  // namespace clocks
