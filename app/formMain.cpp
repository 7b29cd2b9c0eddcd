// Start-up, shut-down and the simple handlers of the main window.
#include "formMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>

#include "DateTime.h"
#include "Exceptions.h"
#include "QSStringGrid.h"
#include "eventTable.h"
#include "eventsFile.h"
#include "formSelectDateTime.h"
#include "qtConvert.h"
#include "settingsKeys.h"

using namespace VIDodadaZadoVove;

TfrmMain* frmMain = nullptr;

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
      dialogs_(dialogs),
      asEventsFile_m(options.eventsFilePath.empty() ? events_file::DefaultPath()
                                                    : options.eventsFilePath) {
  setObjectName("frmMain");
  CreateControls();
  CreateMenus();
  CreateComponents();
  ConnectHandlers();
  // The window sees key events before its controls.
  qApp->installEventFilter(this);
  StartUp();
}

void TfrmMain::StartUp() {
  std::string marker;
  try {
    marker = "A";
    Platform::TFormatSettings& formats = Platform::FormatSettings();
    formats.DateSeparator = '-';
    formats.TimeSeparator = ':';
    formats.ShortDateFormat = "yyyy-mm-dd";
    formats.ShortTimeFormat = "hh:nn:ss";

    marker = "B";
    // The background supervisor is created here once it exists.

    marker = "C";
    dLastTZDiff_m = 0.0;
    bAltDown_m = false;
    bUseVirtualMilitary_m = bUseLocalMilitary_m = true;
    bShowVirtualTZName_m = bShowLocalTZName_m = true;
    iGridColor_m = grdEvents->Color();
    iDefaultBackColor_m = ColorToWin(lblVirtualTime->palette().color(QPalette::Window));
    iDefaultFontColor_m = ColorToWin(lblVirtualTime->palette().color(QPalette::WindowText));
    iVirtualFontColor_m = iDefaultFontColor_m;
    iVirtualBackColor_m = iDefaultBackColor_m;

    marker = "D";
    iLocalFontColor_m = ColorToWin(lblLocalTime->palette().color(QPalette::WindowText));
    iLocalBackColor_m = ColorToWin(lblLocalTime->palette().color(QPalette::Window));

    marker = "E";
    if (!ReadFromRegistry(HKEY_CURRENT_USER, kSettingsKey, "grdEventsHeight", 3, true, "")
             .IsNull()) {
      const int height =
          ReadFromRegistry(HKEY_CURRENT_USER, kSettingsKey, "grdEventsHeight", 3, true, "").AsInt();
      if (height > 0) {
        spltTop->setSizes({std::max(30, spltTop->height() - height), height});
      }
    }

    marker = "F";
    PrepareEventTable();

    marker = "G";
    marker = "H";
    // Until the zone catalogue is built, it holds the one zone every catalogue has.
    mapTimeZones_m["Coordinated Universal Time"] = 0.0;
    marker = "I";
    mapTimeZones_m["OTHER"] = 0.0;

    marker = "J";
    dLocalTZOffset_m = 0.0;
    if (edtLocalTimeZone->text().isEmpty()) {
      edtLocalTimeZone->setText("Etc/UTC");
    }
    mapTimeZones_m.emplace(FromQ(edtLocalTimeZone->text()), dLocalTZOffset_m);
    lblLocalTZOffsetHours->setText(ToQ(Platform::FloatToStr(dLocalTZOffset_m)));
    grdEvents->SetColumnAsComboBox(3, event_table::ZoneColumnNames(mapTimeZones_m));

    marker = "K";
    marker = "L";
    cboVirtualTimeZone->clear();
    for (const auto& [name, offset] : mapTimeZones_m) {
      cboVirtualTimeZone->addItem(ToQ(name));
    }
    dVirtualTZOffset_m = 0.0;
    cboVirtualTimeZone->setCurrentText("Coordinated Universal Time");

    marker = "M";
    bTrayMode_m = false;
    marker = "N";

    marker = "O";

    marker = "P";
    LoadEvents(marker);

    marker = "Q";
    tmrAutoSynch->start();
    tmrEvents->start();
    tmrMainClock->start();
    marker = "R";
  } catch (const std::exception& e) {
    dialogs_.ShowMessage(Platform::Format("(%s) Internal error in [%s] msg: %s", marker.c_str(),
                                          "TfrmMain::TfrmMain", e.what()));
  }
}

void TfrmMain::PrepareEventTable() {
  grdEvents->SetRowCount(2);
  grdEvents->HideRow(grdEvents->RowCount() - 1);
  for (int column = 5; column <= 8; ++column) {
    grdEvents->SetColumnAsCheckBox(column, "Y", "N");
  }
}

void TfrmMain::ConnectHandlers() {
  connect(bbtnShutdown, &QPushButton::clicked, this,
          [this] { Guarded([this] { bbtnShutdownClick(); }); });
  connect(pmnuiShutdown, &QAction::triggered, this,
          [this] { Guarded([this] { pmnuiShutdownClick(); }); });
  connect(bbtnUpdates, &QPushButton::clicked, this, [this] { bbtnUpdatesClick(); });
  connect(bbtnForceUpdate, &QPushButton::clicked, this, [this] { bbtnForceUpdateClick(); });
  connect(bbtnImportEbayLiveAuctions, &QPushButton::clicked, this,
          [this] { bbtnImportEbayLiveAuctionsClick(); });
  connect(bbtnImportEayWatchList, &QPushButton::clicked, this,
          [this] { bbtnImportEayWatchListClick(); });
  connect(bbtnAddEvent, &QPushButton::clicked, this,
          [this] { Guarded([this] { bbtnAddEventClick(); }); });
  connect(bbtnDeleteEvent, &QPushButton::clicked, this,
          [this] { Guarded([this] { bbtnDeleteEventClick(); }); });
  connect(bbtnSaveEventsNow, &QPushButton::clicked, this,
          [this] { Guarded([this] { bbtnSaveEventsNowClick(); }); });
  // Check boxes and edits report programmatic changes too, as the handlers expect;
  // drop-down lists report only the user's choice.
  using Handler = void (TfrmMain::*)();
  const auto onToggle = [this](QCheckBox* box, Handler handler) {
    connect(box, &QCheckBox::toggled, this,
            [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  };
  const auto onEdit = [this](QLineEdit* edit, Handler handler) {
    connect(edit, &QLineEdit::textChanged, this,
            [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  };
  const auto onClick = [this](QAbstractButton* button, Handler handler) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  };
  const auto onChoose = [this](QComboBox* box, Handler handler) {
    connect(box, &QComboBox::activated, this,
            [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  };
  const auto onItem = [this](QAction* item, Handler handler) {
    connect(item, &QAction::triggered, this,
            [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  };
  const auto onTimer = [this](QTimer* timer, Handler handler) {
    connect(timer, &QTimer::timeout, this,
            [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
  };
  onToggle(chkRunAsTrayIcon, &TfrmMain::chkRunAsTrayIconClick);
  onToggle(chkStayOnTop, &TfrmMain::chkStayOnTopClick);
  onEdit(edtUpdateURL, &TfrmMain::edtUpdateURLChange);
  onEdit(edtProxyServer, &TfrmMain::edtProxyServerChange);
  onEdit(edtProxyPort, &TfrmMain::edtProxyPortChange);
  onClick(bbtnAutoProxy, &TfrmMain::bbtnAutoProxyClick);
  onChoose(cboVirtualTimeZone, &TfrmMain::cboVirtualTimeZoneChange);
  onToggle(chkAutoTimeSynch, &TfrmMain::chkAutoTimeSynchClick);
  onChoose(cboSNTPServer, &TfrmMain::cboSNTPServerChange);
  onEdit(edtSoundFile, &TfrmMain::edtSoundFileChange);
  onClick(sbtnSelectSoundFile, &TfrmMain::sbtnSelectSoundFileClick);
  onClick(sbtnTestSound, &TfrmMain::sbtnTestSoundClick);
  onClick(sbtnStop, &TfrmMain::sbtnStopClick);
  onToggle(chkEnableSound, &TfrmMain::chkEnableSoundClick);
  onToggle(chkEnableMSM, &TfrmMain::chkEnableMSMClick);
  onEdit(edtMSMHost, &TfrmMain::edtMSMHostChange);
  onEdit(edtMSMPort, &TfrmMain::edtMSMPortChange);
  onEdit(edtFromMSM, &TfrmMain::edtFromMSMChange);
  onEdit(edtFromMSMPwd, &TfrmMain::edtFromMSMPwdChange);
  onEdit(edtToMSM, &TfrmMain::edtToMSMChange);
  onClick(bbtnAutoDetectMSMSettings, &TfrmMain::bbtnAutoDetectMSMSettingsClick);
  onToggle(chkEnableEmail, &TfrmMain::chkEnableEmailClick);
  onEdit(SMTPServer, &TfrmMain::SMTPServerChange);
  onEdit(SMTPPort, &TfrmMain::SMTPPortChange);
  onEdit(edtEmailFrom, &TfrmMain::edtEmailFromChange);
  onEdit(edtEmailTo, &TfrmMain::edtEmailToChange);
  onEdit(edtEmailSubject, &TfrmMain::edtEmailSubjectChange);
  onClick(bbtnAutoDetectMailSettings, &TfrmMain::bbtnAutoDetectMailSettingsClick);
  onToggle(chkEnableCustomApp, &TfrmMain::chkEnableCustomAppClick);
  onEdit(edtLaunchApp, &TfrmMain::edtLaunchAppChange);
  onClick(sbtnLaunchApp, &TfrmMain::sbtnLaunchAppClick);
  onEdit(edtEbayLoginID, &TfrmMain::edtEbayLoginIDChange);
  onEdit(edtEbayPassword, &TfrmMain::edtEbayPasswordChange);
  onItem(pmnuiHideEvents, &TfrmMain::pmnuiHideEventsClick);
  onItem(pmnuiTopHideEvents, &TfrmMain::pmnuiHideEventsClick);
  onItem(pmnuiHideSettings, &TfrmMain::pmnuiHideSettingsClick);
  onItem(pmnuiTopHideSettings, &TfrmMain::pmnuiHideSettingsClick);
  onItem(pmnuiVirtualFont, &TfrmMain::pmnuiVirtualFontClick);
  onItem(pmnuiVirtualBackground, &TfrmMain::pmnuiVirtualBackgroundClick);
  onItem(pmnuiVirtualMilitary, &TfrmMain::pmnuiVirtualMilitaryClick);
  onItem(pmnuiVirtualTZName, &TfrmMain::pmnuiVirtualTZNameClick);
  onItem(pmnuiLocalFont, &TfrmMain::pmnuiLocalFontClick);
  onItem(pmnuiLocalBackground, &TfrmMain::pmnuiLocalBackgroundClick);
  onItem(pmnuiLocalMilitary, &TfrmMain::pmnuiLocalMilitaryClick);
  onItem(pmnuiLocalTZName, &TfrmMain::pmnuiLocalTZNameClick);
  onItem(pmnuiOpenWindow, &TfrmMain::pmnuiOpenWindowClick);
  onTimer(tmrMainClock, &TfrmMain::tmrMainClockTimer);
  onTimer(tmrEvents, &TfrmMain::tmrEventsTimer);
  onTimer(tmrAutoSynch, &TfrmMain::tmrAutoSynchTimer);

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
  (void)msg;
  (void)wParam;
  (void)lParam;
  return 0;
}

// ---- Showing, closing, releasing

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  Guarded([this] { FormShow(); });
}

void TfrmMain::FormShow() {
  const auto readInt = [](const char* name, int& value) {
    if (!ReadFromRegistry(HKEY_CURRENT_USER, kSettingsKey, name, 3, true, "").IsNull()) {
      value = ReadFromRegistry(HKEY_CURRENT_USER, kSettingsKey, name, 3, true, "").AsInt();
    }
  };
  int left = x(), top = y(), height = this->height(), width = this->width();
  readInt("Left", left);
  readInt("Top", top);
  readInt("Height", height);
  readInt("Width", width);
  move(left, top);
  resize(width, height);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
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
  if (bClosed_m) {
    return;
  }
  bClosed_m = true;
  try {
    tmrMainClock->stop();
    tmrAutoSynch->stop();
    tmrEvents->stop();

    WriteToRegistry(HKEY_CURRENT_USER, kSettingsKey, "grdEventsHeight",
                    Variant(static_cast<std::int32_t>(grdEvents->height())), true, "");
    WriteToRegistry(HKEY_CURRENT_USER, kSettingsKey, "Left", Variant(x()), true, "");
    WriteToRegistry(HKEY_CURRENT_USER, kSettingsKey, "Top", Variant(y()), true, "");
    WriteToRegistry(HKEY_CURRENT_USER, kSettingsKey, "Height", Variant(height()), true, "");
    WriteToRegistry(HKEY_CURRENT_USER, kSettingsKey, "Width", Variant(width()), true, "");

    if (chkSaveOnClose->isChecked()) {
      SaveEvents();
    }
    WaitForSupervisor();
    if (bTrayMode_m && pTrayIcon_m) {
      pTrayIcon_m->hide();
    }
  } catch (const std::exception& e) {
    dialogs_.MessageBox(
        this, std::string("Internal Error in [TfrmMain::FormCloseQuery] msg: ") + e.what(), "Error",
        mb::OK | mb::TOPMOST | mb::TASKMODAL);
  }
}

void TfrmMain::WaitForSupervisor() {
  // The supervisor arrives with the background work; until then there is nothing to wait for.
}

TfrmMain::~TfrmMain() {
  qApp->removeEventFilter(this);
  try {
    tmrMainClock->stop();
    tmrAutoSynch->stop();
    tmrEvents->stop();
    WaitForSupervisor();
    if (bTrayMode_m && pTrayIcon_m) {
      pTrayIcon_m->hide();
    }
  } catch (const std::exception& e) {
    dialogs_.MessageBox(this,
                        std::string("Internal Error in [TfrmMain::~TfrmMain] msg: ") + e.what(),
                        "Error", mb::OK | mb::TOPMOST | mb::TASKMODAL);
  }
  pSelectDateTime_m.reset();
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
  close();
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
