// The grid's own cell drawing, read back from the painted pixels: fills, the hook
// and its step switches, text placement, check-box images, sizing and grid lines.
#include <gtest/gtest.h>
#include <QFontMetrics>
#include <QPainter>

#include "GridTestSupport.h"

using namespace QSGrid;
using gridtest::GridForm;

namespace {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kGreen = 0x00FF00;
constexpr TColor kYellow = 0x00FFFF;

class GridDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<GridForm>(400, 200);
    TQSStringGrid& g = grid();
    g.SetColCount(4);
    g.SetRowCount(4);
    g.SetFixedCols(0);
    g.SetDefaultRowHeight(20);
    g.SetDefaultColWidth(80);
    g.SetColor(clWhite);
    g.SetOptions(g.Options() | goDrawFocusSelected);
    TFont font = g.Font();
    font.Color = clBlack;
    g.SetFont(font);
    gridtest::Settle();
  }
  TQSStringGrid& grid() { return form_->Grid(); }
  // A pixel well inside the cell, away from where text goes.
  QColor Inside(const QImage& image, int col, int row) {
    const TRect r = grid().CellRect(col, row);
    return image.pixelColor(r.Right - 3, r.Bottom - 3);
  }
  QColor Painted(TColor color) { return gridtest::Painted(grid(), color); }

  std::unique_ptr<GridForm> form_;
};

bool IsDark(const QColor& c) {
  return c.lightness() < 128;
}

TEST_F(GridDrawing, AnOrdinaryCellIsFilledWithTheGridOrReadOnlyColour) {
  grid().SetColor(kRed);
  grid().SetColumnReadOnlyFlag(2, true, clBlack, static_cast<int>(kYellow));
  grid().SetRowReadOnlyFlag(3, true, clBlack, static_cast<int>(kGreen));
  const QImage image = gridtest::Snapshot(grid());
  EXPECT_EQ(Inside(image, 1, 2), Painted(kRed));
  EXPECT_EQ(Inside(image, 2, 2), Painted(kYellow));
  EXPECT_EQ(Inside(image, 2, 3), Painted(kYellow));  // the column's colour comes first
  EXPECT_EQ(Inside(image, 1, 3), Painted(kGreen));
  EXPECT_EQ(Inside(image, 1, 0), Painted(clBtnFace));
  EXPECT_EQ(Inside(image, 0, 1), Painted(clHighlight));  // the current cell
}

// System colours follow the widget's palette as it is when painted, not a fixed table.
TEST_F(GridDrawing, SystemColoursArePaintedFromTheWidgetsPalette) {
  QPalette palette = grid().palette();
  palette.setColor(QPalette::Base, QColor(1, 2, 3));
  palette.setColor(QPalette::Highlight, QColor(7, 8, 9));
  palette.setColor(QPalette::Button, QColor(13, 14, 15));
  grid().setPalette(palette);
  grid().SetColor(clWindow);
  const QImage image = gridtest::Snapshot(grid());
  EXPECT_EQ(Inside(image, 1, 2), QColor(1, 2, 3));
  EXPECT_EQ(Inside(image, 0, 1), QColor(7, 8, 9));     // the current cell
  EXPECT_EQ(Inside(image, 1, 0), QColor(13, 14, 15));  // a fixed cell's face
}

TEST_F(GridDrawing, AFixedCellHasARaisedFrame) {
  const QImage image = gridtest::Snapshot(grid());
  const TRect r = grid().CellRect(1, 0);
  EXPECT_EQ(image.pixelColor(r.Left, r.Top + 5), Painted(clBtnHighlight));
  EXPECT_EQ(image.pixelColor(r.Left + 5, r.Top), Painted(clBtnHighlight));
  EXPECT_EQ(image.pixelColor(r.Right - 1, r.Top + 5), Painted(clBtnShadow));
  EXPECT_EQ(image.pixelColor(r.Left + 5, r.Bottom - 1), Painted(clBtnShadow));
}

TEST_F(GridDrawing, AHookCanLeaveACellUnfilledOrKeepTheFill) {
  grid().SetColor(kRed);
  grid().OnBeforeDrawCell = [](int c, int r, const TRect&, TGridDrawState, std::string&, int& flags,
                               int& vals, TFont&) {
    if (c == 2 && r == 2) {
      flags = 8;  // fill overridden, value clear: no fill
    }
    if (c == 1 && r == 2) {
      flags = 8;
      vals = 8;  // overridden with the value set: same as not overriding
    }
  };
  const QImage image = gridtest::Snapshot(grid());
  EXPECT_NE(Inside(image, 2, 2), Painted(kRed));
  EXPECT_EQ(Inside(image, 1, 2), Painted(kRed));
  EXPECT_EQ(Inside(image, 3, 2), Painted(kRed));
}

TEST_F(GridDrawing, TheEventTableHookPaintsNotifiedRowsGreenButNotTheSelectedCell) {
  grid().SetRow(2);
  grid().OnBeforeDrawCell = [this](int, int r, const TRect&, TGridDrawState, std::string&,
                                   int& flags, int& vals, TFont&) {
    if (r >= grid().FixedRows()) {
      flags = 12;
      vals = 12;
      grid().Canvas().Brush.Color = r == 2 ? kGreen : clWhite;
      grid().Canvas().Font.Color = grid().Font().Color;
    }
  };
  const QImage image = gridtest::Snapshot(grid());
  EXPECT_EQ(Inside(image, 1, 2), Painted(kGreen));
  EXPECT_EQ(Inside(image, 3, 2), Painted(kGreen));
  EXPECT_EQ(Inside(image, 1, 1), Painted(clWhite));
  EXPECT_EQ(Inside(image, 0, 2), Painted(clHighlight));
  EXPECT_EQ(Inside(image, 1, 0), Painted(clBtnFace));
}

TEST_F(GridDrawing, TextIsDrawnTwoPixelsInFromTheCorner) {
  grid().SetCells(1, 2, "W");
  const QImage image = gridtest::Snapshot(grid());
  const TRect r = grid().CellRect(1, 2);
  int left = r.Right;
  int top = r.Bottom;
  for (int y = r.Top; y < r.Bottom; ++y) {
    for (int x = r.Left; x < r.Right; ++x) {
      if (IsDark(image.pixelColor(x, y))) {
        left = std::min(left, x);
        top = std::min(top, y);
      }
    }
  }
  ASSERT_LT(left, r.Right) << "no text drawn";
  EXPECT_GE(left - r.Left, 2);
  EXPECT_LE(left - r.Left, 4);
  EXPECT_GE(top - r.Top, 2);
}

TEST_F(GridDrawing, AHookChangesTheDrawnTextButNotTheCell) {
  grid().SetCells(1, 2, "stored");
  grid().SetAutoSizeCols(true);
  grid().OnBeforeDrawCell = [](int c, int r, const TRect&, TGridDrawState, std::string& text, int&,
                               int&, TFont&) {
    if (c == 1 && r == 2) {
      text = "a much longer text than the column holds";
    }
  };
  gridtest::Snapshot(grid());
  const QFontMetrics fm(grid().Font().Font);
  EXPECT_EQ(grid().GetCells(1, 2), "stored");
  EXPECT_EQ(grid().ColWidths(1),
            fm.horizontalAdvance(QStringLiteral("a much longer text than the column holds")) +
                2 * grid().WidthMargin());
}

TEST_F(GridDrawing, CheckBoxImagesSitCentredAndNoTextUnderThem) {
  grid().SetColumnAsCheckBox(3, "Y", "N");
  grid().SetCells(3, 1, "Y");
  grid().SetCells(3, 2, "N");
  // The image follows the stored text whatever the hook makes of it.
  grid().OnBeforeDrawCell = [](int, int, const TRect&, TGridDrawState, std::string& text, int&,
                               int&, TFont&) { text = "Y"; };
  const QImage image = gridtest::Snapshot(grid());
  auto expectImageAt = [&](int row, const QPixmap& pixmap) {
    const TRect r = grid().CellRect(3, row);
    const int x = r.Left + grid().ColWidths(3) / 2 - pixmap.width() / 2;
    const int y = (r.Bottom + r.Top - pixmap.height()) / 2;
    QImage expected(pixmap.size(), QImage::Format_ARGB32);
    expected.fill(Painted(clWhite));
    QPainter(&expected).drawPixmap(0, 0, pixmap);
    for (int py = 0; py < pixmap.height(); ++py) {
      for (int px = 0; px < pixmap.width(); ++px) {
        ASSERT_EQ(image.pixelColor(x + px, y + py).rgb(), expected.pixelColor(px, py).rgb())
            << "row " << row << " at " << px << "," << py;
      }
    }
    // Left of the image there is only background: no "Y" or "N" written.
    for (int py = r.Top; py < r.Bottom; ++py) {
      for (int px = r.Left; px < x - 1; ++px) {
        ASSERT_EQ(image.pixelColor(px, py), Painted(clWhite));
      }
    }
  };
  expectImageAt(1, grid().CheckedImage());
  expectImageAt(2, grid().UncheckedImage());
}

// A column widens to its longest text plus a margin each side, and never narrows again.
TEST_F(GridDrawing, ColumnsGrowToTheirTextPlusMarginsAndNeverShrink) {
  grid().SetAutoSizeCols(true);
  grid().SetColWidths(1, 40);
  grid().SetColWidths(2, 40);
  grid().SetWidthMargin(0);
  grid().SetCells(1, 2, "some rather long cell text");
  gridtest::Snapshot(grid());
  const int bare = grid().ColWidths(1);
  EXPECT_GT(bare, 40);
  grid().SetWidthMargin(3);
  grid().SetCells(2, 2, "some rather long cell text");
  gridtest::Snapshot(grid());
  EXPECT_EQ(grid().ColWidths(2), bare + 6);
  grid().SetCells(2, 2, "x");
  gridtest::Snapshot(grid());
  EXPECT_EQ(grid().ColWidths(2), bare + 6);
  grid().SetCells(2, 2, "some rather long cell text, and longer");
  gridtest::Snapshot(grid());
  EXPECT_GT(grid().ColWidths(2), bare + 6);
}

TEST_F(GridDrawing, WordBreakColumnsAreNeverWidenedButRowsGrow) {
  grid().SetAutoSizeCols(true);
  grid().SetAutoSizeRows(true);
  grid().SetColumnFormat(2, DT_WORDBREAK);
  grid().SetCells(2, 2, "several words that will not fit on one line of the column");
  grid().SetCells(1, 3, "one\ntwo\nthree");
  gridtest::Snapshot(grid());
  EXPECT_EQ(grid().ColWidths(2), 80);
  EXPECT_GT(grid().RowHeights(2), 20);
  const int lines = QFontMetrics(grid().Font().Font).height();
  EXPECT_GE(grid().RowHeights(3), 3 * lines + 2 * grid().HeightMargin());
}

TEST_F(GridDrawing, DrawingAHiddenRowSwitchesGridLinesOffUntilAVisibleCellIsDrawn) {
  grid().HideRow(3);
  grid().ForceRowRepaint(3);
  EXPECT_FALSE(grid().Options() & goVertLine);
  EXPECT_FALSE(grid().Options() & goHorzLine);
  grid().ForceRowRepaint(1);
  EXPECT_TRUE(grid().Options() & goVertLine);
  EXPECT_TRUE(grid().Options() & goHorzLine);
  // Lines switched off by hand come back too: both kinds were on at construction.
  grid().SetOptions(grid().Options() & ~goHorzLine);
  grid().ForceRowRepaint(2);
  EXPECT_TRUE(grid().Options() & goHorzLine);
}

TEST_F(GridDrawing, ForcedRepaintsDrawEveryCellWithItsState) {
  std::vector<std::pair<int, TGridDrawState>> seen;
  grid().SetCol(2);
  grid().SetRow(1);
  grid().OnBeforeDrawCell = [&](int c, int r, const TRect&, TGridDrawState s, std::string&, int&,
                                int&, TFont&) {
    if (r == 1 || c == 0) {
      seen.emplace_back(c * 10 + r, s);
    }
  };
  grid().ForceRowRepaint(1);
  std::map<int, TGridDrawState> states(seen.begin(), seen.end());
  EXPECT_EQ(states.at(21) & gdSelected, gdSelected);
  EXPECT_EQ(states.at(11), 0u);
  seen.clear();
  grid().ForceColRepaint(0);
  states = std::map<int, TGridDrawState>(seen.begin(), seen.end());
  EXPECT_EQ(states.at(0), gdFixed);
  EXPECT_EQ(states.size(), 4u);
}

TEST_F(GridDrawing, MaxFlickerFreeLeavesOrdinaryCellsButDrawsHeadersWhenAsked) {
  grid().SetCells(1, 0, "Header");
  grid().SetCells(1, 2, "Body");
  gridtest::Snapshot(grid());
  grid().SetMaxFlickerFree(true);
  grid().SetAlwaysDrawHeaders(true);
  grid().SetColor(kRed);
  const QImage image = gridtest::Snapshot(grid());
  EXPECT_NE(Inside(image, 1, 2), Painted(kRed));
  EXPECT_EQ(Inside(image, 1, 0), Painted(clBtnFace));
  const TRect header = grid().CellRect(1, 0);
  bool headerText = false;
  for (int x = header.Left + 2; x < header.Right - 2; ++x) {
    for (int y = header.Top + 2; y < header.Bottom - 2; ++y) {
      headerText = headerText || IsDark(image.pixelColor(x, y));
    }
  }
  EXPECT_TRUE(headerText);
}

TEST_F(GridDrawing, EraseRequestsPaintNothing) {
  TWMEraseBkgnd message;
  grid().WMEraseBkgnd(message);
  EXPECT_EQ(message.Result, 1);
  EXPECT_TRUE(grid().viewport()->testAttribute(Qt::WA_OpaquePaintEvent));
}

}  // namespace
