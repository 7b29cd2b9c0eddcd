// The Timezone tab's time synchronisation driven through the window: the server list,
// adding a server through "OTHER", the clock-setting box, the offset display, and the
// bounded wait for the supervisor at close. The supervisor asks a server of the test's
// own on 127.0.0.1 and never sets the clock.
#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <atomic>
#include <thread>

#include "CommonCodeLite.h"
#include "FakeSntpServer.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "settings/settingsKeys.h"
#include "window/formMain.h"

using namespace VIDodadaZadoVove;

namespace {

const std::string kServerList = std::string(kSettingsKey) + "\\AutoSynchTimeNTPServerList";

class TimeSyncWindow : public ::testing::Test {
 protected:
  std::unique_ptr<TfrmMain> Open(int closeWaitSecs = 15, int timeoutMs = 2000) {
    MainWindowOptions options{files_.File("QSEvents.C-D")};
    options.supervisor.sntpPort = std::to_string(server_.Port());
    options.supervisor.sntpTimeoutMs = timeoutMs;
    options.supervisor.closeWaitSecs = closeWaitSecs;
    options.supervisor.setClock = [this](Platform::TDateTime) { ++clockSets_; };
    return std::make_unique<TfrmMain>(dialogs_, options);
  }
  static std::vector<std::string> Stored() {
    return ReadKeysFromRegistry(HKEY_CURRENT_USER, kServerList, true, "");
  }
  static std::vector<std::string> Items(TfrmMain& w) {
    std::vector<std::string> items;
    for (int i = 0; i < w.cboSNTPServer->count(); ++i) {
      items.push_back(w.cboSNTPServer->itemText(i).toStdString());
    }
    return items;
  }
  // As the user picks an entry from the drop-down list.
  static void Choose(TfrmMain& w, const char* text) {
    const int index = w.cboSNTPServer->findText(text);
    ASSERT_GE(index, 0) << text;
    w.cboSNTPServer->setCurrentIndex(index);
    emit w.cboSNTPServer->activated(index);
  }
  static std::string Shown(TfrmMain& w) {
    w.tmrAutoSynchTimer();
    return w.lblLocalOffset->text().toStdString();
  }
  static bool Valid(TfrmMain& w) { return w.pBGProcess_m->bNTPOffsetValid_m; }

  testsupport::ScopedRegistryDir registry_;
  testsupport::TempDir files_;
  testsupport::FakeSntpServer server_;
  ScriptedDialogs dialogs_;
  std::atomic<int> clockSets_{0};
};

TEST_F(TimeSyncWindow, StartsWithThePublicServerOtherAndTheStoredServersUnselected) {
  for (const char* name : {"time.b.example", "127.0.0.1"}) {
    WriteToRegistry(HKEY_CURRENT_USER, kServerList + "\\" + name, "0", Variant(std::int32_t{0}),
                    true, "");
  }
  auto w = Open();
  EXPECT_EQ(Items(*w),
            (std::vector<std::string>{"pool.ntp.org", "OTHER", "127.0.0.1", "time.b.example"}));
  EXPECT_EQ(w->cboSNTPServer->currentIndex(), -1);
  EXPECT_EQ(w->pBGProcess_m->SNTPServer(), "");
  EXPECT_EQ(w->pBGProcess_m->iPollIntervalSecs_m, 10);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w->pBGProcess_m->bRunning_m.load(); }, 5000));
  EXPECT_EQ(w->lblLocalOffset->text(), "N/A");
  EXPECT_EQ(Shown(*w), "?") << "no server chosen, though the supervisor polls an empty name";
}

TEST_F(TimeSyncWindow, AnAddedServerIsStoredPolledAndItsOffsetShown) {
  server_.Script({{.serverAheadSecs = -90.5}});
  auto w = Open();
  w->pBGProcess_m->iPollIntervalSecs_m = 0;  // no ten-second wait in a test
  dialogs_.inputAnswers.push_back(" 127.0.0.1");
  Choose(*w, "OTHER");
  ASSERT_EQ(dialogs_.calls.size(), 1u);
  EXPECT_EQ(dialogs_.calls[0].caption, "Enter NTP Server name");
  EXPECT_EQ(dialogs_.calls[0].text, "Server Name:");
  EXPECT_EQ(w->cboSNTPServer->currentIndex(), w->cboSNTPServer->count() - 1);
  EXPECT_EQ(w->cboSNTPServer->currentText(), "127.0.0.1");
  EXPECT_EQ(Stored(), std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(
      ReadFromRegistry(HKEY_CURRENT_USER, kServerList + "\\127.0.0.1", "0", 3, true, "").AsInt(),
      0);
  EXPECT_EQ(w->pBGProcess_m->SNTPServer(), "127.0.0.1");

  ASSERT_TRUE(QTest::qWaitFor([&] { return Valid(*w); }, 5000));
  EXPECT_EQ(Shown(*w), "00:01:30") << "this clock 90 s ahead";
  EXPECT_EQ(clockSets_, 0) << "the box is not ticked";
  w->chkAutoTimeSynch->setChecked(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return clockSets_ > 0; }, 5000));
  w->chkAutoTimeSynch->setChecked(false);
  EXPECT_FALSE(w->pBGProcess_m->bSyncTime_m);

  server_.Script({{.serverAheadSecs = 90.5}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return w->pBGProcess_m->dNTPOffset_m < 0; }, 5000));
  EXPECT_EQ(Shown(*w), "00:01:30") << "90 s behind reads the same";
  server_.Script({{.stratum = 0}});
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Valid(*w); }, 5000));
  EXPECT_EQ(Shown(*w), "N/A");
}

TEST_F(TimeSyncWindow, ListedNamesAreRefusedAndUnusableOnesCountAsACancel) {
  auto w = Open();
  for (const char* name : {"POOL.NTP.ORG", "other"}) {
    dialogs_.inputAnswers.push_back(name);
    Choose(*w, "OTHER");
  }
  EXPECT_EQ(dialogs_.Texts("ShowMessage"),
            std::vector<std::string>(2, "That server already exists!"));
  EXPECT_EQ(w->pBGProcess_m->SNTPServer(), "") << "the supervisor keeps its server";

  Choose(*w, "OTHER");  // no prepared answer: cancelled
  for (const char* name : {"   ", "a\\b"}) {
    dialogs_.inputAnswers.push_back(name);
    Choose(*w, "OTHER");
  }
  EXPECT_EQ(dialogs_.Texts("ShowMessage").size(), 2u);
  EXPECT_EQ(Items(*w), (std::vector<std::string>{"pool.ntp.org", "OTHER"}));
  EXPECT_EQ(w->cboSNTPServer->currentText(), "OTHER");
  EXPECT_TRUE(Stored().empty());
  EXPECT_EQ(w->pBGProcess_m->SNTPServer(), "OTHER");
  EXPECT_EQ(Shown(*w), "N/A");
}

TEST_F(TimeSyncWindow, ClosingWaitsForTheSupervisorOnlyAsLongAsItsLimit) {
  server_.Script({{.answer = false}});
  auto w = Open(/*closeWaitSecs=*/1, /*timeoutMs=*/5000);
  w->pBGProcess_m->iPollIntervalSecs_m = 0;
  dialogs_.inputAnswers.push_back("127.0.0.1");
  Choose(*w, "OTHER");
  ASSERT_TRUE(QTest::qWaitFor([&] { return server_.Requests() > 0; }, 5000));
  // The supervisor now waits seconds for an answer that never comes.
  w->close();
  EXPECT_TRUE(w->pBGProcess_m->bRunning_m) << "the close went on without it";
  w.reset();  // the release still waits for its thread
}

TEST_F(TimeSyncWindow, AnInternalErrorReportFromAWorkerThreadIsReceived) {
  auto w = Open();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    const std::string text = "Problem in [thrQSMSMessenger::Setup] msg: boom";
    EXPECT_EQ(w->SendMessage(3043, reinterpret_cast<std::uintptr_t>(text.c_str()), 0), 0);
    done = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
  worker.join();
  EXPECT_TRUE(dialogs_.calls.empty()) << "received, not shown";
}

}  // namespace
