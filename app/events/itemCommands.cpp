#include "events/itemCommands.h"

#include <QDate>
#include <QString>
#include <QTime>
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "events/eventExtras.h"
#include "events/eventsFile.h"
#include "events/repeatRule.h"

namespace item_commands {

namespace {

constexpr const char* kChannelNames[] = {"sound", "messenger", "email", "program"};
constexpr const char* kStateNames[] = {"new", "armed", "notified"};

std::string* ChannelCell(Item& item, std::size_t k) {
  std::string* cells[] = {&item.sound, &item.messenger, &item.email, &item.program};
  return cells[k];
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// "yyyy-mm-dd hh:nn:ss" naming a real day and time.
bool ReadsAsEndTime(const std::string& text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return false;
  }
  for (const std::size_t at : {0, 5, 8, 11, 14, 17}) {
    const std::size_t length = at == 0 ? 4 : 2;
    if (!AllDigits(std::string_view(text).substr(at, length))) {
      return false;
    }
  }
  const QString both = QString::fromStdString(text);
  return QDate::fromString(both.left(10), "yyyy-MM-dd").isValid() &&
         QTime::fromString(both.mid(11), "HH:mm:ss").isValid();
}

// Whole or decimal minutes, as the scheduler reads a warning.
bool ReadsAsMinutes(const std::string& text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) {
    return AllDigits(text);
  }
  return AllDigits(std::string_view(text).substr(0, dot)) &&
         AllDigits(std::string_view(text).substr(dot + 1));
}

bool Storable(const std::string& text) {
  return text.find_first_of("|\r\n") == std::string::npos;
}

std::string ChannelList(const Item& item) {
  std::string list;
  Item copy = item;
  for (std::size_t k = 0; k < 4; ++k) {
    if (*ChannelCell(copy, k) == "Y") {
      list += (list.empty() ? "" : ",") + std::string(kChannelNames[k]);
    }
  }
  return list;
}

std::string StateName(int state) {
  return state >= 0 && state <= 2 ? kStateNames[state] : std::to_string(state);
}

// A JSON string of the text; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& text) {
  const std::string valid =
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUtf8().toStdString();
  std::string out = "\"";
  for (const char ch : valid) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

// A field of a tab-separated line: its tabs would shift the columns.
std::string TabField(std::string text) {
  std::replace(text.begin(), text.end(), '\t', ' ');
  return text;
}

}  // namespace

std::string SetChannels(const std::string& list, Item& item) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const std::string name = list.substr(start, comma - start);
    const auto* known = std::find_if(std::begin(kChannelNames), std::end(kChannelNames),
                                     [&name](const char* channel) { return name == channel; });
    if (known == std::end(kChannelNames)) {
      return "'" + name + "' is not a channel (sound, email, messenger, program)";
    }
    *ChannelCell(item, static_cast<std::size_t>(known - std::begin(kChannelNames))) = "Y";
    start = comma + 1;
  }
  return "";
}

std::string Check(const Item& item, const time_zones::ZoneMap& zones) {
  for (const std::string* text : {&item.id, &item.description, &item.zone, &item.rule}) {
    if (!Storable(*text)) {
      return "'" + *text + "' holds a \"|\" or a line break, which the events file cannot keep";
    }
  }
  if (!ReadsAsEndTime(item.endText)) {
    return "The time '" + item.endText + "' does not read as \"YYYY-MM-DD hh:nn:ss\"";
  }
  if (item.zone == time_zones::kOtherName || zones.count(item.zone) == 0) {
    return "The zone '" + item.zone + "' is not one of the zones Vazudovu knows";
  }
  if (!ReadsAsMinutes(item.warnMinutes)) {
    return "The warning '" + item.warnMinutes + "' is not a number of minutes";
  }
  if (!item.rule.empty()) {
    if (const std::string why = repeat_rule::Check(item.rule); !why.empty()) {
      return "The repeat rule '" + item.rule + "' cannot be used: " + why;
    }
  }
  return "";
}

std::string Line(const Item& item) {
  std::string line;
  events_file::AppendField(line, item.id, 0);
  events_file::AppendField(line, item.description, 0);
  events_file::AppendField(line, item.endText, item.endText.empty() ? 0 : 1);
  events_file::AppendField(line, item.zone, 0);
  events_file::AppendField(line, item.warnMinutes, 0);
  events_file::AppendField(line, item.sound, 0);
  events_file::AppendField(line, item.messenger, 0);
  events_file::AppendField(line, item.email, 0);
  events_file::AppendField(line, item.program, 0);
  line += event_extras::WithRule("", item.rule, 0);
  return line;
}

Item FromLine(const std::string& line) {
  const events_file::FieldLines lines(line);
  Item item;
  item.warnMinutes.clear();
  if (lines.size() == 0) {
    return item;
  }
  const events_file::FieldLines::Fields fields = lines[0];
  const auto text = [&fields](std::size_t k) {
    return k < fields.size() ? std::string(fields[k]) : std::string();
  };
  item.id = text(0);
  item.description = text(2);
  item.endText = text(4);
  item.state = static_cast<int>(events_file::ObjectFromField(text(5)));
  item.zone = text(6);
  item.warnMinutes = text(8);
  for (std::size_t k = 0; k < 4; ++k) {
    *ChannelCell(item, k) = text(10 + 2 * k);
  }
  const std::size_t tail = event_extras::kColumnFields;
  if (fields.size() > tail) {
    std::string rest;
    for (std::size_t k = tail; k < fields.size(); ++k) {
      rest += std::string(fields[k]) + (k + 1 < fields.size() ? "|" : "");
    }
    item.rule = event_extras::Read(rest).rule;
  }
  return item;
}

std::string IdOf(const std::string& line) {
  return line.substr(0, line.find('|'));
}

std::string NewId(const std::vector<std::string>& ids) {
  unsigned long long largest = 0;
  for (const std::string& id : ids) {
    if (AllDigits(id) && id.size() < 19) {
      largest = std::max(largest, std::stoull(id));
    }
  }
  return std::to_string(largest + 1);
}

std::string Add(std::vector<std::string>& lines, Item& item, bool renameTaken) {
  std::vector<std::string> ids;
  ids.reserve(lines.size());
  for (const std::string& line : lines) {
    ids.push_back(IdOf(line));
  }
  const bool taken = std::find(ids.begin(), ids.end(), item.id) != ids.end();
  if (!item.id.empty() && taken && !renameTaken) {
    return "An item with the ID '" + item.id + "' is there already";
  }
  if (item.id.empty() || taken) {
    item.id = NewId(ids);
  }
  lines.push_back(Line(item));
  return "";
}

std::size_t Remove(std::vector<std::string>& lines, const std::string& id) {
  const auto kept = std::remove_if(lines.begin(), lines.end(),
                                   [&id](const std::string& line) { return IdOf(line) == id; });
  const auto removed = static_cast<std::size_t>(lines.end() - kept);
  lines.erase(kept, lines.end());
  return removed;
}

std::string List(const std::string& bytes, bool json) {
  std::string out = json ? "[" : "";
  bool first = true;
  for (const std::string& line : events_file::SplitLines(bytes)) {
    const Item item = FromLine(line);
    if (!json) {
      for (const std::string& field : {item.id, item.endText, item.zone, item.warnMinutes,
                                       StateName(item.state), ChannelList(item)}) {
        out += TabField(field) + "\t";
      }
      out += TabField(item.rule) + "\n";
      continue;
    }
    out += first ? "\n" : ",\n";
    first = false;
    out += "  {\"id\": " + JsonString(item.id) +
           ", \"description\": " + JsonString(item.description) +
           ", \"end\": " + JsonString(item.endText) + ", \"zone\": " + JsonString(item.zone) +
           ", \"warning\": " + JsonString(item.warnMinutes) +
           ", \"state\": " + JsonString(StateName(item.state)) + ", \"channels\": [";
    const std::string channels = ChannelList(item);
    for (std::size_t start = 0; start < channels.size();) {
      const std::size_t comma = std::min(channels.find(',', start), channels.size());
      out += (start == 0 ? "" : ", ") + JsonString(channels.substr(start, comma - start));
      start = comma + 1;
    }
    out += "], \"repeat\": " + JsonString(item.rule) + "}";
  }
  return json ? out + (first ? "]\n" : "\n]\n") : out;
}

time_zones::ZoneMap Catalogue(std::int64_t utcMSecs) {
  time_zones::ZoneMap zones;
  time_zones::IanaZonesAhead ahead(utcMSecs);
  time_zones::AddSystemZones(zones, time_zones::SystemZones(utcMSecs, &ahead));
  time_zones::AddUserZones(zones, time_zones::UserZones());
  time_zones::AddLocalZone(zones, time_zones::SystemLocalZone(utcMSecs));
  return zones;
}

std::vector<calendar_file::Item> ToCalendar(const std::string& bytes) {
  std::vector<calendar_file::Item> items;
  for (const std::string& line : events_file::SplitLines(bytes)) {
    const Item item = FromLine(line);
    calendar_file::Item out;
    out.id = item.id;
    out.description = item.description;
    out.endText = item.endText;
    out.zone = item.zone;
    out.warnMinutes = item.warnMinutes;
    out.sound = item.sound == "Y";
    out.messenger = item.messenger == "Y";
    out.email = item.email == "Y";
    out.program = item.program == "Y";
    out.repeatRule = item.rule;
    items.push_back(std::move(out));
  }
  return items;
}

Item FromCalendar(const calendar_file::Item& item) {
  Item out;
  out.id = item.id;
  // A calendar's texts may run over lines, which an events-file line cannot.
  out.description = item.description;
  std::replace_if(
      out.description.begin(), out.description.end(), [](char c) { return c == '\r' || c == '\n'; },
      ' ');
  std::replace(out.description.begin(), out.description.end(), '|', '/');
  out.endText = item.endText;
  out.zone = item.zone;
  out.warnMinutes = item.warnMinutes;
  const auto cell = [](bool checked) { return std::string(checked ? "Y" : ""); };
  out.sound = cell(item.sound);
  out.messenger = cell(item.messenger);
  out.email = cell(item.email);
  out.program = cell(item.program);
  out.rule = item.repeatRule;
  out.state = item.endText.empty() ? 0 : 1;
  return out;
}

}  // namespace item_commands
