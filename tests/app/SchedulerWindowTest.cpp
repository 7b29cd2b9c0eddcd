// The scheduler's timer, the "Audio" tab and the "Custom Application" tab on the real
// window, offscreen, with recording media and scripted dialogs.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "QSStringGrid.h"
#include "RecordingMedia.h"
#include "ScriptedDialogs.h"
#include "SmtpTestServers.h"
#include "TempDir.h"
#include "TestCertificates.h"
#include "TestDependency.h"
#include "desktop/desktopNotifier.h"
#include "events/eventTable.h"
#include "window/formMain.h"

using namespace event_table;

namespace {

// Scripted dialogs that also let a test look around when an error is shown.
class WatchedDialogs : public ScriptedDialogs {
 public:
  std::function<void()> onException;
  void ShowException(const std::exception& error) override {
    if (onException) {
      onException();
    }
    ScriptedDialogs::ShowException(error);
  }
};

class SchedulerWindow : public ::testing::Test {
 protected:
  testsupport::ScopedRegistryDir registry_;
  testsupport::TempDir files_;
  WatchedDialogs dialogs_;
  RecordingMedia media_;
  std::unique_ptr<TfrmMain> w_;

  void SetUp() override {
    w_ = std::make_unique<TfrmMain>(dialogs_, MainWindowOptions{files_.File("QSEvents.C-D")});
    w_->media_ = &media_;
    dialogs_.calls.clear();
  }

  // An armed item that was due long ago, with the channels given as "YNNN" and so on.
  int AddDueItem(const std::string& channels, const std::string& warning = "10") {
    w_->bbtnAddEventClick();
    const int r = w_->grdEvents->RowCount() - 2;
    w_->grdEvents->SetCells(kColID, r, "42");
    w_->grdEvents->SetCells(kColDescription, r, "Dentist");
    w_->grdEvents->SetCells(kColEndTime, r, "2006-05-01 12:00:00");
    w_->grdEvents->SetCells(kColWarnMinutes, r, warning);
    for (int i = 0; i < 4; ++i) {
      w_->grdEvents->SetCells(kColSound + i, r, std::string(1, channels[i]));
    }
    EXPECT_EQ(State(r), kStateArmed);
    return r;
  }
  int State(int r) const { return static_cast<int>(w_->grdEvents->GetObjects(kColEndTime, r)); }
};

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::filesystem::exists(path);
}

}  // namespace

TEST_F(SchedulerWindow, ADueSoundItemPlaysOnceAndTurnsGreen) {
  w_->edtSoundFile->setText("/sounds/ding.WAV");
  const int r = AddDueItem("YNNN");
  w_->tmrEventsTimer();
  EXPECT_EQ(media_.calls, std::vector<std::string>{"wave /sounds/ding.WAV"});
  EXPECT_EQ(State(r), kStateNotified);
  EXPECT_EQ(w_->lblEventLastCheck->text().size(), 19) << "yyyy-mm-dd hh:nn:ss";
  w_->tmrEventsTimer();
  EXPECT_EQ(media_.calls.size(), 1u);
  EXPECT_TRUE(dialogs_.calls.empty());
}

TEST_F(SchedulerWindow, AnEndTimeTypedAndConfirmedWithEnterIsNotifiedInTheNextPass) {
  w_->show();
  QApplication::setActiveWindow(w_.get());
  w_->edtSoundFile->setText("/sounds/ding.wav");
  w_->bbtnAddEventClick();
  TQSStringGrid& grid = *w_->grdEvents;
  const int r = grid.Row();
  grid.SetCells(kColSound, r, "Y");
  grid.SetCol(kColEndTime);
  grid.setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(grid.GridHasFocus());
  QTest::keyClicks(QApplication::focusWidget(), "2006-05-01 12:00:00");
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(grid.GetCells(kColEndTime, r), "2006-05-01 12:00:00");
  EXPECT_EQ(State(r), kStateArmed);
  ASSERT_TRUE(grid.GridHasFocus()) << "the grid keeps the focus";
  w_->tmrEventsTimer();
  EXPECT_EQ(State(r), kStateNotified);
  EXPECT_EQ(media_.calls.size(), 1u);
  EXPECT_TRUE(dialogs_.calls.empty());
}

TEST_F(SchedulerWindow, ATimerTickDuringAPassDoesNotStartAnother) {
  const int r = AddDueItem("YNNN");
  w_->edtSoundFile->setText("/sounds/ding.wav");
  media_.during = [this] {
    media_.during = nullptr;
    w_->tmrEventsTimer();
  };
  w_->tmrEventsTimer();
  EXPECT_EQ(media_.calls.size(), 1u) << "the item was notified once";
  EXPECT_EQ(State(r), kStateNotified);
}

TEST_F(SchedulerWindow, AWarningThatIsNoNumberIsReportedOnceAndKeepsNoOtherItemWaiting) {
  const int bad = AddDueItem("YNNN", "abc");
  const int good = AddDueItem("YNNN");
  w_->edtSoundFile->setText("/sounds/ding.wav");
  w_->tmrEventsTimer();
  w_->tmrEventsTimer();
  EXPECT_TRUE(dialogs_.Texts("ShowException").empty());
  EXPECT_EQ(State(bad), kStateArmed);
  EXPECT_EQ(State(good), kStateNotified);
  EXPECT_EQ(media_.calls.size(), 1u);
  EXPECT_NE(w_->lblEventLastCheck->text(), "N/A");
}

TEST_F(SchedulerWindow, TheCustomApplicationGetsTheItemWithoutAShell) {
  const std::string script = files_.File("record.sh");
  std::ofstream(script)
      << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.args\"\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  const std::string pwned = files_.File("pwned");
  w_->edtLaunchApp->setText(QString::fromStdString(script + " %ItemID %ItemDesc %ItemTZ"));
  const int r = AddDueItem("NNNY");
  w_->grdEvents->SetCells(kColDescription, r, "x; touch " + pwned);
  w_->tmrEventsTimer();
  ASSERT_TRUE(WaitForFile(script + ".args"));
  std::ifstream in(script + ".args");
  const std::string args{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(args, "42\nx; touch " + pwned + "\n" + w_->grdEvents->GetCells(kColZone, r) + "\n");
  EXPECT_FALSE(std::filesystem::exists(pwned));
  EXPECT_EQ(State(r), kStateNotified);
}

TEST_F(SchedulerWindow, AnEmailItemGoesOutWithTheEmailTabsSecurityAndSignIn) {
  testsupport::TestAuthority authority(files_.Path());
  const auto server = authority.ServerCertificate("server", "DNS:localhost");
  testsupport::ScopedEnv trust("SSL_CERT_FILE", authority.CaFile());
  testsupport::TempDir mails;
  testsupport::SmtpSink sink(
      mails.Path(), {"starttls", server.certificate, server.key, "me@example.com", "app-pass"});
  REQUIRE_TEST_DEPENDENCY(sink.Available(), "aiosmtpd (Debian python3-aiosmtpd) is not installed");
  w_->SMTPServer->setText("localhost");
  w_->SMTPPort->setText(QString::number(sink.Port()));
  w_->cboEmailSecurity->setCurrentIndex(1);
  w_->edtEmailUser->setText("me@example.com");
  w_->edtEmailPassword->setText("app-pass");
  AddDueItem("NNYN");
  w_->tmrEventsTimer();
  ASSERT_TRUE(sink.WaitForMails(1, 10000));
  EXPECT_EQ(sink.Mails()[0].rfind("TLS: yes\nAUTH: me@example.com\n", 0), 0u) << sink.Mails()[0];
}

TEST_F(SchedulerWindow, TheAudioTabChoosesTestsAndStops) {
  dialogs_.fileAnswers.push_back("/My Music/song.mp3");
  w_->sbtnSelectSoundFileClick();
  EXPECT_EQ(w_->edtSoundFile->text(), "/My Music/song.mp3");
  EXPECT_EQ(media_.calls,
            (std::vector<std::string>{"close all", "open /My Music/song.mp3 alias QSCID_music",
                                      "play QSCID_music"}));
  media_.calls.clear();
  w_->sbtnSelectSoundFileClick();  // cancelled
  EXPECT_TRUE(media_.calls.empty());
  EXPECT_EQ(w_->edtSoundFile->text(), "/My Music/song.mp3");

  bool busyWhileStopping = false;
  media_.during = [this, &busyWhileStopping] {
    busyWhileStopping = !w_->tbSounds->isEnabled() && QApplication::overrideCursor() &&
                        QApplication::overrideCursor()->shape() == Qt::WaitCursor;
  };
  w_->sbtnStopClick();
  EXPECT_EQ(media_.calls, (std::vector<std::string>{"close all", "purge"}));
  EXPECT_TRUE(busyWhileStopping);
  EXPECT_TRUE(w_->tbSounds->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SchedulerWindow, TheChosenProgramStaysOneWordOnTheCommandLine) {
  dialogs_.fileAnswers = {"/opt/My Tools/notify", "/usr/bin/notify-send"};
  w_->sbtnLaunchAppClick();
  EXPECT_EQ(w_->edtLaunchApp->text(), "\"/opt/My Tools/notify\"");
  w_->sbtnLaunchAppClick();
  EXPECT_EQ(w_->edtLaunchApp->text(), "/usr/bin/notify-send");
}

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST_F(SchedulerWindow, APassThatNotifiedSavesTheMarkWhileSaveOnCloseIsChecked) {
  const std::string path = files_.File("QSEvents.C-D");
  const std::string notified = "42|0|Dentist|0|2006-05-01 12:00:00|2|";
  AddDueItem("NNNN");  // due, but nothing to notify it through
  w_->tmrEventsTimer();
  EXPECT_FALSE(std::filesystem::exists(path)) << "nothing went out, nothing to keep";

  w_->chkSaveOnClose->setChecked(false);
  const int unchecked = AddDueItem("YNNN");
  w_->tmrEventsTimer();
  EXPECT_EQ(State(unchecked), kStateNotified);
  EXPECT_FALSE(std::filesystem::exists(path)) << "the user keeps the file as it is";

  w_->chkSaveOnClose->setChecked(true);
  const int r = AddDueItem("YNNN");
  w_->tmrEventsTimer();
  EXPECT_EQ(State(r), kStateNotified);
  const std::string text = FileText(path);
  const auto lines = [&text](const std::string& start) {
    int count = 0;
    for (std::size_t at = 0; (at = text.find("\n" + start, at)) != std::string::npos; ++at) {
      ++count;
    }
    return count + (text.rfind(start, 0) == 0 ? 1 : 0);
  };
  EXPECT_EQ(lines(notified), 2) << text;
  EXPECT_EQ(lines("42|0|Dentist|0|2006-05-01 12:00:00|1|"), 1) << text;
  EXPECT_TRUE(dialogs_.calls.empty());
}

TEST_F(SchedulerWindow, ASaveThatFailsAfterAPassIsShownOnceAndTriedAgainUntilItSucceeds) {
  const std::string path = files_.File("QSEvents.C-D");
  std::filesystem::create_directory(path);  // not a file the save may replace
  const int first = AddDueItem("YNNN");
  const int second = AddDueItem("NNNY");  // no program: marked, nothing launched
  w_->tmrEventsTimer();
  EXPECT_EQ(State(first), kStateNotified);
  EXPECT_EQ(State(second), kStateNotified) << "the pass went on";
  EXPECT_NE(w_->lblEventLastCheck->text(), "N/A");
  const auto shown = dialogs_.Texts("ShowException");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("Cannot save the events to " + path, 0), 0u) << shown[0];

  w_->tmrEventsTimer();  // nothing due; the save is tried again, and fails alike
  EXPECT_EQ(dialogs_.Texts("ShowException").size(), 1u) << "a lasting failure is shown once";

  std::filesystem::remove(path);
  w_->tmrEventsTimer();
  const std::string text = FileText(path);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_EQ(text.find("|1|"), std::string::npos) << "both marks kept: " << text;
}

TEST_F(SchedulerWindow, AnItemNotifiedBeforeAnErrorEndsThePassIsSavedBeforeTheErrorIsShown) {
  const std::string path = files_.File("QSEvents.C-D");
  const int first = AddDueItem("YNNN");
  const int second = AddDueItem("NYNN");  // a port that is no number ends the pass
  w_->edtMSMPort->setText("not a port");
  std::string onDiskWhenShown;
  dialogs_.onException = [&] { onDiskWhenShown = FileText(path); };
  w_->tmrEventsTimer();
  EXPECT_EQ(dialogs_.Texts("ShowException").size(), 1u);
  EXPECT_EQ(State(first), kStateNotified);
  EXPECT_EQ(State(second), kStateArmed);
  EXPECT_NE(onDiskWhenShown.find("42|0|Dentist|0|2006-05-01 12:00:00|2|"), std::string::npos)
      << onDiskWhenShown;
}

TEST_F(SchedulerWindow, ADueItemWithoutChannelsIsNoticedOnceForEachEndTime) {
  std::vector<std::string> notices;
  w_->notifier_ = std::make_unique<delivery::DesktopNotifier>(QDBusConnection("no bus"));
  w_->notifier_->fallback = [&](const std::string& summary, const std::string& body) {
    notices.push_back(summary + " | " + body);
    return true;
  };
  w_->cboDesktopNotifications->setCurrentIndex(delivery::kNoticesEveryDueItem);
  const int r = AddDueItem("NNNN");
  for (int pass = 0; pass < 3; ++pass) {
    w_->tmrEventsTimer();
  }
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0],
            "Reminder due | Your scheduled item is about to elapse, ItemID: 42 "
            "Description: Dentist ending at: 2006-05-01 12:00:00 " +
                w_->grdEvents->GetCells(kColZone, r));
  EXPECT_EQ(State(r), kStateArmed);
  EXPECT_TRUE(media_.calls.empty());
  w_->grdEvents->SetCells(kColEndTime, r, "2006-05-02 12:00:00");
  w_->tmrEventsTimer();
  w_->tmrEventsTimer();
  EXPECT_EQ(notices.size(), 2u) << "a new end time is noticed again, once";
  EXPECT_EQ(State(r), kStateArmed);
}
