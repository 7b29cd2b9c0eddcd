// Items from scripts: the item a command describes, its events-file line and the checks
// it must pass, its place among the file's lines (added, removed, listed), and the items
// as a calendar file. The running window and the command without one share these rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "events/calendarFile.h"
#include "time/timeZoneCatalogue.h"

namespace item_commands {

// An item as its line holds it. A new one has what the window's "Add" gives a row: the
// local zone, a warning of "10" and empty channel cells.
struct Item {
  std::string id;
  std::string description;
  std::string endText;  // "yyyy-mm-dd hh:nn:ss" in the item's zone
  std::string zone;
  std::string warnMinutes = "10";
  std::string sound, messenger, email, program;  // "Y", "N" or empty, as the cells hold them
  std::string rule;                              // RRULE text; empty when it does not repeat
  int state = 0;                                 // 0 new, 1 armed, 2 notified
};

// Checks the channels named in a comma list ("sound,email,messenger,program"): those
// named become "Y", the others stay as they are. A short reason when a name is not a
// channel.
std::string SetChannels(const std::string& list, Item& item);

// Why the item cannot be added, in one line; empty when it can. The end time must read
// as "yyyy-mm-dd hh:nn:ss", the zone be one of the catalogue, the warning a number of
// minutes and the repeat rule one that runs; no text may hold "|" or a line break, which
// the file cannot keep.
std::string Check(const Item& item, const time_zones::ZoneMap& zones);

// The item's line: its cells, the end time's state (armed once it has an end time, as the
// window's cell-change rule arms a new row), and its repeat rule after the columns.
std::string Line(const Item& item);
// The item a line holds; missing fields read as empty.
Item FromLine(const std::string& line);
// The ID a line holds: its text up to the first "|".
std::string IdOf(const std::string& line);

// A new ID none of these is: one more than the largest number among them, from 1.
std::string NewId(const std::vector<std::string>& ids);

// Adds the item's line after the others. An item without an ID gets a new one; one whose
// ID is taken is refused (its reason returned) unless renameTaken, when it gets a new one
// too. item.id is the ID it was added with.
std::string Add(std::vector<std::string>& lines, Item& item, bool renameTaken);
// Removes every line of the ID; how many there were.
std::size_t Remove(std::vector<std::string>& lines, const std::string& id);

// The items of a file's bytes, one line each: ID, end time, zone, warning, state
// ("new", "armed", "notified"), channels ("sound,messenger,email,program" as checked)
// and repeat rule, tab-separated; or a JSON array of objects with those and the
// description.
std::string List(const std::string& bytes, bool json);

// The zone catalogue as the window builds it: UTC, the system's zones, the user's own and
// the local zone.
time_zones::ZoneMap Catalogue(std::int64_t utcMSecs);

// The file's items for a calendar file, and a calendar's item as a new one of the table
// (its checked channels "Y", the others empty as "Add" leaves them; line breaks in its
// description become spaces and "|" becomes "/", which the file cannot keep).
std::vector<calendar_file::Item> ToCalendar(const std::string& bytes);
Item FromCalendar(const calendar_file::Item& item);

}  // namespace item_commands
