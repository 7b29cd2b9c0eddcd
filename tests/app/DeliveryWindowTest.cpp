// What became of the notifications, on the real window, offscreen: one pass with a
// working and a failing mail server, the rows' colours and tooltips, the delivery log
// and its window, and the desktop notices through a fallback of the test's own.
#include <gtest/gtest.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <regex>

#include "QSStringGrid.h"
#include "RecordingMedia.h"
#include "ScriptedDialogs.h"
#include "SmtpTestServers.h"
#include "TempDir.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "desktop/desktopNotifier.h"
#include "events/eventTable.h"
#include "settings/settingsStore.h"
#include "window/formDeliveryLog.h"
#include "window/formMain.h"

using namespace event_table;

namespace {

std::uint32_t RowColour(TfrmMain& w, int row) {
  std::string value;
  int flags = 0;
  int values = 0;
  QSGrid::TFont font = w.grdEvents->Font();
  w.grdEventsBeforeDrawCell(kColEndTime, row, QSGrid::TRect{}, 0, value, flags, values, font);
  return w.grdEvents->Canvas().Brush.Color;
}

// A tooltip's outcomes, without when they began.
std::string Channels(const std::string& tooltip) {
  const std::size_t at = tooltip.find(": ");
  return at == std::string::npos ? tooltip : tooltip.substr(at + 2);
}

}  // namespace

TEST(DeliveryWindow, AFailedMailIsToldInTheTooltipTheRowColourTheLogAndOnTheDesktop) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  testsupport::ScriptedSmtpServer good({});
  testsupport::ScriptedSmtpServer bad({.replies = {{"RCPT", "550 5.1.1 mailbox unavailable"}}});
  testsupport::RefusingPort closed;
  ScriptedDialogs dialogs;
  RecordingMedia media;
  MainWindowOptions options{files.File("QSEvents.C-D")};
  options.deliveryLogPath = files.File("state/delivery.log");
  TfrmMain w(dialogs, options);
  w.media_ = &media;
  std::vector<std::string> notices;
  w.notifier_ = std::make_unique<delivery::DesktopNotifier>(QDBusConnection("no bus"));
  w.notifier_->fallback = [&](const std::string& summary, const std::string& body) {
    notices.push_back(summary + " | " + body);
    return true;
  };
  w.cboDesktopNotifications->setCurrentIndex(delivery::kNoticesEveryDueItem);
  EXPECT_EQ(settings_store::Read("DesktopNotifications", settings_store::Form::Integer)->AsInt(),
            2);

  w.edtSoundFile->setText("/s/ding.wav");
  w.SMTPServer->setText("127.0.0.1");
  w.SMTPPort->setText(QString::number(good.Port()));
  w.edtEmailFrom->setText("me@example.test");
  w.edtEmailTo->setText("bob@example.test");
  w.edtEmailSubject->setText("Due");
  w.edtMSMHost->setText("127.0.0.1");
  w.edtMSMPort->setText(QString::number(closed.Port()));
  w.edtFromMSM->setText("me@example.test");
  w.edtFromMSMPwd->setText("msn-s3cret");
  w.edtToMSM->setText("carol@example.test");
  w.edtEbayPassword->setText("ebay-s3cret");
  const auto addItem = [&](const std::string& id, const std::string& channels) {
    w.bbtnAddEventClick();
    const int r = w.grdEvents->RowCount() - 2;
    w.grdEvents->SetCells(kColID, r, id);
    w.grdEvents->SetCells(kColDescription, r, "Dentist");
    w.grdEvents->SetCells(kColEndTime, r, "2006-05-01 12:00:00");
    for (int i = 0; i < 4; ++i) {
      w.grdEvents->SetCells(kColSound + i, r, std::string(1, channels[i]));
    }
    return r;
  };
  const int ok = addItem("ok", "YNYN");
  const int failing = addItem("bad", "YYYN");
  // The second item's sound starts after the first item's mail was handed over: from
  // then on the mail goes to the failing server.
  int sounds = 0;
  media.during = [&] {
    if (media.calls.back().starts_with("wave") && ++sounds == 2) {
      w.SMTPPort->setText(QString::number(bad.Port()));
    }
  };
  w.tmrEventsTimer();
  EXPECT_NE(w.EventTooltip(failing).find("pending"), std::string::npos);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        return w.EventTooltip(ok).find("pending") == std::string::npos &&
               w.EventTooltip(failing).find("pending") == std::string::npos;
      },
      60000));

  const std::string time = "Notified [0-9]{2}:[0-9]{2}:[0-9]{2}: ";
  EXPECT_TRUE(std::regex_match(
      w.EventTooltip(ok),
      std::regex(time + "sound /s/ding.wav started; e-mail to bob@example.test sent")))
      << w.EventTooltip(ok);
  EXPECT_TRUE(std::regex_match(
      w.EventTooltip(failing),
      std::regex(time + "sound /s/ding.wav started; messenger to carol@example.test failed: .+; "
                        "e-mail to bob@example.test failed: 550 5.1.1 mailbox unavailable")))
      << w.EventTooltip(failing);
  EXPECT_EQ(RowColour(w, ok), 0x00FF00u);
  EXPECT_EQ(RowColour(w, failing), delivery::kWarningColour);
  // A second failure within seconds of the first is held until the notices' window
  // closes, and then told in the item's own words, being the only one held.
  EXPECT_TRUE(QTest::qWaitFor([&] { return notices.size() == 4; }, 10000));
  EXPECT_EQ(notices.size(), 4u) << "two due items and two failures";
  EXPECT_NE(std::find(notices.begin(), notices.end(),
                      "Reminder not delivered | Item bad: e-mail to bob@example.test failed: 550 "
                      "5.1.1 mailbox unavailable"),
            notices.end());

  w.deliveryLog_->Flush();
  std::ifstream in(files.File("state/delivery.log"));
  const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(log.find("\tok\te-mail\tEmail notification was sent SUCCESSFULLY to: bob@example.test"),
            std::string::npos);
  EXPECT_NE(log.find("\tbad\te-mail\tEmail notification FAILED to: bob@example.test with msg: 550"),
            std::string::npos);
  EXPECT_NE(log.find("\tbad\tscheduler\tDispatching: Your scheduled item"), std::string::npos);
  EXPECT_NE(log.find("\tbad\tsound\t/s/ding.wav started"), std::string::npos);
  EXPECT_EQ(log.find("msn-s3cret"), std::string::npos);
  EXPECT_EQ(log.find("ebay-s3cret"), std::string::npos);

  // The log's window, narrowed to one item.
  w.bbtnDeliveryLog->click();
  auto* window = w.findChild<TfrmDeliveryLog*>("frmDeliveryLog");
  ASSERT_NE(window, nullptr);
  window->edtItemFilter->setText("bad");
  const QString shown = window->memLog->toPlainText();
  EXPECT_TRUE(shown.contains("FAILED to: bob@example.test"));
  EXPECT_FALSE(shown.contains("SUCCESSFULLY"));

  // The next start reads the same outcomes back from the log.
  w.SaveEvents();
  {
    TfrmMain again(dialogs, options);
    ASSERT_TRUE(QTest::qWaitFor([&] { return again.RowDeliveryFailed(failing); }, 10000));
    for (const int row : {ok, failing}) {
      EXPECT_EQ(Channels(again.EventTooltip(row)), Channels(w.EventTooltip(row)));
      EXPECT_EQ(RowColour(again, row), RowColour(w, row));
    }
  }

  // A new end time starts the item afresh, also when it keeps the item notified.
  w.grdEvents->SetCells(kColEndTime, failing, "2006-05-02 12:00:00");
  EXPECT_EQ(w.grdEvents->GetObjects(kColEndTime, failing), kStateNotified);
  EXPECT_EQ(RowColour(w, failing), 0x00FF00u);
  EXPECT_EQ(w.EventTooltip(failing), "");
}

TEST(DeliveryWindow, ABurstOfFailuresIsOneNoticeThatCountsThem) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  MainWindowOptions options{files.File("QSEvents.C-D")};
  options.deliveryLogPath = files.File("state/delivery.log");
  TfrmMain w(dialogs, options);
  std::vector<std::string> notices;
  w.notifier_ = std::make_unique<delivery::DesktopNotifier>(QDBusConnection("no bus"));
  w.notifier_->fallback = [&](const std::string& summary, const std::string& body) {
    notices.push_back(summary + " | " + body);
    return true;
  };
  w.cboDesktopNotifications->setCurrentIndex(delivery::kNoticesFailures);
  for (int i = 1; i <= 37; ++i) {
    const std::string item = "item" + std::to_string(i);
    const auto dispatch = w.outcomes_->Begin(item, "12:00:00");
    w.outcomes_->Expect(item, dispatch, delivery::kEmail, "bob@example.test");
    w.DeliverySettled(item, dispatch, delivery::kEmail, "bob@example.test", false, "refused");
  }
  EXPECT_EQ(notices, std::vector<std::string>{"Reminder not delivered | Item item1: e-mail to "
                                              "bob@example.test failed: refused"});
  EXPECT_TRUE(w.tmrNotices->isActive());
  ASSERT_TRUE(QTest::qWaitFor([&] { return notices.size() == 2; }, 10000));
  EXPECT_EQ(notices[1],
            "Reminder not delivered | 36 reminders were not delivered; see the delivery log");
}

TEST(DeliveryWindow, AFailureOfAnEarlierRunStaysOnTheRowUntilTheEndTimeChanges) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  const std::string log = files.File("state/delivery.log");
  std::filesystem::create_directories(files.File("state"));
  const auto dispatch = [](const std::string& item, const std::string& end) {
    return "2006-05-01 11:50:00\t" + item + "\tscheduler\tDispatching: Your scheduled item is " +
           "about to elapse, ItemID: " + item + " Description: Dentist ending at: " + end +
           " Etc/UTC\n" + "2006-05-01 11:50:00\t" + item +
           "\te-mail\tSending to: bob@example.test\n" + "2006-05-01 11:50:09\t" + item +
           "\te-mail\tFAILED: 550 5.1.1 mailbox unavailable\n";
  };
  std::ofstream(log + ".1") << dispatch("X", "2006-05-01 12:00:00");
  std::ofstream(log) << dispatch("moved", "2006-05-01 12:00:00")
                     << dispatch("daily", "2006-05-01 12:00:00");
  std::ofstream(files.File("QSEvents.C-D"))
      << "X|0|Dentist|0|2006-05-01 12:00:00|2|Etc/UTC|0|10|0|N|0|N|0|Y|0|N|0|\r\n"
      << "moved|0|Dentist|0|2006-05-03 12:00:00|2|Etc/UTC|0|10|0|N|0|N|0|Y|0|N|0|\r\n"
      // Moved on to its next occurrence by the pass that notified it.
      << "daily|0|Dentist|0|2006-05-02 12:00:00|1|Etc/UTC|0|10|0|N|0|N|0|Y|0|N|0|FREQ=DAILY|1|"
         "\r\n";
  ScriptedDialogs dialogs;
  MainWindowOptions options{files.File("QSEvents.C-D")};
  options.deliveryLogPath = log;
  TfrmMain w(dialogs, options);
  ASSERT_EQ(w.grdEvents->GetCells(kColID, 1), "X");
  // Read while the window was made; taken once the events are loaded, or soon after.
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.RowDeliveryFailed(1); }, 10000));
  EXPECT_EQ(RowColour(w, 1), delivery::kWarningColour);
  EXPECT_EQ(w.EventTooltip(1),
            "Notified 2006-05-01 11:50:00: e-mail to bob@example.test failed: 550 5.1.1 mailbox "
            "unavailable");
  // Its end time changed after that dispatch: the dispatch is not its own.
  EXPECT_FALSE(w.RowDeliveryFailed(2));
  EXPECT_EQ(RowColour(w, 2), 0x00FF00u);
  EXPECT_EQ(w.EventTooltip(2), "");
  EXPECT_EQ(w.EventTooltip(3),
            "Repeats every day\nNotified 2006-05-01 11:50:00: e-mail to bob@example.test failed: "
            "550 5.1.1 mailbox unavailable");
  EXPECT_TRUE(dialogs.calls.empty());

  w.grdEvents->SetCells(kColEndTime, 1, "2006-05-02 12:00:00");
  EXPECT_EQ(RowColour(w, 1), 0x00FF00u);
  EXPECT_EQ(w.EventTooltip(1), "");
}

TEST(DeliveryWindow, ASoundIsDeliveredOnlyOnceItPlaysAndElseFailsWithWhy) {
  testsupport::ScopedRegistryDir registry;
  testsupport::TempDir files;
  ScriptedDialogs dialogs;
  RecordingMedia media;
  media.hold = true;
  MainWindowOptions options{files.File("QSEvents.C-D")};
  options.deliveryLogPath = files.File("state/delivery.log");
  TfrmMain w(dialogs, options);
  w.media_ = &media;
  w.edtSoundFile->setText("/s/ding.wav");
  for (const std::string id : {"quiet", "loud"}) {
    w.bbtnAddEventClick();
    const int r = w.grdEvents->RowCount() - 2;
    w.grdEvents->SetCells(kColID, r, id);
    w.grdEvents->SetCells(kColEndTime, r, "2006-05-01 12:00:00");
    w.grdEvents->SetCells(kColSound, r, "Y");
  }
  w.tmrEventsTimer();
  // The pass did not wait: both sounds are pending until their players tell.
  ASSERT_EQ(media.held.size(), 2u);
  EXPECT_EQ(Channels(w.EventTooltip(1)), "sound /s/ding.wav pending");
  media.held[1](SoundStart::Playing, "");
  media.held[0](SoundStart::Failed, kNoAudioOutput);  // on to the named player
  ASSERT_EQ(media.held.size(), 3u);
  media.held[2](SoundStart::Failed, kNoAudioOutput);  // on to the desktop's program
  ASSERT_EQ(media.held.size(), 4u);
  media.held[3](SoundStart::Failed,
                "the desktop's default program failed: xdg-open exited "
                "with status 3");
  const std::string why =
      "no audio output device; the desktop's default program failed: xdg-open exited with "
      "status 3";
  EXPECT_EQ(Channels(w.EventTooltip(1)), "sound /s/ding.wav failed: " + why);
  EXPECT_EQ(RowColour(w, 1), delivery::kWarningColour);
  EXPECT_EQ(Channels(w.EventTooltip(2)), "sound /s/ding.wav started");
  EXPECT_EQ(RowColour(w, 2), 0x00FF00u);
  w.deliveryLog_->Flush();
  std::ifstream in(files.File("state/delivery.log"));
  const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_NE(log.find("\tquiet\tsound\t/s/ding.wav could not be played: " + why), std::string::npos)
      << log;
  // Read back at the next start as it was settled.
  const auto latest =
      delivery::LatestDispatches(delivery::ReadRecent(files.File("state/delivery.log"), 100));
  ASSERT_EQ(latest.count("quiet"), 1u);
  EXPECT_EQ(delivery::ChannelText(latest.at("quiet").outcome.channels.at(0)),
            "sound /s/ding.wav failed: " + why);
}
