// The notification-area icon and the window's display options: tray mode (applied at
// once) and stay on top (at the next start), exclusive as options; closing to the tray,
// the tray menu, and hiding the events or the settings panel.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFrame>
#include <QLayout>
#include <QMenu>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <filesystem>

#include "RegistryStore.h"
#include "delivery/deliveryLog.h"
#include "desktop/startAtLogin.h"
#include "time/zoneOffsetCache.h"
#include "window/formMain.h"
#include "window/littleIcon.h"
#include "window/qtConvert.h"

namespace {

// The mouse messages the tray reports, numbered as the tray handler knows them.
constexpr std::intptr_t kLeftButtonDoubleClick = 0x203;
constexpr std::intptr_t kRightButtonUp = 0x205;

constexpr char kTrayTip[] = "Caldrith Solutions Vazudovu";
constexpr char kNoTrayHint[] =
    "This desktop shows no system tray icons, so the window stays a normal window.";

std::intptr_t MouseMessageOf(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::DoubleClick:
      return kLeftButtonDoubleClick;
    case QSystemTrayIcon::Context:
      return kRightButtonUp;
    default:
      return 0;
  }
}

}  // namespace

// ---- Tray mode: applied at start-up and whenever the box changes

bool TfrmMain::TrayExists() const {
  return trayAvailable_ ? trayAvailable_() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TfrmMain::StartUpTray() {
  ApplyTrayMode();
}

// Shows or removes the icon as "Run in system tray" says; a window hidden in the tray
// whose icon goes is shown, since nothing else would bring it back.
void TfrmMain::ApplyTrayMode() {
  bool wanted = chkRunAsTrayIcon->isChecked();
  if (wanted && !TrayExists()) {
    // Hiding to a tray nobody shows would lose the window.
    chkRunAsTrayIcon->setToolTip(kNoTrayHint);
    wanted = false;
  }
  if (wanted == bTrayMode_m) {
    return;
  }
  bTrayMode_m = wanted;
  if (wanted) {
    pTrayIcon_m = std::make_unique<QSystemTrayIcon>(LittleIcon());
    AddIcon();
    return;
  }
  RemoveIcon();
  pTrayIcon_m.reset();
  ShowIfLostInTray();
}

void TfrmMain::ShowIfLostInTray() {
  // Not while start-up reads the settings (the timers start when it is done): the window
  // shows then as the command line says.
  if (!isVisible() && !closed_ && tmrEvents->isActive()) {
    pmnuiOpenWindowClick();
  }
}

// Qt tells no change of the tray's presence, so it is asked while the window is hidden
// in the tray, at each tick of the events timer, which wakes the program anyway.
void TfrmMain::WatchTray() {
  if (bTrayMode_m && !isVisible() && !closed_ && !TrayExists()) {
    RemoveIcon();
    pTrayIcon_m.reset();
    bTrayMode_m = false;
    ShowIfLostInTray();
  }
}

void TfrmMain::StartUpStayOnTop() {
  if (chkStayOnTop->isChecked()) {
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
  }
}

// ---- The two options: stored at once and exclusive; tray mode applies at once, stay on
// top at the next start

void TfrmMain::chkRunAsTrayIconClick() {
  if (chkRunAsTrayIcon->isChecked() && chkStayOnTop->isChecked()) {
    chkStayOnTop->setChecked(false);
  }
  ApplyTrayMode();
}

void TfrmMain::chkStayOnTopClick() {
  if (chkStayOnTop->isChecked() && chkRunAsTrayIcon->isChecked()) {
    chkRunAsTrayIcon->setChecked(false);
  }
}

// Start-up applies the stored choice through here too, which refreshes the entry's command
// when the program has moved.
void TfrmMain::chkStartAtLoginClick() {
  start_at_login::Apply(chkStartAtLogin->isChecked());
}

// ---- The icon

void TfrmMain::AddIcon() {
  try {
    if (!pTrayIcon_m) {
      return;
    }
    pTrayIcon_m->setToolTip(QString(kTrayTip).left(62));
    // Attached to the icon, the menu opens on every kind of tray, those that speak the
    // StatusNotifierItem protocol included, where the icon's own menu is the only one.
    pTrayIcon_m->setContextMenu(popTrayMenu);
    connect(pTrayIcon_m.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
              // The icon has opened its menu itself; a second one would cover it.
              if (reason != QSystemTrayIcon::Context) {
                WMTrayNotify(MouseMessageOf(reason));
              }
            });
    pTrayIcon_m->show();
  } catch (const std::exception& e) {
    activateWindow();
    dialogs_.MessageBox(this, std::string("Internal Error in TfrmMain::AddIcon msg: ") + e.what(),
                        "Error", mb::OK);
  }
}

void TfrmMain::RemoveIcon() {
  try {
    if (pTrayIcon_m) {
      pTrayIcon_m->hide();
    }
  } catch (const std::exception& e) {
    activateWindow();
    dialogs_.MessageBox(this,
                        std::string("Internal Error in TfrmMain::RemoveIcon msg: ") + e.what(),
                        "Error", mb::OK);
  }
}

void TfrmMain::WMTrayNotify(std::intptr_t lParam) {
  try {
    if (lParam == kLeftButtonDoubleClick) {
      pmnuiOpenWindowClick();
    } else if (lParam == kRightButtonUp) {
      const QPoint at = QCursor::pos();
      activateWindow();
      popTrayMenu->popup(at);
    }
  } catch (const std::exception& e) {
    dialogs_.MessageBox(this,
                        std::string("Internal Error in TfrmMain::WMTrayNotify msg: ") + e.what(),
                        "Error", mb::OK | mb::TASKMODAL | mb::TOPMOST);
  }
}

void TfrmMain::pmnuiOpenWindowClick() {
  // Showing runs FormShow, which returns the window to its stored place and size.
  show();
  raise();
  activateWindow();
}

// In tray mode the close box (or the window menu's Close) hides the window; Alt+F4 and
// the program's own closes (Shutdown, the end of the session) close it.
bool TfrmMain::CloseHidesToTray(const QCloseEvent& event) const {
  return event.spontaneous() && bTrayMode_m && pTrayIcon_m != nullptr && !bAltDown_m &&
         TrayExists();
}

// ---- Hide Events, Hide Settings

namespace {

// The height a panel had when it was last shown (kept as the panel's "ShownHeight"), so the
// window gives it back exactly; before that, the height it is designed with.
int ShownHeight(const QFrame& panel, int designed) {
  const QVariant kept = panel.property("ShownHeight");
  return kept.isValid() ? kept.toInt() : designed;
}

}  // namespace

// The panels keep their order, clocks, events, settings, whichever is shown again first:
// the layout holds them in that order and only their visibility changes.
void TfrmMain::TogglePanel(QFrame* panel, QAction* item, QAction* twin) {
  const int designed = panel == panEvents ? 114 : std::max(83, panel->sizeHint().height());
  item->setChecked(!item->isChecked());
  twin->setChecked(item->isChecked());
  if (item->isChecked()) {
    // Before the window is first shown its panels have no laid-out height yet.
    const int height = isVisible() ? panel->height() : ShownHeight(*panel, designed);
    panel->setProperty("ShownHeight", height);
    panel->hide();
    // Let the window shrink below what it needed with the panel, shown or not yet: the
    // sizes its layout keeps are renewed by itself only once the window is visible.
    panel->parentWidget()->updateGeometry();
    centralWidget()->updateGeometry();
    layout()->activate();
    resize(width(), this->height() - height);
    return;
  }
  const int height = ShownHeight(*panel, designed);
  resize(width(), this->height() + height);
  panel->show();
  if (panel == panEvents) {
    // The clocks share the splitter with the events and take whatever the events leave.
    centralWidget()->layout()->activate();
    spltTop->setSizes({std::max(panTop->minimumHeight(), spltTop->height() - height), height});
  }
}

void TfrmMain::pmnuiHideEventsClick() {
  TogglePanel(panEvents, pmnuiHideEvents, pmnuiTopHideEvents);
}

void TfrmMain::pmnuiHideSettingsClick() {
  TogglePanel(panBottom, pmnuiHideSettings, pmnuiTopHideSettings);
}

// ---- Help and About, from the tray menu

namespace {

// The user guide: the installed copy beside the program's prefix, else, for a program
// run from its build tree, the sources' own.
std::string UserGuidePath() {
  namespace fs = std::filesystem;
  const fs::path program = QCoreApplication::applicationDirPath().toStdString();
  std::error_code error;
  const fs::path installed = program.parent_path() / VAZUDOVU_DOC_DIR / "README.md";
  if (fs::is_regular_file(installed, error)) {
    return installed.lexically_normal().string();
  }
  const std::string build = fs::weakly_canonical(VAZUDOVU_BUILD_DIR, error).string();
  const std::string here = fs::weakly_canonical(program, error).string();
  const fs::path sources = fs::path(VAZUDOVU_SOURCE_DIR) / "README.md";
  if (here.rfind(build, 0) == 0 && fs::is_regular_file(sources, error)) {
    return sources.string();
  }
  return {};
}

}  // namespace

void TfrmMain::pmnuiHelpClick() {
  const std::string guide = UserGuidePath();
  if (guide.empty()) {
    dialogs_.ShowMessage("The user guide (README.md) is not installed with this program.");
    return;
  }
  const bool opened = openDocument_ ? openDocument_(guide)
                                    : QDesktopServices::openUrl(QUrl::fromLocalFile(ToQ(guide)));
  if (!opened) {
    dialogs_.ShowMessage("No program could show the user guide. It is the file " + guide);
  }
}

void TfrmMain::pmnuiAboutClick() {
  const std::string text =
      std::string("Quorvane Software's Vazudovu\nVersion ") + VAZUDOVU_VERSION +
      "\n\nLicence: none is stated with the program (its desktop metadata is CC0-1.0)."
      "\n\nWhere it keeps its files:\nEvents: " +
      eventsFile_ + "\nSettings: " + Platform::HiveFilePath(Platform::Hive::CurrentUser) +
      "\nDelivery log: " + (deliveryLog_ ? deliveryLog_->Path() : delivery::DefaultLogPath()) +
      "\nTime zone cache: " + zone_cache::DefaultPath();
  dialogs_.MessageBox(this, text, "About Vazudovu", mb::OK | mb::ICONINFORMATION);
}
