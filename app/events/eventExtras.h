// The fields an events-file line carries after the 18 of its nine columns. The Windows
// program and older builds ignore values beyond the last column, so newer features keep
// their values there, one pair per feature, and every line keeps what it was read with:
//   pair 10 (fields 19-20): the repeat rule (iCalendar RRULE text) and how many
//                           occurrences of its series lie before the item's end time;
//   pair 11 (fields 21-22): the time a snoozed notice comes back ("yyyy-mm-dd hh:nn:ss",
//                           local time) and 0.
// Later pairs, of builds newer than this one, are kept as they were read. The row keeps
// its fields as one text (the tail), exactly as the line held them, in a hidden column.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace event_extras {

// The grid's hidden column that holds a row's tail.
inline constexpr int kColTail = 9;
// The fields of the nine columns, before the tail.
inline constexpr std::size_t kColumnFields = 18;

struct Extras {
  std::string rule;
  std::intptr_t consumed = 0;
  std::string snoozeUntil;
};

// The tail's values; missing fields read as empty and 0.
Extras Read(std::string_view tail);

// The tail with pair 10 replaced (or added), every other field as it was. An empty rule
// with 0 on a tail of no other pair leaves no tail at all, so an item that never repeated
// is saved as an older build saves it.
std::string WithRule(std::string_view tail, const std::string& rule, std::intptr_t consumed);

// The tail with pair 11 replaced (or added); an empty time removes a trailing pair 11.
std::string WithSnooze(std::string_view tail, const std::string& snoozeUntil);

}  // namespace event_extras
