#include <gtest/gtest.h>

#include "DateTime.h"
#include "Exceptions.h"
#include "events/eventTable.h"

using namespace event_table;
using Platform::EncodeDateTime;

TEST(EventTableRules, ZoneColumnListsEveryZoneButOtherInKeyOrder) {
  const std::map<std::string, double> zones = {{"OTHER", 0},
                                               {"Coordinated Universal Time", 0},
                                               {"Asia/Kolkata", 5.5},
                                               {"America/New_York", -5}};
  EXPECT_EQ(ZoneColumnNames(zones), (std::vector<std::string>{"America/New_York", "Asia/Kolkata",
                                                              "Coordinated Universal Time"}));
  EXPECT_EQ(ZoneOffset(zones, "Asia/Kolkata"), 5.5);
  EXPECT_EQ(ZoneOffset(zones, "Nowhere"), 0.0);
}

TEST(EventTableRules, AnEndTimeTwoHoursEastIsDueTwoHoursEarlierLocally) {
  const auto end = EncodeDateTime(2026, 12, 9, 12, 0, 0, 0);
  const auto local = LocalEndTime(end, 0.0, 2.0);
  EXPECT_NEAR(local, EncodeDateTime(2026, 12, 9, 10, 0, 0, 0), 1e-9);
}

TEST(EventTableRules, ArmingFollowsTheOldEndTime) {
  const auto now = [] { return EncodeDateTime(2026, 12, 9, 12, 0, 0, 0); };
  // A first end time arms a new item, whatever it is.
  EXPECT_EQ(StateAfterEndTimeChange(kStateNew, "", now), kStateArmed);
  // A notified item whose old end time is still ahead is armed again...
  EXPECT_EQ(StateAfterEndTimeChange(kStateNotified, "2026-12-09 12:00:01", now), kStateArmed);
  // ...but not when it has passed, or when there was none.
  EXPECT_EQ(StateAfterEndTimeChange(kStateNotified, "2026-12-09 12:00:00", now), kStateNotified);
  EXPECT_EQ(StateAfterEndTimeChange(kStateNotified, "", now), kStateNotified);
  // While an end time is typed the old text is part of one: not later than now.
  for (const char* partial : {"2", "21", "2026-12-3", "soon"}) {
    EXPECT_EQ(StateAfterEndTimeChange(kStateArmed, partial, now), kStateArmed) << partial;
    EXPECT_EQ(StateAfterEndTimeChange(kStateNotified, partial, now), kStateNotified) << partial;
  }
}

TEST(EventTableRules, TheDialogRearmsOnlyFutureEndTimes) {
  const auto now = EncodeDateTime(2026, 12, 9, 12, 0, 0, 0);
  EXPECT_TRUE(DialogRearms(now, now));
  EXPECT_TRUE(DialogRearms(now + 1.0 / 1440, now));
  EXPECT_FALSE(DialogRearms(now - 1.0 / 86400, now));
}
