// The clock texts at fixed instants, and the font and colour forms the clocks are stored in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QPalette>
#include <cmath>
#include <cstring>
#include <limits>

#include "DateTime.h"
#include "time/clockDisplay.h"
#include "window/qtConvert.h"

using namespace clocks;
using Platform::EncodeDateTime;

namespace {

FileTime Utc(int hour, int minute, int second) {
  return FileTimeFromDateTime(EncodeDateTime(2026, 12, 9, hour, minute, second, 0));
}

}  // namespace

TEST(ClockTexts, FileTimesCountFrom1601) {
  EXPECT_EQ(FileTimeFromDateTime(EncodeDateTime(1970, 1, 1, 0, 0, 0, 0)), 116444736000000000);
  EXPECT_EQ(FileTimeFromDateTime(EncodeDateTime(1601, 1, 1, 0, 0, 0, 0)), 0);
}

TEST(ClockTexts, TheVirtualClockIn24And12HourForm) {
  EXPECT_EQ(VirtualClockText(Utc(0, 5, 9), 0.0, true, false, ""), "00:05:09");
  EXPECT_EQ(VirtualClockText(Utc(0, 5, 9), 0.0, false, false, ""), "12:05:09 am");
  EXPECT_EQ(VirtualClockText(Utc(12, 30, 0), 0.0, true, false, ""), "12:30:00");
  EXPECT_EQ(VirtualClockText(Utc(12, 30, 0), 0.0, false, false, ""), "12:30:00 pm");
  EXPECT_EQ(VirtualClockText(Utc(13, 0, 0), 0.0, true, false, ""), "13:00:00");
  EXPECT_EQ(VirtualClockText(Utc(13, 0, 0), 0.0, false, false, ""), "01:00:00 pm");
  EXPECT_EQ(VirtualClockText(Utc(11, 59, 59), 0.0, false, true, "Zone"), "11:59:59 am Zone");
}

TEST(ClockTexts, TheVirtualClockAddsTheOffsetToUtc) {
  EXPECT_EQ(VirtualClockText(Utc(3, 0, 0), -5.0, true, true, "America/New_York"),
            "22:00:00 America/New_York")
      << "the previous day's evening";
  EXPECT_EQ(VirtualClockText(Utc(23, 0, 0), 5.5, true, false, ""), "04:30:00");
  EXPECT_EQ(VirtualClockText(Utc(0, 0, 0), -0.5, false, false, ""), "11:30:00 pm");
  // Only the time of day shows, so offsets beyond reason still give a time, never a fault.
  EXPECT_EQ(VirtualClockText(Utc(3, 0, 0), 48.0, true, false, ""), "03:00:00");
  EXPECT_EQ(VirtualClockText(Utc(3, 0, 0), 1e300, true, false, "").size(), 8u);
  EXPECT_EQ(
      VirtualClockText(Utc(3, 0, 0), std::numeric_limits<double>::quiet_NaN(), true, false, ""),
      "03:00:00");
}

TEST(ClockTexts, TheLocalClockFormatsTheLocalTime) {
  const auto at = [](int h, int m, int s) { return EncodeDateTime(2026, 12, 9, h, m, s, 0); };
  EXPECT_EQ(LocalClockText(at(0, 5, 9), true, true, "Etc/UTC"), "00:05:09 Etc/UTC");
  EXPECT_EQ(LocalClockText(at(0, 5, 9), false, false, ""), "12:05:09 am");
  EXPECT_EQ(LocalClockText(at(12, 30, 0), false, false, ""), "12:30:00 pm");
  EXPECT_EQ(LocalClockText(at(13, 0, 0), true, false, ""), "13:00:00");
  EXPECT_EQ(LocalClockText(at(13, 0, 0), false, true, "X"), "01:00:00 pm X");
}

TEST(ClockTexts, TheDifferenceIsWrittenOnlyWhenItChanges) {
  State state;
  EXPECT_EQ(ZoneDifferenceChange(state, 2.0, 2.0), std::nullopt) << "equal zones keep N/A";
  EXPECT_EQ(ZoneDifferenceChange(state, -5.0, 5.5), "-10.50");
  EXPECT_EQ(ZoneDifferenceChange(state, -5.0, 5.5), std::nullopt);
  EXPECT_EQ(ZoneDifferenceChange(state, 5.5, 0.0), "5.50");
  EXPECT_EQ(ZoneDifferenceChange(state, -0.0, 0.0), "0.00");
}

TEST(ClockTexts, ATickWorksOnlyWhenTheSecondChanges) {
  State state;
  const auto at = [](int s, int ms) { return EncodeDateTime(2026, 12, 9, 10, 0, s, ms); };
  EXPECT_FALSE(NextSecond(state, at(0, 100))) << "the last second starts at 0";
  EXPECT_TRUE(NextSecond(state, at(1, 0)));
  EXPECT_FALSE(NextSecond(state, at(1, 250)));
  EXPECT_FALSE(NextSecond(state, at(1, 750)));
  EXPECT_TRUE(NextSecond(state, at(2, 0)));
  EXPECT_EQ(state.lastSecond, 2);
}

// ---- Fonts and colours in their stored form

TEST(StoredFonts, AFontSurvivesItsDescription) {
  QFont font("DejaVu Serif");
  font.setPixelSize(19);
  font.setWeight(QFont::DemiBold);
  font.setItalic(true);
  font.setUnderline(true);
  font.setStrikeOut(true);
  const VIDodadaZadoVove::LOGFONTA description = LogFontFromFont(font);
  EXPECT_EQ(description.lfHeight, -19);
  EXPECT_EQ(description.lfWeight, 600);
  EXPECT_EQ(description.lfItalic, 1);
  EXPECT_EQ(description.lfUnderline, 1);
  EXPECT_EQ(description.lfStrikeOut, 1);
  EXPECT_STREQ(description.lfFaceName, "DejaVu Serif");

  const QFont back = FontFromLogFont(description);
  EXPECT_EQ(back.family(), font.family());
  EXPECT_EQ(back.pixelSize(), 19);
  EXPECT_EQ(back.weight(), QFont::DemiBold);
  EXPECT_TRUE(back.italic() && back.underline() && back.strikeOut());
  EXPECT_EQ(QFontInfo(back).pixelSize(), QFontInfo(font).pixelSize());
}

TEST(StoredFonts, PointSizesAndCellHeightsBecomePixels) {
  QFont points("DejaVu Sans", 12);
  const auto description = LogFontFromFont(points);
  EXPECT_EQ(FontFromLogFont(description).pixelSize(), QFontInfo(points).pixelSize());

  VIDodadaZadoVove::LOGFONTA cell{};
  std::strcpy(cell.lfFaceName, "DejaVu Sans");
  cell.lfHeight = 20;  // the cell, leading included: the characters are smaller
  const QFont fromCell = FontFromLogFont(cell);
  EXPECT_GT(fromCell.pixelSize(), 0);
  EXPECT_LE(fromCell.pixelSize(), 20);
  cell.lfHeight = 0;
  cell.lfWeight = 0;
  EXPECT_EQ(FontFromLogFont(cell).weight(), QFont::Normal) << "0 means any weight";
}

TEST(StoredFonts, LongFaceNamesAreCutAtACharacterBoundary) {
  // 30 ASCII letters and a two-byte letter: 32 bytes, one more than the record holds.
  const QString face = QString(30, QChar('a')) + QChar(0x00E9);
  const auto description = LogFontFromFont(QFont(face));
  EXPECT_EQ(std::strlen(description.lfFaceName), 30u);
  EXPECT_EQ(description.lfFaceName[31], '\0');
}
