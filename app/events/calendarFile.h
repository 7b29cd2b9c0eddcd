// Items as an iCalendar file: the table's items written out for other calendar
// programs, and their events and to-dos read back in as items.
//
// Writing: one VEVENT per item in one VCALENDAR.
// - UID is the item's ID; an empty ID, or one an earlier item already used, gets a
//   made-up UID instead. X-VAZUDOVU-ID keeps the ID behind a "#" (so that an empty ID
//   still has a value to write) and marks the event as this program's.
// - DTSTART is the end time. In a zone the calendar library knows (an IANA id) it is the
//   wall-clock time with TZID and that zone's VTIMEZONE. In any other zone (the user's
//   own, "Coordinated Universal Time") it is turned into UTC through the zone's offset,
//   and X-VAZUDOVU-ZONE keeps the zone's name, with the offset used in its parameter
//   X-VAZUDOVU-OFFSET. An end time that is not "yyyy-mm-dd hh:nn:ss" in the years 1 to
//   3000 (the library writes later years as zeros) writes no DTSTART.
// - A VALARM (DISPLAY) triggers the warning minutes before DTSTART. Warning text that is
//   not a whole number of minutes writes no alarm; X-VAZUDOVU-WARNING keeps it behind "#".
// - RRULE is the repeat rule; one the library cannot read is kept in X-VAZUDOVU-RRULE.
// - X-VAZUDOVU-CHANNELS lists the checked channels: "sound,messenger,email,program".
// - A carriage return in a text is written as a line break (a line feed), and read so;
//   backspaces and form feeds are left out.
//
// Reading: every VEVENT (at its DTSTART) and VTODO (at its DUE, else its DTSTART).
// - The time keeps its zone when the TZID names a zone of the catalogue, directly, after
//   a path prefix ("/freeassociation.sourceforge.net/Europe/Berlin") or through its
//   VTIMEZONE's X-LIC-LOCATION. A time this program wrote in UTC with X-VAZUDOVU-ZONE
//   goes back to that zone when the catalogue has it.
// - Every other time ends up in the local zone: a UTC time, or one with a TZID that the
//   file's VTIMEZONE or the library's zone database defines, is converted to the local
//   zone's wall clock, by the zone database's rules when the local zone's name is an
//   IANA id and by its fixed offset otherwise; a floating time, or one whose TZID
//   nothing defines, is taken as the local wall clock as written.
// - The description is the SUMMARY; for another program's event without one, the first
//   alarm's DESCRIPTION, else the event's DESCRIPTION.
// - The warning minutes come from the first VALARM's TRIGGER (before the start or the
//   end, or at a date-time), rounded to whole minutes; "10" when there is no alarm.
// - An all-day event, a component without a time, a changed occurrence of a repeating
//   one (RECURRENCE-ID) or one the library could not read is skipped with its reason.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "time/timeZoneCatalogue.h"

namespace calendar_file {

struct Item {
  std::string id;
  std::string description;
  std::string endText;  // "yyyy-mm-dd hh:nn:ss" in the item's zone
  std::string zone;     // a zone name of the catalogue
  std::string warnMinutes;
  bool sound = false;
  bool messenger = false;
  bool email = false;
  bool program = false;
  std::string repeatRule;  // RRULE text, empty for an item that does not repeat
  bool operator==(const Item&) const = default;
};

// A zone's offset in hours east of UTC, asked for zones the library does not know.
using ZoneOffset = std::function<double(const std::string& zone)>;
// Whether the catalogue holds a zone of this name.
using ZoneKnown = std::function<bool(const std::string& zone)>;

// The text of one VCALENDAR holding the items; stampUtcSecs (seconds since 1970 UTC) is
// the DTSTAMP of every event.
std::string Export(const std::vector<Item>& items, const ZoneOffset& offsetOf,
                   std::int64_t stampUtcSecs);

struct ImportResult {
  std::vector<Item> items;
  std::vector<std::string> skipped;  // one line each: "summary or UID: reason"
};

// The items of an iCalendar text, in the file's order. Never raises for bad input: what
// cannot be read is in skipped.
ImportResult Import(const std::string& text, const ZoneKnown& zoneKnown,
                    const time_zones::Zone& localZone);

}  // namespace calendar_file
