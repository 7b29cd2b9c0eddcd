// The texts of the two clocks and of the zone difference, computed from the instants
// and offsets they are given, so any clock can drive them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "DateTime.h"

namespace clocks {

// 100-nanosecond ticks since 1601-01-01 UTC.
using FileTime = std::int64_t;
inline constexpr FileTime kTicksPerSecond = 10'000'000;
inline constexpr FileTime kTicksPerDay = kTicksPerSecond * 86'400;

// The system clock's UTC now as a file time.
FileTime UtcFileTimeNow();
// A UTC date-time (days since 1899-12-30) as a file time, to the millisecond.
FileTime FileTimeFromDateTime(Platform::TDateTime utc);

// What the clocks last showed: the local seconds value and the zone difference.
struct State {
  int lastSecond = 0;
  double lastZoneDifference = 0.0;
};

// True when the local seconds value differs from the last one, which it then becomes.
bool NextSecond(State& state, Platform::TDateTime localNow);
// The difference local minus virtual as "%-.2f" when it differs from the last one shown.
std::optional<std::string> ZoneDifferenceChange(State& state, double localOffset,
                                                double virtualOffset);

// "hh:nn:ss" or, without the 24-hour form, "hh:nn:ss am/pm"; then a blank and the zone name.
std::string LocalClockText(Platform::TDateTime localNow, bool military, bool showZone,
                           const std::string& zoneName);
// The time of day at UTC plus the offset in hours: "%-.2d:%-.2d:%-.2d", " am" or " pm"
// outside the 24-hour form, then a blank and the zone text. Only the time of day counts,
// so any offset, however large, gives a time.
std::string VirtualClockText(FileTime utc, double offsetHours, bool military, bool showZone,
                             const std::string& zoneText);

}  // namespace clocks
