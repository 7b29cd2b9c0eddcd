// The rules of the event table that do not need the grid: the zone column's
// list, moving an end time into local time, and when an item is (re-)armed.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "DateTime.h"

namespace event_table {

// Item state codes kept in the object slot of the end-time column.
inline constexpr int kStateNew = 0, kStateArmed = 1, kStateNotified = 2;

// Columns of an item row.
inline constexpr int kColID = 0, kColDescription = 1, kColEndTime = 2, kColZone = 3,
                     kColWarnMinutes = 4, kColSound = 5, kColMessenger = 6, kColEmail = 7,
                     kColCustomApp = 8;

// The event table's header titles, column by column.
const std::vector<std::string>& HeaderTitles();

// Every zone name of the catalogue except "OTHER", in the catalogue's key order.
std::vector<std::string> ZoneColumnNames(const std::map<std::string, double>& zones);

// The offset of a zone in hours; a name the catalogue does not hold counts as 0.
double ZoneOffset(const std::map<std::string, double>& zones, const std::string& name);

// An end time written in the item's zone, moved into local time.
Platform::TDateTime LocalEndTime(Platform::TDateTime end, double localOffset, double zoneOffset);

// The state after the end-time cell is about to change: a new item is armed; any other
// item is armed again when the end time it held before is still ahead of now (plain
// local date-times); otherwise it keeps its state. oldText may be empty or no date-time.
// The clock is read only when an old end time has to be compared with it: a file's load
// sets thousands of end times, none with an old one.
int StateAfterEndTimeChange(int state, const std::string& oldText,
                            const std::function<Platform::TDateTime()>& now);

// The dialog's own test: an end time that lies ahead of now in local time re-arms.
bool DialogRearms(Platform::TDateTime localEnd, Platform::TDateTime now);

}  // namespace event_table
