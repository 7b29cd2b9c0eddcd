// An events file of any bytes listed for a script, and an item added to it and removed
// again: the list has one entry per line, its JSON reads back, and the other lines are
// left as they were.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "events/eventsFile.h"
#include "events/itemCommands.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = events_file::SplitLines(bytes);

  const std::string tabs = item_commands::List(bytes, false);
  if (static_cast<std::size_t>(std::count(tabs.begin(), tabs.end(), '\n')) != lines.size()) {
    __builtin_trap();
  }
  const QJsonDocument json =
      QJsonDocument::fromJson(QByteArray::fromStdString(item_commands::List(bytes, true)));
  if (!json.isArray() || static_cast<std::size_t>(json.array().size()) != lines.size()) {
    __builtin_trap();
  }

  std::vector<std::string> changed = lines;
  item_commands::Item item;
  item.description = "Added";
  item.endText = "2030-05-01 14:00:00";
  item.zone = "Europe/Berlin";
  if (!item_commands::Add(changed, item, false).empty() ||
      item_commands::Remove(changed, item.id) != 1 || changed != lines) {
    __builtin_trap();
  }
  return 0;
}
