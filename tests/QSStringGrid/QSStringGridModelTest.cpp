// TQSStringGrid's data side: the cell-change pipeline with its veto, precision,
// codes of drop-down columns, titles, rows and columns, search and selection.
#include <gtest/gtest.h>
#include <QLineEdit>
#include <QTest>
#include <random>

#include "GridTestSupport.h"

using namespace QSGrid;

namespace {

class QSStringGridModel : public ::testing::Test {
 protected:
  QSStringGridModel() : grid_(new TQSStringGrid(&parent_)) {
    grid_->SetColCount(4);
    grid_->SetRowCount(4);
    grid_->SetFixedCols(0);
  }
  TQSStringGrid& grid() { return *grid_; }

  QWidget parent_;
  TQSStringGrid* grid_;
};

TEST_F(QSStringGridModel, StartsAsTheConstructorSays) {
  EXPECT_FALSE(grid().AutoSizeRows());
  EXPECT_FALSE(grid().AutoSizeCols());
  EXPECT_FALSE(grid().MaxFlickerFree());
  EXPECT_FALSE(grid().AlwaysDrawHeaders());
  EXPECT_EQ(grid().HeightMargin(), 2);
  EXPECT_EQ(grid().WidthMargin(), 2);
  EXPECT_FALSE(grid().DefaultDrawing());
  EXPECT_TRUE(grid().GetHeaderTitles().empty());
  EXPECT_FALSE(grid().OnCellChange || grid().AfterCellChange || grid().OnBeforeDrawCell ||
               grid().OnSelectCell);
  EXPECT_FALSE(grid().CheckedImage().isNull());
  EXPECT_EQ(grid().CheckedImage().size(), grid().UncheckedImage().size());
  EXPECT_NE(grid().CheckedImage().toImage(), grid().UncheckedImage().toImage());
  Register();
  Register();
  ASSERT_EQ(RegisteredComponents().size(), 1u);
  EXPECT_EQ(RegisteredComponents()[0].Page, "Quorvane Software GUI");
}

TEST_F(QSStringGridModel, AVetoKeepsTheCellAndRaisesTheSilentAbort) {
  std::vector<std::string> after;
  grid().SetCells(1, 1, "old");
  grid().OnCellChange = [](int, int, const std::string& v, bool& allow) { allow = v != "no"; };
  grid().AfterCellChange = [&](int, int, const std::string& v) { after.push_back(v); };
  try {
    grid().SetCells(1, 1, "no");
    FAIL() << "no abort";
  } catch (const Platform::EAbort& e) {
    EXPECT_STREQ(e.what(), "");
  }
  EXPECT_EQ(grid().GetCells(1, 1), "old");
  EXPECT_TRUE(after.empty());
  EXPECT_THROW(grid().SetEditText(1, 1, "no"), Platform::EAbort);
  EXPECT_EQ(grid().GetCells(1, 1), "old");
  grid().SetCells(1, 1, "yes");
  EXPECT_EQ(after, std::vector<std::string>{"yes"});
}

TEST_F(QSStringGridModel, PrecisionFormatsNumbersStoredThroughTheSetter) {
  std::vector<std::string> after;
  grid().AfterCellChange = [&](int, int, const std::string& v) { after.push_back(v); };
  grid().SetColumnPrecision(2, 2);
  grid().SetCells(2, 1, "3");
  EXPECT_EQ(grid().GetCells(2, 1), "3.00");
  grid().SetCells(2, 1, "abc");
  EXPECT_EQ(grid().GetCells(2, 1), "abc");
  grid().SetCells(2, 1, "-1.005e2");
  EXPECT_EQ(grid().GetCells(2, 1), "-100.50");
  // The editor keeps what was typed; the after-change event gets the formatted text.
  grid().SetEditText(2, 2, "3");
  EXPECT_EQ(grid().GetCells(2, 2), "3");
  EXPECT_EQ(after.back(), "3.00");
  // A precision for all columns is reported but formats nothing.
  grid().SetColumnPrecision(TQSStringGrid::ALL_COLUMNS_KEY, 4);
  EXPECT_EQ(grid().GetColPrecision(0), 4);
  EXPECT_EQ(grid().GetColPrecision(2), 2);
  grid().SetCells(0, 1, "3");
  EXPECT_EQ(grid().GetCells(0, 1), "3");
}

TEST_F(QSStringGridModel, ColumnFormatFallsBackToAllColumnsThenZero) {
  EXPECT_EQ(grid().GetColFmt(1), 0u);
  grid().SetColumnFormat(TQSStringGrid::ALL_COLUMNS_KEY, DT_CENTER);
  grid().SetColumnFormat(1, DT_WORDBREAK);
  EXPECT_EQ(grid().GetColFmt(1), DT_WORDBREAK);
  EXPECT_EQ(grid().GetColFmt(3), DT_CENTER);
}

TEST_F(QSStringGridModel, CodeColumnsKeepTheCodeOfTheirTextInTheObject) {
  grid().SetColumnAsComboBox(1, TQSStringGrid::TComboCodeList{{"High", 3}, {"Low", 1}});
  grid().SetCells(1, 1, "High");
  EXPECT_EQ(grid().GetObjects(1, 1), 3);
  grid().SetCells(1, 1, "Unknown");  // a new text joins the map with code 0
  EXPECT_EQ(grid().GetObjects(1, 1), 0);
  grid().SetEditText(1, 2, "Low");
  EXPECT_EQ(grid().GetObjects(1, 2), 1);
  // A row written around the pipeline is put right when read or assigned.
  grid().TStringGrid::SetCells(1, 3, "High");
  EXPECT_EQ(grid().GetObjects(1, 3), 0);
  EXPECT_EQ(grid().GetRows(3).Objects[1], 3);
  TStringGrid::TGridRowStrings row;
  row.Add("a", 7);
  row.Add("Low", 99);
  grid().SetRows(2, row);
  EXPECT_EQ(grid().GetObjects(0, 2), 7);
  EXPECT_EQ(grid().GetObjects(1, 2), 1);
}

TEST_F(QSStringGridModel, TitlesGoThroughThePipelineAndWidenTheGrid) {
  std::vector<std::pair<int, std::string>> changes;
  grid().OnCellChange = [&](int c, int r, const std::string& v, bool&) {
    if (r == 0) {
      changes.emplace_back(c, v);
    }
  };
  std::vector<std::string> titles;
  for (int i = 0; i < 11; ++i) {
    titles.push_back("T" + std::to_string(i));
  }
  grid().SetHeaderTitles(titles);
  EXPECT_EQ(grid().ColCount(), 11);
  EXPECT_EQ(grid().GetCells(10, 0), "T10");
  EXPECT_EQ(changes.size(), 11u);
  grid().SetCells(10, 0, "kept");
  grid().SetHeaderTitles({"A"});  // titles beyond the new list stay as they are
  EXPECT_EQ(grid().GetCells(0, 0), "A");
  EXPECT_EQ(grid().GetCells(10, 0), "kept");
  grid().Loaded();
  EXPECT_EQ(grid().GetCells(0, 0), "A");
}

TEST_F(QSStringGridModel, InsertingChecksTheIndexAndKeepsHiddenRowsHidden) {
  grid().SetCells(0, 2, "two");
  grid().HideRow(3);
  grid().InsertRow(1);
  EXPECT_EQ(grid().RowCount(), 5);
  EXPECT_EQ(grid().GetCells(0, 1), "");
  EXPECT_EQ(grid().RowHeights(1), grid().DefaultRowHeight());
  EXPECT_EQ(grid().GetCells(0, 3), "two");
  EXPECT_TRUE(grid().IsRowHidden(4));
  grid().InsertRow(grid().RowCount());  // appends
  EXPECT_EQ(grid().RowCount(), 6);
  try {
    grid().InsertRow(grid().RowCount() + 1);
    FAIL();
  } catch (const Platform::Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid Row Index: 7");
  }
  EXPECT_THROW(grid().InsertRow(-1), EInvalidGridOperation);
  EXPECT_EQ(grid().RowCount(), 6);
  try {
    grid().InsertColumn(9);
    FAIL();
  } catch (const Platform::Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid Col Index: 9");
  }
  grid().SetCells(1, 1, "b");
  grid().InsertColumn(1);
  EXPECT_EQ(grid().ColCount(), 5);
  EXPECT_EQ(grid().GetCells(2, 1), "b");
}

TEST_F(QSStringGridModel, HidingIsExactlyMinusOne) {
  grid().SetRowHeights(1, 0);
  EXPECT_FALSE(grid().IsRowHidden(1));
  EXPECT_TRUE(grid().SelectCell(0, 1));
  EXPECT_EQ(grid().VisibleRowCount(), 4);
  grid().SetRowHeights(2, 40);
  grid().UnHideRow(2);  // never hidden: takes the default height
  EXPECT_EQ(grid().RowHeights(2), grid().DefaultRowHeight());
  grid().HideRow(3);
  EXPECT_EQ(grid().GetVisibleRowCount(), 3);
  EXPECT_EQ(grid().VisibleRowCount(), 3);
  grid().HideCol(1);
  EXPECT_TRUE(grid().IsColHidden(1));
  grid().UnHideCol(1);
  EXPECT_EQ(grid().ColWidths(1), grid().DefaultColWidth());
  // The event table's empty state: a header and one hidden placeholder.
  grid().SetRowCount(2);
  grid().HideRow(1);
  EXPECT_EQ(grid().VisibleRowCount(), 1);
}

TEST_F(QSStringGridModel, SelectionRefusesReadOnlyAndHiddenUnlessTheHandlerSaysOtherwise) {
  grid().SetColumnReadOnlyFlag(2, true, clGray, -1);
  EXPECT_FALSE(grid().SelectCell(2, 1));
  EXPECT_FALSE(grid().TabStops(2));
  grid().SetRowReadOnlyFlag(3, true, clGray, 0x00FFFF);
  EXPECT_FALSE(grid().SelectCell(0, 3));
  grid().HideRow(1);
  EXPECT_FALSE(grid().SelectCell(0, 1));
  grid().OnSelectCell = [](QObject*, int, int, bool& can) { can = true; };
  EXPECT_TRUE(grid().SelectCell(2, 1));
  grid().OnSelectCell = nullptr;
  grid().SetOptions(grid().Options() | goRowSelect);
  EXPECT_TRUE(grid().SelectCell(2, 2));
  grid().SetColumnReadOnlyFlag(2, false, clGray, -1);
  EXPECT_TRUE(grid().TabStops(2));
  // Only the font tables make a column read-only.
  grid().SetOptions(grid().Options() & ~goRowSelect);
  grid().SetRowReadOnlyFlag(3, false, 0, -1);
  EXPECT_TRUE(grid().SelectCell(2, 3));
}

TEST_F(QSStringGridModel, FindRowsByTextOrObject) {
  grid().SetCells(1, 0, "abc");  // the header is not searched from a negative start
  grid().SetCells(1, 2, "ABC");
  grid().SetObjects(3, 3, 42);
  grid().HideRow(3);
  EXPECT_EQ(grid().FindRow(1, "abc", false, -1), -1);
  EXPECT_EQ(grid().FindRow(1, "abc", true, -1), 2);
  EXPECT_EQ(grid().FindRow(1, "abc", true, 0), 0);
  EXPECT_EQ(grid().FindRow(1, "ABC", false, 3), -1);
  EXPECT_EQ(grid().FindRowByObject(3, 42, -1), 3);  // hidden rows are searched too
  EXPECT_EQ(grid().FindRowByObject(3, 7, -1), -1);
  EXPECT_EQ(grid().FindRow(9, "", false, -1), 1);  // a column beyond the grid reads empty
}

TEST_F(QSStringGridModel, BatchUpdatesPairUpAndSurviveAStrayEnd) {
  grid().EndUpdate();  // nothing to end
  EXPECT_FALSE(grid().IsUpdating());
  grid().BeginUpdate();
  grid().BeginUpdate();
  grid().SetCells(0, 1, "x");
  grid().InsertRow(1);  // rows may come and go meanwhile
  grid().EndUpdate();
  EXPECT_TRUE(grid().IsUpdating());
  grid().EndUpdate();
  EXPECT_FALSE(grid().IsUpdating());
  EXPECT_EQ(grid().GetCells(0, 2), "x");
}

TEST_F(QSStringGridModel, CheckBoxColumnsReadTheirTextExactly) {
  grid().SetColumnAsCheckBox(2, "Y", "N");
  EXPECT_FALSE(grid().GetColumnCheckedState(1, 1));
  grid().SetCells(2, 1, "y");
  EXPECT_FALSE(grid().GetColumnCheckedState(2, 1));
  grid().SetColumnCheckedState(2, 1, true);
  EXPECT_EQ(grid().GetCells(2, 1), "Y");
  EXPECT_TRUE(grid().GetColumnCheckedState(2, 1));
  grid().SetColumnCheckedState(2, 1, false);
  EXPECT_EQ(grid().GetCells(2, 1), "N");
  grid().SetColumnCheckedState(1, 1, true);  // not a check-box column
  EXPECT_EQ(grid().GetCells(1, 1), "");
}

TEST_F(QSStringGridModel, TheGridFontFollowsTheWidgetFont) {
  QFont bigger = parent_.font();
  bigger.setPixelSize(23);
  parent_.setFont(bigger);
  EXPECT_EQ(grid().Font().Font.pixelSize(), 23);
  TFont own = grid().Font();
  own.Font.setPixelSize(9);
  own.Color = 0x112233;
  grid().SetFont(own);
  EXPECT_EQ(grid().Font().Font.pixelSize(), 9);
  EXPECT_EQ(grid().Font().Color, 0x112233u);
}

// Any index, good or bad, in any operation: a range error at worst, never a crash.
TEST_F(QSStringGridModel, BadIndexesRaiseAtWorstAndNeverCrash) {
  gridtest::MessageBoxRecorder boxes;  // sorts of empty cells report them
  std::mt19937 random(7);
  auto index = [&] { return static_cast<int>(random() % 16) - 4; };
  grid().SetColumnAsComboBox(1, TQSStringGrid::TComboCodeList{{"a", 1}});
  grid().SetColumnAsCheckBox(2, "Y", "N");
  grid().SetColumnPrecision(3, 1);
  for (int i = 0; i < 3000; ++i) {
    const int a = index();
    const int b = index();
    try {
      switch (random() % 17) {
        case 0:
          grid().SetCells(a, b, "1.25");
          break;
        case 1:
          grid().GetRows(a);
          break;
        case 2:
          grid().InsertRow(a);
          break;
        case 3:
          grid().RemoveRow(a);
          break;
        case 4:
          grid().HideRow(a);
          break;
        case 5:
          grid().UnHideCol(a);
          break;
        case 6:
          grid().SelectCell(a, b);
          break;
        case 7:
          grid().ForceRowRepaint(a);
          break;
        case 8:
          grid().ForceColRepaint(a);
          break;
        case 9:
          grid().SortGridByColumn(a, b, index());
          break;
        case 10:
          grid().SetColumnCheckedState(2, a, b > 0);
          break;
        case 11:
          grid().InsertColumn(a);
          break;
        case 12:
          grid().SetRowCount(std::max(1, a + 4));
          break;
        case 13:
          grid().FindRow(a, "1.3", true, b);
          break;
        case 14:
          grid().SetRow(a);
          break;
        case 15:
          grid().SetEditText(a, b, "x");
          break;
        default:
          grid().DeleteColumn(a);
          break;
      }
    } catch (const Platform::Exception&) {
    }
  }
  EXPECT_GE(grid().RowCount(), 1);
  EXPECT_GE(grid().ColCount(), 1);
}

}  // namespace
