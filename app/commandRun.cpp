#include "commandRun.h"

#include <QDateTime>
#include <algorithm>
#include <exception>
#include <functional>
#include <vector>

#include "RegularFile.h"
#include "desktop/singleInstance.h"
#include "events/calendarFile.h"
#include "events/eventsFile.h"
#include "events/itemCommands.h"

namespace command_run {

namespace {

// Long enough for ten commands queued on one file, and for a busy window to reply.
constexpr int kReachWaitMs = 15000;
constexpr std::size_t kCalendarMax = 64u * 1024 * 1024;

// The reason on one line, whatever the message it came from.
Result Fail(std::string reason) {
  std::replace_if(
      reason.begin(), reason.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return {1, "", std::string(command_line::kProgram) + ": " + reason + "\n"};
}

// A change of the file's lines; empty when made, else why not.
using Change = std::function<std::string(std::vector<std::string>& lines)>;

std::string ChangeFile(const std::string& path, const Change& change) {
  try {
    std::string bytes;
    events_file::ReadFile(path, bytes);
    std::vector<std::string> lines = events_file::SplitLines(bytes);
    if (std::string why = change(lines); !why.empty()) {
      return why;
    }
    events_file::WriteFileAtomically(path, events_file::JoinLines(lines));
    return "";
  } catch (const std::exception& e) {
    return e.what();
  }
}

// Sends the request to the running program, or makes the change under the file's lock
// when none runs. Empty when done, with the program's answer in value; else why not.
std::string Apply(const std::string& path, const std::string& request, const Change& change,
                  std::string& value) {
  SingleInstance::CommandWay way = SingleInstance::ReachForCommand(path, request, kReachWaitMs);
  switch (way.kind) {
    case SingleInstance::CommandWay::Kind::Locked:
      return ChangeFile(path, change);
    case SingleInstance::CommandWay::Kind::Replied:
      if (way.reply.rfind("ok ", 0) == 0) {
        value = way.reply.substr(3);
        return "";
      }
      if (way.reply.rfind("error ", 0) == 0) {
        return way.reply.substr(6);
      }
      return "The running program answered '" + way.reply + "'";
    case SingleInstance::CommandWay::Kind::Failed:
      break;
  }
  return way.reply;
}

std::int64_t NowMSecs() {
  return QDateTime::currentMSecsSinceEpoch();
}

Result AddItem(const command_line::Outcome& command, const std::string& path) {
  const std::int64_t now = NowMSecs();
  const time_zones::ZoneMap zones = item_commands::Catalogue(now);
  item_commands::Item item;
  item.id = command.id;
  item.description = command.description;
  item.endText = command.at;
  item.zone = command.zone.empty() ? time_zones::SystemLocalZone(now).name : command.zone;
  if (!command.warn.empty()) {
    item.warnMinutes = command.warn;
  }
  if (command.viaGiven) {
    item_commands::SetChannels(command.via, item);
  }
  item.rule = command.repeat;
  if (const std::string why = item_commands::Check(item, zones); !why.empty()) {
    return Fail(why);
  }
  std::string id;
  const std::string why = Apply(
      path, "add " + item_commands::Line(item),
      [&item, &id](std::vector<std::string>& lines) {
        const std::string refused = item_commands::Add(lines, item, false);
        id = item.id;
        return refused;
      },
      id);
  return why.empty() ? Result{0, id + "\n", ""} : Fail(why);
}

Result RemoveItem(const command_line::Outcome& command, const std::string& path) {
  const std::string& id = command.target;
  std::string ignored;
  const std::string why = Apply(
      path, "remove " + id,
      [&id](std::vector<std::string>& lines) {
        return item_commands::Remove(lines, id) == 0 ? "No item has the ID '" + id + "'"
                                                     : std::string();
      },
      ignored);
  return why.empty() ? Result{} : Fail(why);
}

Result ListItems(const command_line::Outcome& command, const std::string& path) {
  std::string bytes;
  try {
    events_file::ReadFile(path, bytes);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return {0, item_commands::List(bytes, command.json), ""};
}

Result ExportItems(const command_line::Outcome& command, const std::string& path) {
  try {
    std::string bytes;
    events_file::ReadFile(path, bytes);
    const std::int64_t now = NowMSecs();
    const time_zones::ZoneMap zones = item_commands::Catalogue(now);
    const std::string text = calendar_file::Export(
        item_commands::ToCalendar(bytes),
        [&zones](const std::string& zone) {
          const auto found = zones.find(zone);
          return found != zones.end() ? found->second : 0.0;
        },
        now / 1000);
    Platform::WriteFileAtomically(command.target, text, "the calendar");
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return {};
}

Result ImportItems(const command_line::Outcome& command, const std::string& path) {
  Platform::FileRead read = Platform::ReadRegularFile(command.target, kCalendarMax);
  if (!read.Ok()) {
    return Fail(read.message);
  }
  const std::int64_t now = NowMSecs();
  const time_zones::ZoneMap zones = item_commands::Catalogue(now);
  const calendar_file::ImportResult found = calendar_file::Import(
      read.bytes,
      [&zones](const std::string& zone) {
        return zone != time_zones::kOtherName && zones.count(zone) != 0;
      },
      time_zones::SystemLocalZone(now));
  std::vector<std::string> skipped = found.skipped;
  std::size_t added = 0;
  for (const calendar_file::Item& entry : found.items) {
    item_commands::Item item = item_commands::FromCalendar(entry);
    std::string why = item_commands::Check(item, zones);
    if (why.empty()) {
      std::string id;
      why = Apply(
          path, "import " + item_commands::Line(item),
          [&item](std::vector<std::string>& lines) {
            return item_commands::Add(lines, item, true);
          },
          id);
    }
    if (why.empty()) {
      ++added;
    } else {
      skipped.push_back((entry.description.empty() ? entry.id : entry.description) + ": " + why);
    }
  }
  Result result;
  result.output =
      "Added " + std::to_string(added) + ", skipped " + std::to_string(skipped.size()) + ".\n";
  for (const std::string& reason : skipped) {
    result.output += "Skipped " + reason + "\n";
  }
  // A file of which nothing could be taken is a failure; some items skipped is not.
  if (added == 0 && !skipped.empty()) {
    result.exitCode = 1;
    result.error =
        std::string(command_line::kProgram) + ": nothing was added from " + command.target + "\n";
  }
  return result;
}

}  // namespace

Result Run(const command_line::Outcome& command, const std::string& eventsFile) {
  try {
    switch (command.command) {
      case command_line::Command::Add:
        return AddItem(command, eventsFile);
      case command_line::Command::Remove:
        return RemoveItem(command, eventsFile);
      case command_line::Command::List:
        return ListItems(command, eventsFile);
      case command_line::Command::ExportIcs:
        return ExportItems(command, eventsFile);
      case command_line::Command::ImportIcs:
        return ImportItems(command, eventsFile);
      case command_line::Command::None:
        break;
    }
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return {};
}

}  // namespace command_run
