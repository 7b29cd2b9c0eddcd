// Start-up, shut-down and the simple handlers of the main window.
#include "window/formMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include "DateTime.h"
#include "Exceptions.h"
#include "QSStringGrid.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "desktop/desktopNotifier.h"
#include "events/eventTable.h"
#include "events/eventsFile.h"
#include "settings/settingsKeys.h"
#include "time/timeZoneCatalogue.h"
#include "window/formSelectDateTime.h"
#include "window/qtConvert.h"
#include "window/windowPlacement.h"

using namespace VIDodadaZadoVove;

TfrmMain* frmMain = nullptr;

namespace {

// Dates and times are written and read back as "yyyy-mm-dd hh:nn:ss" for the whole run.
void FixDateTimeFormats() {
  Platform::TFormatSettings& formats = Platform::FormatSettings();
  formats.DateSeparator = '-';
  formats.TimeSeparator = ':';
  formats.ShortDateFormat = "yyyy-mm-dd";
  formats.ShortTimeFormat = "hh:nn:ss";
}

}  // namespace

template <typename Body>
void TfrmMain::Guarded(Body&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    dialogs_.ShowException(e);
  }
}

TfrmMain::TfrmMain(Dialogs& dialogs, MainWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      bgProcessOptions_(options.supervisor),
      dialogs_(dialogs),
      eventsFile_(options.eventsFilePath.empty() ? events_file::DefaultPath()
                                                 : options.eventsFilePath) {
  setObjectName("frmMain");
  ianaZonesAhead_ =
      options.zonesAhead
          ? std::move(options.zonesAhead)
          : std::make_shared<time_zones::IanaZonesAhead>(QDateTime::currentMSecsSinceEpoch());
  eventsAhead_ = options.eventsAhead ? std::move(options.eventsAhead)
                                     : std::make_shared<events_file::ReadAhead>(eventsFile_);
  StartDelivery(options.deliveryLogPath);
  trayAvailable_ = std::move(options.trayAvailable);
  openDocument_ = std::move(options.openDocument);
  CreateControls();
  CreateMenus();
  CreateComponents();
  // Values are stored before the named handlers add their own work.
  ConnectSettings();
  ConnectHandlers();
  // The window sees key events before its controls.
  qApp->installEventFilter(this);
  StartUp();
}

void TfrmMain::StartUp() {
  std::string marker;
  try {
    marker = "A";
    FixDateTimeFormats();

    marker = "B";
    pBGProcess_m = std::make_unique<thrBGProcess>(bgProcessOptions_);

    marker = "C";
    ResetClockMembers();
    LoadSettings("NotifyFont", "NotifyBackgroundColor");

    marker = "D";
    SetUpClockLabel(lblVirtualTime, lfVirtualFont_m, iVirtualFontColor_m, iVirtualBackColor_m);
    LoadSettings("NotifyLocalFont", "NotifyLocalBackgroundColor");

    marker = "E";
    SetUpClockLabel(lblLocalTime, lfLocalFont_m, iLocalFontColor_m, iLocalBackColor_m);
    LoadSettings("grdEventsHeight", "grdEventsHeight");

    marker = "F";
    PrepareEventTable();

    marker = "G";
    const time_zones::Zone localZone =
        time_zones::SystemLocalZone(QDateTime::currentMSecsSinceEpoch());
    marker = "H";
    AddSystemZones();
    marker = "I";
    AddUserZones();

    marker = "J";
    ShowLocalZone(localZone.name, localZone.offset);

    marker = "K";
    LoadSNTPServerList();
    marker = "L";
    LoadSettings("AutoSynchTimeNTPServer", "AutoSynchTimeNTPServer");
    FillVirtualZones();
    LoadSettings("HideEvents", "HideSettings");

    marker = "M";
    bTrayMode_m = false;
    LoadSettings("TRAYICON", "TRAYICON");
    StartUpTray();
    LoadSettings("RunOnTop", "RunOnTop");
    StartUpStayOnTop();
    LoadSettings("VirtualTZ", "EbayLogin");
    marker = "N";
    LoadSettings("EbayPassword", "SnoozeMinutes");

    marker = "O";
    StartSupervisor();

    marker = "P";
    LoadEvents(marker);
    RestoreOutcomes();

    marker = "Q";
    StartTimers();
    marker = "R";
  } catch (const std::exception& e) {
    std::string text = Platform::Format("(%s) Internal error in [%s] msg: %s", marker.c_str(),
                                        "TfrmMain::TfrmMain", e.what());
    if (!eventsLoaded_) {
      text += "\nThe events file " + eventsFile_ +
              " was not loaded and will be left alone: it is not saved at close.";
    }
    dialogs_.ShowMessage(text);
  }
}

void TfrmMain::StartTimers() {
  tmrAutoSynch->start();
  tmrEvents->start();
  // The clocks run only while someone can see them: a window not shown yet (a start
  // hidden in the tray, as at log-in) starts them when it is shown.
  if (isVisible() && !isMinimized()) {
    tmrMainClock->start();
  } else {
    clockResting_ = true;
  }
}

void TfrmMain::PrepareEventTable() {
  grdEvents->SetRowCount(2);
  grdEvents->HideRow(grdEvents->RowCount() - 1);
  for (int column = 5; column <= 8; ++column) {
    grdEvents->SetColumnAsCheckBox(column, "Y", "N");
  }
}

template <typename Sender, typename Signal>
void TfrmMain::Bind(Sender* sender, Signal signal, Handler handler) {
  connect(sender, signal, this, [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
}

void TfrmMain::BindItem(QAction* item, Handler handler) {
  connect(item, &QAction::triggered, this, [this, item, handler] {
    // The handler sets the check mark itself; undo Qt's own toggle before it runs.
    if (item->isCheckable()) {
      const QSignalBlocker quiet(item);
      item->setChecked(!item->isChecked());
    }
    Guarded([=, this] { (this->*handler)(); });
  });
}

void TfrmMain::ConnectHandlers() {
  ConnectButtons();
  ConnectSettingsControls();
  ConnectMenuItems();
  ConnectTimers();
  ConnectGrid();
}

void TfrmMain::ConnectButtons() {
  Bind(bbtnShutdown, &QPushButton::clicked, &TfrmMain::bbtnShutdownClick);
  Bind(pmnuiShutdown, &QAction::triggered, &TfrmMain::pmnuiShutdownClick);
  // Buttons that only answer with a message need no guard.
  connect(bbtnUpdates, &QPushButton::clicked, this, [this] { bbtnUpdatesClick(); });
  connect(bbtnForceUpdate, &QPushButton::clicked, this, [this] { bbtnForceUpdateClick(); });
  connect(bbtnImportEbayLiveAuctions, &QPushButton::clicked, this,
          [this] { bbtnImportEbayLiveAuctionsClick(); });
  connect(bbtnImportEayWatchList, &QPushButton::clicked, this,
          [this] { bbtnImportEayWatchListClick(); });
  Bind(bbtnAddEvent, &QPushButton::clicked, &TfrmMain::bbtnAddEventClick);
  Bind(bbtnDeleteEvent, &QPushButton::clicked, &TfrmMain::bbtnDeleteEventClick);
  Bind(bbtnSaveEventsNow, &QPushButton::clicked, &TfrmMain::bbtnSaveEventsNowClick);
  Bind(bbtnDeliveryLog, &QPushButton::clicked, &TfrmMain::bbtnDeliveryLogClick);
  Bind(pmnuiDeliveryLog, &QAction::triggered, &TfrmMain::bbtnDeliveryLogClick);
  Bind(pmnuiRepeat, &QAction::triggered, &TfrmMain::pmnuiRepeatClick);
}

// Check boxes report programmatic changes too, as their handlers expect; drop-down lists
// report only the user's choice.
void TfrmMain::ConnectSettingsControls() {
  Bind(chkRunAsTrayIcon, &QCheckBox::toggled, &TfrmMain::chkRunAsTrayIconClick);
  Bind(chkStayOnTop, &QCheckBox::toggled, &TfrmMain::chkStayOnTopClick);
  Bind(chkStartAtLogin, &QCheckBox::toggled, &TfrmMain::chkStartAtLoginClick);
  Bind(bbtnAutoProxy, &QAbstractButton::clicked, &TfrmMain::bbtnAutoProxyClick);
  Bind(cboVirtualTimeZone, &QComboBox::activated, &TfrmMain::cboVirtualTimeZoneChange);
  Bind(chkAutoTimeSynch, &QCheckBox::toggled, &TfrmMain::chkAutoTimeSynchClick);
  Bind(cboSNTPServer, &QComboBox::activated, &TfrmMain::cboSNTPServerChange);
  Bind(sbtnSelectSoundFile, &QAbstractButton::clicked, &TfrmMain::sbtnSelectSoundFileClick);
  Bind(sbtnTestSound, &QAbstractButton::clicked, &TfrmMain::sbtnTestSoundClick);
  Bind(sbtnStop, &QAbstractButton::clicked, &TfrmMain::sbtnStopClick);
  Bind(bbtnAutoDetectMSMSettings, &QAbstractButton::clicked,
       &TfrmMain::bbtnAutoDetectMSMSettingsClick);
  Bind(bbtnAutoDetectMailSettings, &QAbstractButton::clicked,
       &TfrmMain::bbtnAutoDetectMailSettingsClick);
  Bind(sbtnLaunchApp, &QAbstractButton::clicked, &TfrmMain::sbtnLaunchAppClick);
}

void TfrmMain::ConnectMenuItems() {
  BindItem(pmnuiHideEvents, &TfrmMain::pmnuiHideEventsClick);
  BindItem(pmnuiTopHideEvents, &TfrmMain::pmnuiHideEventsClick);
  BindItem(pmnuiHideSettings, &TfrmMain::pmnuiHideSettingsClick);
  BindItem(pmnuiTopHideSettings, &TfrmMain::pmnuiHideSettingsClick);
  BindItem(pmnuiVirtualFont, &TfrmMain::pmnuiVirtualFontClick);
  BindItem(pmnuiVirtualBackground, &TfrmMain::pmnuiVirtualBackgroundClick);
  BindItem(pmnuiVirtualMilitary, &TfrmMain::pmnuiVirtualMilitaryClick);
  BindItem(pmnuiVirtualTZName, &TfrmMain::pmnuiVirtualTZNameClick);
  BindItem(pmnuiLocalFont, &TfrmMain::pmnuiLocalFontClick);
  BindItem(pmnuiLocalBackground, &TfrmMain::pmnuiLocalBackgroundClick);
  BindItem(pmnuiLocalMilitary, &TfrmMain::pmnuiLocalMilitaryClick);
  BindItem(pmnuiLocalTZName, &TfrmMain::pmnuiLocalTZNameClick);
  BindItem(pmnuiOpenWindow, &TfrmMain::pmnuiOpenWindowClick);
  BindItem(pmnuiHelp, &TfrmMain::pmnuiHelpClick);
  BindItem(pmnuiAbout, &TfrmMain::pmnuiAboutClick);
}

void TfrmMain::ConnectTimers() {
  Bind(tmrMainClock, &QTimer::timeout, &TfrmMain::tmrMainClockTimer);
  Bind(tmrEvents, &QTimer::timeout, &TfrmMain::tmrEventsTimer);
  Bind(tmrAutoSynch, &QTimer::timeout, &TfrmMain::tmrAutoSynchTimer);
  Bind(tmrEvents, &QTimer::timeout, &TfrmMain::WatchTray);
}

void TfrmMain::ConnectGrid() {
  grdEvents->OnDblClick = [this](QObject*) { Guarded([this] { grdEventsDblClick(); }); };
  grdEvents->OnCellChange = [this](int ACol, int ARow, const std::string& Value,
                                   bool& bAllowChange) {
    grdEventsCellChange(ACol, ARow, Value, bAllowChange);
  };
  grdEvents->OnBeforeDrawCell = [this](int ACol, int ARow, const QSGrid::TRect& ARect,
                                       QSGrid::TGridDrawState AState, std::string& asVal,
                                       int& iOverrideFlags, int& iOverrideVals,
                                       QSGrid::TFont& pFont) {
    grdEventsBeforeDrawCell(ACol, ARow, ARect, AState, asVal, iOverrideFlags, iOverrideVals, pFont);
  };
}

std::intptr_t TfrmMain::SendMessage(std::uint32_t msg, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
  // Handled on the window's thread; a sender on another thread waits until it has been.
  std::intptr_t result = 0;
  const auto handle = [&] {
    // WM_INTERNAL_ERROR (3043), a messenger worker's internal failure, is received only.
    (void)msg;
    (void)wParam;
    (void)lParam;
    result = 0;
  };
  if (QThread::currentThread() == thread()) {
    handle();
  } else {
    QMetaObject::invokeMethod(this, handle, Qt::BlockingQueuedConnection);
  }
  return result;
}

// ---- Showing, closing, releasing

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // The window system's own showings (a restore from minimised) keep the window where
  // the user has put it since; only the program's showings, the first one and the one
  // from the tray, return it to its stored place.
  if (!event->spontaneous()) {
    Guarded([this] { FormShow(); });
    // What the window system reports while it frames the window can be passing values.
    placedAt_ = geometry();
    frameToCheck_ = true;
    KeepFrameOnScreen();
  }
}

// The stored place was fitted with a frame assumed before the window was framed; once the
// window system tells the real one, the whole framed window is fitted again, so that its
// title bar, which the user moves it by, is on the screen.
void TfrmMain::KeepFrameOnScreen() {
  const QMargins margins = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
  const window_placement::Frame frame{margins.left(), margins.top(), margins.right(),
                                      margins.bottom()};
  if (!frameToCheck_ || !window_placement::FrameKnown(frame) || screen() == nullptr) {
    return;
  }
  frameToCheck_ = false;
  const QRect area = screen()->availableGeometry();
  const QRect now = placedAt_;
  const QSize minimum = minimumSize().expandedTo(minimumSizeHint());
  const window_placement::Box fitted =
      window_placement::FitInto({now.x(), now.y(), now.width(), now.height()},
                                {area.x(), area.y(), area.width(), area.height()},
                                {minimum.width(), minimum.height()}, frame);
  const QRect placed(static_cast<int>(fitted.left), static_cast<int>(fitted.top),
                     static_cast<int>(fitted.width), static_cast<int>(fitted.height));
  if (placed != now) {
    setGeometry(placed);
  }
}

void TfrmMain::FormShow() {
  LoadSettings("Left", "Width");
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (CloseHidesToTray(*event)) {
    hide();
    event->ignore();
    return;
  }
  bool canClose = true;
  FormCloseQuery(canClose);
  if (canClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TfrmMain::FormCloseQuery(bool& CanClose) {
  CanClose = true;
  if (closed_) {
    return;
  }
  closed_ = true;
  try {
    tmrMainClock->stop();
    tmrAutoSynch->stop();
    tmrEvents->stop();

    for (const char* name : {"grdEventsHeight", "Left", "Top", "Height", "Width"}) {
      WriteSetting(name);
    }

    // A file that was not loaded whole is never replaced by what the table shows.
    if (chkSaveOnClose->isChecked() && eventsLoaded_) {
      SaveEvents();
    }
    WaitForSupervisor();
    if (bTrayMode_m && pTrayIcon_m) {
      RemoveIcon();
    }
  } catch (const std::exception& e) {
    dialogs_.MessageBox(
        this, std::string("Internal Error in [TfrmMain::FormCloseQuery] msg: ") + e.what(), "Error",
        mb::OK | mb::TOPMOST | mb::TASKMODAL);
  }
}

TfrmMain::~TfrmMain() {
  qApp->removeEventFilter(this);
  try {
    tmrMainClock->stop();
    tmrAutoSynch->stop();
    tmrEvents->stop();
    WaitForSupervisor();
    if (bTrayMode_m && pTrayIcon_m) {
      RemoveIcon();
    }
  } catch (const std::exception& e) {
    dialogs_.MessageBox(this,
                        std::string("Internal Error in [TfrmMain::~TfrmMain] msg: ") + e.what(),
                        "Error", mb::OK | mb::TOPMOST | mb::TASKMODAL);
  }
  pSelectDateTime_m.reset();
  pBGProcess_m.reset();
  StopDelivery();
  pTrayIcon_m.reset();
  lfDefaultFont_m.reset();
  lfLocalFont_m.reset();
  lfVirtualFont_m.reset();
  mapTimeZones_m.clear();
  if (frmMain == this) {
    frmMain = nullptr;
  }
}

// ---- Keys

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (DeliveryTooltipEvent(watched, event)) {
    return true;
  }
  if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) &&
      watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress) {
      FormKeyDown(key->key(), key->modifiers());
    } else {
      FormKeyUp(key->key(), key->modifiers());
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::FormKeyDown(int, Qt::KeyboardModifiers shift) {
  if (shift & Qt::AltModifier) {
    bAltDown_m = true;
  }
}

void TfrmMain::FormKeyUp(int key, Qt::KeyboardModifiers shift) {
  // Releasing Alt itself still reports Alt among the modifiers.
  if (!(shift & Qt::AltModifier) || key == Qt::Key_Alt) {
    bAltDown_m = false;
  }
}

// ---- Buttons that only answer

void TfrmMain::bbtnShutdownClick() {
  if (dialogs_.MessageBox(this, "Are you sure you want to close this application?", "Question",
                          mb::OKCANCEL | mb::ICONQUESTION | mb::TOPMOST) == mb::IDOK) {
    pmnuiShutdownClick();
  }
}

void TfrmMain::pmnuiShutdownClick() {
  // A window hidden in the tray is not a last visible window whose close ends the event
  // loop, so its close ends the loop here.
  if (close()) {
    QCoreApplication::quit();
  }
}

void TfrmMain::bbtnUpdatesClick() {
  dialogs_.ShowMessage("Not Implemented yet!");
}
void TfrmMain::bbtnForceUpdateClick() {
  dialogs_.ShowMessage("Not Implemented yet!");
}
void TfrmMain::bbtnImportEbayLiveAuctionsClick() {
  dialogs_.ShowMessage("Not Yet implemented!");
}
void TfrmMain::bbtnImportEayWatchListClick() {
  dialogs_.ShowMessage("Not Yet implemented!");
}
