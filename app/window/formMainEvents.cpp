// The event table's handlers and the events file, walking the grid with the
// rules of eventTable and eventsFile.
#include <QLineEdit>
#include <algorithm>
#include <climits>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "Exceptions.h"
#include "QSStringGrid.h"
#include "delivery/deliveryOutcome.h"
#include "events/eventExtras.h"
#include "events/eventTable.h"
#include "events/eventsFile.h"
#include "window/formMain.h"
#include "window/formSelectDateTime.h"
#include "window/qtConvert.h"

using namespace event_table;

namespace {
constexpr std::uint32_t kUnreadableColour = 0x008080FF;  // light red, as 0x00BBGGRR
const char* const kRepeatMark = " \u21BB";               // a clockwise arrow
const std::set<std::string> kNoTexts;
}  // namespace

void TfrmMain::bbtnAddEventClick() {
  const int r = grdEvents->RowCount() - 1;
  grdEvents->InsertRow(r);
  grdEvents->SetCol(0);
  grdEvents->SetRow(r);
  grdEvents->SetCells(kColZone, r, FromQ(edtLocalTimeZone->text()));
  grdEvents->SetCells(kColWarnMinutes, r, "10");
  grdEvents->setFocus();
}

void TfrmMain::bbtnDeleteEventClick() {
  const int r = grdEvents->Row();
  if (r < grdEvents->FixedRows() || r >= grdEvents->RowCount() || grdEvents->IsRowHidden(r)) {
    return;
  }
  for (int c = 0; c < grdEvents->ColCount(); ++c) {
    grdEvents->SetObjects(c, r, 0);
  }
  grdEvents->ClearRow(r);
  if (grdEvents->RowCount() > grdEvents->FixedRows() + 1) {
    grdEvents->RemoveRow(r);
  }
  if (grdEvents->Row() >= grdEvents->RowCount()) {
    grdEvents->SetRow(grdEvents->RowCount() - 1);
  }
}

void TfrmMain::grdEventsDblClick() {
  const int row = grdEvents->Row();
  if (row < grdEvents->FixedRows() || grdEvents->Col() != kColEndTime) {
    return;
  }
  const Platform::TDateTime now = Platform::Now();
  pSelectDateTime_m = std::make_unique<TfrmSelectDateTime>(this, now);
  const std::string current = grdEvents->GetCells(kColEndTime, row);
  if (!current.empty()) {
    const Platform::TDateTime value = Platform::StrToDateTime(current);
    pSelectDateTime_m->SetDate(value);
    pSelectDateTime_m->SetTime(value);
  }
  if (dialogs_.RunModal(*pSelectDateTime_m) != mrOk) {
    return;
  }
  const Platform::TFormatSettings& formats = Platform::FormatSettings();
  const std::string text =
      Platform::FormatDateTime(formats.ShortDateFormat, pSelectDateTime_m->Date()) + " " +
      Platform::FormatDateTime(formats.ShortTimeFormat, pSelectDateTime_m->Time());
  grdEvents->SetCells(kColEndTime, row, text);

  const Platform::TDateTime end =
      LocalEndTime(Platform::StrToDateTime(grdEvents->GetCells(kColEndTime, row)), dLocalTZOffset_m,
                   ZoneOffset(mapTimeZones_m, grdEvents->GetCells(kColZone, row)));
  if (DialogRearms(end, Platform::Now())) {
    grdEvents->SetObjects(kColEndTime, row, kStateArmed);
  }
  grdEvents->InvalidateRow(row);
}

void TfrmMain::grdEventsCellChange(int ACol, int ARow, const std::string&, bool&) {
  std::string marker = "A";
  try {
    if (ARow < grdEvents->FixedRows() || ACol != kColEndTime) {
      return;
    }
    // A new end time starts the item afresh: its last outcome no longer colours the row,
    // unless the pass moves a repeating item on, whose outcome is the one just sent. A
    // snooze of the old end time is over.
    if (ARow != passMovesRow_) {
      outcomes_->Forget(grdEvents->GetCells(kColID, ARow));
    }
    if (grdEvents->ColCount() > event_extras::kColTail) {
      const std::string tail = grdEvents->GetCells(event_extras::kColTail, ARow);
      if (!tail.empty() && !event_extras::Read(tail).snoozeUntil.empty()) {
        grdEvents->SetCells(event_extras::kColTail, ARow, event_extras::WithSnooze(tail, ""));
      }
    }
    const int state = static_cast<int>(grdEvents->GetObjects(kColEndTime, ARow));
    int newState = state;
    if (state == kStateNew) {
      marker = "B";
      newState = StateAfterEndTimeChange(state, "", Platform::Now);
    } else {
      marker = "C";
      newState =
          StateAfterEndTimeChange(state, grdEvents->GetCells(kColEndTime, ARow), Platform::Now);
      if (newState != state) {
        marker = "D";
      }
    }
    if (newState != state) {
      grdEvents->SetObjects(kColEndTime, ARow, newState);
      grdEvents->InvalidateRow(ARow);
    }
  } catch (const std::exception& e) {
    dialogs_.ShowMessage(Platform::Format("(%s) Internal error in [%s] msg: %s", marker.c_str(),
                                          "TfrmMain::grdEventsCellChange", e.what()));
  }
}

void TfrmMain::grdEventsBeforeDrawCell(int ACol, int ARow, const QSGrid::TRect&,
                                       QSGrid::TGridDrawState, std::string& asVal,
                                       int& iOverrideFlags, int& iOverrideVals, QSGrid::TFont&) {
  std::string marker = "A";
  try {
    if (ARow < grdEvents->FixedRows()) {
      return;
    }
    iOverrideFlags = 12;
    iOverrideVals = 12;
    marker = "B";
    const bool notified = grdEvents->GetObjects(kColEndTime, ARow) == kStateNotified;
    grdEvents->Canvas().Brush.Color = !notified                 ? iGridColor_m
                                      : RowDeliveryFailed(ARow) ? delivery::kWarningColour
                                                                : 0x00FF00u;
    grdEvents->Canvas().Font.Color = grdEvents->Font().Color;
    // An end time or warning the scheduler could not read, and so skips, stands out in red.
    const std::set<std::string>& unreadable = ACol == kColEndTime       ? unreadable_.endTimes
                                              : ACol == kColWarnMinutes ? unreadable_.warnings
                                                                        : kNoTexts;
    if (!unreadable.empty() && unreadable.count(grdEvents->GetCells(ACol, ARow)) != 0) {
      grdEvents->Canvas().Brush.Color = kUnreadableColour;
    }
    // A repeating item's end time carries the repeat mark.
    if (ACol == kColEndTime && RowRepeats(ARow)) {
      asVal += kRepeatMark;
    }
  } catch (const std::exception& e) {
    dialogs_.ShowMessage(Platform::Format("(%s) Internal error in [%s] msg: %s", marker.c_str(),
                                          "TfrmMain::grdEventsBeforeDrawCell", e.what()));
  }
}

// ---- The events file

void TfrmMain::bbtnSaveEventsNowClick() {
  // The table shows only part of the file, or none of it: replacing the file would lose
  // the rest, so the user decides.
  if (!eventsLoaded_ &&
      dialogs_.MessageBox(this,
                          "The events file " + eventsFile_ +
                              " was not loaded completely, so the table may lack items it "
                              "holds. Replace the file with the items shown?",
                          "Confirm", mb::YESNO | mb::ICONWARNING) != mb::IDYES) {
    return;
  }
  SaveEvents();
  eventsLoaded_ = true;
}

void TfrmMain::LoadEvents(std::string& marker) {
  marker = "P1";
  events_file::RemoveStaleTemporaries(eventsFile_);
  events_file::FieldLines lines;
  // The file was read while the window was made; a failed read raises here, under "P1".
  const std::shared_ptr<events_file::ReadAhead> ahead = std::move(eventsAhead_);
  const bool read =
      ahead != nullptr ? ahead->Take(lines) : events_file::ReadFields(eventsFile_, lines);
  if (read) {
    LoadEventLines(lines, marker);
  }
  eventsLoaded_ = true;
}

void TfrmMain::SaveEvents() {
  std::vector<std::string> lines;
  const int columns = grdEvents->ColCount();
  for (int row = grdEvents->FixedRows(); row < grdEvents->RowCount(); ++row) {
    if (grdEvents->IsRowHidden(row)) {
      continue;
    }
    std::string line;
    for (int c = 0; c < columns; ++c) {
      if (c == event_extras::kColTail) {
        line += grdEvents->GetCells(c, row);  // the fields after the columns, as read
      } else if (!grdEvents->IsColHidden(c)) {
        events_file::AppendField(line, grdEvents->GetCells(c, row), grdEvents->GetObjects(c, row));
      }
    }
    if (!line.empty()) {
      lines.push_back(std::move(line));
    }
  }
  events_file::WriteFileAtomically(eventsFile_, events_file::JoinLines(lines));
}

void TfrmMain::LoadEventLines(const events_file::FieldLines& lines, std::string& marker) {
  const TGridUpdateBatch batch(*grdEvents);
  grdEvents->ReserveRows(grdEvents->RowCount() +
                         static_cast<int>(std::min<std::size_t>(lines.size(), INT_MAX / 2)));
  // The line was cut into its fields ahead ("P1.1"); a row starts under "P1.2", takes the
  // first column under "P1.3_0_<row>" (then "P1.4_0_<row>" and "P2", where nothing can
  // fail), has its fields set under "P3" and ends under "P4". The step is kept as a plain
  // pointer and the marker written only when a step fails, not several times a row.
  const char* step = "P1.2";
  int r = 0;
  std::string text;
  try {
    for (std::size_t line = 0; line < lines.size(); ++line) {
      const events_file::FieldLines::Fields values = lines[line];
      step = "P1.2";
      r = grdEvents->RowCount() - 1;
      grdEvents->InsertRow(r);
      step = "P1.3_0_";
      grdEvents->SetCol(0);
      const int columns = grdEvents->ColCount();
      step = "P3";
      for (std::size_t k = 0; k < values.size(); ++k) {
        const int c = static_cast<int>(k / 2);
        if (c == event_extras::kColTail && c < columns) {
          // The fields after the columns stay together, as the line held them.
          text.clear();
          for (std::size_t t = k; t < values.size(); ++t) {
            text.append(values[t]);
            if (t + 1 < values.size()) {
              text += '|';
            }
          }
          grdEvents->SetCells(c, r, text);
          break;
        }
        if (c >= columns) {
          continue;
        }
        if (k % 2 == 0) {
          // One buffer serves every field, so a long text costs no allocation of its own.
          text.assign(values[k]);
          grdEvents->SetCells(c, r, text);
        } else {
          grdEvents->SetObjects(c, r, events_file::ObjectFromField(values[k]));
          grdEvents->InvalidateRow(r);
        }
      }
    }
  } catch (...) {
    marker = step;
    if (marker == "P1.3_0_") {
      marker += std::to_string(r);
    }
    throw;
  }
  if (lines.size() != 0) {
    marker = "P4";
  }
}
