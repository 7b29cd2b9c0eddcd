// Date-times as the program counts them: a double of days since 1899-12-30,
// the fraction being the time of day; and the text conversions built on it.
#pragma once

#include <cstdint>
#include <string>

// The number texts share FormatSettings() with the dates; one include gives both.
#include "NumberText.h"

namespace Platform {

using TDateTime = double;

inline constexpr double HoursPerDay = 24.0;
inline constexpr double MinsPerDay = 24.0 * 60.0;
inline constexpr double SecsPerDay = 24.0 * 60.0 * 60.0;
inline constexpr double MSecsPerDay = SecsPerDay * 1000.0;

// The process-wide number and date formats. Start-up fixes the date and time
// parts; the decimal separator follows the user's locale.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char DateSeparator = '-';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "yyyy-mm-dd";
  std::string ShortTimeFormat = "hh:nn:ss";
};
TFormatSettings& FormatSettings();
// Takes the decimal separator from the user's locale (LC_NUMERIC of the environment).
void LoadLocaleDecimalSeparator();

// Current local and UTC date-time, to the millisecond.
TDateTime Now();
TDateTime NowUTC();

// Composition and decomposition; Encode* raise EConvertError for values out of range.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& result);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
void DecodeDateTime(TDateTime dt, int& year, int& month, int& day, int& hour, int& min, int& sec,
                    int& msec);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Formats with the toolkit's format letters: yyyy yy m mm d dd h hh n nn s ss z zzz,
// "am/pm" and "a/p" (12-hour clock with the marker in the letter case written),
// "/" and ":" as the date and time separators, quoted text copied as it is.
// "m" and "mm" right after an hour are minutes. Also "ddd"/"dddd" and "mmm"/"mmmm"
// (English day and month names), "ddddd" and "t" (the short date and time formats) and
// "c" (as DateTimeToStr); an empty format means "c".
std::string FormatDateTime(const std::string& format, TDateTime dt);
// Date part with ShortDateFormat, a space, time part with ShortTimeFormat; the time part
// is left out at midnight.
std::string DateTimeToStr(TDateTime dt);

// Reads "yyyy-mm-dd hh:nn:ss", "yyyy-mm-dd", "hh:nn:ss" or "hh:nn" (separators from
// FormatSettings, seconds optional, blanks around allowed); raises EConvertError with
// "'%s' is not a valid date and time" otherwise.
TDateTime StrToDateTime(const std::string& text);
bool TryStrToDateTime(const std::string& text, TDateTime& result);

}  // namespace Platform
