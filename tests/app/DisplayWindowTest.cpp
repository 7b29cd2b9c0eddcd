// The window's clocks, zones, panels and tray, driven as the user drives them.
#include <QtTest/qtestspontaneevent.h>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "DateTime.h"
#include "QSStringGrid.h"
#include "RegistryStore.h"
#include "WindowFixture.h"
#include "events/eventTable.h"
#include "time/clockDisplay.h"
#include "time/zoneOffsetCache.h"
#include "window/qtConvert.h"
#include "window/windowPlacement.h"

using VIDodadaZadoVove::Variant;

namespace {

class WindowLook : public WindowFixture {
 protected:
  // The clocks at a UTC instant, with the local clock on UTC too.
  static void Tick(TfrmMain& w, int hour, int minute, int second) {
    const Platform::TDateTime at = Platform::EncodeDateTime(2026, 12, 9, hour, minute, second, 0);
    w.RefreshClocks(at, clocks::FileTimeFromDateTime(at));
  }
  static void Choose(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    box->setCurrentIndex(index);
    emit box->activated(index);
  }
  // The title-bar close box: a close that comes from the window system.
  static bool CloseBox(TfrmMain& w) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    static_cast<QObject&>(w).event(&event);
    return event.isAccepted();
  }
  static int TopOf(TfrmMain& w, QWidget* panel) { return panel->mapTo(&w, QPoint(0, 0)).y(); }
};

}  // namespace

TEST_F(WindowLook, TheClocksFollowTheZonesAndTheToggles) {
  auto w = Open();
  w->dLocalTZOffset_m = -5.0;
  w->edtLocalTimeZone->setText("Local/Zone");
  Choose(w->cboVirtualTimeZone, "Asia/Kolkata");
  Tick(*w, 3, 0, 1);
  EXPECT_EQ(w->lblTZOffsetHours->text(), "-10.50");
  EXPECT_EQ(w->lblVirtualTime->text(), "08:30:01 Asia/Kolkata");
  EXPECT_EQ(w->lblLocalTime->text(), "03:00:01 Local/Zone");

  // The first click on a "Don't show" item checks it and switches the clock over.
  w->pmnuiVirtualMilitary->trigger();
  EXPECT_TRUE(w->pmnuiVirtualMilitary->isChecked());
  EXPECT_FALSE(w->bUseVirtualMilitary_m);
  EXPECT_EQ(Stored("UseVirtualMilitary", 3), "0");
  w->pmnuiLocalTZName->trigger();
  Tick(*w, 3, 0, 1);
  EXPECT_EQ(w->lblVirtualTime->text(), "08:30:01 Asia/Kolkata") << "same second: no work";
  Tick(*w, 15, 0, 2);
  EXPECT_EQ(w->lblVirtualTime->text(), "08:30:02 pm Asia/Kolkata");
  EXPECT_EQ(w->lblLocalTime->text(), "15:00:02");
  w->pmnuiVirtualMilitary->trigger();
  EXPECT_TRUE(w->bUseVirtualMilitary_m);
  EXPECT_EQ(Stored("UseVirtualMilitary", 3), "1");
}

TEST_F(WindowLook, AddingAZoneThroughOther) {
  auto w = Open();
  w->dLocalTZOffset_m = 0.0;
  Choose(w->cboVirtualTimeZone, "America/New_York");
  const int listed = w->cboVirtualTimeZone->count();

  // Cancelled: the box shows OTHER, the clock keeps the previous offset.
  Choose(w->cboVirtualTimeZone, "OTHER");
  EXPECT_EQ(w->dVirtualTZOffset_m, -5.0);
  Tick(*w, 3, 0, 1);
  EXPECT_EQ(w->lblVirtualTime->text(), "22:00:01 OTHER");
  EXPECT_EQ(Stored("VirtualTZ"), "America/New_York") << "OTHER itself is never stored";

  // Refused names, and an offset that is no number.
  dialogs_.inputAnswers = {"coordinated universal time"};
  Choose(w->cboVirtualTimeZone, "OTHER");
  dialogs_.inputAnswers = {"Mars\\Olympus"};
  Choose(w->cboVirtualTimeZone, "OTHER");
  EXPECT_EQ(dialogs_.Texts("ShowMessage"),
            (std::vector<std::string>{"That name already exists!",
                                      "A timezone name cannot contain a backslash!"}));
  dialogs_.inputAnswers = {"Mars", "soon"};
  Choose(w->cboVirtualTimeZone, "OTHER");
  EXPECT_EQ(dialogs_.Texts("ShowException"),
            std::vector<std::string>{"'soon' is not a valid floating point value"});
  EXPECT_EQ(w->cboVirtualTimeZone->count(), listed);
  EXPECT_EQ(w->mapTimeZones_m.count("Mars"), 0u);

  // Accepted: listed last, selected, stored, and offered to the items in its sorted place.
  dialogs_.inputAnswers = {"Mars", "5.5"};
  Choose(w->cboVirtualTimeZone, "OTHER");
  ASSERT_EQ(w->cboVirtualTimeZone->count(), listed + 1);
  EXPECT_EQ(w->cboVirtualTimeZone->itemText(listed), "Mars");
  EXPECT_EQ(w->cboVirtualTimeZone->currentText(), "Mars");
  EXPECT_EQ(w->dVirtualTZOffset_m, 5.5);
  EXPECT_EQ(Stored("VirtualTZ"), "Mars");
  EXPECT_EQ(VIDodadaZadoVove::ReadFromRegistry(VIDodadaZadoVove::HKEY_CURRENT_USER,
                                               std::string(kSettingsKey) + "\\VirtualTZList\\Mars",
                                               "VirtualTZOffset", 5, true, "")
                .AsDouble(),
            5.5);
  const auto calls = dialogs_.calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2].caption, "Enter timezone name");
  EXPECT_EQ(calls[calls.size() - 2].text, "Timezone name:");
  EXPECT_EQ(calls.back().caption, "Enter timezone offset from UTC (AKA Greewnwich Mean Time)");
  EXPECT_EQ(calls.back().text, "Timezone Offset:");
  w->close();
  w.reset();

  auto again = Open();
  EXPECT_EQ(again->cboVirtualTimeZone->currentText(), "Mars");
  EXPECT_EQ(again->dVirtualTZOffset_m, 5.5);
  EXPECT_LT(again->cboVirtualTimeZone->findText("Mars"),
            again->cboVirtualTimeZone->findText("OTHER"))
      << "at its sorted place after a restart";
}

TEST_F(WindowLook, HiddenPanelsComeBackInTheirOrder) {
  auto w = Open();
  w->show();
  QApplication::processEvents();
  const int height = w->height();
  const int events = w->panEvents->height();

  w->pmnuiHideEvents->trigger();
  EXPECT_TRUE(w->pmnuiTopHideEvents->isChecked());
  EXPECT_EQ(w->height(), height - events);
  w->pmnuiTopHideSettings->trigger();
  EXPECT_TRUE(w->pmnuiHideSettings->isChecked());
  QApplication::processEvents();
  EXPECT_FALSE(w->panEvents->isVisible());
  EXPECT_FALSE(w->panBottom->isVisible());
  EXPECT_TRUE(w->panTop->isVisible());
  EXPECT_EQ(Stored("HideEvents", 3), "1");
  EXPECT_EQ(Stored("HideSettings", 3), "1");

  // Settings first, then events: still clocks, events, settings.
  w->pmnuiHideSettings->trigger();
  w->pmnuiTopHideEvents->trigger();
  QApplication::processEvents();
  EXPECT_LT(TopOf(*w, w->panTop), TopOf(*w, w->panEvents));
  EXPECT_LT(TopOf(*w, w->panEvents), TopOf(*w, w->panBottom));
  EXPECT_EQ(w->height(), height);
  EXPECT_EQ(w->panEvents->height(), events);
  EXPECT_FALSE(w->pmnuiHideEvents->isChecked() || w->pmnuiTopHideEvents->isChecked());
  EXPECT_EQ(Stored("HideEvents", 3), "0");

  // And the other way round.
  w->pmnuiHideEvents->trigger();
  w->pmnuiHideSettings->trigger();
  w->pmnuiHideEvents->trigger();
  w->pmnuiHideSettings->trigger();
  QApplication::processEvents();
  EXPECT_LT(TopOf(*w, w->panTop), TopOf(*w, w->panEvents));
  EXPECT_LT(TopOf(*w, w->panEvents), TopOf(*w, w->panBottom));
  EXPECT_EQ(w->height(), height);
}

TEST_F(WindowLook, TrayAndStayOnTopExcludeEachOther) {
  auto w = Open();
  w->chkStayOnTop->click();
  EXPECT_EQ(Stored("RunOnTop", 3), "1");
  w->chkRunAsTrayIcon->click();
  EXPECT_FALSE(w->chkStayOnTop->isChecked());
  EXPECT_EQ(Stored("TRAYICON", 3), "1");
  EXPECT_EQ(Stored("RunOnTop", 3), "0");
  EXPECT_EQ(w->pTrayIcon_m, nullptr) << "this desktop shows no tray: no icon";
  EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
  w->chkStayOnTop->click();
  EXPECT_FALSE(w->chkRunAsTrayIcon->isChecked());
  EXPECT_EQ(Stored("TRAYICON", 3), "0");
  w.reset();

  auto onTop = Open();
  EXPECT_TRUE(onTop->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(WindowLook, InTrayModeTheCloseBoxHidesAndAltF4Closes) {
  Store("TRAYICON", Variant(true));
  auto w = Open(true);
  ASSERT_TRUE(w->bTrayMode_m);
  ASSERT_NE(w->pTrayIcon_m, nullptr);
  EXPECT_EQ(w->pTrayIcon_m->toolTip(), "Caldrith Solutions Vazudovu");
  EXPECT_FALSE(w->pTrayIcon_m->icon().isNull());
  w->show();
  w->move(70, 80);
  QApplication::processEvents();

  EXPECT_FALSE(CloseBox(*w));
  EXPECT_FALSE(w->isVisible());
  EXPECT_FALSE(w->tmrMainClock->isActive()) << "nobody sees the clocks";

  Store("Left", Variant(static_cast<std::int32_t>(25)));
  w->WMTrayNotify(0x203);  // double click on the icon
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->geometry().x(), 25) << "shown at the stored place";
  EXPECT_TRUE(w->tmrMainClock->isActive());
  w->WMTrayNotify(0x201);  // other mouse messages do nothing
  EXPECT_TRUE(w->isVisible());
  w->WMTrayNotify(0x205);  // the right button opens the tray menu
  EXPECT_TRUE(w->popTrayMenu->isVisible());
  w->popTrayMenu->hide();

  w->FormKeyDown(Qt::Key_Alt, Qt::AltModifier);
  EXPECT_TRUE(CloseBox(*w)) << "Alt+F4 closes";
  EXPECT_FALSE(w->tmrMainClock->isActive());
}

TEST_F(WindowLook, TheClockRestsWhileNobodySeesItAndIsCurrentWhenShown) {
  auto w = Open();
  w->show();
  QApplication::processEvents();
  const auto staleThenShown = [&](auto&& showAgain) {
    w->lblLocalTime->setText("stale");
    w->lblVirtualTime->setText("stale");
    showAgain();
    QApplication::processEvents();
    EXPECT_TRUE(w->tmrMainClock->isActive());
    // At once, even within the second of the last refresh.
    EXPECT_NE(w->lblLocalTime->text(), "stale");
    EXPECT_NE(w->lblVirtualTime->text(), "stale");
  };
  w->hide();
  EXPECT_FALSE(w->tmrMainClock->isActive());
  staleThenShown([&] { w->show(); });
  w->showMinimized();
  QApplication::processEvents();
  EXPECT_FALSE(w->tmrMainClock->isActive()) << "minimised";
  staleThenShown([&] { w->showNormal(); });

  ASSERT_TRUE(CloseBox(*w));
  w->hide();
  w->show();
  EXPECT_FALSE(w->tmrMainClock->isActive()) << "the close stopped it for good";
}

TEST_F(WindowLook, RunInSystemTrayTakesEffectAtOnce) {
  auto w = Open(true);
  w->show();
  QApplication::processEvents();
  ASSERT_FALSE(w->bTrayMode_m);
  EXPECT_TRUE(CloseBox(*w)) << "a normal window closes";
  w = Open(true);
  w->show();

  w->chkRunAsTrayIcon->click();
  ASSERT_NE(w->pTrayIcon_m, nullptr) << "the icon is added at once";
  EXPECT_TRUE(w->pTrayIcon_m->isVisible());
  EXPECT_FALSE(CloseBox(*w)) << "closing now hides to the tray";
  EXPECT_FALSE(w->isVisible());

  // Unticked while the window is in the tray (the stay-on-top box unticks it too): the
  // icon goes and the window comes back, closing as a normal window again.
  w->chkStayOnTop->click();
  EXPECT_FALSE(w->chkRunAsTrayIcon->isChecked());
  EXPECT_EQ(w->pTrayIcon_m, nullptr);
  EXPECT_FALSE(w->bTrayMode_m);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(Stored("TRAYICON", 3), "0");
  EXPECT_TRUE(CloseBox(*w));
}

// Both options stored (only a store edited by hand holds both): start-up unticks the tray
// box as it reads the other, and leaves the showing to the command line all the same.
TEST_F(WindowLook, StartUpItselfShowsNoWindowWhenItDropsTrayMode) {
  Store("TRAYICON", Variant(true));
  Store("RunOnTop", Variant(true));
  auto w = Open(true);
  EXPECT_FALSE(w->chkRunAsTrayIcon->isChecked());
  EXPECT_EQ(w->pTrayIcon_m, nullptr);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(WindowLook, WhenTheTrayGoesAwayTheHiddenWindowComesBack) {
  auto tray = std::make_shared<bool>(true);
  Store("TRAYICON", Variant(true));
  MainWindowOptions options;
  options.eventsFilePath = files_.File("QSEvents.C-D");
  options.trayAvailable = [tray] { return *tray; };
  TfrmMain w(dialogs_, std::move(options));
  w.show();
  ASSERT_FALSE(CloseBox(w));
  ASSERT_FALSE(w.isVisible());
  *tray = false;
  w.tmrEvents->start(1);  // the tick that looks at the tray
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.isVisible(); }, 5000));
  EXPECT_EQ(w.pTrayIcon_m, nullptr);
  EXPECT_TRUE(CloseBox(w)) << "no tray to hide in: closing ends the program";
}

TEST_F(WindowLook, HelpOpensTheGuideAndAboutTellsWhereTheFilesAre) {
  std::vector<std::string> opened;
  bool viewer = true;
  MainWindowOptions options;
  options.eventsFilePath = files_.File("QSEvents.C-D");
  options.deliveryLogPath = files_.File("delivery.log");
  options.openDocument = [&](const std::string& path) {
    opened.push_back(path);
    return viewer;
  };
  TfrmMain w(dialogs_, std::move(options));
  w.pmnuiHelp->trigger();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(std::filesystem::path(opened[0]).filename(), "README.md");
  EXPECT_TRUE(std::filesystem::is_regular_file(opened[0])) << opened[0];
  EXPECT_TRUE(dialogs_.calls.empty());
  viewer = false;  // a desktop with nothing to show it: said, with the file's place
  w.pmnuiHelp->trigger();
  ASSERT_EQ(dialogs_.Texts("ShowMessage").size(), 1u);
  EXPECT_NE(dialogs_.Texts("ShowMessage")[0].find(opened[0]), std::string::npos);

  w.pmnuiAbout->trigger();
  ASSERT_EQ(dialogs_.Texts("MessageBox").size(), 1u);
  EXPECT_EQ(dialogs_.calls.back().caption, "About Vazudovu");
  const std::string about = dialogs_.calls.back().text;
  for (const std::string& part :
       {std::string("Vazudovu"), std::string("Version ") + VAZUDOVU_VERSION,
        std::string("Licence: "), files_.File("QSEvents.C-D"),
        Platform::HiveFilePath(Platform::Hive::CurrentUser), files_.File("delivery.log"),
        zone_cache::DefaultPath()}) {
    EXPECT_NE(about.find(part), std::string::npos) << part << " in:\n" << about;
  }
}

// Started hidden (as at log-in, in the tray) the window was never shown and never hidden:
// its clock rests all the same, and the first showing brings the clocks up to date.
TEST_F(WindowLook, AWindowNeverShownKeepsItsClockAtRest) {
  Store("TRAYICON", Variant(true));
  auto w = Open(true);
  ASSERT_TRUE(w->bTrayMode_m);
  QApplication::processEvents();
  EXPECT_FALSE(w->tmrMainClock->isActive()) << "nobody has seen the window";
  EXPECT_EQ(w->lblLocalTime->text(), "N/A");
  w->WMTrayNotify(0x203);  // opened from the tray
  QApplication::processEvents();
  EXPECT_TRUE(w->tmrMainClock->isActive());
  EXPECT_NE(w->lblLocalTime->text(), "N/A") << "current at once";
  EXPECT_NE(w->lblVirtualTime->text(), "N/A");
}

TEST_F(WindowLook, WithoutATrayTheWindowStaysNormal) {
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    GTEST_SKIP() << "this desktop has a tray; the case needs one without";
  }
  Store("TRAYICON", Variant(true));
  auto w = Open();
  EXPECT_TRUE(w->chkRunAsTrayIcon->isChecked());
  EXPECT_FALSE(w->bTrayMode_m);
  EXPECT_EQ(w->pTrayIcon_m, nullptr);
  EXPECT_FALSE(w->chkRunAsTrayIcon->toolTip().isEmpty());
  w->show();
  EXPECT_TRUE(CloseBox(*w));
  EXPECT_FALSE(w->tmrMainClock->isActive());
}

TEST_F(WindowLook, CancelledFontAndColourDialogsChangeNothing) {
  auto w = Open();
  const QFont font = w->lblLocalTime->font();
  const QPalette palette = w->lblLocalTime->palette();
  w->pmnuiLocalFont->trigger();
  w->pmnuiLocalBackground->trigger();
  w->pmnuiVirtualFont->trigger();
  EXPECT_EQ(w->lblLocalTime->font(), font);
  EXPECT_EQ(w->lblLocalTime->palette(), palette);
  for (const char* name : {"NotifyLocalFont", "NotifyLocalFontColor", "NotifyLocalBackgroundColor",
                           "NotifyFont", "NotifyFontColor"}) {
    EXPECT_EQ(Stored(name, 3), std::nullopt) << name;
  }
  // The dialogs open on the clock's own font and colour: the design's button face.
  ASSERT_EQ(dialogs_.calls.size(), 3u);
  EXPECT_EQ(dialogs_.calls[0].text, QFontInfo(font).family().toStdString());
  EXPECT_EQ(dialogs_.calls[1].text, std::to_string(kClBtnFace));
}

TEST_F(WindowLook, StoredSystemColoursFollowThePalette) {
  Store("NotifyBackgroundColor", Variant(static_cast<std::int32_t>(0x80000005u)));
  Store("NotifyLocalFontColor", Variant(static_cast<std::int32_t>(0x0000FFu)));
  auto w = Open();
  EXPECT_EQ(w->iVirtualBackColor_m, 0x80000005u);
  EXPECT_EQ(w->lblVirtualTime->palette().color(QPalette::Window), ColorFromWin(0x80000005u));
  EXPECT_EQ(w->lblLocalTime->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(w->lblLocalTime->palette().color(QPalette::Window), ColorFromWin(kClBtnFace));
}

// A stored size that no longer fits (a larger scale factor shrinks the screen) at the
// screen's top left: the fitted window leaves room for its title bar above it, whether the
// frame is told or, before the window is framed, assumed.
TEST(WindowPlacement, TheTitleBarStaysOnTheScreen) {
  using namespace window_placement;
  const Box area{0, 0, 640, 512};
  const Box stored{0, 0, 760, 700};
  const Box assumed = FitInto(stored, area, {100, 100}, AssumedFrame({}, 24));
  EXPECT_EQ(assumed, (Box{0, 24, 640, 488}));
  const Box told = FitInto(stored, area, {100, 100}, AssumedFrame({1, 20, 1, 5}, 24));
  EXPECT_EQ(told, (Box{1, 20, 638, 487}));
  // Passing margins of a window not yet framed tell nothing.
  EXPECT_EQ(AssumedFrame({0, 0, -759, -419}, 24).top, 24);
  EXPECT_EQ(AssumedFrame({0, 0, 2, 25}, 24).top, 24);
  // A box that fits with its frame comes back as it was.
  EXPECT_EQ(FitInto({200, 190, 300, 200}, area, {100, 100}, AssumedFrame({}, 24)),
            (Box{200, 190, 300, 200}));
}
