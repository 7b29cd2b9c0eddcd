// Sorting the data rows by one column: the five sort types, the flags, the hidden
// last row, and texts that do not convert.
#include <gtest/gtest.h>

#include "DateTime.h"
#include "GridTestSupport.h"

using namespace QSGrid;

namespace {

class GridSorting : public ::testing::Test {
 protected:
  GridSorting() : grid_(new TQSStringGrid(&parent_)) {
    grid_->SetColCount(3);
    grid_->SetFixedCols(0);
    grid_->SetRowCount(2);
  }
  TQSStringGrid& grid() { return *grid_; }

  // Data rows with the given keys in column 1; column 0 and the objects mark the
  // original row.
  void Rows(const std::vector<std::string>& keys, bool hiddenLast = false) {
    grid().SetRowCount(1 + static_cast<int>(keys.size()) + (hiddenLast ? 1 : 0));
    grid().SetFixedRows(1);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const int r = static_cast<int>(i) + 1;
      grid().SetCells(0, r, "row" + std::to_string(r));
      grid().SetCells(1, r, keys[i]);
      grid().SetObjects(1, r, r * 10);
    }
    if (hiddenLast) {
      grid().HideRow(grid().RowCount() - 1);
    }
  }
  std::vector<std::string> Keys() {
    std::vector<std::string> keys;
    for (int r = 1; r < grid().RowCount(); ++r) {
      if (!grid().IsRowHidden(r)) {
        keys.push_back(grid().GetCells(1, r));
      }
    }
    return keys;
  }

  QWidget parent_;
  TQSStringGrid* grid_;
};

TEST_F(GridSorting, TextIsComparedLowerCasedUnlessCaseIsKept) {
  Rows({"cherry", "Banana", "apple"});
  grid().SortGridByColumn(1, 1, 1);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"apple", "Banana", "cherry"}));
  grid().SortGridByColumn(1, 1, 1 | 8);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"Banana", "apple", "cherry"}));
  grid().SortGridByColumn(1, 1, 0);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"cherry", "Banana", "apple"}));
}

TEST_F(GridSorting, RowsMoveWholeWithTheirObjects) {
  Rows({"b", "a"});
  grid().SortGridByColumn(1, 1, 1);
  EXPECT_EQ(grid().GetCells(0, 1), "row2");
  EXPECT_EQ(grid().GetObjects(1, 1), 20);
  EXPECT_EQ(grid().GetCells(0, 2), "row1");
  EXPECT_EQ(grid().GetObjects(1, 2), 10);
  EXPECT_EQ(grid().RowCount(), 3);
}

TEST_F(GridSorting, IntegersReadNonNumbersAsZero) {
  Rows({"10", "9", "x"});
  grid().SortGridByColumn(1, 2, 1);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"x", "9", "10"}));
  grid().SortGridByColumn(1, 5, 0);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"10", "9", "x"}));
}

TEST_F(GridSorting, TheHiddenLastRowStaysLastAndHidden) {
  Rows({"c", "a", "b"}, true);
  grid().SetCells(1, 4, "placeholder");
  grid().SortGridByColumn(1, 1, 1);
  EXPECT_EQ(grid().RowCount(), 5);
  EXPECT_TRUE(grid().IsRowHidden(4));
  EXPECT_EQ(grid().GetCells(1, 4), "placeholder");
  EXPECT_EQ(Keys(), (std::vector<std::string>{"a", "b", "c"}));
  for (int r = 1; r <= 3; ++r) {
    EXPECT_FALSE(grid().IsRowHidden(r));
  }
}

TEST_F(GridSorting, AHiddenDataRowStaysHidden) {
  Rows({"c", "a", "b"});
  grid().HideRow(1);  // "c"
  grid().SortGridByColumn(1, 1, 1);
  EXPECT_EQ(grid().GetCells(1, 3), "c");
  EXPECT_TRUE(grid().IsRowHidden(3));
  EXPECT_FALSE(grid().IsRowHidden(1));
}

TEST_F(GridSorting, EmptyGridsStayAsTheyWereApartFromTheState) {
  Rows({}, true);
  grid().SortGridByColumn(1, 1, 1);
  EXPECT_EQ(grid().RowCount(), 2);
  EXPECT_TRUE(grid().IsRowHidden(1));
  EXPECT_EQ(grid().GetColumnSortState(1), 1);
  EXPECT_EQ(grid().GetColumnSortState(2), 0);
  grid().SortGridByColumn(2, 1, 1 | 64);  // unknown bits are kept
  EXPECT_EQ(grid().GetColumnSortState(2), 65);
}

TEST_F(GridSorting, DatesSortAsDayCounts) {
  Rows({"2023-01-05", "2024-03-01", "2022-12-31"});
  grid().SortGridByColumn(1, 4, 2);  // dates, descending
  EXPECT_EQ(Keys(), (std::vector<std::string>{"2024-03-01", "2023-01-05", "2022-12-31"}));
  Rows({"2023-01-05 10:00:00", "2023-01-05 09:30:00", "2022-12-31 23:59:59"});
  grid().SortGridByColumn(1, 4, 1);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"2022-12-31 23:59:59", "2023-01-05 09:30:00",
                                              "2023-01-05 10:00:00"}));
  Rows({"23:00:00", "01:15:00", "12:00:00"});
  grid().SortGridByColumn(1, 4, 4 | 1);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"01:15:00", "12:00:00", "23:00:00"}));
}

TEST_F(GridSorting, BadNumbersAreReportedOnceAndSortLast) {
  gridtest::MessageBoxRecorder boxes;
  Rows({"2.5", "abc", "-1", "10", "x"});
  grid().SortGridByColumn(1, 3, 1);
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text,
            "Internal Error in [ColSortData operator <] msg: 'abc' is not a valid floating point "
            "value");
  EXPECT_EQ(Keys(), (std::vector<std::string>{"-1", "2.5", "10", "abc", "x"}));
  grid().SortGridByColumn(1, 3, 0);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"10", "2.5", "-1", "abc", "x"}));
}

TEST_F(GridSorting, BadDatesAreReportedToo) {
  gridtest::MessageBoxRecorder boxes;
  Rows({"2023-01-05", "soon"});
  grid().SortGridByColumn(1, 4, 2 | 1);
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].text,
            "Internal Error in [ColSortData operator <] msg: 'soon' is not a valid date");
  EXPECT_EQ(Keys(), (std::vector<std::string>{"2023-01-05", "soon"}));
}

TEST_F(GridSorting, UnknownTypesLeaveTheOrder) {
  gridtest::MessageBoxRecorder boxes;
  Rows({"b", "c", "a"});
  grid().SortGridByColumn(1, 9, 1);
  EXPECT_EQ(Keys(), (std::vector<std::string>{"b", "c", "a"}));
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(GridSorting, NoCellChangeEventFiresAndCodesAreKept) {
  grid().SetColumnAsComboBox(2, TQSStringGrid::TComboCodeList{{"hi", 7}});
  Rows({"b", "a"});
  grid().SetCells(2, 1, "hi");
  int events = 0;
  grid().OnCellChange = [&](int, int, const std::string&, bool&) { ++events; };
  grid().SortGridByColumn(1, 1, 1);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(grid().GetCells(2, 2), "hi");
  EXPECT_EQ(grid().GetObjects(2, 2), 7);
}

}  // namespace
