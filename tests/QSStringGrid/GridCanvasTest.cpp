// Colours and text measuring as the grid's drawing relies on them.
#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QPalette>

#include "GridCanvas.h"

using namespace QSGrid;

namespace {

TEST(GridColours, PlainColoursAreBlueGreenRedBytes) {
  const QPalette palette;
  EXPECT_EQ(ColorToQColor(0x00FF00, palette), QColor(0, 255, 0));
  EXPECT_EQ(ColorToQColor(0x0000FF, palette), QColor(255, 0, 0));
  EXPECT_EQ(ColorToQColor(0x123456, palette), QColor(0x56, 0x34, 0x12));
  EXPECT_EQ(QColorToColor(QColor(0x56, 0x34, 0x12)), 0x123456u);
}

TEST(GridColours, AnUnknownSystemColourIndexStillGivesAColour) {
  EXPECT_TRUE(ColorToQColor(0x80000000u + 200, QPalette()).isValid());
}

TEST(GridCanvas, MeasuringKeepsTheCornerAndSetsTheExtent) {
  TCanvas canvas;
  const QFontMetrics fm(canvas.Font.Font);
  TRect r{10, 20, 15, 25};
  canvas.DrawText("Item Description", r, DT_CALCRECT);
  EXPECT_EQ(r.Left, 10);
  EXPECT_EQ(r.Top, 20);
  EXPECT_EQ(r.Width(), fm.horizontalAdvance(QStringLiteral("Item Description")));
  EXPECT_EQ(r.Height(), fm.height());
}

TEST(GridCanvas, LineBreaksAddLinesUnlessSingleLine) {
  TCanvas canvas;
  const QFontMetrics fm(canvas.Font.Font);
  TRect multi{0, 0, 0, 0};
  canvas.DrawText("one\ntwo", multi, DT_CALCRECT);
  EXPECT_GE(multi.Height(), 2 * fm.height());
  TRect single{0, 0, 0, 0};
  canvas.DrawText("one\ntwo", single, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(single.Height(), fm.height());
}

TEST(GridCanvas, WordBreakWrapsAtTheRectangleWidth) {
  TCanvas canvas;
  const QFontMetrics fm(canvas.Font.Font);
  const int word = fm.horizontalAdvance(QStringLiteral("wordy"));
  TRect r{0, 0, word + 2, 0};
  canvas.DrawText("wordy wordy wordy", r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_LE(r.Width(), word + 2);
  EXPECT_GE(r.Height(), 3 * fm.height());
}

TEST(GridCanvas, PrefixCharactersAreNotMeasuredUnlessNoPrefix) {
  TCanvas canvas;
  const QFontMetrics fm(canvas.Font.Font);
  TRect prefixed{0, 0, 0, 0};
  canvas.DrawText("Q&A", prefixed, DT_CALCRECT);
  EXPECT_NEAR(prefixed.Width(), fm.horizontalAdvance(QStringLiteral("QA")), 1);
  TRect literal{0, 0, 0, 0};
  canvas.DrawText("Q&A", literal, DT_CALCRECT | DT_NOPREFIX);
  EXPECT_EQ(literal.Width(), fm.horizontalAdvance(QStringLiteral("Q&A")));
}

TEST(GridCanvas, DrawingWithoutAPainterDoesNothingButStillMeasures) {
  TCanvas canvas;
  TRect r{0, 0, 10, 10};
  canvas.FillRect(r);
  canvas.Frame3D(r, clBtnHighlight, clBtnShadow);
  EXPECT_GT(canvas.DrawText("abc", r, 0), 0);
  canvas.DrawText("", r, DT_CALCRECT);
  EXPECT_EQ(r.Width(), 0);
}

TEST(GridCanvas, AHugeTextIsMeasuredOnlyAsFarAsAColumnCouldShowIt) {
  TCanvas canvas;
  // Wider than any column can be either way: the rest is never looked at.
  TRect some{0, 0, 0, 0}, more{0, 0, 0, 0};
  canvas.DrawText(std::string(200'000, 'x'), some, DT_CALCRECT | DT_SINGLELINE);
  canvas.DrawText(std::string(400'000, 'x'), more, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(more.Width(), some.Width());
  EXPECT_GT(some.Width(), 60'000);
}

}  // namespace
