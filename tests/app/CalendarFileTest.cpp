#include <gtest/gtest.h>
#include <libical/ical.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "events/calendarFile.h"

using calendar_file::Export;
using calendar_file::Import;
using calendar_file::ImportResult;
using calendar_file::Item;

namespace {

const std::set<std::string> kCatalogue = {"Coordinated Universal Time", "Europe/Berlin",
                                          "Europe/London", "My Zone"};
const std::map<std::string, double> kOffsets = {{"Coordinated Universal Time", 0.0},
                                                {"My Zone", 5.75}};
const time_zones::Zone kLocal{"Europe/Berlin", 1.0};
constexpr std::int64_t kStamp = 1796000000;  // 2026-11-28

bool InCatalogue(const std::string& name) {
  return kCatalogue.count(name) != 0;
}

double OffsetOf(const std::string& name) {
  const auto at = kOffsets.find(name);
  return at == kOffsets.end() ? 0.0 : at->second;
}

ImportResult ImportSample(const std::string& name) {
  std::ifstream in(std::string(CALENDARS_DIR) + "/" + name, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_FALSE(text.empty()) << name;
  return Import(text, InCatalogue, kLocal);
}

Item MakeItem(std::string id, std::string description, std::string end, std::string zone,
              std::string warning, std::string channels = {}, std::string rule = {}) {
  Item item;
  item.id = std::move(id);
  item.description = std::move(description);
  item.endText = std::move(end);
  item.zone = std::move(zone);
  item.warnMinutes = std::move(warning);
  item.sound = channels.find('S') != std::string::npos;
  item.messenger = channels.find('M') != std::string::npos;
  item.email = channels.find('E') != std::string::npos;
  item.program = channels.find('P') != std::string::npos;
  item.repeatRule = std::move(rule);
  return item;
}

}  // namespace

namespace calendar_file {
void PrintTo(const Item& item, std::ostream* out) {
  *out << "{" << item.id << "|" << item.description << "|" << item.endText << "|" << item.zone
       << "|" << item.warnMinutes << "|" << item.sound << item.messenger << item.email
       << item.program << "|" << item.repeatRule << "}";
}
}  // namespace calendar_file

// Everything an item holds survives the way out and back, including what plain
// iCalendar cannot say: shared and empty IDs, odd warning texts, unreadable rules, a zone
// of the user's own and a wall-clock time that daylight saving skips.
TEST(CalendarFile, ExportThenImportGivesTheSameItems) {
  const std::vector<Item> items = {
      MakeItem("1", "Dentist", "2026-05-01 14:00:00", "Europe/Berlin", "10", "S"),
      MakeItem("2", "Review\nwith notes, commas; and \\ slashes", "2026-12-14 09:30:00",
               "Europe/London", "0", "EP", "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO"),
      MakeItem("", "", "2026-03-29 02:30:00", "Europe/Berlin", "-5"),
      MakeItem("1", "Fixed zone", "2026-07-01 23:45:10", "My Zone", "1.5", "M"),
      MakeItem("5", "Universal", "2026-01-01 00:00:00", "Coordinated Universal Time", "", "SMEP",
               "EVERY TUESDAY"),
      MakeItem("6", "Daily", "2027-02-28 23:59:59", "Europe/Berlin", "1440", "",
               "FREQ=DAILY;COUNT=3"),
  };
  const std::string text = Export(items, OffsetOf, kStamp);

  const ImportResult back = Import(text, InCatalogue, kLocal);
  EXPECT_EQ(back.items, items);
  EXPECT_TRUE(back.skipped.empty());

  // Other programs see a well-formed calendar with the zone defined under its own name.
  const std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)> parsed(
      icalparser_parse_string(text.c_str()), &icalcomponent_free);
  ASSERT_NE(parsed, nullptr);
  EXPECT_EQ(icalrestriction_check(parsed.get()), 1) << text;
  EXPECT_NE(text.find("PRODID:-//Quorvane Software//Vazudovu"), std::string::npos);
  EXPECT_NE(text.find("TZID:Europe/Berlin"), std::string::npos);
  EXPECT_NE(text.find("DTSTART;TZID=Europe/Berlin:20260501T140000"), std::string::npos);
  EXPECT_NE(text.find("DTSTART:20260701T180010Z"), std::string::npos);
  EXPECT_NE(text.find("X-VAZUDOVU-ZONE;X-VAZUDOVU-OFFSET=+0545:My Zone"), std::string::npos);
  EXPECT_NE(text.find("TRIGGER:-PT10M"), std::string::npos);
  EXPECT_NE(text.find("X-VAZUDOVU-CHANNELS:email,program"), std::string::npos);
  EXPECT_EQ(text.find("UID:1\r\n"), text.rfind("UID:1\r\n"));  // one event per UID
}

TEST(CalendarFile, ItemsWithoutATimeAreWrittenAndReportedOnTheWayBack) {
  const std::string text =
      Export({MakeItem("7", "Unset", "", "Europe/Berlin", "10"),
              MakeItem("8", "Typed", "2026-02-30 10:00:00", "Europe/Berlin", "10")},
             OffsetOf, kStamp);
  const ImportResult back = Import(text, InCatalogue, kLocal);
  EXPECT_TRUE(back.items.empty());
  EXPECT_EQ(back.skipped,
            (std::vector<std::string>{"Unset: no date and time", "Typed: no date and time"}));
}

// A user's zone the importing catalogue lacks, a zone only the file defines and a zone
// nothing defines all end up in the local zone, by its daylight saving rules.
TEST(CalendarFile, ZonesTheCatalogueLacksBecomeLocalWallClock) {
  const std::string mine =
      Export({MakeItem("1", "Far", "2026-07-01 23:45:10", "My Zone", "10")}, OffsetOf, kStamp);
  const auto berlinOnly = [](const std::string& name) { return name == "Europe/Berlin"; };
  EXPECT_EQ(
      Import(mine, berlinOnly, kLocal).items,
      (std::vector<Item>{MakeItem("1", "Far", "2026-07-01 20:00:10", "Europe/Berlin", "10")}));

  const std::string foreign =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//EN\r\n"
      "BEGIN:VTIMEZONE\r\nTZID:Eastern Standard Time\r\n"
      "BEGIN:STANDARD\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\n"
      "RRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11\r\nEND:STANDARD\r\n"
      "BEGIN:DAYLIGHT\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\n"
      "RRULE:FREQ=YEARLY;BYDAY=2SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
      // Rules no real zone has, which would keep the library busy for hours: not used.
      "BEGIN:VTIMEZONE\r\nTZID:Busy\r\nBEGIN:STANDARD\r\nDTSTART:16010101T000000\r\n"
      "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nRRULE:FREQ=SECONDLY\r\nEND:STANDARD\r\n"
      "END:VTIMEZONE\r\n"
      "BEGIN:VEVENT\r\nUID:a\r\nSUMMARY:New York\r\n"
      "DTSTART;TZID=Eastern Standard Time:20260615T090000\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:b\r\nSUMMARY:Nowhere\r\n"
      "DTSTART;TZID=Mars/Olympus_Mons:20260615T090000\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:d\r\nSUMMARY:Busy\r\n"
      "DTSTART;TZID=Busy:20260615T090000\r\nEND:VEVENT\r\n"
      "BEGIN:VEVENT\r\nUID:c\r\nSUMMARY:Floating\r\nDTSTART:20261201T073000\r\n"
      "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\n"
      "TRIGGER;VALUE=DATE-TIME:20261201T053000Z\r\nEND:VALARM\r\nEND:VEVENT\r\n"
      "END:VCALENDAR\r\n";
  const ImportResult result = Import(foreign, InCatalogue, kLocal);
  EXPECT_EQ(
      result.items,
      (std::vector<Item>{MakeItem("a", "New York", "2026-06-15 15:00:00", "Europe/Berlin", "10"),
                         MakeItem("b", "Nowhere", "2026-06-15 09:00:00", "Europe/Berlin", "10"),
                         MakeItem("d", "Busy", "2026-06-15 09:00:00", "Europe/Berlin", "10"),
                         MakeItem("c", "Floating", "2026-12-01 07:30:00", "Europe/Berlin", "60")}));
  EXPECT_TRUE(result.skipped.empty());

  // A local zone the library does not know converts through its fixed offset.
  EXPECT_EQ(Import(mine, berlinOnly, {"Home", -3.5}).items.at(0).endText, "2026-07-01 14:30:10");
}

TEST(CalendarFile, ReadsAReminderProgramsExport) {
  const ImportResult result = ImportSample("kalarm-export.ics");
  EXPECT_EQ(result.items,
            (std::vector<Item>{
                MakeItem("KAlarm-1764579600.1001", "Water the plants", "2026-12-14 08:30:00",
                         "Europe/London", "15", "", "FREQ=WEEKLY;BYDAY=MO"),
                MakeItem("KAlarm-1764580500.1002", "Call the garage", "2026-12-20 19:00:00",
                         "Europe/Berlin", "30")}));
  EXPECT_EQ(result.skipped,
            (std::vector<std::string>{"KAlarm-1764581400.1003: all-day, no time of day",
                                      "KAlarm-1764582300.1004: no date and time"}));
}

TEST(CalendarFile, ReadsADesktopCalendarsEventsAndToDos) {
  const ImportResult result = ImportSample("evolution-export.ics");
  EXPECT_EQ(result.items,
            (std::vector<Item>{
                MakeItem("20261130T101500Z-4711-1000-1-7@desktop", "Team meeting",
                         "2026-12-15 10:00:00", "Europe/Berlin", "20", "", "FREQ=WEEKLY;BYDAY=TU"),
                MakeItem("20261130T102500Z-4711-1000-1-10@desktop", "Flight to Lisbon",
                         "2026-12-19 07:30:00", "Europe/Berlin", "10"),
                MakeItem("20261130T103000Z-4711-1000-1-11@desktop", "Submit the report",
                         "2026-12-18 17:00:00", "Europe/Berlin", "60")}));
  EXPECT_EQ(result.skipped,
            (std::vector<std::string>{"Team meeting (moved): a changed occurrence of a "
                                      "repeating item",
                                      "Christmas Eve: all-day, no time of day",
                                      "Buy stamps: no date and time"}));
}

TEST(CalendarFile, GarbageGivesReasonsAndNoItems) {
  const std::string cases[] = {
      "",
      "hello world",
      std::string("\0\xff\xfe BEGIN:VCALENDAR", 19),
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n",
      "BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:Broken\nDTSTART:2026-13-45\nEND:VEVENT\n"
      "END:VCALENDAR\n",
      "BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:Cut off\nDTSTART:20260101T000000\nBEGIN:VALARM\n",
      "BEGIN:VEVENT\nUID:x\nDTSTART;TZID=:20260101T000000\nRRULE:FREQ=SECONDLY;COUNT=-1\n"
      "BEGIN:VALARM\nTRIGGER;RELATED=END:-P99999999W\nEND:VALARM\nEND:VEVENT\n",
  };
  for (const std::string& text : cases) {
    const ImportResult result = Import(text, InCatalogue, kLocal);
    if (result.items.empty()) {
      EXPECT_FALSE(result.skipped.empty()) << text;
    }
  }
  EXPECT_EQ(Import("hello world", InCatalogue, kLocal).skipped,
            (std::vector<std::string>{"file: not iCalendar data"}));
  const ImportResult broken = Import(cases[4], InCatalogue, kLocal);
  ASSERT_EQ(broken.skipped.size(), 1u);
  EXPECT_EQ(broken.skipped[0].rfind("Broken: unreadable", 0), 0u) << broken.skipped[0];
}
