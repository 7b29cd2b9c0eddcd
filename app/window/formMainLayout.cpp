// The main window's controls, menus, dialogs and timers as designed: names,
// captions, initial texts and states. Behaviour lives in the handlers.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "QSStringGrid.h"
#include "events/eventExtras.h"
#include "events/eventTable.h"
#include "window/formMain.h"
#include "window/qtConvert.h"

namespace {

template <typename T>
T* Named(T* object, const char* name) {
  object->setObjectName(name);
  return object;
}

// The play and stop glyphs of the sound buttons, drawn in the button text's colour. The
// style's own would search the icon theme and load image plugins, a good part of the
// time the window takes to appear.
enum class Glyph { Play, Stop };
QIcon GlyphIcon(const QWidget* widget, Glyph glyph) {
  QIcon icon;
  for (const int side : {16, 32}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(widget->palette().color(QPalette::ButtonText));
    const qreal unit = side / 16.0;
    if (glyph == Glyph::Play) {
      QPainterPath triangle;
      triangle.moveTo(4 * unit, 2 * unit);
      triangle.lineTo(14 * unit, 8 * unit);
      triangle.lineTo(4 * unit, 14 * unit);
      triangle.closeSubpath();
      painter.drawPath(triangle);
    } else {
      painter.drawRect(QRectF(3.5 * unit, 3.5 * unit, 9 * unit, 9 * unit));
    }
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QFrame* MakePanel(QWidget* parent, const char* name) {
  auto* panel = Named(new QFrame(parent), name);
  panel->setFrameShape(QFrame::StyledPanel);
  return panel;
}

// A page laid out as rows of "label: control" with buttons to the right.
struct Page {
  QWidget* widget;
  QGridLayout* grid;
  int row = 0;
  Page(QTabWidget* tabs, const char* name, const char* caption)
      : widget(Named(new QWidget(tabs), name)), grid(new QGridLayout(widget)) {
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    tabs->addTab(widget, caption);
  }
  QLabel* Label(const char* caption, bool wrap = false) {
    auto* label = new QLabel(caption, widget);
    label->setWordWrap(wrap);
    grid->addWidget(label, row, 0);
    return label;
  }
  QLineEdit* Edit(const char* name, const char* text = "") {
    auto* edit = Named(new QLineEdit(text, widget), name);
    grid->addWidget(edit, row++, 1);
    return edit;
  }
  template <typename W>
  W* Place(W* w, int column, int span = 1) {
    grid->addWidget(w, row, column, 1, span);
    return w;
  }
};

QCheckBox* CheckBox(QWidget* parent, const char* name, const char* caption) {
  return Named(new QCheckBox(caption, parent), name);
}

QPushButton* Button(QWidget* parent, const char* name, const char* caption) {
  return Named(new QPushButton(caption, parent), name);
}

QToolButton* SpeedButton(QWidget* parent, const char* name, const char* caption, const char* hint) {
  auto* button = Named(new QToolButton(parent), name);
  button->setText(caption);
  if (hint[0] != '\0') {
    button->setToolTip(hint);
  }
  return button;
}

QAction* Item(QMenu* menu, const char* name, const char* caption, bool checkable = false) {
  auto* action = Named(menu->addAction(caption), name);
  action->setCheckable(checkable);
  return action;
}

QTimer* Timer(QObject* owner, const char* name, int interval) {
  auto* timer = Named(new QTimer(owner), name);
  timer->setInterval(interval);
  timer->stop();
  return timer;
}

// The event grid as the window designs it; the header titles go in as the form loads.
void ConfigureEventGrid(TQSStringGrid& grid) {
  using namespace QSGrid;
  // The nine columns of an item, and a hidden one for the fields the events file carries
  // after them (a repeat rule, a snooze).
  grid.SetColCount(10);
  grid.SetFixedCols(0);
  grid.SetFixedRows(1);
  grid.SetDefaultRowHeight(18);
  grid.SetAutoSizeRows(true);
  grid.SetAutoSizeCols(true);
  grid.SetHeightMargin(2);
  grid.SetWidthMargin(3);
  grid.SetDefaultDrawing(false);
  const int widths[] = {40, 82, 102, 75, 111, 84, 78, 78, 110};
  for (int c = 0; c < 9; ++c) {
    grid.SetColWidths(c, widths[c]);
  }
  grid.SetColWidths(event_extras::kColTail, -1);
  grid.SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine |
                  goDrawFocusSelected | goRowSizing | goColSizing | goEditing | goAlwaysShowEditor |
                  goTabs | goThumbTracking);
  grid.SetHeaderTitles(event_table::HeaderTitles());
  grid.Loaded();
}

// The clocks as designed: centred and bold, the virtual one blue; their designed colours
// are kept in their stored form too.
void DesignClockLabels(QLabel* virtualTime, QLabel* localTime) {
  // A reader hears what each clock is; the time it shows follows as the description.
  virtualTime->setAccessibleName("Virtual time clock");
  localTime->setAccessibleName("Local time clock");
  for (QLabel* clock : {virtualTime, localTime}) {
    clock->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    clock->setAutoFillBackground(true);
    QFont bold = clock->font();
    bold.setBold(true);
    clock->setFont(bold);
  }
  QPalette blue = virtualTime->palette();
  blue.setColor(QPalette::WindowText, Qt::blue);
  virtualTime->setPalette(blue);
  // The clocks' designed colours in their stored form: blue and window text on button face.
  virtualTime->setProperty("FontColor", 0x00FF0000u);
  localTime->setProperty("FontColor", kClWindowText);
  for (QLabel* clock : {virtualTime, localTime}) {
    clock->setProperty("Color", kClBtnFace);
  }
}

}  // namespace

void TfrmMain::CreateControls() {
  setWindowTitle("Quorvane Software's Vazudovu");
  QFont windowFont("MS Sans Serif");
  windowFont.setStyleHint(QFont::SansSerif);
  windowFont.setPixelSize(11);
  setFont(windowFont);
  // Designed at 10, 190, 747 wide.
  move(10, 190);

  auto* central = Named(new QWidget(this), "frmMainClient");
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(central);

  CreateClocksAndEvents(central);
  column->addWidget(spltTop, 1);

  panBottom = MakePanel(central, "panBottom");
  // Designed 83 high for the designed font; a larger desktop font gets the room it needs.
  panBottom->setMinimumHeight(83);
  panBottom->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto* bottomLayout = new QVBoxLayout(panBottom);
  bottomLayout->setContentsMargins(0, 0, 0, 0);
  pgOptions = Named(new QTabWidget(panBottom), "pgOptions");
  pgOptions->setMinimumHeight(81);
  bottomLayout->addWidget(pgOptions);
  column->addWidget(panBottom, 0);

  CreateGeneralTab();
  CreateEventsTab();
  CreateTimezoneTab();
  CreateAudioTab();
  CreateMessengerTab();
  CreateEmailTab();
  CreateCustomAppTab();
  CreateEbayTab();
  pgOptions->setCurrentIndex(0);
  // However small the window is made, every settings page keeps the height its controls need.
  pgOptions->setMinimumHeight(std::max(81, pgOptions->minimumSizeHint().height()));
  panBottom->setMinimumHeight(std::max(83, panBottom->minimumSizeHint().height()));
  // The clocks 30, the splitter 3 and the events 114 high, above the settings.
  resize(747, 30 + 3 + 114 + std::max(83, panBottom->sizeHint().height()));
}

// Clocks above, events below, sharing height through the splitter.
void TfrmMain::CreateClocksAndEvents(QWidget* central) {
  spltTop = Named(new QSplitter(Qt::Vertical, central), "spltTop");
  spltTop->setHandleWidth(3);
  spltTop->setChildrenCollapsible(false);
  panTop = MakePanel(spltTop, "panTop");
  panTop->setMinimumHeight(30);
  auto* clocks = new QVBoxLayout(panTop);
  clocks->setContentsMargins(0, 0, 0, 0);
  clocks->setSpacing(0);
  lblVirtualTime = Named(new QLabel("N/A", panTop), "lblVirtualTime");
  lblLocalTime = Named(new QLabel("N/A", panTop), "lblLocalTime");
  DesignClockLabels(lblVirtualTime, lblLocalTime);
  clocks->addWidget(lblVirtualTime, 0, Qt::AlignTop);
  clocks->addStretch(1);
  clocks->addWidget(lblLocalTime, 0, Qt::AlignBottom);

  panEvents = MakePanel(spltTop, "panEvents");
  auto* eventsLayout = new QVBoxLayout(panEvents);
  eventsLayout->setContentsMargins(0, 0, 0, 0);
  grdEvents = Named(new TQSStringGrid(panEvents), "grdEvents");
  grdEvents->setMinimumHeight(30);
  grdEvents->setAccessibleName("Events");
  ConfigureEventGrid(*grdEvents);
  eventsLayout->addWidget(grdEvents);
  spltTop->addWidget(panTop);
  spltTop->addWidget(panEvents);
  spltTop->setStretchFactor(0, 1);
  spltTop->setStretchFactor(1, 0);
  spltTop->setSizes({30, 114});
}

void TfrmMain::CreateGeneralTab() {
  Page p(pgOptions, "tbGeneralSettings", "General");
  tbGeneralSettings = p.widget;
  chkRunAsTrayIcon = p.Place(CheckBox(p.widget, "chkRunAsTrayIcon", "Run in system tray"), 0);
  // "Start when I log in" shares the first row's second cell, so the page keeps its height.
  auto* rowOptions = p.Place(new QWidget(p.widget), 1);
  auto* rowLayout = new QHBoxLayout(rowOptions);
  rowLayout->setContentsMargins(0, 0, 0, 0);
  chkStayOnTop = CheckBox(rowOptions, "chkStayOnTop", "Stay on top of other windows");
  chkStartAtLogin = CheckBox(rowOptions, "chkStartAtLogin", "Start when I log in");
  rowLayout->addWidget(chkStayOnTop);
  rowLayout->addWidget(chkStartAtLogin);
  rowLayout->addStretch(1);
  p.row++;
  p.Label("Update URL:");
  edtUpdateURL =
      p.Edit("edtUpdateURL", "http://www.quorvane-software.example/qsoft/files/redorodo.ver");
  p.Label("Proxy Server:");
  edtProxyServer = p.Edit("edtProxyServer");
  p.Label("Proxy Port:");
  edtProxyPort = p.Edit("edtProxyPort");
  const char* updateHint = "Click here to check for new versions on the Internet.";
  bbtnUpdates = Button(p.widget, "bbtnUpdates", "Check for Updates");
  bbtnUpdates->setToolTip(updateHint);
  bbtnForceUpdate = Button(p.widget, "bbtnForceUpdate", "Force Update");
  bbtnForceUpdate->setToolTip(updateHint);
  bbtnAutoProxy = Button(p.widget, "bbtnAutoProxy", "Auto Detect Proxy Settings");
  bbtnShutdown = Button(p.widget, "bbtnShutdown", "Shutdown");
  p.grid->addWidget(bbtnUpdates, 0, 2);
  p.grid->addWidget(bbtnForceUpdate, 1, 2);
  p.grid->addWidget(bbtnAutoProxy, 2, 2);
  p.grid->addWidget(bbtnShutdown, 3, 2);
  p.Label("Desktop notices:");
  cboDesktopNotifications = p.Place(Named(new QComboBox(p.widget), "cboDesktopNotifications"), 1);
  cboDesktopNotifications->addItems(
      {"None", "When a reminder is not delivered", "For every due reminder"});
  cboDesktopNotifications->setCurrentIndex(1);
  // The snooze a due item's notice offers shares the notices' row, beside the buttons.
  auto* snooze = p.Place(new QWidget(p.widget), 2);
  auto* snoozeLayout = new QHBoxLayout(snooze);
  snoozeLayout->setContentsMargins(0, 0, 0, 0);
  snoozeLayout->addWidget(new QLabel("Snooze minutes:", snooze));
  edtSnoozeMinutes = Named(new QLineEdit("10", snooze), "edtSnoozeMinutes");
  edtSnoozeMinutes->setMaximumWidth(60);
  snoozeLayout->addWidget(edtSnoozeMinutes);
  p.row++;
}

void TfrmMain::CreateEventsTab() {
  Page p(pgOptions, "tbEventSettings", "Events");
  tbEventSettings = p.widget;
  p.Label("Event Timer Last Check:");
  lblEventLastCheck = p.Place(Named(new QLabel("N/A", p.widget), "lblEventLastCheck"), 1);
  p.row++;
  bbtnAddEvent = p.Place(Button(p.widget, "bbtnAddEvent", "Add"), 0);
  bbtnDeleteEvent = p.Place(Button(p.widget, "bbtnDeleteEvent", "Delete"), 1);
  p.row++;
  chkSaveOnClose = p.Place(CheckBox(p.widget, "chkSaveOnClose", "Save events on close"), 0);
  chkSaveOnClose->setChecked(true);
  bbtnSaveEventsNow = p.Place(Button(p.widget, "bbtnSaveEventsNow", "Save Events to disk now"), 1);
  bbtnDeliveryLog = Button(p.widget, "bbtnDeliveryLog", "Delivery log...");
  bbtnDeliveryLog->setToolTip("What became of every notification: the delivery log.");
  p.grid->addWidget(bbtnDeliveryLog, 0, 2);
  p.grid->setColumnStretch(2, 1);
}

void TfrmMain::CreateTimezoneTab() {
  Page p(pgOptions, "tbTimeSettings", "Timezone");
  tbTimeSettings = p.widget;
  p.Label("Virtual timezone:");
  cboVirtualTimeZone = p.Place(Named(new QComboBox(p.widget), "cboVirtualTimeZone"), 1);
  p.row++;
  p.Label("Local Timezone:");
  edtLocalTimeZone = p.Edit("edtLocalTimeZone");
  edtLocalTimeZone->setReadOnly(true);
  edtLocalTimeZone->setStyleSheet("background-color: silver;");
  p.row = 0;
  p.grid->addWidget(new QLabel("Virtual - Local Timezone Diff: ", p.widget), 0, 2);
  lblTZOffsetHours = Named(new QLabel("N/A", p.widget), "lblTZOffsetHours");
  lblTZOffsetHours->setAlignment(Qt::AlignCenter);
  QFont bold = lblTZOffsetHours->font();
  bold.setBold(true);
  lblTZOffsetHours->setFont(bold);
  p.grid->addWidget(lblTZOffsetHours, 0, 3);
  p.grid->addWidget(new QLabel("Local Bias to UTC in hours:", p.widget), 1, 2);
  lblLocalTZOffsetHours = Named(new QLabel("N/A", p.widget), "lblLocalTZOffsetHours");
  p.grid->addWidget(lblLocalTZOffsetHours, 1, 3);
  chkAutoTimeSynch =
      CheckBox(p.widget, "chkAutoTimeSynch", "Auto Synch time with Internet Time server");
  p.grid->addWidget(chkAutoTimeSynch, 2, 0);
  cboSNTPServer = Named(new QComboBox(p.widget), "cboSNTPServer");
  cboSNTPServer->addItems({"pool.ntp.org", "OTHER"});
  cboSNTPServer->setCurrentIndex(-1);
  p.grid->addWidget(cboSNTPServer, 2, 1);
  p.grid->addWidget(new QLabel("Local time Offset to NTP Server:", p.widget), 2, 2);
  lblLocalOffset = Named(new QLabel("N/A", p.widget), "lblLocalOffset");
  p.grid->addWidget(lblLocalOffset, 2, 3);
}

void TfrmMain::CreateAudioTab() {
  Page p(pgOptions, "tbSounds", "Audio");
  tbSounds = p.widget;
  p.Label("Sound to play on notification:");
  edtSoundFile = p.Place(Named(new QLineEdit(p.widget), "edtSoundFile"), 1);
  auto* buttons = new QHBoxLayout;
  sbtnSelectSoundFile = SpeedButton(p.widget, "sbtnSelectSoundFile", "...", "");
  sbtnTestSound = SpeedButton(p.widget, "sbtnTestSound", "", "Play sound");
  sbtnTestSound->setIcon(GlyphIcon(p.widget, Glyph::Play));
  sbtnStop = SpeedButton(p.widget, "sbtnStop", "", "Stop playing sounds");
  sbtnStop->setIcon(GlyphIcon(p.widget, Glyph::Stop));
  // Buttons that show a glyph or "..." are named for a reader by what they do.
  sbtnSelectSoundFile->setAccessibleName("Choose sound file");
  sbtnTestSound->setAccessibleName("Play sound");
  sbtnStop->setAccessibleName("Stop playing sounds");
  buttons->addWidget(sbtnSelectSoundFile);
  buttons->addWidget(sbtnTestSound);
  buttons->addWidget(sbtnStop);
  p.grid->addLayout(buttons, p.row++, 2);
  chkEnableSound = p.Place(CheckBox(p.widget, "chkEnableSound", "Enable"), 0);
  p.grid->setColumnStretch(1, 1);
}

void TfrmMain::CreateMessengerTab() {
  Page p(pgOptions, "tbMSMSettings", "MS Messenger");
  tbMSMSettings = p.widget;
  chkEnableMSM = p.Place(CheckBox(p.widget, "chkEnableMSM", "Enable"), 0);
  p.row++;
  p.Label("MSM Hostname:");
  edtMSMHost = p.Edit("edtMSMHost", "messenger.hotmail.com");
  p.Label("Port:");
  edtMSMPort = p.Edit("edtMSMPort", "1863");
  p.row = 0;
  p.grid->addWidget(new QLabel("From MSM Account:", p.widget), 0, 2);
  edtFromMSM = Named(new QLineEdit(p.widget), "edtFromMSM");
  p.grid->addWidget(edtFromMSM, 0, 3);
  p.grid->addWidget(new QLabel("Password:", p.widget), 1, 2);
  edtFromMSMPwd = Named(new QLineEdit(p.widget), "edtFromMSMPwd");
  edtFromMSMPwd->setEchoMode(QLineEdit::Password);
  p.grid->addWidget(edtFromMSMPwd, 1, 3);
  auto* toLabel = new QLabel(
      "To MSM Account: (for more than one account seperate with a ; semicolon)", p.widget);
  toLabel->setWordWrap(true);
  p.grid->addWidget(toLabel, 2, 2);
  edtToMSM = Named(new QLineEdit(p.widget), "edtToMSM");
  p.grid->addWidget(edtToMSM, 2, 3);
  bbtnAutoDetectMSMSettings = Button(p.widget, "bbtnAutoDetectMSMSettings", "Auto Detect");
  bbtnAutoDetectMSMSettings->setToolTip(
      "Updates your settings with values found in your computer saved through the Microsoft "
      "Messenger Application");
  p.grid->addWidget(bbtnAutoDetectMSMSettings, 3, 3);
}

void TfrmMain::CreateEmailTab() {
  Page p(pgOptions, "tbEmailSettings", "Email");
  tbEmailSettings = p.widget;
  chkEnableEmail = p.Place(CheckBox(p.widget, "chkEnableEmail", "Enable"), 0);
  p.row++;
  p.Label("Outgoing Server (SMTP)");
  SMTPServer = p.Edit("SMTPServer", "mail.example.com");
  p.Label("SMTP Port:");
  SMTPPort = p.Edit("SMTPPort", "25");
  p.Label("Email From:");
  edtEmailFrom = p.Edit("edtEmailFrom", "me@example.com");
  // A provider's server wants TLS and a sign-in; "None" is the plain dialogue.
  p.Label("Security:");
  cboEmailSecurity = p.Place(Named(new QComboBox(p.widget), "cboEmailSecurity"), 1);
  cboEmailSecurity->addItems({"None", "STARTTLS", "TLS"});
  cboEmailSecurity->setToolTip("STARTTLS: usually port 587. TLS: usually port 465.");
  p.row++;
  p.Label("User name:");
  edtEmailUser = p.Edit("edtEmailUser");
  p.Label("Password:");
  edtEmailPassword = p.Edit("edtEmailPassword");
  edtEmailPassword->setEchoMode(QLineEdit::Password);
  p.row = 0;
  lblTo = Named(new QLabel("Email To: (for more than one account seperate                    "
                           "with a ; semicolon)",
                           p.widget),
                "lblTo");
  lblTo->setWordWrap(true);
  p.grid->addWidget(lblTo, 0, 2);
  edtEmailTo = Named(new QLineEdit("you@example.com", p.widget), "edtEmailTo");
  p.grid->addWidget(edtEmailTo, 0, 3);
  lblSubject = Named(new QLabel("Subject:", p.widget), "lblSubject");
  p.grid->addWidget(lblSubject, 1, 2);
  edtEmailSubject = Named(new QLineEdit("Vazudovu Msg", p.widget), "edtEmailSubject");
  p.grid->addWidget(edtEmailSubject, 1, 3);
  bbtnAutoDetectMailSettings = Button(p.widget, "bbtnAutoDetectMailSettings", "Auto Detect");
  p.grid->addWidget(bbtnAutoDetectMailSettings, 2, 3);
}

void TfrmMain::CreateCustomAppTab() {
  Page p(pgOptions, "tbCustomAppSettings", "Custom Application");
  tbCustomAppSettings = p.widget;
  auto* note = new QLabel(
      "Application to launch during an event (Optional - Leave empty for none) NOTE: you may "
      "pass event data as parameters to your application using the following: %ItemID "
      "%ItemDesc %ItemDate %ItemTime %ItemTZ",
      p.widget);
  note->setWordWrap(true);
  p.Place(note, 0, 3);
  p.row++;
  chkEnableCustomApp = p.Place(CheckBox(p.widget, "chkEnableCustomApp", "Enable"), 0);
  edtLaunchApp = p.Place(Named(new QLineEdit(p.widget), "edtLaunchApp"), 1);
  sbtnLaunchApp = p.Place(SpeedButton(p.widget, "sbtnLaunchApp", "...", ""), 2);
  sbtnLaunchApp->setAccessibleName("Choose application to launch");
  p.grid->setColumnStretch(1, 1);
}

void TfrmMain::CreateEbayTab() {
  Page p(pgOptions, "tbEbaySettings", "EBay");
  tbEbaySettings = p.widget;
  p.Label("Ebay Login:");
  edtEbayLoginID = p.Edit("edtEbayLoginID");
  p.Label("Password:");
  edtEbayPassword = p.Edit("edtEbayPassword");
  edtEbayPassword->setEchoMode(QLineEdit::Password);
  bbtnImportEbayLiveAuctions =
      Button(p.widget, "bbtnImportEbayLiveAuctions", "Import live auctions");
  bbtnImportEayWatchList = Button(p.widget, "bbtnImportEayWatchList", "Import watch list");
  p.grid->addWidget(bbtnImportEbayLiveAuctions, 0, 2);
  p.grid->addWidget(bbtnImportEayWatchList, 1, 2);
  p.grid->addWidget(new QLabel("Coming soon!", p.widget), 0, 3);
}

void TfrmMain::CreateMenus() {
  pmnuMain = Named(new QMenu(this), "pmnuMain");
  pmnuiHideEvents = Item(pmnuMain, "pmnuiHideEvents", "Hide Events", true);
  pmnuiHideSettings = Item(pmnuMain, "pmnuiHideSettings", "Hide Settings", true);
  pmnuMain->addSeparator();
  pmnuiDeliveryLog = Item(pmnuMain, "pmnuiDeliveryLog", "Delivery log...");
  pmnuiRepeat = Item(pmnuMain, "pmnuiRepeat", "Repeat...");

  popTop = Named(new QMenu(this), "popTop");
  pmnuiTopHideEvents = Item(popTop, "pmnuiTopHideEvents", "Hide Events", true);
  pmnuiTopHideSettings = Item(popTop, "pmnuiTopHideSettings", "Hide Settings", true);
  popTop->addSeparator();
  pmnuiVirtualFont = Item(popTop, "pmnuiVirtualFont", "Virtual Time Font Settings...");
  pmnuiVirtualBackground =
      Item(popTop, "pmnuiVirtualBackground", "Virtual Time Background Settings...");
  pmnuiVirtualMilitary =
      Item(popTop, "pmnuiVirtualMilitary", "Don't show Virtual time in military format", true);
  pmnuiVirtualTZName = Item(popTop, "pmnuiVirtualTZName", "Don't show Virtual timezone name", true);
  popTop->addSeparator();
  pmnuiLocalFont = Item(popTop, "pmnuiLocalFont", "Local Time Font Settings...");
  pmnuiLocalBackground = Item(popTop, "pmnuiLocalBackground", "Local Time Background Settings...");
  pmnuiLocalMilitary =
      Item(popTop, "pmnuiLocalMilitary", "Don't show Local time in military format", true);
  pmnuiLocalTZName = Item(popTop, "pmnuiLocalTZName", "Don't show Local timezone name", true);

  popTrayMenu = Named(new QMenu(this), "popTrayMenu");
  pmnuiHelp = Item(popTrayMenu, "pmnuiHelp", "Help");
  pmnuiOpenWindow = Item(popTrayMenu, "pmnuiOpenWindow", "Open Vazudovu Window");
  pmnuiShutdown = Item(popTrayMenu, "pmnuiShutdown", "Shutdown");
  pmnuiAbout = Item(popTrayMenu, "pmnuiAbout", "About QSRedorodo...");

  // The clocks' panel has its own menu; the events, the settings and the grid share pmnuMain.
  for (QWidget* w : {static_cast<QWidget*>(panBottom), static_cast<QWidget*>(pgOptions),
                     static_cast<QWidget*>(grdEvents)}) {
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) { pmnuMain->popup(w->mapToGlobal(at)); });
  }
  panTop->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(panTop, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { popTop->popup(panTop->mapToGlobal(at)); });
}

void TfrmMain::CreateComponents() {
  fntDialog = Named(new QObject(this), "fntDialog");
  clrDialog = Named(new QObject(this), "clrDialog");
  dlgOpen = new TOpenDialogComponent(this, "dlgOpen",
                                     {"MPeg3 files|*.MP3|Wave files|*.WAV|"
                                      "Ogg Vorbis files|*.OGG|Opus files|*.OPUS|FLAC files|*.FLAC|"
                                      "All files|*",
                                      "*.MP3", true, ""});
  dlgGetFile = new TOpenDialogComponent(this, "dlgGetFile", {"Programs|*.*", "wav", false, ""});
  tmrMainClock = Timer(this, "tmrMainClock", 250);
  tmrEvents = Timer(this, "tmrEvents", 5000);
  tmrAutoSynch = Timer(this, "tmrAutoSynch", 5000);
}
