// The scheduler pass under a controlled clock, with recording channels.
#include <gtest/gtest.h>

#include <set>

#include "DateTime.h"
#include "Exceptions.h"
#include "GridTypes.h"
#include "QSStringGrid.h"
#include "events/eventExtras.h"
#include "events/eventScheduler.h"
#include "events/eventTable.h"
#include "window/gridEventRows.h"

using namespace event_table;
using event_scheduler::ChannelDispatch;
using event_scheduler::EndTimeBeingTyped;
using event_scheduler::PassEnd;
using event_scheduler::RunPass;
using Platform::EncodeDateTime;
using Platform::TDateTime;

namespace {

class RecordingChannels : public ChannelDispatch {
 public:
  std::vector<std::string> calls;
  bool supervisorComes = true;
  std::string customApp = "notify %ItemID %ItemDesc %ItemDate %ItemTime %ItemTZ";
  std::function<void()> duringWait;
  std::function<void()> duringSound;

  bool WaitForSupervisor() override {
    calls.push_back("wait");
    if (duringWait) {
      duringWait();
    }
    return supervisorComes;
  }
  void PlaySound() override {
    calls.push_back("sound");
    if (duringSound) {
      duringSound();
    }
  }
  void SendMessenger(const std::string& text) override { calls.push_back("messenger " + text); }
  void SendEmail(const std::string& text) override { calls.push_back("email " + text); }
  std::string CustomAppTemplate() override { return customApp; }
  void Launch(const std::string& commandLine) override { calls.push_back("launch " + commandLine); }
  void ShowMessage(const std::string& text) override { calls.push_back("message " + text); }
  void ShowLastCheck(const std::string& text) override { calls.push_back("last check " + text); }
  void ItemNotified() override { ++notified; }
  void ItemRepeats(const std::string& id, const std::string& next, std::int64_t passedOver,
                   bool) override {
    calls.push_back("repeats " + id + " " + next + " " + std::to_string(passedOver));
  }
  void SnoozeEnded(const std::string& id, const std::string&, bool sounded) override {
    calls.push_back("snooze over " + id + (sounded ? " with sound" : ""));
  }
  int notified = 0;

  // The calls other than the last-check caption.
  std::vector<std::string> Dispatched() const {
    std::vector<std::string> out;
    for (const std::string& c : calls) {
      if (c.rfind("last check ", 0) != 0) {
        out.push_back(c);
      }
    }
    return out;
  }
};

using Calls = std::vector<std::string>;

// The event table as the window lays it out: a header row, items, a hidden last row.
class Scheduler : public ::testing::Test {
 protected:
  TQSStringGrid grid_;
  GridEventRows rows_{grid_};
  std::map<std::string, double> zones_{{"Local", 0.0}, {"East", 1.0}, {"East2", 2.0}};
  RecordingChannels channels_;
  const TDateTime noon_ = EncodeDateTime(2006, 5, 1, 12, 0, 0, 0);

  void SetUp() override {
    grid_.SetColCount(9);
    grid_.SetRowCount(2);
    grid_.SetFixedRows(1);
    grid_.HideRow(1);
  }

  // Adds an item and returns its row.
  int Add(const std::string& id, const std::string& end, const std::string& zone = "Local",
          const std::string& warning = "10", int state = kStateArmed,
          const std::string& channels = "YNNN") {
    const int r = grid_.RowCount() - 1;
    grid_.InsertRow(r);
    grid_.SetCells(kColID, r, id);
    grid_.SetCells(kColDescription, r, "Item " + id);
    grid_.SetCells(kColEndTime, r, end);
    grid_.SetCells(kColZone, r, zone);
    grid_.SetCells(kColWarnMinutes, r, warning);
    for (int i = 0; i < 4; ++i) {
      grid_.SetCells(kColSound + i, r, std::string(1, channels[i]));
    }
    grid_.SetObjects(kColEndTime, r, state);
    return r;
  }

  PassEnd Pass(TDateTime now) { return RunPass(rows_, now, zones_, 0.0, channels_); }
  int State(int r) const { return static_cast<int>(grid_.GetObjects(kColEndTime, r)); }
};

TDateTime At(int hour, int minute, int second = 0) {
  return EncodeDateTime(2006, 5, 1, hour, minute, second, 0);
}

}  // namespace

TEST_F(Scheduler, AnItemIsDueOnceItsWarningBeginsAndOnlyOnce) {
  const int r = Add("1", "2006-05-01 12:15:00");
  const int past = Add("2", "2006-04-30 08:00:00", "Local", "10", kStateArmed, "NNNN");
  const int zero = Add("3", "2006-05-01 12:05:00", "Local", "0", kStateArmed, "NNNN");
  Pass(noon_);
  EXPECT_EQ(channels_.Dispatched(), Calls{"wait"}) << "only the past item; 15 minutes ahead waits";
  Pass(At(12, 4, 55));
  EXPECT_EQ(channels_.Dispatched().size(), 2u) << "10 minutes and 5 seconds ahead: not yet";
  Pass(At(12, 5, 0));
  EXPECT_EQ(State(r), kStateNotified) << "exactly at the moment";
  EXPECT_EQ(channels_.Dispatched(), (Calls{"wait", "wait", "wait", "sound", "wait", "wait"}))
      << "the past item again, and the one with a warning of 0 at its end time";
  Pass(At(12, 5, 5));
  EXPECT_EQ(std::count(channels_.calls.begin(), channels_.calls.end(), "sound"), 1);
  EXPECT_EQ(State(past), kStateArmed);
  EXPECT_EQ(State(zero), kStateArmed);
}

TEST_F(Scheduler, TheRowWhoseEndTimeIsBeingTypedIsLeftAlone) {
  const int typing = Add("typing", "2006-05-01 1");
  const int due = Add("due", "2006-04-30 08:00:00");
  EXPECT_EQ(RunPass(rows_, noon_, zones_, 0.0, channels_, nullptr, typing), PassEnd::Completed);
  EXPECT_EQ(State(typing), kStateArmed);
  EXPECT_EQ(State(due), kStateNotified);
}

TEST(TypingRule, OnlyAChangedTextThatDoesNotReadYetAndForAtMostOnePass) {
  EXPECT_TRUE(EndTimeBeingTyped(true, "2006-05-01 1", 0.0));
  EXPECT_TRUE(EndTimeBeingTyped(true, "2006-05-01 1", 4.9));
  EXPECT_FALSE(EndTimeBeingTyped(true, "2006-05-01 1", 5.0)) << "abandoned half typed";
  EXPECT_FALSE(EndTimeBeingTyped(true, "2006-05-01 12:15:00", 0.0)) << "reads: it is the time";
  EXPECT_FALSE(EndTimeBeingTyped(false, "2006-05-01 1", 0.0)) << "confirmed or never touched";
  EXPECT_FALSE(EndTimeBeingTyped(true, "2006-05-01 1", -3.0)) << "a clock set back holds nothing";
}

TEST_F(Scheduler, AnItemOneHourEastIsDueOneHourEarlier) {
  const int local = Add("L", "2006-05-01 13:00:00", "Local");
  const int east = Add("E", "2006-05-01 13:00:00", "East");
  const int unknown = Add("U", "2006-05-01 13:00:00", "Nowhere");
  Pass(At(11, 50));
  EXPECT_EQ(State(east), kStateNotified);
  EXPECT_EQ(State(local), kStateArmed);
  EXPECT_EQ(State(unknown), kStateArmed) << "an unknown zone counts as offset 0";
  Pass(At(12, 50));
  EXPECT_EQ(State(local), kStateNotified);
  EXPECT_EQ(State(unknown), kStateNotified);
}

TEST_F(Scheduler, NewNotifiedHiddenAndUnwarnedItemsAreSkipped) {
  Add("new", "2006-04-30 08:00:00", "Local", "10", kStateNew);
  Add("done", "2006-04-30 08:00:00", "Local", "10", kStateNotified);
  const int hidden = Add("hidden", "2006-04-30 08:00:00");
  grid_.HideRow(hidden);
  // Neither an empty warning nor a bad end time is looked at once the row is skipped.
  Add("unwarned", "not a date", "Local", "");
  EXPECT_EQ(Pass(noon_), PassEnd::Completed);
  EXPECT_EQ(channels_.calls, (Calls{"last check 2006-05-01 12:00:00"}));
}

TEST_F(Scheduler, AllFourChannelsInTheirOrderWithinOnePass) {
  const int r = Add("7", "2006-05-01 12:00:00", "East2", "10", kStateArmed, "YYYY");
  const int next = Add("8", "2006-05-01 09:00:00", "Local", "10", kStateArmed, "NNYN");
  Pass(At(9, 55));
  const std::string text =
      "Your scheduled item is about to elapse, ItemID: 7 Description: Item 7 ending at: "
      "2006-05-01 12:00:00 East2";
  EXPECT_EQ(channels_.calls,
            (Calls{"wait", "sound", "messenger " + text, "email " + text,
                   // The date and time moved into local time; the zone as the row names it.
                   "launch notify 7 \"Item 7\" 2006-05-01 10:00:00 East2", "wait",
                   "email Your scheduled item is about to elapse, ItemID: 8 Description: Item 8 "
                   "ending at: 2006-05-01 09:00:00 Local",
                   "last check 2006-05-01 09:55:00"}));
  EXPECT_EQ(State(r), kStateNotified);
  EXPECT_EQ(State(next), kStateNotified);
}

TEST_F(Scheduler, ABlankCommandLaunchesNothingButTheItemIsNotified) {
  channels_.customApp = "   ";
  const int r = Add("1", "2006-04-30 08:00:00", "Local", "10", kStateArmed, "NNNY");
  Pass(noon_);
  EXPECT_EQ(channels_.Dispatched(), Calls{"wait"});
  EXPECT_EQ(State(r), kStateNotified);
}

TEST_F(Scheduler, GridRangeErrorsAreReportedAndThePassGoesOn) {
  const int first = Add("1", "2006-04-30 08:00:00", "Local", "10", kStateArmed, "YNYN");
  const int second = Add("2", "2006-04-30 08:00:00");
  channels_.duringSound = [this] {
    channels_.duringSound = nullptr;
    grid_.RemoveRow(99);  // out of range
  };
  EXPECT_EQ(Pass(noon_), PassEnd::Completed);
  EXPECT_EQ(channels_.calls.at(2).rfind("message Internal event error: ", 0), 0u)
      << channels_.calls.at(2);
  EXPECT_EQ(State(first), kStateArmed) << "its e-mail never went; it stays armed";
  EXPECT_EQ(State(second), kStateNotified);
  EXPECT_EQ(channels_.calls.back(), "last check 2006-05-01 12:00:00");
}

TEST_F(Scheduler, RowsRemovedDuringTheWaitAreNotVisited) {
  Add("1", "2006-04-30 08:00:00");
  Add("2", "2006-04-30 08:00:00");
  channels_.duringWait = [this] {
    channels_.duringWait = nullptr;
    grid_.RemoveRow(2);
    grid_.RemoveRow(2);  // the hidden last row goes too
  };
  EXPECT_EQ(Pass(noon_), PassEnd::Completed);
  EXPECT_EQ(channels_.Dispatched(), (Calls{"wait", "sound"}));
}

TEST_F(Scheduler, ASupervisorThatNeverComesEndsThePassWithItsMessage) {
  channels_.supervisorComes = false;
  const int r = Add("1", "2006-04-30 08:00:00");
  Add("2", "2006-04-30 08:00:00");
  EXPECT_EQ(Pass(noon_), PassEnd::SupervisorTimeout);
  EXPECT_EQ(channels_.calls,
            (Calls{"wait", std::string("message ") + event_scheduler::kTimeoutMessage}))
      << "no channel, no second row and no last-check caption";
  EXPECT_EQ(State(r), kStateArmed);
}

TEST(SupervisorWait, EndsWhenReadyOrAfterFifteenWholeSeconds) {
  double clock = 100.7;
  int idles = 0;
  const auto tick = [&](double step) {
    return [&, step] {
      ++idles;
      clock += step;
    };
  };
  EXPECT_TRUE(event_scheduler::WaitBounded([] { return true; }, tick(1), [&] { return clock; }));
  EXPECT_EQ(idles, 0);

  EXPECT_TRUE(
      event_scheduler::WaitBounded([&] { return idles >= 3; }, tick(1), [&] { return clock; }));
  EXPECT_EQ(idles, 3);

  idles = 0;
  clock = 100.7;
  EXPECT_FALSE(
      event_scheduler::WaitBounded([] { return false; }, tick(0.05), [&] { return clock; }));
  EXPECT_GE(clock, 116.0) << "gave up only after more than 15 whole seconds";
  EXPECT_LT(clock, 117.0);

  // Ready just as 15 whole seconds are reached is still too late.
  idles = 0;
  clock = 100.7;
  EXPECT_FALSE(event_scheduler::WaitBounded([&] { return clock >= 115.0; }, tick(0.1),
                                            [&] { return clock; }));
}

TEST_F(Scheduler, AnUnreadableEndTimeOrWarningIsSkippedReportedOnceAndKeptForMarking) {
  const int bad = Add("1", "2006-13-45 99:00:00");
  const int alsoBad = Add("2", "2006-13-45 99:00:00");
  const int due = Add("3", "2006-04-30 08:00:00");
  const int noNumber = Add("4", "2006-04-30 08:00:00", "Local", "abc");
  event_scheduler::Unreadable unreadable;
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(RunPass(rows_, noon_, zones_, 0.0, channels_, &unreadable), PassEnd::Completed);
  }
  const Calls dispatched = channels_.Dispatched();
  ASSERT_EQ(dispatched.size(), 4u) << "one report, the due item's wait and sound, one report";
  EXPECT_EQ(dispatched[0].rfind("message Internal event error: the end time of item '1'", 0), 0u)
      << dispatched[0];
  EXPECT_EQ(dispatched[1], "wait");
  EXPECT_EQ(dispatched[3],
            "message Internal event error: the warning minutes of item '4' cannot be read ('abc' "
            "is not a valid floating point value); the item is skipped until it is corrected.");
  EXPECT_EQ(State(due), kStateNotified);
  EXPECT_EQ(State(bad), kStateArmed);
  EXPECT_EQ(State(alsoBad), kStateArmed);
  EXPECT_EQ(State(noNumber), kStateArmed);
  EXPECT_EQ(unreadable.endTimes, std::set<std::string>{"2006-13-45 99:00:00"});
  EXPECT_EQ(unreadable.warnings, std::set<std::string>{"abc"});
}

TEST_F(Scheduler, ACommandLineTooLongToStartIsReportedNotDropped) {
  const int r = Add("1", "2006-04-30 08:00:00", "Local", "10", kStateArmed, "NNNY");
  grid_.SetCells(kColDescription, r, std::string(5000, 'd'));
  Pass(noon_);
  const Calls dispatched = channels_.Dispatched();
  ASSERT_EQ(dispatched.size(), 2u);
  EXPECT_NE(dispatched[1].find("was not started: its command line is 5"), std::string::npos)
      << dispatched[1];
  EXPECT_EQ(State(r), kStateNotified);
}

TEST_F(Scheduler, EachItemMarkedNotifiedIsToldAlsoWhenALaterRowEndsThePass) {
  Add("1", "2006-04-30 08:00:00");
  Add("2", "2006-04-30 08:00:00", "Local", "10", kStateArmed, "NNNN");  // stays armed
  Add("3", "2006-04-30 08:00:00", "Local", "10", kStateArmed, "NNNY");
  const int fails = Add("4", "2006-04-30 08:00:00");
  int sounds = 0;
  channels_.duringSound = [&sounds] {
    if (++sounds == 2) {
      throw Platform::EConvertError("'x' is not a valid integer value");
    }
  };
  EXPECT_THROW(Pass(noon_), Platform::EConvertError);
  EXPECT_EQ(channels_.notified, 2) << "items 1 and 3";
  EXPECT_EQ(State(fails), kStateArmed);
}

// Rows with the column of the extra fields: a repeat rule and a snoozed notice.
TEST_F(Scheduler, ARepeatingItemIsArmedAgainForItsNextOccurrenceAtTheSameWallClockTime) {
  grid_.SetColCount(10);
  const int daily = Add("1", "2006-05-01 12:05:00", "East");
  grid_.SetCells(event_extras::kColTail, daily, "FREQ=DAILY;COUNT=3|0|");
  // Closed for three days: notified once, then the first occurrence still to come.
  const int missed = Add("2", "2006-04-28 09:00:00");
  grid_.SetCells(event_extras::kColTail, missed, "FREQ=DAILY|0|");
  const int broken = Add("3", "2006-04-30 08:00:00");
  grid_.SetCells(event_extras::kColTail, broken, "FREQ=SOMETIMES|0|");

  Pass(At(11, 0));  // 12:05 in East is 11:05 here: its warning began at 10:55
  EXPECT_EQ(grid_.GetCells(kColEndTime, daily), "2006-05-02 12:05:00");
  EXPECT_EQ(State(daily), kStateArmed);
  EXPECT_EQ(grid_.GetCells(event_extras::kColTail, daily), "FREQ=DAILY;COUNT=3|1|");
  EXPECT_EQ(grid_.GetCells(kColEndTime, missed), "2006-05-02 09:00:00");
  EXPECT_EQ(State(broken), kStateNotified) << "an unreadable rule: notified as a one-off";
  EXPECT_EQ(grid_.GetCells(event_extras::kColTail, broken), "FREQ=SOMETIMES|0|") << "kept as is";
  const Calls calls = channels_.Dispatched();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "repeats 1 2006-05-02 12:05:00 0"), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "repeats 2 2006-05-02 09:00:00 3"), calls.end());
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.find("repeat rule") != c.npos; }),
            1);

  // The third occurrence is the last of COUNT=3: after it the item stays notified.
  Pass(EncodeDateTime(2006, 5, 2, 11, 0, 0, 0));
  EXPECT_EQ(grid_.GetCells(kColEndTime, daily), "2006-05-03 12:05:00");
  Pass(EncodeDateTime(2006, 5, 3, 11, 0, 0, 0));
  EXPECT_EQ(grid_.GetCells(kColEndTime, daily), "2006-05-03 12:05:00");
  EXPECT_EQ(State(daily), kStateNotified);
}

TEST_F(Scheduler, ASnoozedNoticeComesBackOnceWhenItsTimeHasCome) {
  grid_.SetColCount(10);
  const int r = Add("1", "2006-05-01 11:00:00", "Local", "10", kStateNotified, "YYNN");
  grid_.SetCells(event_extras::kColTail, r, "|0|2006-05-01 12:10:00|0|");
  Pass(noon_);
  EXPECT_EQ(channels_.Dispatched(), Calls{});
  Pass(At(12, 10));
  Pass(At(12, 10, 5));
  EXPECT_EQ(channels_.Dispatched(), Calls{"snooze over 1 with sound"}) << "no message, no mail";
  EXPECT_EQ(grid_.GetCells(event_extras::kColTail, r), "");
}
