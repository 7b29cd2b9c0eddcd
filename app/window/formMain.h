// The main window: the clocks, the event table and the settings tabs. Its
// construction is the program's start-up and its close the shut-down; the
// handlers stay short and call the logic units beside it.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "CommonCodeLite.h"
#include "GridTypes.h"
#include "MessageTarget.h"
#include "delivery/noticeGatherer.h"
#include "events/eventScheduler.h"
#include "window/Dialogs.h"
#include "workers/classQSBGProcess.h"

class MediaServices;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSplitter;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;
class QToolButton;
class QWidget;
class TfrmDeliveryLog;
class TfrmSelectDateTime;
class TQSStringGrid;
namespace delivery {
class DesktopNotifier;
class DispatchesAhead;
class LogSink;
class OutcomeStore;
}  // namespace delivery
namespace time_zones {
class IanaZonesAhead;
}  // namespace time_zones
namespace events_file {
class ReadAhead;
class FieldLines;
}  // namespace events_file

// What a file dialog of the window is set up with; a named object so that
// tests find it like every other component.
class TOpenDialogComponent : public QObject {
  Q_OBJECT
 public:
  TOpenDialogComponent(QObject* owner, const char* name, FileDialogOptions options)
      : QObject(owner), Options(std::move(options)) {
    setObjectName(name);
  }
  FileDialogOptions Options;
};

struct MainWindowOptions {
  // Where the items are kept; empty means "QSEvents.C-D" beside the executable.
  std::string eventsFilePath;
  // The background supervisor's waits and time service; tests shorten and redirect them.
  TBGProcessOptions supervisor = {};
  // Whether the desktop shows tray icons; unset asks Qt. Tests stand in for a tray.
  std::function<bool()> trayAvailable = {};
  // Opens a document file with the desktop's viewer (tests record it); false when none did.
  std::function<bool(const std::string& path)> openDocument = {};
  // The delivery log; empty means the program's own under $XDG_STATE_HOME.
  std::string deliveryLogPath = {};
  // The events file (at eventsFilePath) and the platform's zones, read ahead from the start
  // of the process while the display is opened; unset, the window starts the reading.
  std::shared_ptr<events_file::ReadAhead> eventsAhead = {};
  std::shared_ptr<time_zones::IanaZonesAhead> zonesAhead = {};
};

class TfrmMain : public QMainWindow, public Platform::MessageTarget {
  Q_OBJECT

 public:
  explicit TfrmMain(Dialogs& dialogs, MainWindowOptions options = {}, QWidget* parent = nullptr);
  ~TfrmMain() override;

  std::intptr_t SendMessage(std::uint32_t msg, std::uintptr_t wParam,
                            std::intptr_t lParam) override;

  Dialogs& UI() { return dialogs_; }

  // ---- Regions and clocks
  QFrame* panTop = nullptr;
  QSplitter* spltTop = nullptr;
  QFrame* panEvents = nullptr;
  QFrame* panBottom = nullptr;
  QLabel* lblVirtualTime = nullptr;
  QLabel* lblLocalTime = nullptr;
  TQSStringGrid* grdEvents = nullptr;
  QTabWidget* pgOptions = nullptr;

  // ---- General
  QWidget* tbGeneralSettings = nullptr;
  QCheckBox* chkRunAsTrayIcon = nullptr;
  QCheckBox* chkStayOnTop = nullptr;
  QCheckBox* chkStartAtLogin = nullptr;
  QLineEdit* edtUpdateURL = nullptr;
  QLineEdit* edtProxyServer = nullptr;
  QLineEdit* edtProxyPort = nullptr;
  QPushButton* bbtnUpdates = nullptr;
  QPushButton* bbtnForceUpdate = nullptr;
  QPushButton* bbtnAutoProxy = nullptr;
  QPushButton* bbtnShutdown = nullptr;
  QComboBox* cboDesktopNotifications = nullptr;  // index = the DesktopNotifications value
  // ---- Events
  QWidget* tbEventSettings = nullptr;
  QLabel* lblEventLastCheck = nullptr;
  QPushButton* bbtnAddEvent = nullptr;
  QPushButton* bbtnDeleteEvent = nullptr;
  QCheckBox* chkSaveOnClose = nullptr;
  QPushButton* bbtnSaveEventsNow = nullptr;
  QPushButton* bbtnDeliveryLog = nullptr;
  // ---- Timezone
  QWidget* tbTimeSettings = nullptr;
  QComboBox* cboVirtualTimeZone = nullptr;
  QLineEdit* edtLocalTimeZone = nullptr;
  QLabel* lblTZOffsetHours = nullptr;
  QLabel* lblLocalTZOffsetHours = nullptr;
  QCheckBox* chkAutoTimeSynch = nullptr;
  QComboBox* cboSNTPServer = nullptr;
  QLabel* lblLocalOffset = nullptr;
  // ---- Audio
  QWidget* tbSounds = nullptr;
  QLineEdit* edtSoundFile = nullptr;
  QToolButton* sbtnSelectSoundFile = nullptr;
  QToolButton* sbtnTestSound = nullptr;
  QToolButton* sbtnStop = nullptr;
  QCheckBox* chkEnableSound = nullptr;
  // ---- MS Messenger
  QWidget* tbMSMSettings = nullptr;
  QCheckBox* chkEnableMSM = nullptr;
  QLineEdit* edtMSMHost = nullptr;
  QLineEdit* edtMSMPort = nullptr;
  QLineEdit* edtFromMSM = nullptr;
  QLineEdit* edtFromMSMPwd = nullptr;
  QLineEdit* edtToMSM = nullptr;
  QPushButton* bbtnAutoDetectMSMSettings = nullptr;
  // ---- Email
  QWidget* tbEmailSettings = nullptr;
  QCheckBox* chkEnableEmail = nullptr;
  QLineEdit* SMTPServer = nullptr;
  QLineEdit* SMTPPort = nullptr;
  QLineEdit* edtEmailFrom = nullptr;
  QLabel* lblTo = nullptr;
  QLineEdit* edtEmailTo = nullptr;
  QLabel* lblSubject = nullptr;
  QLineEdit* edtEmailSubject = nullptr;
  QComboBox* cboEmailSecurity = nullptr;
  QLineEdit* edtEmailUser = nullptr;
  QLineEdit* edtEmailPassword = nullptr;
  QPushButton* bbtnAutoDetectMailSettings = nullptr;
  // ---- Custom Application
  QWidget* tbCustomAppSettings = nullptr;
  QCheckBox* chkEnableCustomApp = nullptr;
  QLineEdit* edtLaunchApp = nullptr;
  QToolButton* sbtnLaunchApp = nullptr;
  // ---- EBay
  QWidget* tbEbaySettings = nullptr;
  QLineEdit* edtEbayLoginID = nullptr;
  QLineEdit* edtEbayPassword = nullptr;
  QPushButton* bbtnImportEbayLiveAuctions = nullptr;
  QPushButton* bbtnImportEayWatchList = nullptr;

  // ---- Menus
  QMenu* pmnuMain = nullptr;
  QAction* pmnuiHideEvents = nullptr;
  QAction* pmnuiHideSettings = nullptr;
  QAction* pmnuiDeliveryLog = nullptr;
  QAction* pmnuiRepeat = nullptr;
  QLineEdit* edtSnoozeMinutes = nullptr;
  QMenu* popTop = nullptr;
  QAction* pmnuiTopHideEvents = nullptr;
  QAction* pmnuiTopHideSettings = nullptr;
  QAction* pmnuiVirtualFont = nullptr;
  QAction* pmnuiVirtualBackground = nullptr;
  QAction* pmnuiVirtualMilitary = nullptr;
  QAction* pmnuiVirtualTZName = nullptr;
  QAction* pmnuiLocalFont = nullptr;
  QAction* pmnuiLocalBackground = nullptr;
  QAction* pmnuiLocalMilitary = nullptr;
  QAction* pmnuiLocalTZName = nullptr;
  QMenu* popTrayMenu = nullptr;
  QAction* pmnuiHelp = nullptr;
  QAction* pmnuiOpenWindow = nullptr;
  QAction* pmnuiShutdown = nullptr;
  QAction* pmnuiAbout = nullptr;

  // ---- Dialogs and timers
  QObject* fntDialog = nullptr;
  QObject* clrDialog = nullptr;
  TOpenDialogComponent* dlgOpen = nullptr;
  TOpenDialogComponent* dlgGetFile = nullptr;
  QTimer* tmrMainClock = nullptr;
  QTimer* tmrEvents = nullptr;
  QTimer* tmrAutoSynch = nullptr;

  // ---- Members
  std::map<std::string, double> mapTimeZones_m;
  // The platform's zones, read from the start; gone once in the catalogue.
  std::shared_ptr<time_zones::IanaZonesAhead> ianaZonesAhead_;
  // The events file, read from the start; gone once loaded.
  std::shared_ptr<events_file::ReadAhead> eventsAhead_;
  double dLocalTZOffset_m = 0.0;
  double dVirtualTZOffset_m = 0.0;
  std::unique_ptr<VIDodadaZadoVove::LOGFONTA> lfVirtualFont_m, lfLocalFont_m, lfDefaultFont_m;
  std::uint32_t iVirtualFontColor_m = 0, iVirtualBackColor_m = 0;
  std::uint32_t iLocalFontColor_m = 0, iLocalBackColor_m = 0;
  std::uint32_t defaultFontColor_ = 0, defaultBackColor_ = 0;
  std::uint32_t iGridColor_m = 0;
  double dLastTZDiff_m = 0.0;
  int iLastSecond_m = 0;
  bool clockResting_ = false;  // tmrMainClock stopped while nobody sees the window
  bool bAltDown_m = false;
  bool bTrayMode_m = false;
  std::unique_ptr<QSystemTrayIcon> pTrayIcon_m;
  bool bUseVirtualMilitary_m = true, bUseLocalMilitary_m = true;
  bool bShowVirtualTZName_m = true, bShowLocalTZName_m = true;
  // The background supervisor: created suspended at start-up, resumed once it has its
  // time server, stopped by the close and release sequences (formMainTimeSync.cpp).
  std::unique_ptr<thrBGProcess> pBGProcess_m;
  TBGProcessOptions bgProcessOptions_;
  void LoadSNTPServerList();
  void StartSupervisor();
  std::unique_ptr<TfrmSelectDateTime> pSelectDateTime_m;
  // The media the sound channel plays through; null means this computer's own (tests
  // put recording media here). Media() is the one in use.
  MediaServices* media_ = nullptr;
  MediaServices& Media();
  // How the sound of an item's dispatch went, once its player or program has told.
  void SoundSettled(const std::string& item, std::uint64_t dispatch, const std::string& file,
                    bool played, const std::string& why);
  // The due items without a channel whose "Reminder due" notice went out, by item ID and
  // end-time text: each is noticed once for an end time.
  std::set<std::pair<std::string, std::string>> dueNoticed_;
  void ForgetChangedDueNotices();
  // True while a scheduler pass runs, so that the timer never enters one twice.
  bool inEventPass_ = false;
  // Items a pass marked notified that the events file does not hold yet: while "Save events
  // on close" is checked, every pass saves until a save succeeds, so that a crash never
  // notifies them again. A failure is shown once for as long as it lasts.
  bool savePending_ = false;
  std::string saveFailureShown_;
  void SaveAfterPass();
  // What became of the notifications (formMainDelivery.cpp): the log the dispatches and
  // workers write to, each item's last outcome, and the desktop notices.
  std::shared_ptr<delivery::LogSink> deliveryLog_;
  std::unique_ptr<delivery::OutcomeStore> outcomes_;
  std::unique_ptr<delivery::DispatchesAhead> dispatchesAhead_;  // the last run's, until taken
  std::unique_ptr<delivery::DesktopNotifier> notifier_;
  QPointer<TfrmDeliveryLog> deliveryLogWindow_;
  // Failure notices of a burst, held and counted; tmrNotices shows them when due.
  delivery::NoticeGatherer noticeGatherer_;
  QTimer* tmrNotices = nullptr;
  void bbtnDeliveryLogClick();
  // A channel of an item's dispatch has settled; on the UI thread.
  void DeliverySettled(const std::string& item, std::uint64_t dispatch, const std::string& channel,
                       const std::string& target, bool done, const std::string& reason);
  // A due item's dispatch begins; returns its number for the channels' reports.
  std::uint64_t DeliveryBegins(const std::string& item, const std::string& text);
  // The End Date/Time cell's tooltip of a row, and whether the row shows the warning colour.
  std::string EventTooltip(int row) const;
  bool RowDeliveryFailed(int row) const;
  void NoticeOnDesktop(const std::string& summary, const std::string& body);
  // A due item's notice, with Snooze and Open where the desktop offers them.
  void DueNoticeOnDesktop(const std::string& item, const std::string& body);
  void ShowFailureNotices(const std::vector<std::string>& bodies);
  // Repeating items and snoozed notices (formMainRepeat.cpp). The row whose end time the
  // scheduler pass is moving to its next occurrence, whose outcome stays with it.
  int passMovesRow_ = -1;
  void pmnuiRepeatClick();
  void NoticeAction(const std::string& itemId, const std::string& action);
  // The first visible row of an item ID; -1 when no row has it.
  int RowOfItem(const std::string& itemId) const;
  // Whether a row carries a repeat rule (read or not), without reading it.
  bool RowRepeats(int row) const;
  // The tooltip's line about a row's repeat rule; empty when it does not repeat.
  std::string RepeatTooltip(int row) const;
  // End-time and warning texts the scheduler could not read: reported once, their cells
  // marked.
  event_scheduler::Unreadable unreadable_;

  // ---- Handlers
  void FormShow();
  void FormCloseQuery(bool& CanClose);
  void FormKeyDown(int key, Qt::KeyboardModifiers shift);
  void FormKeyUp(int key, Qt::KeyboardModifiers shift);
  void bbtnShutdownClick();
  void pmnuiShutdownClick();
  void bbtnUpdatesClick();
  void bbtnForceUpdateClick();
  void bbtnImportEbayLiveAuctionsClick();
  void bbtnImportEayWatchListClick();
  void bbtnAddEventClick();
  void bbtnDeleteEventClick();
  void bbtnSaveEventsNowClick();
  void grdEventsDblClick();
  void grdEventsCellChange(int ACol, int ARow, const std::string& Value, bool& bAllowChange);
  void grdEventsBeforeDrawCell(int ACol, int ARow, const QSGrid::TRect& ARect,
                               QSGrid::TGridDrawState AState, std::string& asVal,
                               int& iOverrideFlags, int& iOverrideVals, QSGrid::TFont& pFont);
  // Settings, clocks, zones, tray, sound, messenger, e-mail and time synchronisation.
  void chkRunAsTrayIconClick();
  void chkStayOnTopClick();
  void chkStartAtLoginClick();
  void bbtnAutoProxyClick();
  void cboVirtualTimeZoneChange();
  void chkAutoTimeSynchClick();
  void cboSNTPServerChange();
  void sbtnSelectSoundFileClick();
  void sbtnTestSoundClick();
  void sbtnStopClick();
  void bbtnAutoDetectMSMSettingsClick();
  void bbtnAutoDetectMailSettingsClick();
  void sbtnLaunchAppClick();
  void pmnuiHideEventsClick();
  void pmnuiHideSettingsClick();
  void pmnuiVirtualFontClick();
  void pmnuiVirtualBackgroundClick();
  void pmnuiVirtualMilitaryClick();
  void pmnuiVirtualTZNameClick();
  void pmnuiLocalFontClick();
  void pmnuiLocalBackgroundClick();
  void pmnuiLocalMilitaryClick();
  void pmnuiLocalTZNameClick();
  void pmnuiOpenWindowClick();
  void tmrMainClockTimer();
  void tmrEventsTimer();
  void tmrAutoSynchTimer();
  void AddIcon();
  void RemoveIcon();
  void WMTrayNotify(std::intptr_t lParam);
  void WatchTray();
  void pmnuiHelpClick();
  void pmnuiAboutClick();
  // A command's request from a script (app/commandRun): "add LINE", "import LINE" (a taken
  // ID gets a new one) or "remove ID"; the row changes through the table's own rules and
  // the file is saved. The reply: "ok " and the item's ID, or "error " and why not.
  std::string RunItemCommand(const std::string& request);
  std::string AddItemFromCommand(const std::string& line, bool renameTaken);
  std::string RemoveItemFromCommand(const std::string& id);
  // The events file, beside the executable unless the options name another.
  void SaveEvents();
  // Loads the file; only a load that completed lets a later save replace it.
  void LoadEvents(std::string& marker);
  void LoadEventLines(const events_file::FieldLines& lines, std::string& marker);
  // The settings table (formMainSettings.cpp): reads its rows from first to last, in table
  // order, applying each stored value; and the one writer that stores a row's current value.
  void LoadSettings(const std::string& first, const std::string& last);
  void WriteSetting(const std::string& name);
  // Redraws the clocks for a local date-time and a UTC time in 100-ns ticks since 1601.
  void RefreshClocks(double localNow, std::int64_t utcFileTime);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Rests the clock timer while the window is hidden or minimised (formMainClocks.cpp).
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  // The clocks and the event grid, then one settings page per tab, in tab order.
  void CreateClocksAndEvents(QWidget* central);
  void CreateGeneralTab();
  void CreateEventsTab();
  void CreateTimezoneTab();
  void CreateAudioTab();
  void CreateMessengerTab();
  void CreateEmailTab();
  void CreateCustomAppTab();
  void CreateEbayTab();
  void CreateMenus();
  void CreateComponents();
  void ConnectHandlers();
  void ConnectButtons();
  void ConnectSettingsControls();
  void ConnectMenuItems();
  void ConnectTimers();
  void ConnectGrid();
  // Connects a signal to a handler that runs guarded; menu items through BindItem, which
  // leaves their check mark to the handler.
  using Handler = void (TfrmMain::*)();
  template <typename Sender, typename Signal>
  void Bind(Sender* sender, Signal signal, Handler handler);
  void BindItem(QAction* item, Handler handler);
  void StartUp();
  void StartTimers();
  void PrepareEventTable();
  void StartDelivery(const std::string& logPath);
  // After the events are loaded: notified items take their last outcome from the log.
  void RestoreOutcomes();
  void StopDelivery();
  bool DeliveryTooltipEvent(QObject* watched, QEvent* event);
  void WaitForSupervisor();
  // Settings, clocks, zones and the tray (formMainSettings/Clocks/Zones/Tray.cpp).
  void ConnectSettings();
  void ResetClockMembers();
  void SetUpClockLabel(QLabel* label, std::unique_ptr<VIDodadaZadoVove::LOGFONTA>& font,
                       std::uint32_t fontColour, std::uint32_t backColour);
  void ChooseClockFont(QLabel* label, std::unique_ptr<VIDodadaZadoVove::LOGFONTA>& font,
                       std::uint32_t& fontColour, const char* fontValue, const char* colourValue);
  void ChooseClockBackground(QLabel* label, std::uint32_t& backColour, const char* value);
  void ToggleClockDisplay(QAction* item, bool& shown);
  void RestClock();
  void WakeClock();
  void KeepFrameOnScreen();
  bool frameToCheck_ = false;  // placed before the window system told its frame
  QRect placedAt_;             // where the last showing placed the client area
  void AddSystemZones();
  void AddUserZones();
  void ShowLocalZone(const std::string& name, double offset);
  void FillVirtualZones();
  void StartUpTray();
  bool TrayExists() const;
  void ApplyTrayMode();
  void ShowIfLostInTray();
  void StartUpStayOnTop();
  void TogglePanel(QFrame* panel, QAction* item, QAction* twin);
  bool CloseHidesToTray(const QCloseEvent& event) const;
  std::function<bool()> trayAvailable_;
  std::function<bool(const std::string&)> openDocument_;
  // Runs a handler body and shows what escapes it through the default exception display.
  template <typename Body>
  void Guarded(Body&& body);

  Dialogs& dialogs_;
  std::string eventsFile_;
  bool eventsLoaded_ = false;  // the file was read to its end (or did not exist)
  bool closed_ = false;
};

// The window the program entry created; nullptr before and after.
extern TfrmMain* frmMain;
