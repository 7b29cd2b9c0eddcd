#include <gtest/gtest.h>

#include "events/eventExtras.h"

namespace {

using event_extras::Read;
using event_extras::WithRule;
using event_extras::WithSnooze;

TEST(EventExtras, AnItemThatNeverRepeatedKeepsTheLineOfAnOlderBuild) {
  EXPECT_EQ(WithRule("", "", 0), "");
  EXPECT_EQ(WithSnooze("", ""), "");
  const std::string daily = WithRule("", "FREQ=DAILY", 0);
  EXPECT_EQ(daily, "FREQ=DAILY|0|");
  EXPECT_EQ(WithRule(daily, "", 0), "") << "a rule taken away leaves no empty pair behind";
}

TEST(EventExtras, PairsOfNewerBuildsAndOddTailsAreKeptAsRead) {
  const std::string tail = "FREQ=WEEKLY|2|2026-12-11 10:00:00|0|X-NEWER|7|";
  const event_extras::Extras extras = Read(tail);
  EXPECT_EQ(extras.rule, "FREQ=WEEKLY");
  EXPECT_EQ(extras.consumed, 2);
  EXPECT_EQ(extras.snoozeUntil, "2026-12-11 10:00:00");
  EXPECT_EQ(WithRule(tail, "FREQ=WEEKLY", 2), tail);
  EXPECT_EQ(WithRule(tail, "FREQ=DAILY", 3), "FREQ=DAILY|3|2026-12-11 10:00:00|0|X-NEWER|7|");
  EXPECT_EQ(WithSnooze(tail, ""), "FREQ=WEEKLY|2||0|X-NEWER|7|") << "a later pair holds its place";
  // A line that did not end with "|", and a count that is no number, stay as they were.
  EXPECT_EQ(WithSnooze("FREQ=DAILY|x", ""), "FREQ=DAILY|x");
  EXPECT_EQ(Read("FREQ=DAILY|x").consumed, 0);
}

TEST(EventExtras, ASnoozeComesAndGoesBesideTheRule) {
  const std::string snoozed = WithSnooze("", "2026-12-11 10:00:00");
  EXPECT_EQ(snoozed, "|0|2026-12-11 10:00:00|0|");
  EXPECT_EQ(Read(snoozed).snoozeUntil, "2026-12-11 10:00:00");
  EXPECT_EQ(WithSnooze(snoozed, ""), "");
  EXPECT_EQ(WithSnooze(WithSnooze("FREQ=DAILY|0|", "2026-12-11 10:00:00"), ""), "FREQ=DAILY|0|");
}

}  // namespace
