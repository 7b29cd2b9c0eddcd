// Repeating items and snoozed notices: the grid menu's "Repeat...", the rule's words in
// the end time's tooltip, and the choices made on a due item's desktop notice.
#include <QLineEdit>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "desktop/desktopNotifier.h"
#include "events/eventExtras.h"
#include "events/eventTable.h"
#include "events/repeatRule.h"
#include "window/formMain.h"
#include "window/formRepeat.h"
#include "window/qtConvert.h"

using namespace event_table;

namespace {
// The snooze when the setting does not read as a number of minutes from 1 to a day.
constexpr int kDefaultSnoozeMinutes = 10;
}  // namespace

void TfrmMain::pmnuiRepeatClick() {
  const int row = grdEvents->Row();
  if (row < grdEvents->FixedRows() || row >= grdEvents->RowCount() || grdEvents->IsRowHidden(row)) {
    return;
  }
  const std::string tail = grdEvents->GetCells(event_extras::kColTail, row);
  const event_extras::Extras extras = event_extras::Read(tail);
  Platform::TDateTime end = Platform::Now();
  Platform::TryStrToDateTime(grdEvents->GetCells(kColEndTime, row), end);
  TfrmRepeat dialog(this, extras.rule, end);
  if (dialogs_.RunModal(dialog) != mrOk) {
    return;
  }
  const std::string rule = dialog.Rule();
  if (rule == extras.rule) {
    return;  // the line keeps its fields as they were
  }
  // A new rule starts its series at the item's end time.
  grdEvents->SetCells(event_extras::kColTail, row, event_extras::WithRule(tail, rule, 0));
  grdEvents->InvalidateRow(row);
}

int TfrmMain::RowOfItem(const std::string& itemId) const {
  for (int row = grdEvents->FixedRows(); row < grdEvents->RowCount(); ++row) {
    if (!grdEvents->IsRowHidden(row) && grdEvents->GetCells(kColID, row) == itemId) {
      return row;
    }
  }
  return -1;
}

bool TfrmMain::RowRepeats(int row) const {
  if (grdEvents->ColCount() <= event_extras::kColTail) {
    return false;
  }
  const std::string tail = grdEvents->GetCells(event_extras::kColTail, row);
  return !tail.empty() && !event_extras::Read(tail).rule.empty();
}

std::string TfrmMain::RepeatTooltip(int row) const {
  if (!RowRepeats(row)) {
    return "";
  }
  const std::string rule =
      event_extras::Read(grdEvents->GetCells(event_extras::kColTail, row)).rule;
  if (!repeat_rule::Check(rule).empty()) {
    return "Repeat rule not understood, the item does not repeat: " + rule;
  }
  return repeat_rule::Describe(rule);
}

// "Snooze" brings the item's sound and notice back after SnoozeMinutes; the time is kept
// with the row, so that it outlives a restart, and saved as a notified mark is. "Open"
// shows the window on the item's row.
void TfrmMain::NoticeAction(const std::string& itemId, const std::string& action) {
  const int row = RowOfItem(itemId);
  if (action == delivery::kActionOpen) {
    pmnuiOpenWindowClick();
    if (row >= 0) {
      grdEvents->SetRow(row);
      grdEvents->setFocus();
    }
    return;
  }
  if (action != delivery::kActionSnooze || row < 0) {
    return;
  }
  int minutes = kDefaultSnoozeMinutes;
  if (!Platform::TryStrToInt(FromQ(edtSnoozeMinutes->text()), minutes) || minutes < 1 ||
      minutes > 24 * 60) {
    minutes = kDefaultSnoozeMinutes;
  }
  const std::string until = Platform::FormatDateTime(
      "yyyy-mm-dd hh:nn:ss", Platform::Now() + minutes / Platform::MinsPerDay);
  grdEvents->SetCells(
      event_extras::kColTail, row,
      event_extras::WithSnooze(grdEvents->GetCells(event_extras::kColTail, row), until));
  deliveryLog_->Write(itemId, delivery::kScheduler,
                      "Snoozed for " + std::to_string(minutes) + " minutes, until " + until);
  savePending_ = true;
  SaveAfterPass();
}
