#include <gtest/gtest.h>

#include "DateTime.h"
#include "events/repeatRule.h"

using namespace repeat_rule;
using Platform::EncodeDate;
using Platform::TDateTime;

namespace {

TDateTime At(int year, int month, int day, int hour = 9, int min = 0) {
  return Platform::EncodeDateTime(year, month, day, hour, min, 0, 0);
}

}  // namespace

TEST(RepeatRuleNext, DailyKeepsTheWallClockTimeAcrossDaylightSavingChanges) {
  // Much of Europe moves its clocks on 28 March and 31 October 2027; the item's zone
  // offset is its standard one and the end time stays at 09:00 on the wall.
  for (const TDateTime end : {At(2027, 3, 27), At(2027, 10, 30)}) {
    const auto next = Next("FREQ=DAILY", end, 4, end, 1.0);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->when, end + 1);  // not the end itself: strictly after `after`
    EXPECT_EQ(next->index, 5);
    EXPECT_EQ(next->passedOver, 0);
  }
}

TEST(RepeatRuleNext, TheLastDayOfTheMonthFollowsEachMonthsLength) {
  const std::string rule = "FREQ=MONTHLY;BYMONTHDAY=-1";
  auto next = Next(rule, At(2027, 1, 31), 0, At(2027, 1, 31, 12), 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->when, At(2027, 2, 28));
  // Restarted at 28 February, the series still lands on the last day.
  next = Next(rule, next->when, next->index, At(2027, 2, 28, 12), 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->when, At(2027, 3, 31));
  next = Next(rule, At(2028, 1, 31), 0, At(2028, 1, 31, 12), 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->when, At(2028, 2, 29));
}

TEST(RepeatRuleNext, UntilEndsTheSeriesInTheItemsZone) {
  // 07:00 UTC is 09:00 two hours east: the occurrence at 09:00 on 30 June is the last.
  const std::string utc = "FREQ=DAILY;UNTIL=20270630T070000Z";
  const auto last = Next(utc, At(2027, 6, 29), 0, At(2027, 6, 29), 2.0);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->when, At(2027, 6, 30));
  EXPECT_FALSE(Next(utc, At(2027, 6, 29), 0, At(2027, 6, 29), 1.0));
  EXPECT_FALSE(Next(utc, At(2027, 6, 30), 1, At(2027, 6, 30), 2.0));
  // The dialog's UNTIL is wall-clock time at the end of the chosen day; a date-only one
  // lasts the whole day too.
  for (const char* rule : {"FREQ=DAILY;UNTIL=20270630T235959", "FREQ=DAILY;UNTIL=20270630"}) {
    const auto next = Next(rule, At(2027, 6, 29), 0, At(2027, 6, 29), -8.0);
    ASSERT_TRUE(next) << rule;
    EXPECT_EQ(next->when, At(2027, 6, 30)) << rule;
    EXPECT_FALSE(Next(rule, At(2027, 6, 30), 1, At(2027, 6, 30), -8.0)) << rule;
  }
}

TEST(RepeatRuleNext, CountIsKeptAcrossRestartsByTheConsumedOccurrences) {
  const std::string rule = "FREQ=DAILY;COUNT=3";
  auto next = Next(rule, At(2027, 5, 1), 0, At(2027, 5, 1), 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->index, 1);
  next = Next(rule, next->when, next->index, next->when, 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->when, At(2027, 5, 3));
  EXPECT_EQ(next->index, 2);
  EXPECT_FALSE(Next(rule, next->when, next->index, next->when, 0));
  // A long absence may use up the rest of the count.
  EXPECT_FALSE(Next(rule, At(2027, 5, 1), 0, At(2027, 5, 9), 0));
  EXPECT_FALSE(Next(rule, At(2027, 5, 1), 7, At(2027, 4, 1), 0));
}

TEST(RepeatRuleNext, AMissedSpanGivesTheFirstOccurrenceAfterItAndHowManyPassed) {
  const auto next = Next("FREQ=DAILY", At(2027, 1, 1), 3, At(2027, 1, 5, 12), 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->when, At(2027, 1, 6));
  EXPECT_EQ(next->index, 8);
  EXPECT_EQ(next->passedOver, 4);  // 2 to 5 January
  EXPECT_TRUE(next->counted);
}

TEST(RepeatRuleNext, IntervalsKeepTheirParityAlsoOverSpansTooLongToStepThrough) {
  const std::string weekly = "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU";
  auto next = Next(weekly, At(2027, 2, 2), 0, At(2027, 2, 3), 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->when, At(2027, 2, 16));
  next = Next(weekly, At(2027, 2, 2), 0, At(2027, 2, 17), 0);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->when, At(2027, 3, 2));
  EXPECT_EQ(next->passedOver, 1);

  // Tens of thousands of occurrences passed: the series is jumped, still on its grid.
  struct Case {
    const char* rule;
    TDateTime end, after, expected;
  } cases[] = {
      {"FREQ=MINUTELY;INTERVAL=7", At(2027, 2, 1), At(2028, 2, 1), At(2028, 2, 1, 9, 2)},
      {"FREQ=HOURLY;INTERVAL=5", At(2027, 2, 1), At(2037, 2, 1, 10), At(2037, 2, 1, 12)},
      {"FREQ=DAILY;INTERVAL=3", At(2027, 2, 1), At(2127, 2, 1, 10), At(2127, 2, 2)},
      {"FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,FR", At(2027, 2, 2), At(2427, 3, 10, 12), At(2427, 3, 12)},
  };
  for (const Case& c : cases) {
    next = Next(c.rule, c.end, 0, c.after, 0);
    ASSERT_TRUE(next) << c.rule;
    EXPECT_EQ(next->when, c.expected) << c.rule;
    EXPECT_FALSE(next->counted) << c.rule;
    EXPECT_GE(next->passedOver, kMaxCount) << c.rule;
  }
}

TEST(RepeatRuleCheck, RefusesWhatCannotBeRun) {
  for (const char* good : {"FREQ=DAILY", "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU;UNTIL=20270630T000000Z",
                           "FREQ=MONTHLY;BYMONTHDAY=-1;COUNT=10", "freq=yearly"}) {
    EXPECT_EQ(Check(good), "") << good;
  }
  EXPECT_EQ(Check("FREQ=DAILY;BYDAYS=TU"), "cannot read \"BYDAYS=TU\"");
  EXPECT_EQ(Check("BYDAY=TU"), "the rule has no FREQ");
  EXPECT_EQ(Check("FREQ=DAILY;COUNT=5;UNTIL=20270630"), "UNTIL and COUNT cannot go together");
  for (const char* bad :
       {"", "garbage", "FREQ=SECONDLY", "FREQ=MINUTELY;BYSECOND=0,30", "FREQ=DAILY;INTERVAL=70000",
        "FREQ=DAILY;COUNT=4294967297", "FREQ=DAILY;COUNT=10001", "FREQ=WEEKLY;BYDAY=1TU",
        "FREQ=MONTHLY;BYDAY=53MO", "FREQ=MINUTELY;BYYEARDAY=300",
        "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=30", "RSCALE=HEBREW;FREQ=YEARLY",
        // libical gives no date for a last day of the month below FREQ=MONTHLY, and
        // would look for one hour by hour until the year 2582.
        "FREQ=DAILY;BYMONTHDAY=-1", "FREQ=HOURLY;BYMONTHDAY=-1;BYDAY=MO,TU"}) {
    EXPECT_NE(Check(bad), "") << bad;
    EXPECT_FALSE(Next(bad, At(2027, 1, 1), 0, At(2027, 1, 1), 0)) << bad;
  }
}

TEST(RepeatRuleChoices, EveryFormOfTheDialogWritesARuleThatReadsBackTheSame) {
  std::vector<Choices> forms(12);
  forms[1].frequency = Frequency::kMinutes;
  forms[1].interval = 15;
  forms[2].frequency = Frequency::kHours;
  forms[2].ending = Ending::kUntil;
  forms[2].untilDate = EncodeDate(2027, 6, 30);
  forms[3].frequency = Frequency::kDays;
  forms[3].interval = 3;
  forms[4].frequency = Frequency::kWeeks;
  forms[5].frequency = Frequency::kWeeks;
  forms[5].interval = 2;
  forms[5].weekdays = {false, true, false, true, false, false, false};
  forms[5].ending = Ending::kCount;
  forms[5].count = 10;
  forms[6].frequency = Frequency::kMonths;
  forms[6].monthDay = 15;
  forms[7].frequency = Frequency::kMonths;
  forms[7].monthDay = -1;
  forms[8].frequency = Frequency::kMonths;
  forms[8].monthBy = MonthBy::kWeekday;
  forms[8].ordinal = 2;
  forms[8].weekday = 1;
  forms[9].frequency = Frequency::kMonths;
  forms[9].monthBy = MonthBy::kWeekday;
  forms[9].ordinal = -1;
  forms[9].weekday = 4;
  forms[10].frequency = Frequency::kYears;
  forms[11].frequency = Frequency::kCustom;
  forms[11].custom = "FREQ=DAILY;BYHOUR=9,17";
  for (const Choices& form : forms) {
    const std::string rule = RuleFromChoices(form);
    EXPECT_EQ(ChoicesFromRule(rule), form) << rule;
  }
  EXPECT_EQ(RuleFromChoices(forms[0]), "");
  EXPECT_EQ(RuleFromChoices(forms[5]), "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH;COUNT=10");
  EXPECT_EQ(RuleFromChoices(forms[2]), "FREQ=HOURLY;UNTIL=20270630T235959");
  EXPECT_EQ(RuleFromChoices(forms[9]), "FREQ=MONTHLY;BYDAY=-1FR");
  // What the dialog would change on the way back opens as the rule text.
  for (const char* kept :
       {"FREQ=WEEKLY;BYDAY=TU;UNTIL=20270630T000000Z", "FREQ=MONTHLY;BYDAY=2TU,-1FR",
        "FREQ=WEEKLY;INTERVAL=2;WKST=SU", "FREQ=DAILY;BYDAYS=TU"}) {
    const Choices choices = ChoicesFromRule(kept);
    EXPECT_EQ(choices.frequency, Frequency::kCustom) << kept;
    EXPECT_EQ(choices.custom, kept);
  }
}

TEST(RepeatRuleDescribe, PutsTheRuleIntoWords) {
  EXPECT_EQ(Describe("FREQ=WEEKLY;INTERVAL=2;BYDAY=TU;UNTIL=20270630T000000Z"),
            "Repeats every 2 weeks on Tuesday, until 30 June 2027");
  EXPECT_EQ(Describe("FREQ=DAILY"), "Repeats every day");
  EXPECT_EQ(Describe("FREQ=MONTHLY;BYMONTHDAY=-1;COUNT=10"),
            "Repeats on the last day of every month, 10 times");
  EXPECT_EQ(Describe("FREQ=MONTHLY;INTERVAL=3;BYDAY=2TU"),
            "Repeats on the second Tuesday of every 3 months");
  EXPECT_EQ(Describe("FREQ=WEEKLY;BYDAY=MO,WE,FR"),
            "Repeats every week on Monday, Wednesday and Friday");
  EXPECT_EQ(Describe("FREQ=DAILY;BYHOUR=9,17"), "Repeats: FREQ=DAILY;BYHOUR=9,17");
  EXPECT_EQ(Describe("FREQ=DAILY;BYDAYS=TU"), "Repeats: FREQ=DAILY;BYDAYS=TU");
  // An end date no calendar has, as a hand-edited file may hold it.
  EXPECT_EQ(Describe("FREQ=DAILY;UNTIL=20270665T000000Z"),
            "Repeats: FREQ=DAILY;UNTIL=20270665T000000Z");
  EXPECT_EQ(Describe(""), "");
}
