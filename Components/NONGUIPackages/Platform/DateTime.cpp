#include "DateTime.h"

#include <langinfo.h>
#include <locale.h>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <string>
#include <system_error>

#include "Exceptions.h"

namespace Platform {

namespace {

constexpr std::int64_t kMSecsPerDay = 86400000;
// Day number of 1899-12-30 counted from 1970-01-01, the origin of the civil-date helpers.
constexpr std::int64_t kEpochOffset = 25569;
// Day numbers of 0001-01-01 and of the day after 9999-12-31.
constexpr double kMinDay = -693593.0;
constexpr double kEndDay = 2958466.0;
// Largest magnitude whose millisecond count still fits an int64 comfortably.
constexpr double kMaxDecodable = 1e11;

// Howard Hinnant's civil-date algorithms, exact for the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

// Rounds half to even, as the toolkit's conversion to whole milliseconds does.
double RoundHalfEven(double x) {
  if (std::fabs(x - std::trunc(x)) == 0.5)
    return 2.0 * std::round(x / 2.0);
  return std::round(x);
}

// A date-time split into its day (the integer part) and the milliseconds of the day
// (from the absolute value of the fraction). A rounding up to a whole day moves to the
// next day.
struct Stamp {
  bool valid = false;
  std::int64_t day = 0;
  std::int64_t msec = 0;
};

Stamp ToStamp(TDateTime dt) {
  Stamp s;
  if (!std::isfinite(dt) || std::fabs(dt) > kMaxDecodable)
    return s;
  const auto total = static_cast<std::int64_t>(RoundHalfEven(dt * MSecsPerDay));
  s.valid = true;
  s.day = total / kMSecsPerDay;
  s.msec = (total < 0 ? -total : total) % kMSecsPerDay;
  return s;
}

bool DateInRange(const Stamp& s) {
  return s.valid && static_cast<double>(s.day) >= kMinDay && static_cast<double>(s.day) < kEndDay;
}

// 1 = Sunday ... 7 = Saturday; 0001-01-01 was a Monday.
int DayOfWeek(const Stamp& s) {
  const std::int64_t serial = s.day + 693594;
  return static_cast<int>(((serial % 7) + 7) % 7) + 1;
}

const char* const kShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
const char* const kShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Compares the text at `pos` with `word` without regard to ASCII case.
bool StartsWithNoCase(const std::string& text, std::size_t pos, const char* word) {
  for (std::size_t i = 0; word[i] != '\0'; ++i) {
    if (pos + i >= text.size() || Upper(text[pos + i]) != Upper(word[i]))
      return false;
  }
  return true;
}

// An am/pm marker after the hour (before the next hour, outside quotes) makes it 12-hour.
bool AmPmFollows(const std::string& format, std::size_t from) {
  bool quoted = false;
  for (std::size_t p = from; p < format.size(); ++p) {
    const char ch = format[p];
    if ((ch == 'a' || ch == 'A') && !quoted) {
      return StartsWithNoCase(format, p, "AM/PM") || StartsWithNoCase(format, p, "A/P") ||
             StartsWithNoCase(format, p, "AMPM");
    }
    if (ch == 'h' || ch == 'H')
      return false;
    if (ch == '\'' || ch == '"')
      quoted = !quoted;
  }
  return false;
}

// Builds the text of one FormatDateTime call; nested formats (the "c", "t" and
// "ddddd" tokens) go one level deep only, so a format that names itself cannot loop.
class DateTimeFormatter {
 public:
  DateTimeFormatter(TDateTime dt, const TFormatSettings& settings)
      : stamp_(ToStamp(dt)), settings_(settings) {}

  void Append(const std::string& format, int level);
  std::string Take() { return std::move(out_); }

 private:
  // Where one Append is in its format: the token at hand spans [start, end).
  struct Walk {
    const std::string& format;
    int level;
    std::size_t start = 0;
    std::size_t end = 0;
    bool use12Hour = false;
    int Count() const { return static_cast<int>(end - start); }
  };
  using Handler = void (DateTimeFormatter::*)(Walk&);
  // How a token's text is found in a format.
  enum class Match {
    Letter,  // its letter in either case, repeats of the same character making it longer
    Word,    // the whole text in any case
    Exact,   // the character as written
  };
  struct Token {
    const char* text;
    Match match;
    Handler handler;
  };
  static const Token kTokens[];

  void GetDate();
  void GetTime();
  void AppendNumber(int value, int digits);
  void AppendDayName(const char* const names[]);

  void Year(Walk& walk);
  void Month(Walk& walk);
  void Day(Walk& walk);
  void Hour(Walk& walk);
  void Minute(Walk& walk);
  void Second(Walk& walk);
  void Millisecond(Walk& walk);
  void ShortTime(Walk& walk);
  void DateAndTime(Walk& walk);
  void AmPm(Walk& walk);
  void AP(Walk& walk);
  void LocaleAmPm(Walk& walk);
  void LongDayName(Walk& walk);
  void ShortDayName(Walk& walk);
  void DateSeparator(Walk& walk);
  void TimeSeparator(Walk& walk);
  void Quoted(Walk& walk);

  Stamp stamp_;
  const TFormatSettings& settings_;
  std::string out_;
  bool dateDecoded_ = false;
  bool timeDecoded_ = false;
  int year_ = 0, month_ = 0, day_ = 0;
  int hour_ = 0, min_ = 0, sec_ = 0, msec_ = 0;
};

// Tried in this order; the longer markers come before the shorter ones they begin with.
// A character no token takes is copied as it is.
const DateTimeFormatter::Token DateTimeFormatter::kTokens[] = {
    {"Y", Match::Letter, &DateTimeFormatter::Year},
    {"M", Match::Letter, &DateTimeFormatter::Month},
    {"D", Match::Letter, &DateTimeFormatter::Day},
    {"H", Match::Letter, &DateTimeFormatter::Hour},
    {"N", Match::Letter, &DateTimeFormatter::Minute},
    {"S", Match::Letter, &DateTimeFormatter::Second},
    {"Z", Match::Letter, &DateTimeFormatter::Millisecond},
    {"T", Match::Letter, &DateTimeFormatter::ShortTime},
    {"C", Match::Letter, &DateTimeFormatter::DateAndTime},
    {"AM/PM", Match::Word, &DateTimeFormatter::AmPm},
    {"A/P", Match::Word, &DateTimeFormatter::AP},
    {"AMPM", Match::Word, &DateTimeFormatter::LocaleAmPm},
    {"AAAA", Match::Word, &DateTimeFormatter::LongDayName},
    {"AAA", Match::Word, &DateTimeFormatter::ShortDayName},
    {"/", Match::Exact, &DateTimeFormatter::DateSeparator},
    {":", Match::Exact, &DateTimeFormatter::TimeSeparator},
    {"'", Match::Exact, &DateTimeFormatter::Quoted},
    {"\"", Match::Exact, &DateTimeFormatter::Quoted},
};

void DateTimeFormatter::GetDate() {
  if (dateDecoded_)
    return;
  dateDecoded_ = true;
  if (DateInRange(stamp_))
    CivilFromDays(stamp_.day - kEpochOffset, year_, month_, day_);
}

void DateTimeFormatter::GetTime() {
  if (timeDecoded_)
    return;
  timeDecoded_ = true;
  if (!stamp_.valid)
    return;
  auto ms = static_cast<int>(stamp_.msec);
  hour_ = ms / 3600000;
  min_ = ms / 60000 % 60;
  sec_ = ms / 1000 % 60;
  msec_ = ms % 1000;
}

void DateTimeFormatter::AppendNumber(int value, int digits) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  const auto length = static_cast<int>(result.ptr - buffer);
  if (length < digits)
    out_.append(static_cast<std::size_t>(digits - length), '0');
  out_.append(buffer, result.ptr);
}

void DateTimeFormatter::AppendDayName(const char* const names[]) {
  if (DateInRange(stamp_))
    out_ += names[DayOfWeek(stamp_) - 1];
}

void DateTimeFormatter::Append(const std::string& format, int level) {
  if (level >= 2)
    return;
  Walk walk{format, level};
  char lastLetter = ' ';
  while (walk.start < format.size()) {
    const char starter = format[walk.start];
    char letter = Upper(starter);
    if (letter >= 'A' && letter <= 'Z') {
      // An "m" right after an hour is the minutes.
      if (letter == 'M' && lastLetter == 'H')
        letter = 'N';
      lastLetter = letter;
    }
    const Token* found = nullptr;
    for (const Token& token : kTokens) {
      const bool matches = token.match == Match::Letter ? letter == token.text[0]
                           : token.match == Match::Word
                               ? StartsWithNoCase(format, walk.start, token.text)
                               : starter == token.text[0];
      if (matches) {
        found = &token;
        break;
      }
    }
    walk.end = walk.start + 1;
    if (found == nullptr) {
      out_ += starter;
    } else {
      if (found->match == Match::Letter) {
        // Repeats of the same character (exact case) make one token of that length.
        while (walk.end < format.size() && format[walk.end] == starter)
          ++walk.end;
      } else if (found->match == Match::Word) {
        walk.end = walk.start + std::char_traits<char>::length(found->text);
      }
      (this->*found->handler)(walk);
    }
    walk.start = walk.end;
  }
}

void DateTimeFormatter::Year(Walk& walk) {
  GetDate();
  if (walk.Count() <= 2) {
    AppendNumber(year_ % 100, 2);
  } else {
    AppendNumber(year_, 4);
  }
}

void DateTimeFormatter::Month(Walk& walk) {
  const int c = walk.Count();
  GetDate();
  if (c <= 2) {
    AppendNumber(month_, c);
  } else if (month_ >= 1) {
    out_ += (c == 3 ? kShortMonthNames : kLongMonthNames)[month_ - 1];
  }
}

void DateTimeFormatter::Day(Walk& walk) {
  const int c = walk.Count();
  if (c <= 2) {
    GetDate();
    AppendNumber(day_, c);
  } else if (c <= 4) {
    AppendDayName(c == 3 ? kShortDayNames : kLongDayNames);
  } else {
    Append(settings_.ShortDateFormat, walk.level + 1);
  }
}

void DateTimeFormatter::Hour(Walk& walk) {
  GetTime();
  if (AmPmFollows(walk.format, walk.end))
    walk.use12Hour = true;
  int h = hour_;
  if (walk.use12Hour) {
    if (h == 0) {
      h = 12;
    } else if (h > 12) {
      h -= 12;
    }
  }
  AppendNumber(h, std::min(walk.Count(), 2));
}

void DateTimeFormatter::Minute(Walk& walk) {
  GetTime();
  AppendNumber(min_, std::min(walk.Count(), 2));
}

void DateTimeFormatter::Second(Walk& walk) {
  GetTime();
  AppendNumber(sec_, std::min(walk.Count(), 2));
}

void DateTimeFormatter::Millisecond(Walk& walk) {
  GetTime();
  AppendNumber(msec_, std::min(walk.Count(), 3));
}

void DateTimeFormatter::ShortTime(Walk& walk) {
  Append(settings_.ShortTimeFormat, walk.level + 1);
}

// The short date, and the short time after it unless the time is midnight.
void DateTimeFormatter::DateAndTime(Walk& walk) {
  Append(settings_.ShortDateFormat, walk.level + 1);
  GetTime();
  if (hour_ != 0 || min_ != 0 || sec_ != 0) {
    out_ += ' ';
    Append(settings_.ShortTimeFormat, walk.level + 1);
  }
}

// The marker keeps the letter case it was written in.
void DateTimeFormatter::AmPm(Walk& walk) {
  GetTime();
  out_.append(walk.format, hour_ >= 12 ? walk.start + 3 : walk.start, 2);
  walk.use12Hour = true;
}

void DateTimeFormatter::AP(Walk& walk) {
  GetTime();
  out_ += walk.format[hour_ >= 12 ? walk.start + 2 : walk.start];
  walk.use12Hour = true;
}

void DateTimeFormatter::LocaleAmPm(Walk& walk) {
  GetTime();
  out_ += hour_ < 12 ? "AM" : "PM";
  walk.use12Hour = true;
}

void DateTimeFormatter::LongDayName(Walk&) {
  AppendDayName(kLongDayNames);
}

void DateTimeFormatter::ShortDayName(Walk&) {
  AppendDayName(kShortDayNames);
}

void DateTimeFormatter::DateSeparator(Walk&) {
  if (settings_.DateSeparator != '\0')
    out_ += settings_.DateSeparator;
}

void DateTimeFormatter::TimeSeparator(Walk&) {
  if (settings_.TimeSeparator != '\0')
    out_ += settings_.TimeSeparator;
}

// Text between a quote and the next of the same kind is copied; an unclosed quote runs
// to the end of the format.
void DateTimeFormatter::Quoted(Walk& walk) {
  const std::size_t close = walk.format.find(walk.format[walk.start], walk.end);
  const std::size_t stop = close == std::string::npos ? walk.format.size() : close;
  out_.append(walk.format, walk.end, stop - walk.end);
  walk.end = close == std::string::npos ? walk.format.size() : close + 1;
}

// A small cursor over a text for the fixed date and time forms.
class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && text_[pos_] == ' ')
      ++pos_;
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  bool Peek(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  bool Take(char c) {
    if (!Peek(c))
      return false;
    ++pos_;
    return true;
  }
  // Reads between minDigits and maxDigits decimal digits, no more.
  bool Number(int minDigits, int maxDigits, int& value) {
    int digits = 0;
    value = 0;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) {
      if (++digits > maxDigits)
        return false;
      value = value * 10 + (text_[pos_++] - '0');
    }
    return digits >= minDigits;
  }
  std::size_t Position() const { return pos_; }
  void Reset(std::size_t pos) { pos_ = pos; }

 private:
  const std::string& text_;
  std::size_t pos_ = 0;
};

bool ScanDate(Scanner& in, char separator, TDateTime& result) {
  int year = 0, month = 0, day = 0;
  return in.Number(4, 4, year) && in.Take(separator) && in.Number(1, 2, month) &&
         in.Take(separator) && in.Number(1, 2, day) && TryEncodeDate(year, month, day, result);
}

bool ScanTime(Scanner& in, char separator, TDateTime& result) {
  int hour = 0, min = 0, sec = 0;
  if (!in.Number(1, 2, hour) || !in.Take(separator) || !in.Number(1, 2, min))
    return false;
  if (in.Take(separator) && !in.Number(1, 2, sec))
    return false;
  return TryEncodeTime(hour, min, sec, 0, result);
}

}  // namespace

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

void LoadLocaleDecimalSeparator() {
  // A locale object of its own, so the process locale stays "C" for everything else.
  locale_t locale = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr))
    return;
  const char* radix = nl_langinfo_l(RADIXCHAR, locale);
  // Only a one-byte separator fits; a multi-byte one (some scripts have their own) keeps '.'.
  if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') {
    FormatSettings().DecimalSeparator = radix[0];
  }
  freelocale(locale);
}

namespace {

TDateTime FromTm(const std::tm& tm, long nanoseconds) {
  TDateTime result = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, result))
    return 0;
  // A leap second shows as second 60; hold it at 59.
  const int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  if (!TryEncodeTime(tm.tm_hour, tm.tm_min, sec, static_cast<int>(nanoseconds / 1000000), time))
    return result;
  return result >= 0 ? result + time : result - time;
}

}  // namespace

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  if (localtime_r(&ts.tv_sec, &tm) == nullptr)
    return 0;
  return FromTm(tm, ts.tv_nsec);
}

TDateTime NowUTC() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  if (gmtime_r(&ts.tv_sec, &tm) == nullptr)
    return 0;
  return FromTm(tm, ts.tv_nsec);
}

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12)
    return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  result = static_cast<double>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) + kEpochOffset);
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result) {
  if (hour < 0 || hour >= 24 || min < 0 || min >= 60 || sec < 0 || sec >= 60 || msec < 0 ||
      msec >= 1000)
    return false;
  const std::int64_t ms = ((hour * 60LL + min) * 60 + sec) * 1000 + msec;
  result = static_cast<double>(ms) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result = 0;
  if (!TryEncodeDate(year, month, day, result))
    throw EConvertError("Invalid argument to date encode");
  return result;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime result = 0;
  if (!TryEncodeTime(hour, min, sec, msec, result))
    throw EConvertError("Invalid argument to time encode");
  return result;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec) {
  TDateTime date = 0;
  TDateTime time = 0;
  if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, min, sec, msec, time))
    throw EConvertError("Invalid argument to date encode");
  // Before 1899-12-30 the time of day still counts forward from the day's start.
  return date >= 0 ? date + time : date - time;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  const Stamp s = ToStamp(dt);
  year = month = day = 0;
  if (DateInRange(s))
    CivilFromDays(s.day - kEpochOffset, year, month, day);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  const Stamp s = ToStamp(dt);
  const auto ms = static_cast<int>(s.msec);
  hour = ms / 3600000;
  min = ms / 60000 % 60;
  sec = ms / 1000 % 60;
  msec = ms % 1000;
}

void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec) {
  DecodeDate(dt, year, month, day);
  DecodeTime(dt, hour, min, sec, msec);
}

std::string FormatDateTime(const std::string& format, TDateTime dt) {
  DateTimeFormatter formatter(dt, FormatSettings());
  formatter.Append(format.empty() ? std::string("c") : format, 0);
  return formatter.Take();
}

std::string DateTimeToStr(TDateTime dt) {
  return FormatDateTime("c", dt);
}

bool TryStrToDateTime(const std::string& text, TDateTime& result) {
  const TFormatSettings& settings = FormatSettings();
  Scanner in(text);
  in.SkipBlanks();
  const std::size_t start = in.Position();
  TDateTime date = 0;
  TDateTime time = 0;
  bool haveDate = ScanDate(in, settings.DateSeparator, date);
  if (haveDate) {
    in.SkipBlanks();
    if (!in.AtEnd() && !ScanTime(in, settings.TimeSeparator, time))
      return false;
  } else {
    in.Reset(start);
    if (!ScanTime(in, settings.TimeSeparator, time))
      return false;
  }
  in.SkipBlanks();
  if (!in.AtEnd())
    return false;
  result = date >= 0 ? date + time : date - time;
  return true;
}

TDateTime StrToDateTime(const std::string& text) {
  TDateTime result = 0;
  if (!TryStrToDateTime(text, result))
    throw EConvertError(Format("'%s' is not a valid date and time", text.c_str()));
  return result;
}

}  // namespace Platform
