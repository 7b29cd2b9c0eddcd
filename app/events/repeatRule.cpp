#include "events/repeatRule.h"

#include <libical/ical.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <set>
#include <vector>

using Platform::TDateTime;

namespace repeat_rule {
namespace {

constexpr std::int64_t kSecsPerDay = 86400;
// Calls to the series' iterator in one step-through. A counted series ends within it
// (COUNT is at most kMaxCount, and the end time itself may come first); a series without
// COUNT that has not passed `after` by then is jumped close to it instead.
constexpr int kMaxSteps = kMaxCount + 2;

// A rule as libical reads it. The reader allocates the RSCALE text; nothing else frees it.
struct ParsedRule {
  icalrecurrencetype r;
  ParsedRule() { icalrecurrencetype_clear(&r); }
  ParsedRule(const ParsedRule&) = delete;
  ParsedRule& operator=(const ParsedRule&) = delete;
  ~ParsedRule() { std::free(r.rscale); }
};

using Iterator = std::unique_ptr<icalrecur_iterator, decltype(&icalrecur_iterator_free)>;

Iterator MakeIterator(const icalrecurrencetype& rule, const icaltimetype& start) {
  return Iterator(icalrecur_iterator_new(rule, start), &icalrecur_iterator_free);
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

struct Part {
  std::string name;  // upper case
  std::string value;
  std::string text;  // as written
};

std::vector<Part> SplitParts(const std::string& text) {
  std::vector<Part> parts;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t to = text.find(';', from);
    if (to == std::string::npos) {
      to = text.size();
    }
    const std::string part = text.substr(from, to - from);
    if (!part.empty()) {
      const std::size_t eq = part.find('=');
      parts.push_back({Upper(part.substr(0, eq)),
                       eq == std::string::npos ? std::string() : part.substr(eq + 1), part});
    }
    from = to + 1;
  }
  return parts;
}

// Which part of a rule libical cannot read, as a reason.
std::string UnreadablePart(const std::string& text) {
  const std::vector<Part> parts = SplitParts(text);
  std::set<std::string> names;
  for (const Part& part : parts) {
    // Each part alone, beside a FREQ so that libical reads it as a rule.
    ParsedRule probe;
    icalerror_clear_errno();
    probe.r = icalrecurrencetype_from_string(
        (part.name == "FREQ" ? part.text : "FREQ=YEARLY;" + part.text).c_str());
    if (icalerrno != ICAL_NO_ERROR || probe.r.freq == ICAL_NO_RECURRENCE) {
      return "cannot read \"" + part.text + "\"";
    }
    if (!names.insert(part.name).second) {
      return part.name + " is given twice";
    }
  }
  if (names.count("UNTIL") && names.count("COUNT")) {
    return "UNTIL and COUNT cannot go together";
  }
  return "cannot read the rule";
}

int Length(const short* values, int size) {
  int n = 0;
  while (n < size && values[n] != ICAL_RECURRENCE_ARRAY_MAX) {
    ++n;
  }
  return n;
}

// libical keeps INTERVAL in a short and COUNT in an int, and a larger number written in
// the text wraps around silently: the number written must be the number read.
std::string NumbersKept(const std::vector<Part>& parts, const icalrecurrencetype& r) {
  for (const Part& part : parts) {
    long long value = 0;
    const char* last = part.value.data() + part.value.size();
    const auto [end, error] = std::from_chars(part.value.data(), last, value);
    const bool number = error == std::errc() && end == last;
    if (part.name == "INTERVAL" && (!number || value != r.interval)) {
      return "INTERVAL " + part.value + " is too large";
    }
    if (part.name == "COUNT" && (!number || value != r.count || value > kMaxCount)) {
      return "COUNT above " + std::to_string(kMaxCount) + " is not run";
    }
  }
  return {};
}

// Reads a rule and refuses those the program does not run, without running it.
std::string ReadRule(const std::string& text, ParsedRule& parsed) {
  // libical reports through its error number, which must never end the program.
  static const bool nonFatal = (icalerror_set_errors_are_fatal(0), true);
  (void)nonFatal;
  if (text.empty()) {
    return "the rule is empty";
  }
  icalerror_clear_errno();
  parsed.r = icalrecurrencetype_from_string(text.c_str());
  if (icalerrno != ICAL_NO_ERROR) {
    return UnreadablePart(text);
  }
  const icalrecurrencetype& r = parsed.r;
  if (r.freq == ICAL_NO_RECURRENCE) {
    return "the rule has no FREQ";
  }
  if (std::string reason = NumbersKept(SplitParts(text), r); !reason.empty()) {
    return reason;
  }
  if (r.rscale != nullptr) {
    return "RSCALE is not run: the program counts in the Gregorian calendar";
  }
  if (r.freq == ICAL_SECONDLY_RECURRENCE || Length(r.by_second, ICAL_BY_SECOND_SIZE) > 1) {
    return "the rule repeats more often than once a minute";
  }
  for (int i = 0; i < Length(r.by_day, ICAL_BY_DAY_SIZE); ++i) {
    if (icalrecurrencetype_day_position(r.by_day[i]) != 0 && r.freq != ICAL_MONTHLY_RECURRENCE &&
        r.freq != ICAL_YEARLY_RECURRENCE) {
      return "a numbered BYDAY needs FREQ=MONTHLY or FREQ=YEARLY";
    }
    // libical takes seconds to find that no month has a sixth Monday.
    if (r.freq == ICAL_MONTHLY_RECURRENCE &&
        std::abs(icalrecurrencetype_day_position(r.by_day[i])) > 5) {
      return "a month has no more than five of a weekday";
    }
  }
  // libical walks such a rule minute by minute through the days it leaves out: a year
  // of minutes for one occurrence.
  if (r.freq == ICAL_MINUTELY_RECURRENCE && (Length(r.by_month, ICAL_BY_MONTH_SIZE) > 0 ||
                                             Length(r.by_month_day, ICAL_BY_MONTHDAY_SIZE) > 0 ||
                                             Length(r.by_year_day, ICAL_BY_YEARDAY_SIZE) > 0 ||
                                             Length(r.by_week_no, ICAL_BY_WEEKNO_SIZE) > 0)) {
    return "FREQ=MINUTELY on chosen days or months takes too long to work out";
  }
  return {};
}

// Wall-clock date-times as whole seconds since the day TDateTime counts from: exact
// integers to compare and step with, free of the double's rounding.
std::int64_t Seconds(const icaltimetype& t) {
  TDateTime day = 0;
  if (!Platform::TryEncodeDate(t.year, t.month, t.day, day)) {
    return 0;
  }
  const std::int64_t secs = t.is_date ? 0 : t.hour * 3600 + t.minute * 60 + t.second;
  return std::llround(day) * kSecsPerDay + secs;
}

icaltimetype FromSeconds(std::int64_t secs) {
  std::int64_t days = secs / kSecsPerDay, rest = secs % kSecsPerDay;
  if (rest < 0) {
    rest += kSecsPerDay;
    --days;
  }
  icaltimetype t = icaltime_null_time();  // floating: no zone
  Platform::DecodeDate(static_cast<TDateTime>(days), t.year, t.month, t.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

// A date-time in seconds, or nothing outside the years libical can count in.
std::optional<std::int64_t> ToSeconds(TDateTime value, bool roundDown) {
  constexpr TDateTime kFirst = -657434.0, kLast = 2958466.0;  // 0100-01-01 .. 10000-01-01
  if (!std::isfinite(value) || value < kFirst || value >= kLast) {
    return std::nullopt;
  }
  const double secs = value * static_cast<double>(kSecsPerDay);
  // A time read from text may sit a hair below its second.
  return roundDown ? static_cast<std::int64_t>(std::floor(secs + 1e-4)) : std::llround(secs);
}

TDateTime ToDateTime(const icaltimetype& t) {
  return Platform::EncodeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, 0);
}

// The last wall-clock second the series may reach, if its UNTIL sets one.
std::optional<std::int64_t> UntilSeconds(const icalrecurrencetype& r, double zoneOffsetHours) {
  if (icaltime_is_null_time(r.until)) {
    return std::nullopt;
  }
  std::int64_t secs = Seconds(r.until);
  if (r.until.is_date) {
    secs += kSecsPerDay - 1;
  } else if (icaltime_is_utc(r.until)) {
    secs += std::llround(zoneOffsetHours * 3600.0);
  }
  return secs;
}

struct Span {
  std::int64_t end, after;
  std::optional<std::int64_t> until;
};

// A long span of a series without COUNT: restart the iteration close to `after`.
// libical's own restart moves the grid of MINUTELY and HOURLY intervals, so for those the
// series restarts at the last period of the end time's grid that begins before `after`.
std::optional<icaltimetype> JumpedNext(const icalrecurrencetype& series, const Span& span) {
  Iterator it(nullptr, &icalrecur_iterator_free);
  if (series.freq == ICAL_MINUTELY_RECURRENCE || series.freq == ICAL_HOURLY_RECURRENCE) {
    const std::int64_t period =
        (series.freq == ICAL_MINUTELY_RECURRENCE ? 60 : 3600) * std::max<short>(series.interval, 1);
    it = MakeIterator(series, FromSeconds(span.end + (span.after - span.end) / period * period));
  } else {
    it = MakeIterator(series, FromSeconds(span.end));
    if (it && !icalrecur_iterator_set_start(it.get(), FromSeconds(span.after))) {
      return std::nullopt;
    }
  }
  if (!it) {
    return std::nullopt;
  }
  for (int calls = 0; calls < kMaxSteps; ++calls) {
    const icaltimetype t = icalrecur_iterator_next(it.get());
    if (icaltime_is_null_time(t)) {
      return std::nullopt;
    }
    const std::int64_t secs = Seconds(t);
    if (span.until && secs > *span.until) {
      return std::nullopt;
    }
    if (secs > span.after) {
      return t;
    }
  }
  return std::nullopt;  // more occurrences in one period than a pass may step through
}

// How far ahead of the moment asked about an occurrence is looked for. libical walks
// through every period of the rule's frequency up to the next occurrence, and a rule
// whose parts never meet (some it cannot run, such as FREQ=DAILY;BYMONTHDAY=-1) is walked
// to the last year it counts in, seconds or minutes of work at a fine frequency. An
// UNTIL at the horizon ends that walk; a series whose next occurrence lies beyond it
// counts as ended. The horizons leave room for an hourly or daily rule on 29 February.
std::int64_t SearchHorizon(const icalrecurrencetype& r) {
  constexpr std::int64_t kDay = kSecsPerDay, kYear = 366 * kDay;
  std::int64_t base = 100 * kYear, unit = kYear;
  switch (r.freq) {
    case ICAL_MINUTELY_RECURRENCE:  // no day or month parts (ReadRule): a week's cycle
      base = 8 * kDay;
      unit = 60;
      break;
    case ICAL_HOURLY_RECURRENCE:
      base = 9 * kYear;
      unit = 3600;
      break;
    case ICAL_DAILY_RECURRENCE:
      unit = kDay;
      break;
    case ICAL_WEEKLY_RECURRENCE:
      unit = 7 * kDay;
      break;
    case ICAL_MONTHLY_RECURRENCE:
      unit = 31 * kDay;
      break;
    default:
      break;
  }
  return std::max<std::int64_t>(base, 2 * unit * std::max<short>(r.interval, 1));
}

// The rule as the iterator runs it: COUNT and the rule's own UNTIL are applied by Next,
// the UNTIL given here only bounds the search.
icalrecurrencetype Series(const icalrecurrencetype& r, std::int64_t last) {
  // The last second of 9999, beyond which the date-times of the program do not go.
  static const std::int64_t kLast =
      std::llround(Platform::EncodeDate(9999, 12, 31)) * kSecsPerDay + kSecsPerDay - 1;
  icalrecurrencetype series = r;
  series.count = 0;
  series.until = FromSeconds(std::min(last, kLast));
  return series;
}

// Runs a readable rule once from a fixed start: libical refuses some combinations of
// parts only when it runs them, and some give no date at all.
std::string RunOnce(const icalrecurrencetype& r) {
  const std::int64_t start = std::llround(Platform::EncodeDate(2000, 1, 1)) * kSecsPerDay;
  const Iterator it = MakeIterator(Series(r, start + SearchHorizon(r)), FromSeconds(start));
  if (!it) {
    return "the parts of the rule do not go together";
  }
  if (icaltime_is_null_time(icalrecur_iterator_next(it.get()))) {
    return "the rule gives no date";
  }
  return {};
}

void AppendList(std::string& text, const std::vector<std::string>& words) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    text += i == 0 ? "" : i + 1 == words.size() ? " and " : ", ";
    text += words[i];
  }
}

constexpr const char* kDayCodes[7] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
constexpr const char* kDayNames[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                      "Friday", "Saturday", "Sunday"};

// libical numbers weekdays from Sunday = 1; the dialog from Monday = 0.
int WeekdayIndex(short byDay) {
  return (static_cast<int>(icalrecurrencetype_day_day_of_week(byDay)) + 5) % 7;
}

bool MapMonthly(const icalrecurrencetype& r, Choices& c) {
  const int days = Length(r.by_day, ICAL_BY_DAY_SIZE);
  const int monthDays = Length(r.by_month_day, ICAL_BY_MONTHDAY_SIZE);
  if (days == 0 && monthDays == 0) {
    return true;  // the end time's day of the month
  }
  if (days == 0 && monthDays == 1) {
    c.monthDay = r.by_month_day[0];
    return c.monthDay == -1 || (c.monthDay >= 1 && c.monthDay <= 31);
  }
  if (days == 1 && monthDays == 0) {
    c.monthBy = MonthBy::kWeekday;
    c.ordinal = icalrecurrencetype_day_position(r.by_day[0]);
    c.weekday = WeekdayIndex(r.by_day[0]);
    return c.ordinal == -1 || (c.ordinal >= 1 && c.ordinal <= 4);
  }
  return false;
}

// The dialog's choices for a rule, if it is one of the dialog's forms. The UNTIL may be
// in any form: its date is the date shown.
std::optional<Choices> Interpret(const icalrecurrencetype& r) {
  if (r.rscale != nullptr || r.week_start != ICAL_MONDAY_WEEKDAY ||
      Length(r.by_second, ICAL_BY_SECOND_SIZE) || Length(r.by_minute, ICAL_BY_MINUTE_SIZE) ||
      Length(r.by_hour, ICAL_BY_HOUR_SIZE) || Length(r.by_year_day, ICAL_BY_YEARDAY_SIZE) ||
      Length(r.by_week_no, ICAL_BY_WEEKNO_SIZE) || Length(r.by_month, ICAL_BY_MONTH_SIZE) ||
      Length(r.by_set_pos, ICAL_BY_SETPOS_SIZE)) {
    return std::nullopt;
  }
  Choices c;
  c.interval = r.interval;
  const bool anyDay =
      Length(r.by_day, ICAL_BY_DAY_SIZE) > 0 || Length(r.by_month_day, ICAL_BY_MONTHDAY_SIZE) > 0;
  switch (r.freq) {
    case ICAL_MINUTELY_RECURRENCE:
      c.frequency = Frequency::kMinutes;
      break;
    case ICAL_HOURLY_RECURRENCE:
      c.frequency = Frequency::kHours;
      break;
    case ICAL_DAILY_RECURRENCE:
      c.frequency = Frequency::kDays;
      break;
    case ICAL_YEARLY_RECURRENCE:
      c.frequency = Frequency::kYears;
      break;
    case ICAL_WEEKLY_RECURRENCE:
      c.frequency = Frequency::kWeeks;
      if (Length(r.by_month_day, ICAL_BY_MONTHDAY_SIZE) > 0) {
        return std::nullopt;
      }
      for (int i = 0; i < Length(r.by_day, ICAL_BY_DAY_SIZE); ++i) {
        if (icalrecurrencetype_day_position(r.by_day[i]) != 0) {
          return std::nullopt;
        }
        c.weekdays[WeekdayIndex(r.by_day[i])] = true;
      }
      break;
    case ICAL_MONTHLY_RECURRENCE:
      c.frequency = Frequency::kMonths;
      if (!MapMonthly(r, c)) {
        return std::nullopt;
      }
      break;
    default:
      return std::nullopt;
  }
  if (anyDay && c.frequency != Frequency::kWeeks && c.frequency != Frequency::kMonths) {
    return std::nullopt;
  }
  if (r.count > 0) {
    c.ending = Ending::kCount;
    c.count = r.count;
  } else if (!icaltime_is_null_time(r.until)) {
    c.ending = Ending::kUntil;
    // libical keeps an end date such as the 65th of June as written: no words for it.
    if (!Platform::TryEncodeDate(r.until.year, r.until.month, r.until.day, c.untilDate)) {
      return std::nullopt;
    }
  }
  return c;
}

// libical's own writing of a rule, to tell whether two texts are the same rule.
std::string Canonical(icalrecurrencetype& r) {
  char* text = icalrecurrencetype_as_string_r(&r);
  std::string result = text != nullptr ? text : "";
  std::free(text);
  return result;
}

std::string Every(int n, const std::string& unit) {
  return n <= 1 ? "every " + unit : "every " + std::to_string(n) + " " + unit + "s";
}

std::string Words(const Choices& c) {
  static const char* const kOrdinals[] = {"last", "first", "second", "third", "fourth"};
  std::string text = "Repeats ";
  switch (c.frequency) {
    case Frequency::kMinutes:
      text += Every(c.interval, "minute");
      break;
    case Frequency::kHours:
      text += Every(c.interval, "hour");
      break;
    case Frequency::kDays:
      text += Every(c.interval, "day");
      break;
    case Frequency::kYears:
      text += Every(c.interval, "year");
      break;
    case Frequency::kWeeks: {
      text += Every(c.interval, "week");
      std::vector<std::string> days;
      for (int i = 0; i < 7; ++i) {
        if (c.weekdays[i]) {
          days.emplace_back(kDayNames[i]);
        }
      }
      if (!days.empty()) {
        text += " on ";
        AppendList(text, days);
      }
      break;
    }
    default:  // months
      if (c.monthBy == MonthBy::kWeekday) {
        text += "on the " + std::string(kOrdinals[std::max(c.ordinal, 0)]) + " " +
                kDayNames[c.weekday] + " of ";
      } else if (c.monthDay != 0) {
        text += c.monthDay < 0 ? "on the last day of "
                               : "on day " + std::to_string(c.monthDay) + " of ";
      }
      text += Every(c.interval, "month");
  }
  if (c.ending == Ending::kUntil) {
    text += ", until " + Platform::FormatDateTime("d mmmm yyyy", c.untilDate);
  } else if (c.ending == Ending::kCount) {
    text += c.count == 1 ? ", once" : ", " + std::to_string(c.count) + " times";
  }
  return text;
}

}  // namespace

std::string Check(const std::string& rule) {
  ParsedRule parsed;
  if (std::string reason = ReadRule(rule, parsed); !reason.empty()) {
    return reason;
  }
  return RunOnce(parsed.r);
}

std::optional<Occurrence> Next(const std::string& rule, TDateTime end, std::int64_t consumed,
                               TDateTime after, double zoneOffsetHours) {
  ParsedRule parsed;
  const std::optional<std::int64_t> endSecs = ToSeconds(end, false);
  const std::optional<std::int64_t> afterSecs = ToSeconds(after, true);
  if (!ReadRule(rule, parsed).empty() || !RunOnce(parsed.r).empty() || !endSecs || !afterSecs) {
    return std::nullopt;
  }
  consumed = std::max<std::int64_t>(consumed, 0);
  const Span span{*endSecs, *afterSecs, UntilSeconds(parsed.r, zoneOffsetHours)};
  const std::int64_t remaining =
      parsed.r.count > 0 ? parsed.r.count - consumed : std::numeric_limits<std::int64_t>::max();
  // COUNT and UNTIL are applied here: the series restarts at the end time, and an UNTIL
  // in UTC has to be moved into the item's zone first.
  const std::int64_t searched = span.after + SearchHorizon(parsed.r);
  const icalrecurrencetype series =
      Series(parsed.r, span.until ? std::min(*span.until, searched) : searched);

  // The end time is the series' first occurrence, whether or not the rule would give it.
  if (remaining <= 0 || (span.until && span.end > *span.until)) {
    return std::nullopt;
  }
  if (span.end > span.after) {
    return Occurrence{ToDateTime(FromSeconds(span.end)), consumed, 0, true};
  }
  const Iterator it = MakeIterator(series, FromSeconds(span.end));
  if (!it) {
    return std::nullopt;
  }
  std::int64_t steps = 0;
  for (int calls = 0; calls < kMaxSteps; ++calls) {
    const icaltimetype t = icalrecur_iterator_next(it.get());
    if (icaltime_is_null_time(t)) {
      return std::nullopt;
    }
    const std::int64_t secs = Seconds(t);
    if (secs <= span.end) {
      continue;  // the end time itself
    }
    if (++steps >= remaining || (span.until && secs > *span.until)) {
      return std::nullopt;
    }
    if (secs > span.after) {
      return Occurrence{ToDateTime(t), consumed + steps, steps - 1, true};
    }
  }
  if (parsed.r.count > 0) {
    return std::nullopt;
  }
  const std::optional<icaltimetype> jumped = JumpedNext(series, span);
  if (!jumped) {
    return std::nullopt;
  }
  return Occurrence{ToDateTime(*jumped), consumed + steps + 1, steps, false};
}

std::string Describe(const std::string& rule) {
  if (rule.empty()) {
    return {};
  }
  ParsedRule parsed;
  std::optional<Choices> choices;
  if (ReadRule(rule, parsed).empty()) {
    choices = Interpret(parsed.r);
  }
  return choices ? Words(*choices) : "Repeats: " + rule;
}

std::string RuleFromChoices(const Choices& c) {
  static const char* const kFrequencies[] = {"",       "MINUTELY", "HOURLY", "DAILY",
                                             "WEEKLY", "MONTHLY",  "YEARLY"};
  if (c.frequency == Frequency::kNone) {
    return {};
  }
  if (c.frequency == Frequency::kCustom) {
    return c.custom;
  }
  std::string text = "FREQ=" + std::string(kFrequencies[static_cast<int>(c.frequency)]);
  if (c.interval > 1) {
    text += ";INTERVAL=" + std::to_string(c.interval);
  }
  if (c.frequency == Frequency::kWeeks && std::count(c.weekdays.begin(), c.weekdays.end(), true)) {
    std::vector<std::string> codes;
    for (int i = 0; i < 7; ++i) {
      if (c.weekdays[i]) {
        codes.emplace_back(kDayCodes[i]);
      }
    }
    text += ";BYDAY=";
    for (std::size_t i = 0; i < codes.size(); ++i) {
      text += (i ? "," : "") + codes[i];
    }
  }
  if (c.frequency == Frequency::kMonths) {
    if (c.monthBy == MonthBy::kWeekday) {
      text += ";BYDAY=" + std::to_string(c.ordinal) + kDayCodes[std::clamp(c.weekday, 0, 6)];
    } else if (c.monthDay != 0) {
      text += ";BYMONTHDAY=" + std::to_string(c.monthDay);
    }
  }
  if (c.ending == Ending::kUntil) {
    // The end of the chosen day, as a wall-clock time like the end times it bounds.
    text += ";UNTIL=" + Platform::FormatDateTime("yyyymmdd", c.untilDate) + "T235959";
  } else if (c.ending == Ending::kCount) {
    text += ";COUNT=" + std::to_string(c.count);
  }
  return text;
}

Choices ChoicesFromRule(const std::string& rule) {
  Choices custom;
  if (rule.empty()) {
    return custom;
  }
  custom.frequency = Frequency::kCustom;
  custom.custom = rule;
  ParsedRule parsed;
  if (!ReadRule(rule, parsed).empty()) {
    return custom;
  }
  const std::optional<Choices> choices = Interpret(parsed.r);
  if (!choices) {
    return custom;
  }
  // Only a rule that the choices write back unchanged opens as choices: anything the
  // dialog would drop or alter (an UNTIL in UTC, a date-only UNTIL) stays as text.
  ParsedRule rewritten;
  if (!ReadRule(RuleFromChoices(*choices), rewritten).empty() ||
      Canonical(rewritten.r) != Canonical(parsed.r)) {
    return custom;
  }
  return *choices;
}

}  // namespace repeat_rule
