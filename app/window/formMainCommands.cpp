// Items added and removed by commands from scripts while the window runs: the rows change
// as "Add" and "Delete" change them, so the cell-change rule arms a new item, and the
// file is saved at once, as the command without a window would have saved it.
#include <algorithm>
#include <exception>

#include "QSStringGrid.h"
#include "events/eventExtras.h"
#include "events/eventTable.h"
#include "events/itemCommands.h"
#include "window/formMain.h"

using namespace event_table;

std::string TfrmMain::RunItemCommand(const std::string& request) {
  const std::size_t space = request.find(' ');
  const std::string verb = request.substr(0, space);
  const std::string rest = space == std::string::npos ? "" : request.substr(space + 1);
  // Replacing a file the table holds only part of would lose the rest.
  if (!eventsLoaded_) {
    return "error The events file " + eventsFile_ +
           " was not loaded completely, so the running program does not change it";
  }
  try {
    if (verb == "add" || verb == "import") {
      return AddItemFromCommand(rest, verb == "import");
    }
    if (verb == "remove") {
      return RemoveItemFromCommand(rest);
    }
  } catch (const std::exception& e) {
    return std::string("error ") + e.what();
  }
  return "error The running program does not know the request '" + verb + "'";
}

std::string TfrmMain::AddItemFromCommand(const std::string& line, bool renameTaken) {
  item_commands::Item item = item_commands::FromLine(line);
  if (const std::string why = item_commands::Check(item, mapTimeZones_m); !why.empty()) {
    return "error " + why;
  }
  std::vector<std::string> ids;
  for (int row = grdEvents->FixedRows(); row < grdEvents->RowCount(); ++row) {
    if (!grdEvents->IsRowHidden(row)) {
      ids.push_back(grdEvents->GetCells(kColID, row));
    }
  }
  const bool taken = std::find(ids.begin(), ids.end(), item.id) != ids.end();
  if (!item.id.empty() && taken && !renameTaken) {
    return "error An item with the ID '" + item.id + "' is there already";
  }
  if (item.id.empty() || taken) {
    item.id = item_commands::NewId(ids);
  }
  const int r = grdEvents->RowCount() - 1;
  grdEvents->InsertRow(r);
  grdEvents->SetCells(kColID, r, item.id);
  grdEvents->SetCells(kColDescription, r, item.description);
  grdEvents->SetCells(kColEndTime, r, item.endText);
  grdEvents->SetCells(kColZone, r, item.zone);
  grdEvents->SetCells(kColWarnMinutes, r, item.warnMinutes);
  grdEvents->SetCells(kColSound, r, item.sound);
  grdEvents->SetCells(kColMessenger, r, item.messenger);
  grdEvents->SetCells(kColEmail, r, item.email);
  grdEvents->SetCells(kColCustomApp, r, item.program);
  if (!item.rule.empty() && grdEvents->ColCount() > event_extras::kColTail) {
    grdEvents->SetCells(event_extras::kColTail, r, event_extras::WithRule("", item.rule, 0));
  }
  grdEvents->InvalidateRow(r);
  SaveEvents();
  return "ok " + item.id;
}

std::string TfrmMain::RemoveItemFromCommand(const std::string& id) {
  const int current = grdEvents->Row();
  int removed = 0;
  for (int row = grdEvents->RowCount() - 1; row >= grdEvents->FixedRows(); --row) {
    if (!grdEvents->IsRowHidden(row) && grdEvents->GetCells(kColID, row) == id) {
      grdEvents->SetRow(row);
      bbtnDeleteEventClick();
      ++removed;
    }
  }
  if (removed == 0) {
    return "error No item has the ID '" + id + "'";
  }
  // The user's place in the table, as near as the rows left allow.
  grdEvents->SetRow(std::clamp(current, grdEvents->FixedRows(),
                               std::max(grdEvents->FixedRows(), grdEvents->RowCount() - 2)));
  SaveEvents();
  return "ok " + id;
}
