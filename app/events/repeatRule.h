// Repeating items: an item's repeat rule is iCalendar RRULE text ("FREQ=WEEKLY;BYDAY=TU").
// After a repeating item is notified its end time moves to the next occurrence of the
// series, at the same wall-clock time in the item's zone. The series always restarts
// at the item's current end time; an integer kept beside the rule counts the occurrences
// that lie before that end time, so that a COUNT keeps its meaning across the restarts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "DateTime.h"

namespace repeat_rule {

// The largest COUNT a rule may have: a counted series is stepped through one occurrence
// at a time, and this keeps one step of the scheduler pass short.
inline constexpr int kMaxCount = 10000;

// Empty when the rule can be run, else a short reason, for instance a rule with no
// FREQ, one that repeats every second, or a part that cannot be read. Empty text is
// no rule (the item does not repeat) and is reported as such.
std::string Check(const std::string& rule);

struct Occurrence {
  Platform::TDateTime when = 0;  // wall clock in the item's zone, to the second
  std::int64_t index = 0;        // occurrences of the series before this one
  std::int64_t passedOver = 0;   // occurrences after the end time and not after `after`
  // False when a long span was jumped instead of stepped through (rules without COUNT
  // only): index and passedOver then hold only the occurrences stepped through, which
  // are fewer than those that passed.
  bool counted = true;
};

// The first occurrence strictly after `after`, of the series that starts at `end` (its
// occurrence number `consumed`) and whose COUNT is reduced by `consumed`. `end` and
// `after` are wall-clock times in the item's zone; an UNTIL written in UTC is moved into
// that zone with zoneOffsetHours, a date-only UNTIL lasts to the end of its day.
// Nothing when the series has ended (UNTIL passed, COUNT used up, a rule Check refuses),
// and when its next occurrence lies beyond the search horizon: a week or more for a rule
// by minutes, nine years by hours, a hundred years otherwise (more for long intervals).
std::optional<Occurrence> Next(const std::string& rule, Platform::TDateTime end,
                               std::int64_t consumed, Platform::TDateTime after,
                               double zoneOffsetHours);

// Words for the item's tooltip: "Repeats every 2 weeks on Tuesday, until 30 June 2027";
// "Repeats: " and the rule text when it cannot be put into words; empty for no rule.
std::string Describe(const std::string& rule);

// The choices the Repeat dialog offers, and the rule text they stand for.
enum class Frequency { kNone, kMinutes, kHours, kDays, kWeeks, kMonths, kYears, kCustom };
enum class MonthBy { kDayOfMonth, kWeekday };
enum class Ending { kNever, kUntil, kCount };

struct Choices {
  Frequency frequency = Frequency::kNone;
  int interval = 1;  // every `interval` minutes, hours, days, ...
  // Weeks: the weekdays, Monday first; none chosen repeats on the end time's weekday.
  std::array<bool, 7> weekdays{};
  // Months: a day of the month (1..31, -1 the last day, 0 the end time's day) or an
  // ordinal weekday (ordinal 1..4 or -1 the last; weekday 0 Monday .. 6 Sunday).
  MonthBy monthBy = MonthBy::kDayOfMonth;
  int monthDay = 0;
  int ordinal = 1;
  int weekday = 0;
  Ending ending = Ending::kNever;
  Platform::TDateTime untilDate = 0;  // the last day that may hold an occurrence
  int count = 1;
  std::string custom;  // kCustom: the rule text, kept as it is

  bool operator==(const Choices&) const = default;
};

// The rule text of the choices; empty for kNone.
std::string RuleFromChoices(const Choices& choices);

// The choices that give back the same rule; a rule the dialog cannot show is kCustom
// with its text, empty text is kNone.
Choices ChoicesFromRule(const std::string& rule);

}  // namespace repeat_rule
