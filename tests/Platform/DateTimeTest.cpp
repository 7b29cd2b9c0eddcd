#include "DateTime.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "Exceptions.h"
#include "TempDir.h"
#include "TestDependency.h"

extern char** environ;

namespace Platform {
namespace {

// The format settings are process-wide; every test starts from and restores the defaults.
class DateTimeTest : public ::testing::Test {
 protected:
  void SetUp() override { FormatSettings() = TFormatSettings(); }
  void TearDown() override { FormatSettings() = TFormatSettings(); }
};

std::string ConvertErrorOf(void (*call)(const std::string&), const std::string& text) {
  try {
    call(text);
  } catch (const EConvertError& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST_F(DateTimeTest, EncodeDateGivesTheDayNumbersOfTheToolkit) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1899, 12, 31), 1);
  EXPECT_EQ(EncodeDate(1900, 3, 1), 61);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(2006, 5, 1), 38838);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0, 0), 0.25);
  EXPECT_DOUBLE_EQ(EncodeTime(23, 59, 59, 999), 86399999.0 / 86400000.0);
}

TEST_F(DateTimeTest, LeapYearsFollowTheGregorianRules) {
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_TRUE(IsLeapYear(2004));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2100));
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(1900, 2), 28);
  EXPECT_EQ(DaysInMonth(2006, 4), 30);
  EXPECT_EQ(DaysInMonth(2006, 13), 0);
  EXPECT_EQ(EncodeDate(2004, 3, 1) - EncodeDate(2004, 2, 28), 2);
  EXPECT_EQ(EncodeDate(1900, 3, 1) - EncodeDate(1900, 2, 28), 1);
}

TEST_F(DateTimeTest, EncodeRefusesValuesOutOfRange) {
  TDateTime out = 0;
  EXPECT_FALSE(TryEncodeDate(2005, 2, 29, out));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, out));
  EXPECT_FALSE(TryEncodeDate(10000, 1, 1, out));
  EXPECT_FALSE(TryEncodeDate(2006, 0, 1, out));
  EXPECT_FALSE(TryEncodeDate(2006, 13, 1, out));
  EXPECT_FALSE(TryEncodeDate(2006, 4, 31, out));
  EXPECT_FALSE(TryEncodeDate(2006, 4, 0, out));
  EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, out));
  EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, out));
  EXPECT_FALSE(TryEncodeTime(0, 0, 60, 0, out));
  EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, out));
  EXPECT_FALSE(TryEncodeTime(-1, 0, 0, 0, out));
  EXPECT_THROW(EncodeDate(2006, 2, 30), EConvertError);
  EXPECT_THROW(EncodeTime(25, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeDateTime(2006, 1, 1, 0, 0, 0, -1), EConvertError);
}

// Every day of years 1 to 9999 decodes to the day after the one before it.
TEST_F(DateTimeTest, DecodeWalksTheWholeCalendarWithoutGaps) {
  int year = 0, month = 0, day = 0;
  DecodeDate(-693593, year, month, day);
  ASSERT_EQ(year * 10000 + month * 100 + day, 10101);
  for (int serial = -693592; serial <= 2958465; ++serial) {
    int y = 0, m = 0, d = 0;
    DecodeDate(serial, y, m, d);
    const bool nextDay = y == year && m == month && d == day + 1;
    const bool nextMonth = y == year && m == month + 1 && d == 1 && day == DaysInMonth(year, month);
    const bool nextYear = y == year + 1 && m == 1 && d == 1 && month == 12 && day == 31;
    ASSERT_TRUE(nextDay || nextMonth || nextYear) << "serial " << serial;
    year = y;
    month = m;
    day = d;
  }
  EXPECT_EQ(year * 10000 + month * 100 + day, 99991231);
}

TEST_F(DateTimeTest, DatesBeforeTheOriginCountTheTimeForwardFromTheDayStart) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 6, 0, 0, 0), 0.25);
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(-1.25, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s, ms}),
            std::vector<int>({1899, 12, 29, 6, 0, 0, 0}));
  DecodeDateTime(-0.75, y, mo, d, h, mi, s, ms);  // day 0, 18:00
  EXPECT_EQ(std::vector<int>({y, mo, d, h}), std::vector<int>({1899, 12, 30, 18}));
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", EncodeDateTime(1800, 7, 4, 13, 14, 15, 0)),
            "1800-07-04 13:14:15");
}

TEST_F(DateTimeTest, DecodeRoundsToMillisecondsAndCarriesIntoTheNextDay) {
  const TDateTime day = EncodeDate(2006, 5, 1);
  int y, mo, d, h, mi, s, ms;
  DecodeDateTime(day + 86399.9996 / 86400, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s, ms}), std::vector<int>({2006, 5, 2, 0, 0, 0, 0}));
  DecodeDateTime(day + 86399.9994 / 86400, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s, ms}),
            std::vector<int>({2006, 5, 1, 23, 59, 59, 999}));
  // Before the origin the carry moves to the day before, one further from zero.
  DecodeDateTime(-1 - 86399.9996 / 86400, y, mo, d, h, mi, s, ms);
  EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s}), std::vector<int>({1899, 12, 28, 0, 0, 0}));
  // An exact half millisecond rounds to the even neighbour.
  for (const double half : {2.5, 3.5}) {
    ASSERT_EQ(half / MSecsPerDay * MSecsPerDay, half);
    DecodeTime(half / MSecsPerDay, h, mi, s, ms);
    EXPECT_EQ(ms, half == 2.5 ? 2 : 4);
  }
  // A sum of a day and a time that is a hair short of the second still shows that second.
  EXPECT_EQ(FormatDateTime("hh:nn:ss", day + EncodeTime(10, 0, 0, 0) - 1e-10), "10:00:00");
}

TEST_F(DateTimeTest, ValuesThatAreNoDateDecodeToZerosWithoutFailing) {
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(),
                        -1e300,
                        1e300,
                        1e9,
                        -1e7};
  for (const double value : bad) {
    int y = 1, mo = 1, d = 1;
    DecodeDate(value, y, mo, d);
    EXPECT_EQ(y + mo + d, 0) << value;
    EXPECT_NO_THROW(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz dddd mmmm am/pm", value));
  }
}

TEST_F(DateTimeTest, NowAndNowUTCReadTheSystemClock) {
  const TDateTime utc = NowUTC();
  const TDateTime local = Now();
  const double fromEpoch = static_cast<double>(std::time(nullptr)) / 86400.0 + 25569.0;
  EXPECT_NEAR(utc, fromEpoch, 5.0 / 86400);
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  EXPECT_NEAR(local - utc, static_cast<double>(tm.tm_gmtoff) / 86400.0, 5.0 / 86400);
}

TEST_F(DateTimeTest, FormatsTheProgramsFixedForms) {
  const TDateTime dt = EncodeDateTime(2006, 5, 1, 9, 5, 7, 42);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", dt), "2006-05-01");
  EXPECT_EQ(FormatDateTime("hh:nn:ss", dt), "09:05:07");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", dt), "2006-05-01 09:05:07");
  EXPECT_EQ(FormatDateTime("hh:nn:ss am/pm", dt), "09:05:07 am");
  EXPECT_EQ(FormatDateTime("YYYY-MM-DD HH:NN:SS", dt), "2006-05-01 09:05:07");
  EXPECT_EQ(FormatDateTime("yy/m/d h:n:s.zzz", dt), "06-5-1 9:5:7.042");
  EXPECT_EQ(FormatDateTime("ddd dddd mmm mmmm", dt), "Mon Monday May May");
  EXPECT_EQ(DateTimeToStr(dt), "2006-05-01 09:05:07");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2006, 5, 1)), "2006-05-01");
  EXPECT_EQ(FormatDateTime("", dt), "2006-05-01 09:05:07");
}

TEST_F(DateTimeTest, TwelveHourClockShowsMidnightAndNoonAsTwelve) {
  const TDateTime day = EncodeDate(2006, 5, 1);
  const auto at = [&](int h, int m) { return day + EncodeTime(h, m, 0, 0); };
  EXPECT_EQ(FormatDateTime("hh:nn:ss am/pm", at(0, 5)), "12:05:00 am");
  EXPECT_EQ(FormatDateTime("hh:nn:ss am/pm", at(11, 59)), "11:59:00 am");
  EXPECT_EQ(FormatDateTime("hh:nn:ss am/pm", at(12, 0)), "12:00:00 pm");
  EXPECT_EQ(FormatDateTime("hh:nn:ss am/pm", at(13, 30)), "01:30:00 pm");
  EXPECT_EQ(FormatDateTime("hh:nn:ss AM/PM", at(23, 0)), "11:00:00 PM");
  EXPECT_EQ(FormatDateTime("h:nn Am/Pm", at(15, 0)), "3:00 Pm");
  EXPECT_EQ(FormatDateTime("h a/p", at(15, 0)), "3 p");
  EXPECT_EQ(FormatDateTime("h ampm", at(9, 0)), "9 AM");
  // A marker inside quotes is only text, and the hour stays on 24 hours.
  EXPECT_EQ(FormatDateTime("hh 'am/pm'", at(15, 0)), "15 am/pm");
  // Only a marker before the next hour token makes an hour 12-hour.
  EXPECT_EQ(FormatDateTime("hh hh am/pm", at(15, 0)), "15 03 pm");
}

TEST_F(DateTimeTest, FormatLettersFollowTheToolkitsRules) {
  const TDateTime dt = EncodeDateTime(2006, 5, 1, 9, 7, 3, 0);
  EXPECT_EQ(FormatDateTime("hh:mm", dt), "09:07");  // m after an hour is minutes
  EXPECT_EQ(FormatDateTime("mm hh", dt), "05 09");  // otherwise the month
  EXPECT_EQ(FormatDateTime("'yyyy' \"hh\" x", dt), "yyyy hh x");
  EXPECT_EQ(FormatDateTime("'unclosed", dt), "unclosed");
  FormatSettings().DateSeparator = '.';
  FormatSettings().TimeSeparator = 'h';
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd hh:nn", dt), "2006.05.01 09h07");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", dt), "2006-05-01");
}

TEST_F(DateTimeTest, DayNamesAndTheShortFormsSpellOut) {
  const TDateTime dt = EncodeDateTime(2006, 5, 1, 9, 7, 3, 42);
  EXPECT_EQ(FormatDateTime("aaa aaaa AAA", dt), "Mon Monday Mon");
  EXPECT_EQ(FormatDateTime("ddddd|t|zzzz", dt), "2006-05-01|09:07:03|042");
  EXPECT_EQ(FormatDateTime("c", dt), "2006-05-01 09:07:03");
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2006, 5, 1)), "2006-05-01");  // midnight: no time
  // Any other letter between an hour and "m" makes it the month again.
  EXPECT_EQ(FormatDateTime("hh x mm", dt), "09 x 05");
}

TEST_F(DateTimeTest, NestedFormatsCannotRecurseForever) {
  FormatSettings().ShortDateFormat = "ddddd c";
  FormatSettings().ShortTimeFormat = "t";
  EXPECT_NO_THROW(FormatDateTime("c", EncodeDateTime(2006, 5, 1, 9, 0, 0, 0)));
  EXPECT_NO_THROW(DateTimeToStr(1.5));
}

TEST_F(DateTimeTest, StrToDateTimeReadsTheFixedForms) {
  EXPECT_DOUBLE_EQ(StrToDateTime("2006-05-01 09:05:07"), EncodeDateTime(2006, 5, 1, 9, 5, 7, 0));
  EXPECT_DOUBLE_EQ(StrToDateTime("  2006-5-1   9:05  "), EncodeDateTime(2006, 5, 1, 9, 5, 0, 0));
  EXPECT_DOUBLE_EQ(StrToDateTime("2006-05-01"), EncodeDate(2006, 5, 1));
  EXPECT_DOUBLE_EQ(StrToDateTime("23:59:59"), EncodeTime(23, 59, 59, 0));
  EXPECT_DOUBLE_EQ(StrToDateTime("1899-12-29 06:00"), -1.25);
  FormatSettings().DateSeparator = '/';
  EXPECT_DOUBLE_EQ(StrToDateTime("2006/05/01 10:00"), EncodeDateTime(2006, 5, 1, 10, 0, 0, 0));
}

TEST_F(DateTimeTest, FormattedDateTimesReadBackExactlyToTheSecond) {
  for (TDateTime dt = -693593.0; dt < 2958466.0; dt += 997.123456789) {
    const std::string text = FormatDateTime("yyyy-mm-dd hh:nn:ss", dt);
    const TDateTime back = StrToDateTime(text);
    ASSERT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", back), text);
    ASSERT_NEAR(back, dt, 1.0 / 86400) << text;
  }
}

TEST_F(DateTimeTest, StrToDateTimeRefusesInvalidTextWithTheToolkitsMessage) {
  const char* bad[] = {"",
                       "   ",
                       "2006-13-01",
                       "2006-02-29",
                       "2006-04-31",
                       "0000-01-01",
                       "2006-05-01 24:00:00",
                       "2006-05-01 10:60",
                       "10:00:60",
                       "2006-05-01x",
                       "2006-05-01 10",
                       "06-05-01",
                       "2006-05-01T10:00:00",
                       "10:00:00 2006-05-01",
                       "20060-01-01",
                       "-2006-01-01",
                       "2006-05-01 10:00:00.5"};
  for (const char* text : bad) {
    TDateTime out = 7;
    EXPECT_FALSE(TryStrToDateTime(text, out)) << text;
    EXPECT_EQ(out, 7) << text;
  }
  EXPECT_EQ(ConvertErrorOf([](const std::string& t) { StrToDateTime(t); }, "2006-13-01 %s"),
            "'2006-13-01 %s' is not a valid date and time");
}

TEST_F(DateTimeTest, StrToFloatUsesTheDecimalSeparatorOfTheSettings) {
  EXPECT_DOUBLE_EQ(StrToFloat("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloat("  -2.5e3 "), -2500);
  EXPECT_DOUBLE_EQ(StrToFloat("+.5"), 0.5);
  EXPECT_DOUBLE_EQ(StrToFloat("5."), 5);
  EXPECT_DOUBLE_EQ(StrToFloat("1E-2"), 0.01);
  EXPECT_EQ(StrToFloat("1e-400"), 0);
  EXPECT_EQ(StrToFloat("0.0000000000000000000001e-400"), 0);
  double out = 0;
  for (const char* text : {"", " ", "-", ".", "e5", "1e", "1e+", "1,5", "1.5x", "1 5", "abc", "nan",
                           "inf", "1e400", "100000e305", "0x10", "--1", "1.2.3"}) {
    EXPECT_FALSE(TryStrToFloat(text, out)) << text;
  }
  EXPECT_FALSE(TryStrToFloat("1" + std::string(400, '0') + "e-5", out));  // 1E395
  FormatSettings().DecimalSeparator = ',';
  EXPECT_DOUBLE_EQ(StrToFloat("-1,25"), -1.25);
  EXPECT_DOUBLE_EQ(StrToFloat("2,5E1"), 25);
  EXPECT_FALSE(TryStrToFloat("1.5", out));
  EXPECT_EQ(ConvertErrorOf([](const std::string& t) { StrToFloat(t); }, "1.5"),
            "'1.5' is not a valid floating point value");
}

TEST_F(DateTimeTest, StrToIntReadsDecimalAndHexadecimal32BitIntegers) {
  EXPECT_EQ(StrToInt("42"), 42);
  EXPECT_EQ(StrToInt("  -7"), -7);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("007"), 7);
  EXPECT_EQ(StrToInt("$FF"), 255);
  EXPECT_EQ(StrToInt("0x1f"), 31);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);  // a hexadecimal text is a 32-bit pattern
  std::int32_t out = 5;
  for (const char* text :
       {"", " ", "-", "+", "$", "0x", "2147483648", "-2147483649", "99999999999999999999",
        "18446744073709551617", "$100000000", "12 ", "1.0", "1e3", "$-1", "0x+1", "- 1", "12a"}) {
    EXPECT_FALSE(TryStrToInt(text, out)) << text;
  }
  EXPECT_EQ(out, 5);
  EXPECT_EQ(ConvertErrorOf([](const std::string& t) { StrToInt(t); }, "12 "),
            "'12 ' is not a valid integer value");
}

TEST_F(DateTimeTest, FloatToStrWritesTheGeneralFormWithFifteenDigits) {
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(-2.5), "-2.5");
  EXPECT_EQ(FloatToStr(100), "100");
  EXPECT_EQ(FloatToStr(1e20), "1E20");
  EXPECT_EQ(FloatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(FloatToStr(-1.5e-7), "-1.5E-7");
  EXPECT_EQ(FloatToStr(0.0001), "0.0001");
  EXPECT_EQ(FloatToStr(1e-5), "1E-5");
  EXPECT_EQ(FloatToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatToStr(123456789012345.0), "123456789012345");
  EXPECT_EQ(FloatToStr(1e15), "1E15");
  EXPECT_EQ(FloatToStr(999999999999999.9), "1E15");  // rounding reaches the next power
  EXPECT_EQ(FloatToStr(12.5e300), "1.25E301");
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::quiet_NaN()), "NAN");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity()), "-INF");
  FormatSettings().DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(-5.5), "-5,5");
  EXPECT_EQ(FloatToStr(2.5e-9), "2,5E-9");
  EXPECT_DOUBLE_EQ(StrToFloat(FloatToStr(3.25)), 3.25);
}

// Builds a German locale into a temporary folder, so the test does not depend on the
// locales installed on the machine.
bool BuildGermanLocale(const std::string& folder) {
  std::string target = folder + "/de_DE";
  const char* argv[] = {"localedef", "-i", "de_DE", "-f", "ISO-8859-1", target.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "localedef", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(DateTimeTest, LocaleDecimalSeparatorComesFromTheEnvironmentOnly) {
  testsupport::TempDir dir;
  REQUIRE_TEST_DEPENDENCY(BuildGermanLocale(dir.Path()),
                          "localedef cannot build de_DE here (Debian package locales)");
  const std::string processLocale = std::setlocale(LC_NUMERIC, nullptr);
  const char* oldLocPath = std::getenv("LOCPATH");
  const char* oldAll = std::getenv("LC_ALL");
  const std::string savedLocPath = oldLocPath ? oldLocPath : "";
  const std::string savedAll = oldAll ? oldAll : "";

  setenv("LOCPATH", dir.Path().c_str(), 1);
  setenv("LC_ALL", "de_DE", 1);
  LoadLocaleDecimalSeparator();
  EXPECT_EQ(FormatSettings().DecimalSeparator, ',');
  EXPECT_EQ(std::setlocale(LC_NUMERIC, nullptr), processLocale);

  setenv("LC_ALL", "C", 1);
  LoadLocaleDecimalSeparator();
  EXPECT_EQ(FormatSettings().DecimalSeparator, '.');
  // A locale that does not exist leaves the separator as it was.
  FormatSettings().DecimalSeparator = ';';
  setenv("LC_ALL", "xx_NOWHERE", 1);
  LoadLocaleDecimalSeparator();
  EXPECT_EQ(FormatSettings().DecimalSeparator, ';');

  if (oldLocPath != nullptr) {
    setenv("LOCPATH", savedLocPath.c_str(), 1);
  } else {
    unsetenv("LOCPATH");
  }
  if (oldAll != nullptr) {
    setenv("LC_ALL", savedAll.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

}  // namespace
}  // namespace Platform
