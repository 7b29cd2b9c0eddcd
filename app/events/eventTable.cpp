#include "events/eventTable.h"

namespace event_table {

const std::vector<std::string>& HeaderTitles() {
  static const std::vector<std::string> titles = {
      "Item ID",        "Item Description",       "Item End Date/Time",
      "Item Timezone",  "Notify mins before end", "Notify via Sound",
      "Notify via MSM", "Notify via Email",       "Notify via Custom App"};
  return titles;
}

std::vector<std::string> ZoneColumnNames(const std::map<std::string, double>& zones) {
  std::vector<std::string> names;
  names.reserve(zones.size());
  for (const auto& [name, offset] : zones) {
    if (name != "OTHER") {
      names.push_back(name);
    }
  }
  return names;
}

double ZoneOffset(const std::map<std::string, double>& zones, const std::string& name) {
  const auto it = zones.find(name);
  return it == zones.end() ? 0.0 : it->second;
}

Platform::TDateTime LocalEndTime(Platform::TDateTime end, double localOffset, double zoneOffset) {
  return end + (localOffset - zoneOffset) / 24.0;
}

int StateAfterEndTimeChange(int state, const std::string& oldText,
                            const std::function<Platform::TDateTime()>& now) {
  if (state == kStateNew) {
    return kStateArmed;
  }
  // While an end time is typed the cell holds parts of one ("2", "2026-1"); a text that
  // is no date-time is not later than now.
  Platform::TDateTime oldEnd = 0.0;
  if (Platform::TryStrToDateTime(oldText, oldEnd) && oldEnd > now()) {
    return kStateArmed;
  }
  return state;
}

bool DialogRearms(Platform::TDateTime localEnd, Platform::TDateTime now) {
  return (localEnd - now) * Platform::MinsPerDay >= 0.0;
}

}  // namespace event_table
