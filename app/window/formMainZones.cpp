// The zone catalogue in the window: building it at start-up, the local zone on the
// Timezone tab, the virtual zone list and the "OTHER" dialogue that adds a zone.
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "events/eventTable.h"
#include "time/timeZoneCatalogue.h"
#include "window/formMain.h"
#include "window/qtConvert.h"

void TfrmMain::AddSystemZones() {
  time_zones::AddSystemZones(
      mapTimeZones_m,
      time_zones::SystemZones(QDateTime::currentMSecsSinceEpoch(), ianaZonesAhead_.get()));
  ianaZonesAhead_.reset();
}

void TfrmMain::AddUserZones() {
  time_zones::AddUserZones(mapTimeZones_m, time_zones::UserZones());
}

void TfrmMain::ShowLocalZone(const std::string& name, double offset) {
  edtLocalTimeZone->setText(ToQ(name));
  dLocalTZOffset_m = offset;
  lblLocalTZOffsetHours->setText(ToQ(Platform::FloatToStr(dLocalTZOffset_m)));
  time_zones::AddLocalZone(mapTimeZones_m, {FromQ(edtLocalTimeZone->text()), dLocalTZOffset_m});
  grdEvents->SetColumnAsComboBox(event_table::kColZone,
                                 event_table::ZoneColumnNames(mapTimeZones_m));
}

void TfrmMain::FillVirtualZones() {
  QStringList names;
  for (const std::string& name : time_zones::Names(mapTimeZones_m)) {
    names << ToQ(name);
  }
  // Neither the filling nor the first selection is a choice to store: the stored zone is
  // read after them.
  const QSignalBlocker quiet(cboVirtualTimeZone);
  cboVirtualTimeZone->addItems(names);
  dVirtualTZOffset_m = 0.0;
  cboVirtualTimeZone->setCurrentIndex(cboVirtualTimeZone->findText(time_zones::kUtcName));
}

void TfrmMain::cboVirtualTimeZoneChange() {
  // The settings table stores the selected zone as VirtualTZ.
  const std::string selected = FromQ(cboVirtualTimeZone->currentText());
  if (selected != time_zones::kOtherName) {
    dVirtualTZOffset_m = mapTimeZones_m[selected];
    return;
  }
  std::string name;
  if (!dialogs_.InputQuery("Enter timezone name", "Timezone name:", name)) {
    return;
  }
  std::vector<std::string> listed;
  for (int i = 0; i < cboVirtualTimeZone->count(); ++i) {
    listed.push_back(FromQ(cboVirtualTimeZone->itemText(i)));
  }
  switch (time_zones::CheckNewName(listed, name)) {
    case time_zones::NameCheck::Empty:
      return;  // as good as cancelled
    case time_zones::NameCheck::Exists:
      dialogs_.ShowMessage("That name already exists!");
      return;
    case time_zones::NameCheck::Unstorable:
      dialogs_.ShowMessage("A timezone name cannot contain a backslash!");
      return;
    case time_zones::NameCheck::Accepted:
      break;
  }
  std::string offsetText;
  if (!dialogs_.InputQuery("Enter timezone offset from UTC (AKA Greewnwich Mean Time)",
                           "Timezone Offset:", offsetText)) {
    return;
  }
  const double offset = time_zones::ParseOffset(offsetText);
  dVirtualTZOffset_m = offset;
  mapTimeZones_m[name] = offset;
  cboVirtualTimeZone->addItem(ToQ(name));
  cboVirtualTimeZone->setCurrentIndex(cboVirtualTimeZone->count() - 1);
  time_zones::StoreUserZone(name, offset);
  grdEvents->SetColumnAsComboBox(event_table::kColZone,
                                 event_table::ZoneColumnNames(mapTimeZones_m));
}
