#include "events/calendarFile.h"

#include <libical/ical.h>
#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <set>

namespace calendar_file {

namespace {

constexpr char kProdId[] = "-//Quorvane Software//Vazudovu " VAZUDOVU_VERSION "//EN";
constexpr char kChannelsProperty[] = "X-VAZUDOVU-CHANNELS";
constexpr char kZoneProperty[] = "X-VAZUDOVU-ZONE";
constexpr char kOffsetParameter[] = "X-VAZUDOVU-OFFSET";
constexpr char kIdProperty[] = "X-VAZUDOVU-ID";
constexpr char kWarningProperty[] = "X-VAZUDOVU-WARNING";
constexpr char kRuleProperty[] = "X-VAZUDOVU-RRULE";
// Texts that may be empty are kept behind this mark: the library drops a property
// without a value when it reads one back.
constexpr char kKeptMark = '#';
constexpr char kDefaultWarning[] = "10";
// About nineteen years: alarms further out are not written as a TRIGGER, whose seconds
// the library counts in an int.
constexpr long long kMaxTriggerMinutes = 10'000'000;

struct ComponentFree {
  void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using Component = std::unique_ptr<icalcomponent, ComponentFree>;

std::string TakeString(char* text) {
  const std::unique_ptr<char, decltype(&std::free)> owned(text, &std::free);
  return text ? text : "";
}

icaltimezone* Utc() {
  return icaltimezone_get_utc_timezone();
}

// A zone of the library's database by its IANA id; UTC itself has no VTIMEZONE to write,
// so it counts as unknown here.
icaltimezone* LibraryZone(const std::string& name) {
  if (name.empty()) {
    return nullptr;
  }
  icaltimezone* zone = icaltimezone_get_builtin_timezone(name.c_str());
  if (zone == nullptr || zone == Utc() || icaltimezone_get_component(zone) == nullptr) {
    return nullptr;
  }
  return zone;
}

// Whether the library's fields name a day that exists (and a time of day that does), in
// the years the library writes: it writes zeros for a year after 3000.
bool RealDate(const icaltimetype& time) {
  return time.year >= 1 && time.year <= 3000 && time.month >= 1 && time.month <= 12 &&
         time.day >= 1 && time.day <= icaltime_days_in_month(time.month, time.year) &&
         time.hour >= 0 && time.hour < 24 && time.minute >= 0 && time.minute < 60 &&
         time.second >= 0 && time.second <= 60;
}

// "yyyy-mm-dd hh:nn:ss" as a floating date-time; false for other text or a date that
// does not exist.
bool ParseEndText(const std::string& text, icaltimetype& time) {
  static constexpr char kShape[] = "dddd-dd-dd dd:dd:dd";
  if (text.size() != sizeof kShape - 1) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) {
      return false;
    }
  }
  const auto number = [&](std::size_t at, std::size_t length) {
    return std::atoi(text.substr(at, length).c_str());
  };
  time = icaltime_null_time();
  time.year = number(0, 4);
  time.month = number(5, 2);
  time.day = number(8, 2);
  time.hour = number(11, 2);
  time.minute = number(14, 2);
  time.second = number(17, 2);
  return RealDate(time) && time.second < 60;
}

std::string EndText(const icaltimetype& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return text;
}

// The wall-clock fields of a time read as UTC, in seconds since 1970.
std::int64_t FieldsAsSeconds(icaltimetype time) {
  time.zone = nullptr;
  time.is_date = 0;
  return icaltime_as_timet_with_zone(time, Utc());
}

icaltimetype SecondsAsFields(std::int64_t seconds) {
  return icaltime_from_timet_with_zone(static_cast<time_t>(seconds), 0, Utc());
}

// Warning text that reads back the same from a TRIGGER: "0", or digits without a
// leading zero after an optional "-".
bool PlainMinutes(const std::string& text, long long& minutes) {
  const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() <= digits || text.size() - digits > 9 || (text[digits] == '0' && text != "0")) {
    return false;
  }
  for (std::size_t i = digits; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      return false;
    }
  }
  minutes = std::atoll(text.c_str());
  return std::llabs(minutes) <= kMaxTriggerMinutes;
}

std::string OffsetText(int seconds) {
  const char sign = seconds < 0 ? '-' : '+';
  const int size = std::abs(seconds);
  char text[16];
  if (size % 60 == 0) {
    std::snprintf(text, sizeof text, "%c%02d%02d", sign, size / 3600, size / 60 % 60);
  } else {
    std::snprintf(text, sizeof text, "%c%02d%02d%02d", sign, size / 3600, size / 60 % 60,
                  size % 60);
  }
  return text;
}

// "+hhmm" or "+hhmmss" (or "-"), at most a day either way.
bool ParseOffsetText(const char* text, int& seconds) {
  const std::string value = text ? text : "";
  if ((value.size() != 5 && value.size() != 7) || (value[0] != '+' && value[0] != '-')) {
    return false;
  }
  for (std::size_t i = 1; i < value.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(value[i]))) {
      return false;
    }
  }
  const int hours = std::atoi(value.substr(1, 2).c_str());
  const int minutes = std::atoi(value.substr(3, 2).c_str());
  const int secs = value.size() == 7 ? std::atoi(value.substr(5, 2).c_str()) : 0;
  if (hours > 24 || minutes > 59 || secs > 59) {
    return false;
  }
  seconds = (value[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60 + secs);
  return std::abs(seconds) <= 24 * 3600;
}

// A text as the library can write it and read it back: a carriage return (alone or
// before a line feed) becomes a line feed, which the library escapes, where it would
// write the return as it is and a reader take it for a line's end; a backspace or form
// feed, which the library drops on writing, goes.
std::string WritableText(std::string text) {
  std::size_t write = 0;
  for (std::size_t read = 0; read < text.size(); ++read) {
    if (text[read] == '\b' || text[read] == '\f') {
      continue;
    }
    if (text[read] == '\r') {
      text[write++] = '\n';
      if (read + 1 < text.size() && text[read + 1] == '\n') {
        ++read;
      }
    } else {
      text[write++] = text[read];
    }
  }
  text.resize(write);
  return text;
}

void AddX(icalcomponent* component, const char* name, const std::string& value) {
  icalproperty* property = icalproperty_new_x(value.c_str());
  icalproperty_set_x_name(property, name);
  icalcomponent_add_property(component, property);
}

// ---- writing ----

struct Writer {
  const ZoneOffset& offsetOf;
  std::int64_t stamp;
  std::set<std::string> usedIds;
  std::map<std::string, std::int64_t> zones;  // zone written with TZID -> earliest instant
};

void WriteTime(Writer& writer, icalcomponent* event, const Item& item) {
  icaltimetype wall;
  if (!ParseEndText(item.endText, wall)) {
    return;
  }
  if (icaltimezone* zone = LibraryZone(item.zone)) {
    icalproperty* start = icalproperty_new_dtstart(wall);
    icalproperty_add_parameter(start, icalparameter_new_tzid(item.zone.c_str()));
    icalcomponent_add_property(event, start);
    const std::int64_t instant = icaltime_as_timet_with_zone(wall, zone);
    const auto [at, added] = writer.zones.emplace(item.zone, instant);
    if (!added && instant < at->second) {
      at->second = instant;
    }
    return;
  }
  double hours = writer.offsetOf ? writer.offsetOf(item.zone) : 0.0;
  if (!time_zones::IsValidOffset(hours)) {
    hours = 0.0;
  }
  const int offset = static_cast<int>(std::lround(hours * 3600.0));
  icalcomponent_add_property(
      event, icalproperty_new_dtstart(SecondsAsFields(FieldsAsSeconds(wall) - offset)));
  if (item.zone.empty()) {
    return;
  }
  icalproperty* zone = icalproperty_new_x(item.zone.c_str());
  icalproperty_set_x_name(zone, kZoneProperty);
  icalparameter* offsetParameter = icalparameter_new_x(OffsetText(offset).c_str());
  icalparameter_set_xname(offsetParameter, kOffsetParameter);
  icalproperty_add_parameter(zone, offsetParameter);
  icalcomponent_add_property(event, zone);
}

void WriteAlarm(icalcomponent* event, const Item& item) {
  long long minutes = 0;
  if (!PlainMinutes(item.warnMinutes, minutes)) {
    AddX(event, kWarningProperty, kKeptMark + item.warnMinutes);
    return;
  }
  icaltriggertype trigger;
  trigger.time = icaltime_null_time();
  trigger.duration = icaldurationtype_null_duration();
  trigger.duration.is_neg = minutes > 0 ? 1 : 0;
  trigger.duration.minutes = static_cast<unsigned int>(std::llabs(minutes));
  icalcomponent* alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
  icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
  const std::string text = !item.description.empty() ? item.description
                           : !item.id.empty()        ? item.id
                                                     : std::string("Reminder");
  icalcomponent_add_property(alarm, icalproperty_new_description(text.c_str()));
  icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
  icalcomponent_add_component(event, alarm);
}

void WriteRule(icalcomponent* event, const Item& item) {
  if (item.repeatRule.empty()) {
    return;
  }
  icalerror_clear_errno();
  const icalrecurrencetype rule = icalrecurrencetype_from_string(item.repeatRule.c_str());
  if (rule.freq == ICAL_NO_RECURRENCE || icalerrno != ICAL_NO_ERROR) {
    icalerror_clear_errno();
    AddX(event, kRuleProperty, item.repeatRule);
    return;
  }
  icalcomponent_add_property(event, icalproperty_new_rrule(rule));
}

void WriteChannels(icalcomponent* event, const Item& item) {
  std::string channels;
  const std::pair<bool, const char*> marks[] = {{item.sound, "sound"},
                                                {item.messenger, "messenger"},
                                                {item.email, "email"},
                                                {item.program, "program"}};
  for (const auto& [checked, name] : marks) {
    if (checked) {
      channels += (channels.empty() ? "" : ",") + std::string(name);
    }
  }
  if (!channels.empty()) {
    AddX(event, kChannelsProperty, channels);
  }
}

icalcomponent* WriteEvent(Writer& writer, const Item& given, std::size_t index) {
  Item item = given;
  for (std::string* text :
       {&item.id, &item.description, &item.zone, &item.warnMinutes, &item.repeatRule}) {
    *text = WritableText(std::move(*text));
  }
  icalcomponent* event = icalcomponent_new(ICAL_VEVENT_COMPONENT);
  if (!item.id.empty() && writer.usedIds.insert(item.id).second) {
    icalcomponent_add_property(event, icalproperty_new_uid(item.id.c_str()));
  } else {
    // Calendar programs take one UID for one event, so a shared or missing ID gets its own.
    const std::string uid =
        "vazudovu-" + std::to_string(writer.stamp) + "-" + std::to_string(index + 1);
    icalcomponent_add_property(event, icalproperty_new_uid(uid.c_str()));
  }
  AddX(event, kIdProperty, kKeptMark + item.id);
  icalcomponent_add_property(event, icalproperty_new_dtstamp(SecondsAsFields(writer.stamp)));
  if (!item.description.empty()) {
    icalcomponent_add_property(event, icalproperty_new_summary(item.description.c_str()));
  }
  WriteTime(writer, event, item);
  WriteRule(event, item);
  WriteChannels(event, item);
  WriteAlarm(event, item);
  return event;
}

// The zone's VTIMEZONE under its plain IANA id (the library's own carries a path prefix),
// cut to the rules from a year before its first use on.
icalcomponent* WriteZone(const std::string& name, std::int64_t earliest) {
  icalcomponent* zone = icalcomponent_new_clone(icaltimezone_get_component(LibraryZone(name)));
  if (icalproperty* tzid = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY)) {
    icalproperty_set_tzid(tzid, name.c_str());
  }
  const std::int64_t yearBefore = earliest - 366LL * 24 * 3600;
  icaltimezone_truncate_vtimezone(zone, SecondsAsFields(yearBefore), icaltime_null_time(), 0);
  return zone;
}

// ---- reading ----

struct Reader {
  const ZoneKnown& zoneKnown;
  const time_zones::Zone& local;
  icalcomponent* calendar = nullptr;  // the VCALENDAR being read, for its VTIMEZONEs
  ImportResult& result;
};

bool Known(const Reader& reader, const std::string& name) {
  return !name.empty() && reader.zoneKnown && reader.zoneKnown(name);
}

// The catalogue's name for a TZID: the TZID itself or what follows one of its "/".
std::string CatalogueName(const Reader& reader, const std::string& tzid) {
  for (std::size_t from = 0; from != std::string::npos && from < tzid.size();) {
    const std::string candidate = tzid.substr(from);
    if (Known(reader, candidate)) {
      return candidate;
    }
    const std::size_t slash = tzid.find('/', from);
    from = slash == std::string::npos ? slash : slash + 1;
  }
  return {};
}

std::string XValue(icalproperty* property) {
  icalvalue* value = icalproperty_get_value(property);
  const char* text = nullptr;
  if (value != nullptr && icalvalue_isa(value) == ICAL_X_VALUE) {
    text = icalvalue_get_x(value);
  } else if (value != nullptr && icalvalue_isa(value) == ICAL_TEXT_VALUE) {
    text = icalvalue_get_text(value);
  }
  return WritableText(text ? text : "");
}

icalproperty* FindX(icalcomponent* component, const char* name) {
  for (icalproperty* p = icalcomponent_get_first_property(component, ICAL_X_PROPERTY); p;
       p = icalcomponent_get_next_property(component, ICAL_X_PROPERTY)) {
    const char* xName = icalproperty_get_x_name(p);
    if (xName != nullptr && strcasecmp(xName, name) == 0) {
      return p;
    }
  }
  return nullptr;
}

// A kept text: the value after the mark, false when the property or the mark is missing.
bool KeptText(icalcomponent* component, const char* name, std::string& text) {
  icalproperty* property = FindX(component, name);
  const std::string value = property ? XValue(property) : "";
  if (value.empty() || value[0] != kKeptMark) {
    return false;
  }
  text = value.substr(1);
  return true;
}

std::string TzidOf(icalproperty* property) {
  icalparameter* tzid = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
  const char* text = tzid ? icalparameter_get_tzid(tzid) : nullptr;
  return text ? text : "";
}

icalcomponent* FileVtimezone(const Reader& reader, const std::string& tzid) {
  if (reader.calendar == nullptr) {
    return nullptr;
  }
  // An iterator of its own: the calendar's inner one is walking its events meanwhile.
  for (icalcompiter it = icalcomponent_begin_component(reader.calendar, ICAL_VTIMEZONE_COMPONENT);
       icalcomponent* zone = icalcompiter_deref(&it); icalcompiter_next(&it)) {
    icalproperty* id = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
    const char* text = id ? icalproperty_get_tzid(id) : nullptr;
    if (text != nullptr && tzid == text) {
      return zone;
    }
  }
  return nullptr;
}

// Whether the library can work out a file's VTIMEZONE in little time: its rules repeat
// yearly on days named by month, weekday and day of the month, as real zones' do.
// Others are not used.
bool UsableVtimezone(icalcomponent* zone) {
  for (icalcomponent* part = icalcomponent_get_first_component(zone, ICAL_ANY_COMPONENT); part;
       part = icalcomponent_get_next_component(zone, ICAL_ANY_COMPONENT)) {
    const icalcomponent_kind kind = icalcomponent_isa(part);
    if (kind != ICAL_XSTANDARD_COMPONENT && kind != ICAL_XDAYLIGHT_COMPONENT) {
      continue;
    }
    for (icalproperty* p = icalcomponent_get_first_property(part, ICAL_RRULE_PROPERTY); p;
         p = icalcomponent_get_next_property(part, ICAL_RRULE_PROPERTY)) {
      icalvalue* value = icalproperty_get_value(p);
      if (value == nullptr || icalvalue_isa(value) != ICAL_RECUR_VALUE) {
        return false;
      }
      const icalrecurrencetype rule = icalvalue_get_recur(value);
      if (rule.freq != ICAL_YEARLY_RECURRENCE || rule.by_second[0] != ICAL_RECURRENCE_ARRAY_MAX ||
          rule.by_minute[0] != ICAL_RECURRENCE_ARRAY_MAX ||
          rule.by_hour[0] != ICAL_RECURRENCE_ARRAY_MAX ||
          rule.by_year_day[0] != ICAL_RECURRENCE_ARRAY_MAX ||
          rule.by_week_no[0] != ICAL_RECURRENCE_ARRAY_MAX ||
          rule.by_set_pos[0] != ICAL_RECURRENCE_ARRAY_MAX) {
        return false;
      }
    }
  }
  return true;
}

// The zone that defines a TZID: the file's VTIMEZONE, else the library's database.
icaltimezone* DefiningZone(const Reader& reader, const std::string& tzid) {
  if (icalcomponent* zone = FileVtimezone(reader, tzid)) {
    return UsableVtimezone(zone) ? icalcomponent_get_timezone(reader.calendar, tzid.c_str())
                                 : nullptr;
  }
  if (icaltimezone* zone = icaltimezone_get_builtin_timezone(tzid.c_str())) {
    return zone;
  }
  return icaltimezone_get_builtin_timezone_from_tzid(tzid.c_str());
}

int LocalOffsetSeconds(const Reader& reader) {
  const double hours = reader.local.offset;
  return time_zones::IsValidOffset(hours) ? static_cast<int>(std::lround(hours * 3600.0)) : 0;
}

// An instant as the local zone's wall clock.
std::string LocalWallClock(const Reader& reader, std::int64_t instant) {
  if (icaltimezone* zone = LibraryZone(reader.local.name)) {
    return EndText(icaltime_from_timet_with_zone(static_cast<time_t>(instant), 0, zone));
  }
  return EndText(SecondsAsFields(instant + LocalOffsetSeconds(reader)));
}

struct Placed {
  std::int64_t instant = 0;  // seconds since 1970 UTC, for the alarm's arithmetic
  std::string endText;
  std::string zone;
};

// Where a date-time property's value lies, and the end text and zone it gives an item.
Placed Place(const Reader& reader, icalcomponent* component, icalproperty* property,
             icaltimetype time) {
  Placed placed;
  if (icaltime_is_utc(time)) {
    placed.instant = FieldsAsSeconds(time);
    icalproperty* kept = FindX(component, kZoneProperty);
    icalparameter* offsetParameter = nullptr;
    for (icalparameter* p = kept ? icalproperty_get_first_parameter(kept, ICAL_X_PARAMETER)
                                 : nullptr;
         p; p = icalproperty_get_next_parameter(kept, ICAL_X_PARAMETER)) {
      const char* name = icalparameter_get_xname(p);
      if (name != nullptr && strcasecmp(name, kOffsetParameter) == 0) {
        offsetParameter = p;
      }
    }
    int offset = 0;
    if (kept != nullptr && Known(reader, XValue(kept)) && offsetParameter != nullptr &&
        ParseOffsetText(icalparameter_get_xvalue(offsetParameter), offset)) {
      placed.endText = EndText(SecondsAsFields(placed.instant + offset));
      placed.zone = XValue(kept);
    } else {
      placed.endText = LocalWallClock(reader, placed.instant);
      placed.zone = reader.local.name;
    }
    return placed;
  }
  const std::string tzid = TzidOf(property);
  std::string name = CatalogueName(reader, tzid);
  if (name.empty() && !tzid.empty()) {
    icalcomponent* zone = FileVtimezone(reader, tzid);
    icalproperty* location = zone ? FindX(zone, "X-LIC-LOCATION") : nullptr;
    name = location ? CatalogueName(reader, XValue(location)) : "";
  }
  icaltimezone* defining = tzid.empty() ? nullptr : DefiningZone(reader, tzid);
  if (defining == nullptr && !name.empty()) {
    defining = LibraryZone(name);
  }
  if (!name.empty()) {
    placed.endText = EndText(time);
    placed.zone = name;
  } else if (defining != nullptr) {
    placed.instant = icaltime_as_timet_with_zone(time, defining);
    placed.endText = LocalWallClock(reader, placed.instant);
    placed.zone = reader.local.name;
    return placed;
  } else {
    // Floating, or a TZID nothing defines: the local wall clock as written.
    placed.endText = EndText(time);
    placed.zone = reader.local.name;
    defining = LibraryZone(reader.local.name);
  }
  placed.instant = defining != nullptr ? icaltime_as_timet_with_zone(time, defining)
                                       : FieldsAsSeconds(time) - LocalOffsetSeconds(reader);
  return placed;
}

// A date-time property's value, false when it is missing, not a date-time or all-day.
bool DateTimeOf(icalproperty* property, icaltimetype& time) {
  icalvalue* value = property ? icalproperty_get_value(property) : nullptr;
  if (value == nullptr || icalvalue_isa(value) != ICAL_DATETIME_VALUE) {
    return false;
  }
  time = icalvalue_get_datetime(value);
  return !time.is_date && RealDate(time);
}

std::int64_t DurationSeconds(const icaldurationtype& d) {
  const std::int64_t size =
      ((((static_cast<std::int64_t>(d.weeks) * 7 + d.days) * 24 + d.hours) * 60 + d.minutes) * 60) +
      d.seconds;
  return d.is_neg ? -size : size;
}

// The instant of a component's date-time property, or the fallback.
std::int64_t InstantOf(const Reader& reader, icalcomponent* component, icalproperty_kind kind,
                       std::int64_t fallback) {
  icalproperty* property = icalcomponent_get_first_property(component, kind);
  icaltimetype time;
  return DateTimeOf(property, time) ? Place(reader, component, property, time).instant : fallback;
}

std::int64_t AlarmAnchor(const Reader& reader, icalcomponent* component, bool atEnd,
                         std::int64_t itemInstant) {
  const bool todo = icalcomponent_isa(component) == ICAL_VTODO_COMPONENT;
  const std::int64_t start =
      todo ? InstantOf(reader, component, ICAL_DTSTART_PROPERTY, itemInstant) : itemInstant;
  if (!atEnd) {
    return start;
  }
  const icalproperty_kind endKind = todo ? ICAL_DUE_PROPERTY : ICAL_DTEND_PROPERTY;
  if (icalcomponent_get_first_property(component, endKind) != nullptr) {
    return InstantOf(reader, component, endKind, itemInstant);
  }
  icalproperty* duration = icalcomponent_get_first_property(component, ICAL_DURATION_PROPERTY);
  icalvalue* value = duration ? icalproperty_get_value(duration) : nullptr;
  if (value != nullptr && icalvalue_isa(value) == ICAL_DURATION_VALUE) {
    return start + DurationSeconds(icalvalue_get_duration(value));
  }
  return itemInstant;
}

// The warning minutes of the first alarm that has a readable TRIGGER.
std::string WarningMinutes(const Reader& reader, icalcomponent* component,
                           std::int64_t itemInstant) {
  std::string kept;
  if (KeptText(component, kWarningProperty, kept)) {
    return kept;
  }
  for (icalcomponent* alarm = icalcomponent_get_first_component(component, ICAL_VALARM_COMPONENT);
       alarm; alarm = icalcomponent_get_next_component(component, ICAL_VALARM_COMPONENT)) {
    icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    icalvalue* value = trigger ? icalproperty_get_value(trigger) : nullptr;
    if (value == nullptr) {
      continue;
    }
    icalparameter* related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
    const bool atEnd = related != nullptr && icalparameter_get_related(related) == ICAL_RELATED_END;
    // The library reads a TRIGGER as a duration, or as a date-time with VALUE=DATE-TIME.
    std::int64_t alarmInstant = 0;
    icaltimetype time;
    if (icalvalue_isa(value) == ICAL_DURATION_VALUE) {
      alarmInstant = AlarmAnchor(reader, component, atEnd, itemInstant) +
                     DurationSeconds(icalvalue_get_duration(value));
    } else if (icalvalue_isa(value) == ICAL_TRIGGER_VALUE) {
      const icaltriggertype at = icalvalue_get_trigger(value);
      alarmInstant =
          icaltime_is_null_time(at.time)
              ? AlarmAnchor(reader, component, atEnd, itemInstant) + DurationSeconds(at.duration)
              : Place(reader, alarm, trigger, at.time).instant;
    } else if (DateTimeOf(trigger, time)) {
      alarmInstant = Place(reader, alarm, trigger, time).instant;
    } else {
      continue;
    }
    const double minutes = static_cast<double>(itemInstant - alarmInstant) / 60.0;
    return std::to_string(std::llround(minutes));
  }
  return kDefaultWarning;
}

std::string RepeatRule(icalcomponent* component) {
  icalproperty* property = icalcomponent_get_first_property(component, ICAL_RRULE_PROPERTY);
  icalvalue* value = property ? icalproperty_get_value(property) : nullptr;
  if (value != nullptr && icalvalue_isa(value) == ICAL_RECUR_VALUE) {
    icalrecurrencetype rule = icalvalue_get_recur(value);
    if (rule.freq != ICAL_NO_RECURRENCE) {
      return TakeString(icalrecurrencetype_as_string_r(&rule));
    }
  }
  icalproperty* kept = FindX(component, kRuleProperty);
  return kept ? XValue(kept) : "";
}

void ReadChannels(icalcomponent* component, Item& item) {
  icalproperty* property = FindX(component, kChannelsProperty);
  const std::string list = property ? XValue(property) : "";
  std::size_t from = 0;
  while (from <= list.size()) {
    std::size_t comma = list.find(',', from);
    if (comma == std::string::npos) {
      comma = list.size();
    }
    std::string name = list.substr(from, comma - from);
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!name.empty() && blank(name.back())) {
      name.pop_back();
    }
    name.erase(0, name.find_first_not_of(" \t"));
    const char* n = name.c_str();
    item.sound |= strcasecmp(n, "sound") == 0;
    item.messenger |= strcasecmp(n, "messenger") == 0;
    item.email |= strcasecmp(n, "email") == 0;
    item.program |= strcasecmp(n, "program") == 0;
    from = comma + 1;
  }
}

std::string TextProperty(icalcomponent* component, icalproperty_kind kind) {
  icalproperty* property = icalcomponent_get_first_property(component, kind);
  icalvalue* value = property ? icalproperty_get_value(property) : nullptr;
  const char* text = value != nullptr && icalvalue_isa(value) == ICAL_TEXT_VALUE
                         ? icalvalue_get_text(value)
                         : nullptr;
  return WritableText(text ? text : "");
}

std::string Label(icalcomponent* component) {
  std::string label = TextProperty(component, ICAL_SUMMARY_PROPERTY);
  if (label.empty()) {
    label = TextProperty(component, ICAL_UID_PROPERTY);
  }
  if (label.empty()) {
    label = icalcomponent_isa(component) == ICAL_VTODO_COMPONENT ? "to-do without summary"
                                                                 : "event without summary";
  }
  return label;
}

// Why a component has no usable time.
std::string NoTimeReason(icalcomponent* component, icalproperty* property) {
  icalvalue* value = property ? icalproperty_get_value(property) : nullptr;
  if (value != nullptr && icalvalue_isa(value) == ICAL_DATE_VALUE &&
      RealDate(icalvalue_get_date(value))) {
    return "all-day, no time of day";
  }
  if (icalproperty* error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY)) {
    const char* text = icalproperty_get_xlicerror(error);
    return std::string("unreadable: ") + (text ? text : "parse error");
  }
  return property ? "unreadable date and time" : "no date and time";
}

void ReadItem(Reader& reader, icalcomponent* component) {
  const std::string label = Label(component);
  if (icalcomponent_get_first_property(component, ICAL_RECURRENCEID_PROPERTY) != nullptr) {
    reader.result.skipped.push_back(label + ": a changed occurrence of a repeating item");
    return;
  }
  icalproperty* property = nullptr;
  if (icalcomponent_isa(component) == ICAL_VTODO_COMPONENT) {
    property = icalcomponent_get_first_property(component, ICAL_DUE_PROPERTY);
  }
  if (property == nullptr) {
    property = icalcomponent_get_first_property(component, ICAL_DTSTART_PROPERTY);
  }
  icaltimetype time;
  if (!DateTimeOf(property, time)) {
    reader.result.skipped.push_back(label + ": " + NoTimeReason(component, property));
    return;
  }
  const Placed placed = Place(reader, component, property, time);
  icaltimetype end;
  if (!ParseEndText(placed.endText, end)) {  // moved out of the years a file can hold
    reader.result.skipped.push_back(label + ": unreadable date and time");
    return;
  }
  Item item;
  const bool ours = KeptText(component, kIdProperty, item.id);
  if (!ours) {
    item.id = TextProperty(component, ICAL_UID_PROPERTY);
  }
  item.description = TextProperty(component, ICAL_SUMMARY_PROPERTY);
  // Other programs may keep the text only in the alarm or DESCRIPTION; this program's
  // alarm text is made up when the description is empty.
  if (item.description.empty() && !ours) {
    icalcomponent* alarm = icalcomponent_get_first_component(component, ICAL_VALARM_COMPONENT);
    item.description = alarm ? TextProperty(alarm, ICAL_DESCRIPTION_PROPERTY) : "";
  }
  if (item.description.empty() && !ours) {
    item.description = TextProperty(component, ICAL_DESCRIPTION_PROPERTY);
  }
  item.endText = placed.endText;
  item.zone = placed.zone;
  item.warnMinutes = WarningMinutes(reader, component, placed.instant);
  item.repeatRule = RepeatRule(component);
  ReadChannels(component, item);
  reader.result.items.push_back(std::move(item));
}

// The events and to-dos of a calendar, or the component itself when it is one.
void ReadCalendar(Reader& reader, icalcomponent* calendar, int& seen) {
  const icalcomponent_kind kind = icalcomponent_isa(calendar);
  if (kind == ICAL_VEVENT_COMPONENT || kind == ICAL_VTODO_COMPONENT) {
    ++seen;
    reader.calendar = nullptr;
    ReadItem(reader, calendar);
    return;
  }
  reader.calendar = calendar;
  for (icalcompiter it = icalcomponent_begin_component(calendar, ICAL_ANY_COMPONENT);
       icalcomponent* c = icalcompiter_deref(&it); icalcompiter_next(&it)) {
    const icalcomponent_kind childKind = icalcomponent_isa(c);
    if (childKind == ICAL_VEVENT_COMPONENT || childKind == ICAL_VTODO_COMPONENT) {
      ++seen;
      ReadItem(reader, c);
    }
  }
}

}  // namespace

std::string Export(const std::vector<Item>& items, const ZoneOffset& offsetOf,
                   std::int64_t stampUtcSecs) {
  Writer writer{offsetOf, stampUtcSecs, {}, {}};
  std::vector<icalcomponent*> events;
  for (std::size_t i = 0; i < items.size(); ++i) {
    events.push_back(WriteEvent(writer, items[i], i));
  }
  const Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
  icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
  icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(kProdId));
  for (const auto& [name, earliest] : writer.zones) {
    icalcomponent_add_component(calendar.get(), WriteZone(name, earliest));
  }
  for (icalcomponent* event : events) {
    icalcomponent_add_component(calendar.get(), event);
  }
  return TakeString(icalcomponent_as_ical_string_r(calendar.get()));
}

ImportResult Import(const std::string& text, const ZoneKnown& zoneKnown,
                    const time_zones::Zone& localZone) {
  ImportResult result;
  const Component root(icalparser_parse_string(text.c_str()));
  icalerror_clear_errno();
  Reader reader{zoneKnown, localZone, nullptr, result};
  int seen = 0;
  if (root != nullptr && icalcomponent_isa(root.get()) == ICAL_XROOT_COMPONENT) {
    for (icalcomponent* c = icalcomponent_get_first_component(root.get(), ICAL_ANY_COMPONENT); c;
         c = icalcomponent_get_next_component(root.get(), ICAL_ANY_COMPONENT)) {
      ReadCalendar(reader, c, seen);
    }
  } else if (root != nullptr) {
    ReadCalendar(reader, root.get(), seen);
  }
  if (root == nullptr) {
    result.skipped.push_back("file: not iCalendar data");
  } else if (seen == 0) {
    result.skipped.push_back("file: no events or to-dos");
  }
  icalerror_clear_errno();
  return result;
}

}  // namespace calendar_file
