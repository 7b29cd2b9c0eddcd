// The delivery log's file (rotation, owner-only mode, no secrets, one line per entry),
// the outcome texts, and a shut-down while workers are still logging into it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "TempDir.h"
#include "delivery/deliveryLog.h"
#include "delivery/deliveryOutcome.h"
#include "delivery/noticeGatherer.h"
#include "workers/classQSBGProcess.h"
#include "workers/classQSEmail.h"
#include "workers/workerTag.h"

using namespace std::chrono_literals;
using namespace delivery;

namespace {

unsigned Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(DeliveryLog, RotatesIntoOneOlderOwnerOnlyFileAndKeepsSecretsAndLineBreaksOut) {
  testsupport::TempDir dir;
  const std::string path = dir.File("state/QSoft/delivery.log");
  std::filesystem::create_directories(dir.File("state/QSoft"));
  std::ofstream(path) << "an older line\n";
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  {
    LogSink sink({path, 400});
    sink.AddSecret("pa55word");
    sink.Write("42", kMessenger, "USR pa55word");
    for (int i = 0; i < 20; ++i) {
      sink.Write("7", kEmail, "step " + std::to_string(i));
    }
    sink.Flush();
  }
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(Mode(path + ".1"), 0600u);
  EXPECT_FALSE(std::filesystem::exists(path + ".2"));
  EXPECT_LE(std::filesystem::file_size(path), 400u);
  const std::string all = Contents(path + ".1") + Contents(path);
  EXPECT_EQ(all.find("pa55word"), std::string::npos);
  EXPECT_EQ(all.find("an older line"), std::string::npos) << "only one older file is kept";

  const std::vector<Entry> recent = ReadRecent(path, 5);
  ASSERT_EQ(recent.size(), 5u);
  EXPECT_EQ(recent.back().item, "7");
  EXPECT_EQ(recent.back().channel, "e-mail");
  EXPECT_EQ(recent.back().text, "step 19");
  EXPECT_EQ(recent.back().time.size(), 19u) << "yyyy-mm-dd hh:nn:ss";

  // The masked and the cleaned lines read back as one entry each.
  testsupport::TempDir small;
  LogSink sink({small.File("delivery.log")});
  sink.AddSecret("pa55word");
  sink.Write("42", kMessenger, "USR pa55word sent, pa55wordpa55word too");
  sink.Write("4\t2\n", "e-mail", "line\r\nbreak");
  sink.Close();
  sink.Write("42", kEmail, "after close");
  const std::vector<Entry> lines = ReadRecent(small.File("delivery.log"), 10);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text, "USR ******** sent, **************** too");
  EXPECT_EQ(lines[1].item, "4 2 ");
  EXPECT_EQ(lines[1].text, "line  break");
}

TEST(DeliveryLog, ALinkInTheLogsPlaceIsNotFollowedAndTheFolderIsClosedToOthers) {
  testsupport::TempDir dir;
  const std::string folder = dir.File("state/QSoft");
  std::filesystem::create_directories(folder);
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                  std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                  std::filesystem::perms::others_exec);
  const std::string target = dir.File("someone-elses.txt");
  std::ofstream(target) << "keep me\n";
  std::filesystem::permissions(target, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::others_read);
  const std::string path = folder + "/delivery.log";
  std::filesystem::create_symlink(target, path);
  std::filesystem::create_symlink(target, path + ".1");
  {
    LogSink sink({path, 200});
    for (int i = 0; i < 10; ++i) {
      sink.Write("7", kEmail, "step " + std::to_string(i));  // rotates more than once
    }
  }
  EXPECT_EQ(Contents(target), "keep me\n");
  EXPECT_EQ(Mode(target), 0604u);
  EXPECT_EQ(Mode(folder), 0700u);
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_EQ(Mode(path), 0600u);
  EXPECT_EQ(ReadRecent(path, 100).back().text, "step 9");
}

TEST(DeliveryLog, AWorkersRepeatedLineIsWrittenOnceWithItsCount) {
  testsupport::TempDir dir;
  auto sink = std::make_shared<LogSink>(LogSink::Options{dir.File("delivery.log"), 1 << 20, 100});
  {
    WorkerTag hostile(sink, "9", 1, kMessenger, "x@y");
    WorkerTag other(sink, "8", 2, kEmail, "a@b");
    hostile.Log("Connecting");
    for (int i = 0; i < 10000; ++i) {
      hostile.SendMessage(kWorkerLogMessage, reinterpret_cast<std::uintptr_t>("XFR ???"), 0);
      if (i == 5000) {
        other.Log("Email notification was sent SUCCESSFULLY to: a@b");
      }
    }
    hostile.Log("FAILED: bad reply");  // the supervisor's line once the worker has ended
    hostile.Log("Connecting");
    hostile.Log("Connecting");
  }  // the tag's end tells the last count
  sink->Flush();
  std::vector<std::string> lines;
  for (const Entry& e : ReadRecent(sink->Path(), 100)) {
    lines.push_back(e.item + " " + e.channel + " " + e.text);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "9 messenger Connecting", "9 messenger XFR ???",
                       "8 e-mail Email notification was sent SUCCESSFULLY to: a@b",
                       "9 messenger XFR ??? (repeated 9999 times)", "9 messenger FAILED: bad reply",
                       "9 messenger Connecting", "9 messenger Connecting (repeated 1 time)"}));
}

TEST(NoticeGatherer, AQuietSpellsFirstFailureAtOnceTheRestCountedWhenTheWindowCloses) {
  using namespace std::chrono;
  NoticeGatherer gather(seconds(3));
  const NoticeGatherer::Clock::time_point t0{};
  using Bodies = std::vector<std::string>;
  EXPECT_EQ(gather.Add("1", "Item 1: e-mail failed", t0), Bodies{"Item 1: e-mail failed"});
  EXPECT_FALSE(gather.Due());
  // A burst: 37 more items fail within the window, one of them on two channels.
  for (int i = 2; i <= 38; ++i) {
    EXPECT_TRUE(gather.Add(std::to_string(i), "x", t0 + milliseconds(50 * i)).empty());
  }
  EXPECT_TRUE(gather.Add("38", "y", t0 + seconds(2)).empty());
  ASSERT_TRUE(gather.Due());
  EXPECT_EQ(*gather.Due(), t0 + seconds(3));
  EXPECT_TRUE(gather.Flush(t0 + milliseconds(2999)).empty()) << "not before the window closes";
  EXPECT_EQ(gather.Flush(t0 + seconds(3)),
            Bodies{"37 reminders were not delivered; see the delivery log"});
  // Failures keep coming: one notice a window; one item's own words when it is alone.
  EXPECT_TRUE(gather.Add("40", "Item 40: messenger failed", t0 + seconds(4)).empty());
  EXPECT_TRUE(gather.Add("40", "Item 40: e-mail failed", t0 + seconds(5)).empty());
  EXPECT_EQ(gather.Flush(t0 + seconds(6)),
            Bodies{"Item 40: messenger failed\nItem 40: e-mail failed"});
  EXPECT_TRUE(gather.Flush(t0 + seconds(9)).empty());
  EXPECT_FALSE(gather.Due());
  // A quiet spell has passed: the next failure shows at once again.
  EXPECT_EQ(gather.Add("41", "Item 41", t0 + seconds(20)), Bodies{"Item 41"});
  // A failure after a window whose count was not yet shown brings the count first.
  EXPECT_TRUE(gather.Add("42", "Item 42", t0 + seconds(21)).empty());
  EXPECT_TRUE(gather.Add("43", "Item 43", t0 + seconds(22)).empty());
  EXPECT_EQ(gather.Add("44", "Item 44", t0 + seconds(30)),
            Bodies{"2 reminders were not delivered; see the delivery log"});
  EXPECT_EQ(gather.Flush(t0 + seconds(33)), Bodies{"Item 44"});
}

TEST(DeliveryOutcome, TheTooltipTellsEachChannelAndANewDispatchReplacesTheOld) {
  OutcomeStore store;
  const auto first = store.Begin("42", "12:44:56");
  store.Expect("42", first, kEmail, "bob@example.test");
  store.Expect("42", first, kMessenger, "carol@example.test");
  store.Expect("42", first, kSound, "/s/ding.wav");
  EXPECT_TRUE(store.Settle("42", first, kSound, true, ""));
  EXPECT_EQ(store.Tooltip("42"),
            "Notified 12:44:56: e-mail to bob@example.test pending; messenger to "
            "carol@example.test pending; sound /s/ding.wav started");
  EXPECT_FALSE(store.AnyFailed("42"));
  EXPECT_TRUE(store.Settle("42", first, kEmail, true, ""));
  EXPECT_TRUE(store.Settle("42", first, kMessenger, false, "217 ERR_NOT_ONLINE_OR_AVAILABLE"));
  EXPECT_EQ(store.Tooltip("42"),
            "Notified 12:44:56: e-mail to bob@example.test sent; messenger to carol@example.test "
            "failed: 217 ERR_NOT_ONLINE_OR_AVAILABLE; sound /s/ding.wav started");
  EXPECT_TRUE(store.AnyFailed("42"));

  const auto second = store.Begin("42", "13:00:00");
  EXPECT_FALSE(store.Settle("42", first, kEmail, false, "late")) << "a report of the old dispatch";
  EXPECT_FALSE(store.AnyFailed("42"));
  store.Expect("42", second, kProgram, "notify-send");
  store.Settle("42", second, kProgram, false, "could not be started");
  EXPECT_EQ(store.Tooltip("42"),
            "Notified 13:00:00: program notify-send failed: could not be started");
  store.Forget("42");
  EXPECT_EQ(store.Tooltip("42"), "");
  EXPECT_FALSE(store.AnyFailed("42"));
}

TEST(DeliveryOutcome, EachItemsLatestDispatchInTheLogReadsBackAsTheWindowSettledIt) {
  const std::string due = "Your scheduled item is about to elapse, ItemID: 42 Description: ";
  const auto at = [](const char* time, const char* item, const char* channel, const char* text) {
    return Entry{std::string("2026-12-09 ") + time, item, channel, text};
  };
  const std::vector<Entry> log = {
      at("09:00:00", "42", kScheduler,
         ("Dispatching: " + due +
          "x ending at: 2026-12-08 10:00:00 "
          "Etc/UTC")
             .c_str()),
      at("09:00:01", "42", kEmail, "Sending to: old@example.test"),
      at("09:00:02", "42", kEmail, "FAILED: an older dispatch"),
      at("09:50:00", "42", kScheduler,
         ("Dispatching: " + due +
          "a ending at: 2026-12-08 10:00:00 talk ending at: "
          "2026-12-09 10:00:00 Coordinated Universal Time")
             .c_str()),
      at("09:50:00", "42", kSound, "/s/my ding.wav started"),
      at("09:50:00", "42", kMessenger, "Sending to: carol@example.test"),
      at("09:50:00", "42", kEmail, "Sending to: bob@example.test"),
      at("09:50:00", "7", kScheduler, "Dispatching: ItemID: 7 ending at: 2026-12-09 11:00:00 X"),
      at("09:50:00", "7", kProgram, "notify-send \"7\" could not be started"),
      at("09:50:00", "7", kEmail, "Sending to: dave@example.test"),  // the program ended first
      at("09:50:01", "42", kEmail, "Email notification FAILED to: bob@example.test with msg: 550"),
      at("09:50:01", "42", kEmail, "FAILED: 550 5.1.1 mailbox unavailable"),
      at("09:50:02", "42", kMessenger, "delivered"),
      at("09:50:03", "9", kEmail, "FAILED: a dispatch older than the log"),
      at("09:50:04", "8", kScheduler, "Dispatching: ItemID: 8 ending at: 2026-12-09 12:00:00 X"),
      at("09:50:05", "8", kMessenger, "FAILED: logged before the recipients were"),
  };
  const std::map<std::string, LoggedDispatch> latest = LatestDispatches(log);
  ASSERT_EQ(latest.size(), 3u) << "nothing for an item whose dispatch the log no longer holds";
  OutcomeStore store;
  for (const auto& [item, dispatch] : latest) {
    EXPECT_TRUE(store.Restore(item, dispatch.outcome));
  }
  EXPECT_EQ(store.Tooltip("42"),
            "Notified 2026-12-09 09:50:00: sound /s/my ding.wav started; messenger to "
            "carol@example.test sent; e-mail to bob@example.test failed: 550 5.1.1 mailbox "
            "unavailable");
  EXPECT_EQ(store.Tooltip("7"),
            "Notified 2026-12-09 09:50:00: program notify-send \"7\" failed: could not be "
            "started; e-mail to dave@example.test failed: no outcome in the log");
  EXPECT_EQ(store.Tooltip("8"),
            "Notified 2026-12-09 09:50:04: messenger failed: logged before the recipients were");
  EXPECT_TRUE(store.AnyFailed("42"));

  // Which end time a dispatch was for: the last "ending at" of its text.
  const std::string& text = latest.at("42").text;
  EXPECT_TRUE(DispatchedForEndTime(text, "2026-12-09 10:00:00"));
  EXPECT_FALSE(DispatchedForEndTime(text, "2026-12-08 10:00:00"));
  EXPECT_FALSE(DispatchedForEndTime(text, "2026-12-09 10:00:0"));
  EXPECT_FALSE(DispatchedForEndTime(text, ""));

  // An outcome of this run is never replaced by an older one, and reports of this run
  // never settle a restored one.
  const auto live = store.Begin("50", "10:00:00");
  EXPECT_FALSE(store.Restore("50", latest.at("42").outcome));
  EXPECT_EQ(store.Tooltip("50"), "Notified 10:00:00:");
  EXPECT_FALSE(store.Settle("42", live, kEmail, true, ""));
}

TEST(DeliveryLog, ReadingIsBoundedAndNeverWaitsOnAPipe) {
  testsupport::TempDir dir;
  const std::string path = dir.File("delivery.log");
  const auto line = [](int i) {
    return "2026-12-09 10:00:00\t" + std::to_string(i) + "\tsound\tx";
  };
  {
    std::ofstream older(path + ".1");
    for (int i = 0; i < 1000; ++i) {
      older << line(i) << "\n";
    }
    std::ofstream(path) << line(1000) << "\n" << line(1001);  // the last line not ended yet
  }
  const std::uintmax_t bytes = 10 * (line(999).size() + 1) - 5;
  const std::vector<Entry> tail = ReadTail(path, bytes);
  ASSERT_EQ(tail.size(), 11u) << "nine whole lines of the older file, then the newer file";
  EXPECT_EQ(tail.front().item, "991");
  EXPECT_EQ(tail.back().item, "1001");

  std::filesystem::remove(path + ".1");
  std::filesystem::remove(path);
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_TRUE(ReadTail(path, bytes).empty());
  EXPECT_TRUE(ReadRecent(path, 10).empty()) << "the log's window reads it so too";
}

namespace {

// An e-mail worker that logs until it is told to finish, and, when it obeys, until the
// supervisor's stop request too.
class ChattyWorker : public thrQSEmail {
 public:
  ChattyWorker(bool obeysStop, std::atomic<bool>& finish) : obeys_(obeysStop), finish_(finish) {}
  ~ChattyWorker() override { TerminateAndWait(); }

 protected:
  void Execute() override {
    while (!finish_ && !(obeys_ && Terminated())) {
      LogMsg("still talking");
      std::this_thread::sleep_for(1ms);
    }
    bRunning_m = false;
  }

 private:
  bool obeys_;
  std::atomic<bool>& finish_;
};

}  // namespace

TEST(DeliveryLog, AShutDownWhileWorkersAreStillLoggingEndsWithinTheSupervisorsLimits) {
  testsupport::TempDir dir;
  auto sink = std::make_shared<LogSink>(LogSink::Options{dir.File("delivery.log")});
  std::mutex lock;
  std::vector<std::string> reports;
  TBGProcessOptions options;
  options.loopPause = 10ms;
  options.stopGrace = 50ms;
  options.workerEnded = [&](const WorkerTag& tag, bool delivered, const std::string& failure) {
    std::lock_guard<std::mutex> guard(lock);
    reports.push_back(tag.item + " " + tag.channel + " " + (delivered ? "sent" : failure));
  };
  auto supervisor = std::make_unique<thrBGProcess>(options);
  supervisor->iPollIntervalSecs_m = 3600;
  supervisor->Resume();

  std::atomic<bool> finish{false};
  auto quickTag = std::make_shared<WorkerTag>(sink, "1", 1, kEmail, "a@x.org");
  auto stubbornTag = std::make_shared<WorkerTag>(sink, "2", 2, kEmail, "b@x.org");
  auto quick = std::make_unique<ChattyWorker>(true, finish);
  auto stubbornOwned = std::make_unique<ChattyWorker>(false, finish);
  auto* stubborn = stubbornOwned.get();  // left running by the stop, freed below
  quick->Setup("", "", "", 0, "", "", 4, quickTag.get(), kWorkerLogMessage);
  stubborn->Setup("", "", "", 0, "", "", 4, stubbornTag.get(), kWorkerLogMessage);
  supervisor->AddEmail(std::move(quick), quickTag);
  supervisor->AddEmail(std::move(stubbornOwned), stubbornTag);
  quickTag.reset();
  stubbornTag.reset();
  for (int i = 0; i < 500 && ReadRecent(sink->Path(), 1000).size() < 2; ++i) {
    sink->Flush();
    std::this_thread::sleep_for(5ms);
  }

  supervisor->Terminate();
  supervisor->WaitFor();  // neither the stubborn worker nor its logging holds the stop
  EXPECT_FALSE(supervisor->bRunning_m);
  supervisor.reset();
  sink->Close();  // nor does the log, while the stubborn worker still writes to it
  sink.reset();
  EXPECT_TRUE(stubborn->bRunning_m) << "left to its thread, logging into a closed log";
  finish = true;
  stubborn->WaitFor();
  delete stubborn;

  EXPECT_EQ(reports, std::vector<std::string>{"1 e-mail ended without delivering"});
  const std::string log = Contents(dir.File("delivery.log"));
  EXPECT_NE(log.find("\t1\te-mail\tstill talking"), std::string::npos);
  EXPECT_NE(log.find("\t2\te-mail\tstill talking"), std::string::npos);
  EXPECT_NE(log.find("\t1\te-mail\tFAILED: ended without delivering"), std::string::npos);
}
