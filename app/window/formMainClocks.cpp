// The two clocks: their fonts and colours from the settings, the 250 ms refresh, the
// font and background dialogs and the four "Don't show" toggles.
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "time/clockDisplay.h"
#include "window/formMain.h"
#include "window/qtConvert.h"

using VIDodadaZadoVove::LOGFONTA;

namespace {

// A clock label's colours in their stored form. The layout designs them as stored
// colours; a label without them reports its palette.
std::uint32_t LabelFontColour(const QLabel& label) {
  const QVariant stored = label.property("FontColor");
  return stored.isValid() ? stored.toUInt()
                          : ColorToWin(label.palette().color(QPalette::WindowText));
}

std::uint32_t LabelBackColour(const QLabel& label) {
  const QVariant stored = label.property("Color");
  return stored.isValid() ? stored.toUInt() : ColorToWin(label.palette().color(QPalette::Window));
}

void SetLabelColours(QLabel& label, std::uint32_t fontColour, std::uint32_t backColour) {
  label.setProperty("FontColor", QVariant::fromValue(fontColour));
  label.setProperty("Color", QVariant::fromValue(backColour));
  QPalette palette = label.palette();
  palette.setColor(QPalette::WindowText, ColorFromWin(fontColour));
  palette.setColor(QPalette::Window, ColorFromWin(backColour));
  label.setPalette(palette);
  label.update();
}

void SetTextIfChanged(QLabel& label, const std::string& text) {
  const QString shown = ToQ(text);
  if (label.text() != shown) {
    label.setText(shown);
    // A named clock keeps its name for a reader and gives its time as the description.
    if (!label.accessibleName().isEmpty()) {
      label.setAccessibleDescription(shown);
    }
  }
}

}  // namespace

// ---- Start-up

void TfrmMain::ResetClockMembers() {
  dLastTZDiff_m = 0.0;
  bAltDown_m = false;
  bUseVirtualMilitary_m = bUseLocalMilitary_m = true;
  bShowVirtualTZName_m = bShowLocalTZName_m = true;
  iGridColor_m = grdEvents->Color();
  defaultBackColor_ = LabelBackColour(*lblVirtualTime);
  lfDefaultFont_m = std::make_unique<LOGFONTA>(LogFontFromFont(lblVirtualTime->font()));
  defaultFontColor_ = LabelFontColour(*lblVirtualTime);
  // What each clock shows unless a colour is stored.
  iVirtualFontColor_m = defaultFontColor_;
  iVirtualBackColor_m = defaultBackColor_;
  iLocalFontColor_m = LabelFontColour(*lblLocalTime);
  iLocalBackColor_m = LabelBackColour(*lblLocalTime);
}

void TfrmMain::SetUpClockLabel(QLabel* label, std::unique_ptr<LOGFONTA>& font,
                               std::uint32_t fontColour, std::uint32_t backColour) {
  if (!font) {
    font = std::make_unique<LOGFONTA>(LogFontFromFont(label->font()));
  }
  label->setFont(FontFromLogFont(*font));
  SetLabelColours(*label, fontColour, backColour);
}

// ---- The refresh

void TfrmMain::tmrMainClockTimer() {
  RefreshClocks(Platform::Now(), clocks::UtcFileTimeNow());
}

void TfrmMain::RefreshClocks(double localNow, std::int64_t utcFileTime) {
  clocks::State state{iLastSecond_m, dLastTZDiff_m};
  const bool nextSecond = clocks::NextSecond(state, localNow);
  iLastSecond_m = state.lastSecond;
  if (!nextSecond) {
    return;
  }
  if (const auto difference =
          clocks::ZoneDifferenceChange(state, dLocalTZOffset_m, dVirtualTZOffset_m)) {
    dLastTZDiff_m = state.lastZoneDifference;
    lblTZOffsetHours->setText(ToQ(*difference));
  }
  SetTextIfChanged(*lblLocalTime,
                   clocks::LocalClockText(localNow, bUseLocalMilitary_m, bShowLocalTZName_m,
                                          FromQ(edtLocalTimeZone->text())));
  SetTextIfChanged(
      *lblVirtualTime,
      clocks::VirtualClockText(utcFileTime, dVirtualTZOffset_m, bUseVirtualMilitary_m,
                               bShowVirtualTZName_m, FromQ(cboVirtualTimeZone->currentText())));
}

// ---- Hidden and shown

// Nobody sees the clocks of a hidden or minimised window, so their timer rests then and
// wakes the process no more; shown again, the labels are brought up to date at once.
// Minimising and restoring arrive here as hide and show events too.
bool TfrmMain::event(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::Hide) {
    RestClock();
  }
  const bool handled = QMainWindow::event(event);
  if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate) {
    KeepFrameOnScreen();  // the window system may have told the frame by now
  }
  if ((type == QEvent::Show || type == QEvent::WindowStateChange) && isVisible() &&
      !isMinimized()) {
    WakeClock();
  }
  return handled;
}

void TfrmMain::RestClock() {
  if (tmrMainClock->isActive()) {
    tmrMainClock->stop();
    clockResting_ = true;
  }
}

void TfrmMain::WakeClock() {
  // Not after the close sequence has stopped the clocks for good.
  if (!clockResting_ || closed_) {
    return;
  }
  clockResting_ = false;
  iLastSecond_m = -1;  // no second matches: this refresh writes whatever changed
  try {
    tmrMainClockTimer();
  } catch (const std::exception& e) {
    dialogs_.ShowException(e);
  }
  tmrMainClock->start();
}

// ---- Fonts, backgrounds and display toggles

void TfrmMain::ChooseClockFont(QLabel* label, std::unique_ptr<LOGFONTA>& font,
                               std::uint32_t& fontColour, const char* fontValue,
                               const char* colourValue) {
  // The dialog opens on the font the clock is drawn with: the family the description
  // names may not be installed, and the dialog lists only installed ones.
  QFont chosen = label->font();
  chosen.setFamily(QFontInfo(chosen).family());
  std::uint32_t colour = fontColour;
  if (!dialogs_.ChooseFont(this, chosen, colour)) {
    return;
  }
  font = std::make_unique<LOGFONTA>(LogFontFromFont(chosen));
  fontColour = colour;
  WriteSetting(fontValue);
  WriteSetting(colourValue);
  // The label shows the font as it is stored, so the next start looks the same.
  label->setFont(FontFromLogFont(*font));
  SetLabelColours(*label, fontColour, LabelBackColour(*label));
}

void TfrmMain::ChooseClockBackground(QLabel* label, std::uint32_t& backColour, const char* value) {
  std::uint32_t colour = LabelBackColour(*label);
  if (!dialogs_.ChooseColor(this, colour)) {
    return;
  }
  SetLabelColours(*label, LabelFontColour(*label), colour);
  backColour = colour;
  WriteSetting(value);
}

void TfrmMain::ToggleClockDisplay(QAction* item, bool& shown) {
  // The table stores the negation of the check mark as the item's value.
  item->setChecked(!item->isChecked());
  shown = !item->isChecked();
}

void TfrmMain::pmnuiVirtualFontClick() {
  ChooseClockFont(lblVirtualTime, lfVirtualFont_m, iVirtualFontColor_m, "NotifyFont",
                  "NotifyFontColor");
}

void TfrmMain::pmnuiLocalFontClick() {
  ChooseClockFont(lblLocalTime, lfLocalFont_m, iLocalFontColor_m, "NotifyLocalFont",
                  "NotifyLocalFontColor");
}

void TfrmMain::pmnuiVirtualBackgroundClick() {
  ChooseClockBackground(lblVirtualTime, iVirtualBackColor_m, "NotifyBackgroundColor");
}

void TfrmMain::pmnuiLocalBackgroundClick() {
  ChooseClockBackground(lblLocalTime, iLocalBackColor_m, "NotifyLocalBackgroundColor");
}

void TfrmMain::pmnuiVirtualMilitaryClick() {
  ToggleClockDisplay(pmnuiVirtualMilitary, bUseVirtualMilitary_m);
}

void TfrmMain::pmnuiLocalMilitaryClick() {
  ToggleClockDisplay(pmnuiLocalMilitary, bUseLocalMilitary_m);
}

void TfrmMain::pmnuiVirtualTZNameClick() {
  ToggleClockDisplay(pmnuiVirtualTZName, bShowVirtualTZName_m);
}

void TfrmMain::pmnuiLocalTZNameClick() {
  ToggleClockDisplay(pmnuiLocalTZName, bShowLocalTZName_m);
}
