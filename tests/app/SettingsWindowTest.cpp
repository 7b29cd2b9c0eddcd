// The settings table through the window: a first run, every value stored through its
// control and restored at the next start, and the reading rules for odd stored values.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTest>
#include <QTimeZone>
#include <algorithm>

#include "QSStringGrid.h"
#include "WindowFixture.h"
#include "events/eventTable.h"
#include "time/clockDisplay.h"
#include "window/qtConvert.h"

using VIDodadaZadoVove::Variant;

namespace {

class Settings : public WindowFixture {};

// Every value the window keeps, as the next start reads them.
const std::vector<std::string> kAllValues = {"NotifyFont",
                                             "NotifyFontColor",
                                             "NotifyBackgroundColor",
                                             "NotifyLocalFont",
                                             "NotifyLocalFontColor",
                                             "NotifyLocalBackgroundColor",
                                             "grdEventsHeight",
                                             "AutoSynchTimeNTPServer",
                                             "HideEvents",
                                             "HideSettings",
                                             "TRAYICON",
                                             "RunOnTop",
                                             "VirtualTZ",
                                             "AutoTimeSynch",
                                             "EnableSounds",
                                             "DefaultSound",
                                             "EnableMSM",
                                             "MSMHost",
                                             "MSMFrom",
                                             "MSMPort",
                                             "MSMPassword",
                                             "MSMTo",
                                             "UpdateURL",
                                             "ProxyServer",
                                             "ProxyPort",
                                             "EnableEmail",
                                             "EmailSMTP",
                                             "EmailSMTPPort",
                                             "EmailFrom",
                                             "EmailSubject",
                                             "EmailTo",
                                             "EmailSecurity",
                                             "EmailUser",
                                             "EmailPassword",
                                             "EbayLogin",
                                             "EbayPassword",
                                             "UseVirtualMilitary",
                                             "UseLocalMilitary",
                                             "ShowVirtualTZName",
                                             "ShowLocalTZName",
                                             "EnableCustomApp",
                                             "CustomApp",
                                             "Left",
                                             "Top",
                                             "Height",
                                             "Width"};

// The edit boxes and the texts the walk types into them.
const std::vector<std::pair<const char*, const char*>> kEdits = {
    {"edtSoundFile", "/sounds/bell.wav"},
    {"edtMSMHost", "msg.example.org"},
    {"edtFromMSM", "me@example.org"},
    {"edtMSMPort", "1864"},
    {"edtFromMSMPwd", "pa55"},
    {"edtToMSM", "a@example.org;b@example.org"},
    {"edtUpdateURL", "http://u.example/v"},
    {"edtProxyServer", "proxy.example"},
    {"edtProxyPort", "8080"},
    {"SMTPServer", "smtp.example.org"},
    {"SMTPPort", "2525"},
    {"edtEmailFrom", "from@example.org"},
    {"edtEmailSubject", "Due"},
    {"edtEmailTo", "to@example.org"},
    {"edtEmailUser", "from@example.org"},
    {"edtEmailPassword", "app-pass"},
    {"edtEbayLoginID", "bidder"},
    {"edtEbayPassword", "s3cret"},
    {"edtLaunchApp", "notify-send %ItemID"}};

template <typename T>
T* Find(TfrmMain& w, const char* name) {
  T* found = w.findChild<T*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

void Choose(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  box->setCurrentIndex(index);
  emit box->activated(index);
}

}  // namespace

TEST_F(Settings, AFirstRunShowsTheDesignAndStoresNothing) {
  auto w = Open();
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(w->cboVirtualTimeZone->currentText(), "Coordinated Universal Time");
  EXPECT_EQ(w->dVirtualTZOffset_m, 0.0);
  EXPECT_EQ(w->cboSNTPServer->currentIndex(), -1);
  EXPECT_EQ(w->edtLocalTimeZone->text(), QTimeZone::systemTimeZoneId());
  EXPECT_GT(w->cboVirtualTimeZone->count(), 300) << "the platform's zones are listed";
  EXPECT_FALSE(w->chkRunAsTrayIcon->isChecked() || w->chkEnableSound->isChecked());
  EXPECT_EQ(w->edtMSMPort->text(), "1863");
  EXPECT_FALSE(w->pmnuiHideEvents->isChecked());
  EXPECT_EQ(w->lblTZOffsetHours->text(), "N/A");

  // 24-hour clocks with zone names.
  w->dLocalTZOffset_m = 0.0;
  const Platform::TDateTime at = Platform::EncodeDateTime(2026, 12, 9, 13, 0, 1, 0);
  w->RefreshClocks(at, clocks::FileTimeFromDateTime(at));
  EXPECT_EQ(w->lblLocalTime->text(), "13:00:01 " + w->edtLocalTimeZone->text());
  EXPECT_EQ(w->lblVirtualTime->text(), "13:00:01 Coordinated Universal Time");

  EXPECT_TRUE(VIDodadaZadoVove::ReadKeyValueNamesFromRegistry(VIDodadaZadoVove::HKEY_CURRENT_USER,
                                                              kSettingsKey, true, "")
                  .empty())
      << "a start-up that found nothing stores nothing";
}

TEST_F(Settings, EveryValueSurvivesARestartThroughItsControl) {
  QFont virtualFont("DejaVu Serif");
  virtualFont.setPixelSize(21);
  virtualFont.setItalic(true);
  QFont localFont("DejaVu Sans Mono");
  localFont.setPixelSize(15);
  localFont.setWeight(QFont::Bold);
  {
    auto w = Open();
    w->show();
    w->chkStayOnTop->click();  // on and off again: stored as false
    w->chkStayOnTop->click();
    w->chkRunAsTrayIcon->click();
    w->chkAutoTimeSynch->click();
    w->chkEnableSound->click();
    w->chkEnableMSM->click();
    w->chkEnableEmail->click();
    w->chkEnableCustomApp->click();
    Choose(w->cboSNTPServer, "pool.ntp.org");
    Choose(w->cboVirtualTimeZone, "Asia/Kolkata");
    Choose(w->cboEmailSecurity, "TLS");
    for (const auto& [name, text] : kEdits) {
      Find<QLineEdit>(*w, name)->setText(text);
    }
    for (QAction* item : {w->pmnuiVirtualMilitary, w->pmnuiLocalMilitary, w->pmnuiVirtualTZName,
                          w->pmnuiLocalTZName}) {
      item->trigger();
    }
    dialogs_.fontAnswers.push_back({virtualFont, 0x0000FF00});
    w->pmnuiVirtualFont->trigger();
    dialogs_.fontAnswers.push_back({localFont, 0x00800080});
    w->pmnuiLocalFont->trigger();
    dialogs_.colourAnswers = {0x00336699, 0x00FFFFF0};
    w->pmnuiVirtualBackground->trigger();
    w->pmnuiLocalBackground->trigger();
    w->spltTop->setSizes({100, 160});
    QApplication::processEvents();
    w->move(40, 60);
    w->resize(740, w->height() + 20);
    w->pmnuiHideEvents->trigger();
    w->pmnuiTopHideSettings->trigger();
    w->close();
  }
  std::vector<std::string> stored = VIDodadaZadoVove::ReadKeyValueNamesFromRegistry(
      VIDodadaZadoVove::HKEY_CURRENT_USER, kSettingsKey, true, "");
  std::vector<std::string> expected = kAllValues;
  const auto caseless = [](std::string a, std::string b) {
    std::transform(a.begin(), a.end(), a.begin(), ::tolower);
    std::transform(b.begin(), b.end(), b.begin(), ::tolower);
    return a < b;
  };
  std::sort(stored.begin(), stored.end(), caseless);
  std::sort(expected.begin(), expected.end(), caseless);
  EXPECT_EQ(stored, expected);
  const std::string height = *Stored("Height", 3);

  auto w = Open();
  w->show();
  QApplication::processEvents();
  EXPECT_TRUE(boxes_.empty());
  EXPECT_TRUE(w->chkRunAsTrayIcon->isChecked());
  EXPECT_FALSE(w->chkStayOnTop->isChecked());
  for (QCheckBox* box : {w->chkAutoTimeSynch, w->chkEnableSound, w->chkEnableMSM, w->chkEnableEmail,
                         w->chkEnableCustomApp}) {
    EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
  }
  EXPECT_EQ(w->cboSNTPServer->currentText(), "pool.ntp.org");
  EXPECT_EQ(w->cboVirtualTimeZone->currentText(), "Asia/Kolkata");
  EXPECT_EQ(w->dVirtualTZOffset_m, 5.5);
  EXPECT_EQ(w->cboEmailSecurity->currentIndex(), 2);
  for (const auto& [name, text] : kEdits) {
    EXPECT_EQ(Find<QLineEdit>(*w, name)->text(), text) << name;
  }
  EXPECT_FALSE(w->bUseVirtualMilitary_m || w->bUseLocalMilitary_m);
  EXPECT_FALSE(w->bShowVirtualTZName_m || w->bShowLocalTZName_m);
  for (QAction* item :
       {w->pmnuiVirtualMilitary, w->pmnuiLocalMilitary, w->pmnuiVirtualTZName, w->pmnuiLocalTZName,
        w->pmnuiHideEvents, w->pmnuiTopHideEvents, w->pmnuiHideSettings, w->pmnuiTopHideSettings}) {
    EXPECT_TRUE(item->isChecked()) << item->objectName().toStdString();
  }
  EXPECT_FALSE(w->panEvents->isVisible());
  EXPECT_FALSE(w->panBottom->isVisible());
  EXPECT_EQ(w->lblVirtualTime->font().family(), virtualFont.family());
  EXPECT_EQ(w->lblVirtualTime->font().pixelSize(), 21);
  EXPECT_TRUE(w->lblVirtualTime->font().italic());
  EXPECT_EQ(w->lblLocalTime->font().family(), localFont.family());
  EXPECT_EQ(w->lblLocalTime->font().weight(), QFont::Bold);
  EXPECT_EQ(w->lblVirtualTime->palette().color(QPalette::WindowText), QColor(0, 255, 0));
  EXPECT_EQ(w->lblLocalTime->palette().color(QPalette::WindowText), QColor(128, 0, 128));
  EXPECT_EQ(w->lblVirtualTime->palette().color(QPalette::Window), QColor(0x99, 0x66, 0x33));
  EXPECT_EQ(w->lblLocalTime->palette().color(QPalette::Window), QColor(0xF0, 0xFF, 0xFF));
  EXPECT_EQ(w->pos(), QPoint(40, 60));
  EXPECT_EQ(w->width(), 740);
  EXPECT_EQ(std::to_string(w->height()), height);
  w->pmnuiHideEvents->trigger();
  QApplication::processEvents();
  EXPECT_EQ(*Stored("grdEventsHeight", 3), std::to_string(w->grdEvents->height()))
      << "the events come back at their stored height";
}

TEST_F(Settings, TheGridHeightAndTheGeometryComeBackExactly) {
  int grid = 0;
  QRect geometry;
  {
    auto w = Open();
    w->show();
    w->move(33, 44);
    w->resize(760, 420);
    QApplication::processEvents();
    w->spltTop->setSizes({120, 190});
    QApplication::processEvents();
    grid = w->grdEvents->height();
    geometry = w->geometry();
    w->close();
  }
  for (int run = 0; run < 2; ++run) {  // and it does not creep from one start to the next
    auto w = Open();
    w->show();
    QApplication::processEvents();
    EXPECT_EQ(w->grdEvents->height(), grid) << "run " << run;
    EXPECT_EQ(w->geometry(), geometry) << "run " << run;
    w->close();
  }
}

TEST_F(Settings, EachKeystrokeIsStored) {
  auto w = Open();
  w->show();
  w->edtSoundFile->setFocus();
  QTest::keyClick(w->edtSoundFile, Qt::Key_A);
  EXPECT_EQ(Stored("DefaultSound"), "a");
  QTest::keyClick(w->edtSoundFile, Qt::Key_B);
  EXPECT_EQ(Stored("DefaultSound"), "ab");
  QTest::keyClick(w->edtSoundFile, Qt::Key_Backspace);
  EXPECT_EQ(Stored("DefaultSound"), "a");
}

TEST_F(Settings, AValueOfTheWrongTypeIsReportedAndLeavesTheDefault) {
  Store("EnableSounds", Variant("yes"));
  Store("MSMHost", Variant(static_cast<std::int32_t>(7)));
  Store("NotifyFontColor", Variant("blue"));
  Store("NotifyFont", Variant("not a font"));
  Store("Left", Variant("far"));
  Store("EmailSecurity", Variant(static_cast<std::int32_t>(7)));
  auto w = Open();
  ASSERT_EQ(boxes_.size(), 4u);
  for (const auto& [caption, text] : boxes_) {
    EXPECT_EQ(caption, "Problem Detected");
  }
  EXPECT_EQ(boxes_[0].second,
            "Internal Error in [ReadFontFromRegistry] for Item: NotifyFont msg: Invalid data type "
            "for 'NotifyFont'");
  EXPECT_EQ(boxes_[1].second,
            "Internal Error in [ReadFromRegistry] for Item: NotifyFontColor msg: Invalid data "
            "type for 'NotifyFontColor'");
  EXPECT_EQ(
      boxes_[2].second.rfind("Internal Error in [ReadFromRegistry] for Item: EnableSounds", 0), 0u);
  EXPECT_EQ(boxes_[3].second.rfind("Internal Error in [ReadFromRegistry] for Item: MSMHost", 0),
            0u);
  EXPECT_FALSE(w->chkEnableSound->isChecked());
  EXPECT_EQ(w->edtMSMHost->text(), "messenger.hotmail.com");
  EXPECT_EQ(w->cboEmailSecurity->currentIndex(), 0) << "a number with no entry: the plain dialogue";
  EXPECT_EQ(w->lblVirtualTime->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_EQ(w->lblVirtualTime->font().pixelSize(), 11);
  EXPECT_TRUE(w->lblVirtualTime->font().bold());
  EXPECT_EQ(dialogs_.Texts("ShowMessage").size(), 0u) << "start-up goes on";
  EXPECT_EQ(w->pos(), QPoint(10, 190)) << "the designed position";
  w->show();
  QApplication::processEvents();
  EXPECT_EQ(boxes_.size(), 5u) << "Left is read when the window shows";
  EXPECT_EQ(w->pos(), QPoint(10, 190));
}

TEST_F(Settings, FlagsAreAnyNonZeroValue) {
  Store("EnableSounds", Variant(static_cast<std::int32_t>(0)));
  Store("EnableMSM", Variant(static_cast<std::int32_t>(5)));
  Store("ShowLocalTZName", Variant(static_cast<std::int32_t>(-1)));
  auto w = Open();
  EXPECT_FALSE(w->chkEnableSound->isChecked());
  EXPECT_TRUE(w->chkEnableMSM->isChecked());
  EXPECT_TRUE(w->bShowLocalTZName_m);
  EXPECT_FALSE(w->pmnuiLocalTZName->isChecked());
  EXPECT_EQ(Stored("EnableMSM", 3), "1") << "the box's handler stores the state it applied";
}

TEST_F(Settings, StoredSelectionsMatchWithoutRegardToCaseOrSelectNothing) {
  Store("AutoSynchTimeNTPServer", Variant("POOL.NTP.ORG"));
  Store("VirtualTZ", Variant("europe/berlin"));
  {
    auto w = Open();
    EXPECT_EQ(w->cboSNTPServer->currentText(), "pool.ntp.org");
    EXPECT_EQ(w->cboVirtualTimeZone->currentText(), "Europe/Berlin");
    EXPECT_EQ(w->dVirtualTZOffset_m, 1.0);
  }
  Store("AutoSynchTimeNTPServer", Variant("gone.example.org"));
  Store("VirtualTZ", Variant("Atlantis/Lost"));
  auto w = Open();
  EXPECT_EQ(w->cboSNTPServer->currentIndex(), -1);
  EXPECT_EQ(w->cboVirtualTimeZone->currentText(), "Coordinated Universal Time");
  EXPECT_EQ(w->dVirtualTZOffset_m, 0.0);
  EXPECT_EQ(Stored("VirtualTZ"), "Atlantis/Lost") << "nothing chosen, nothing stored";
}

TEST_F(Settings, AStartAndACloseLeaveEveryStoredTextAsItWas) {
  using namespace VIDodadaZadoVove;
  const std::string latin1 = "caf\xe9 \xff\xfe";  // not UTF-8
  const std::string longText(40000, 'L');
  Store("EmailSubject", Variant(latin1));
  Store("CustomApp", Variant(longText));
  Store("VirtualTZ", Variant("coordinated universal time"));  // selected in the listed case
  {
    auto w = Open();
    EXPECT_EQ(w->findChild<QLineEdit*>("edtLaunchApp")->text().size(), 40000);
    w->close();
  }
  for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const auto read = [root](const char* name) {
      return ReadFromRegistry(root, kSettingsKey, name, 256, false, "").AsString();
    };
    EXPECT_EQ(read("EmailSubject"), latin1);
    EXPECT_EQ(read("CustomApp"), longText);
    EXPECT_EQ(read("VirtualTZ"), "coordinated universal time");
  }
}
