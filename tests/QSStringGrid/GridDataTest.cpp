// The plain data model: cells with objects, sizes with -1 as hidden, moves.
#include <gtest/gtest.h>

#include "GridData.h"
#include "GridTypes.h"

using QSGrid::EInvalidGridOperation;
using QSGrid::TGridData;
using QSGrid::TGridRowStrings;

namespace {

TGridData Filled(int cols, int rows) {
  TGridData data(cols, rows, 64, 24);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      data.SetCell(c, r, std::to_string(c) + ":" + std::to_string(r));
      data.SetObject(c, r, r * 100 + c);
    }
  }
  return data;
}

TEST(GridData, NewRowsAndColumnsAreEmptyWithDefaultSizes) {
  TGridData data(2, 2, 50, 18);
  data.SetCell(1, 1, "x");
  data.SetColCount(3);
  data.SetRowCount(4);
  EXPECT_EQ(data.Cell(1, 1), "x");
  EXPECT_EQ(data.Cell(2, 3), "");
  EXPECT_EQ(data.Object(2, 3), 0);
  EXPECT_EQ(data.ColWidth(2), 50);
  EXPECT_EQ(data.RowHeight(3), 18);
}

TEST(GridData, ReadsOutsideAreEmptyWritesOutsideRaise) {
  TGridData data(2, 2, 50, 18);
  EXPECT_EQ(data.Cell(-1, 0), "");
  EXPECT_EQ(data.Cell(5, 5), "");
  EXPECT_EQ(data.Object(2, 0), 0);
  EXPECT_THROW(data.SetCell(2, 0, "x"), EInvalidGridOperation);
  EXPECT_THROW(data.SetObject(0, -1, 1), EInvalidGridOperation);
  EXPECT_THROW(data.SetRowHeight(2, 5), EInvalidGridOperation);
  EXPECT_THROW(data.ColWidth(-1), EInvalidGridOperation);
  try {
    data.MoveRow(0, 7);
    FAIL();
  } catch (const EInvalidGridOperation& e) {
    EXPECT_STREQ(e.what(), "Grid index out of range");
  }
}

TEST(GridData, MovingARowCarriesTextsObjectsAndHeight) {
  TGridData data = Filled(2, 5);
  data.SetRowHeight(4, -1);
  data.MoveRow(4, 1);  // the hidden last row to index 1
  EXPECT_EQ(data.Cell(0, 1), "0:4");
  EXPECT_EQ(data.Object(1, 1), 401);
  EXPECT_EQ(data.RowHeight(1), -1);
  EXPECT_EQ(data.Cell(0, 2), "0:1");
  EXPECT_EQ(data.Cell(0, 4), "0:3");
  data.MoveRow(1, 3);  // and down again
  EXPECT_EQ(data.Cell(0, 3), "0:4");
  EXPECT_EQ(data.Cell(0, 1), "0:1");
  EXPECT_EQ(data.RowHeight(3), -1);
}

TEST(GridData, MovingAColumnCarriesTextsObjectsAndWidth) {
  TGridData data = Filled(4, 2);
  data.SetColWidth(3, 7);
  data.MoveColumn(3, 0);
  EXPECT_EQ(data.Cell(0, 1), "3:1");
  EXPECT_EQ(data.Object(0, 1), 103);
  EXPECT_EQ(data.ColWidth(0), 7);
  EXPECT_EQ(data.Cell(1, 1), "0:1");
}

TEST(GridData, DeletingRemovesTheRowOrColumnWhole) {
  TGridData data = Filled(3, 3);
  data.DeleteRow(1);
  EXPECT_EQ(data.RowCount(), 2);
  EXPECT_EQ(data.Cell(0, 1), "0:2");
  data.DeleteColumn(0);
  EXPECT_EQ(data.ColCount(), 2);
  EXPECT_EQ(data.Cell(0, 1), "1:2");
}

TEST(GridData, AssigningARowGoesIndexForIndexAndKeepsTheRest) {
  TGridData data = Filled(3, 2);
  TGridRowStrings list;
  list.Add("", 0);  // empty texts keep their place
  list.Add("b", 9);
  data.AssignRow(1, list);
  EXPECT_EQ(data.Cell(0, 1), "");
  EXPECT_EQ(data.Cell(1, 1), "b");
  EXPECT_EQ(data.Object(1, 1), 9);
  EXPECT_EQ(data.Cell(2, 1), "2:1");
  data.ClearRow(1);
  EXPECT_EQ(data.Row(1), (TGridRowStrings{{"", "", ""}, {0, 0, 0}}));
}

// A row keeps its texts in one piece: any mix of edits of cells of different lengths must
// leave every cell as a plain list of texts and objects would.
TEST(GridData, CellsOfOneRowStayApartThroughAnyEdit) {
  TGridData data(4, 1, 64, 24);
  TGridRowStrings model{{"", "", "", ""}, {0, 0, 0, 0}};
  std::uint32_t seed = 7;
  const auto next = [&seed](std::uint32_t below) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 8) % below);
  };
  for (int step = 0; step < 2000; ++step) {
    const int cols = data.ColCount();
    const int col = cols > 0 ? next(static_cast<std::uint32_t>(cols)) : 0;
    switch (next(6)) {
      case 0:
      case 1:
        if (cols > 0) {
          const std::string text(static_cast<std::size_t>(next(40)),
                                 static_cast<char>('a' + step % 26));
          data.SetCell(col, 0, text);
          model.Strings[col] = text;
        }
        break;
      case 2:
        if (cols > 0) {
          data.SetObject(col, 0, step % 3 == 0 ? 0 : step);
          model.Objects[col] = step % 3 == 0 ? 0 : step;
        }
        break;
      case 3:
        if (cols > 0) {
          const int to = next(static_cast<std::uint32_t>(cols));
          data.MoveColumn(col, to);
          const TGridRowStrings before = model;
          model.Strings.erase(model.Strings.begin() + col);
          model.Objects.erase(model.Objects.begin() + col);
          model.Strings.insert(model.Strings.begin() + to, before.Strings[col]);
          model.Objects.insert(model.Objects.begin() + to, before.Objects[col]);
        }
        break;
      case 4:
        if (cols > 1) {
          data.DeleteColumn(col);
          model.Strings.erase(model.Strings.begin() + col);
          model.Objects.erase(model.Objects.begin() + col);
        }
        break;
      default: {
        const int count = next(7);
        data.SetColCount(count);
        model.Strings.resize(static_cast<std::size_t>(count));
        model.Objects.resize(static_cast<std::size_t>(count));
      }
    }
    ASSERT_EQ(data.Row(0), model) << "step " << step;
  }
}

TEST(GridData, ANewDefaultSizeResetsEverySize) {
  TGridData data(2, 3, 50, 18);
  data.SetRowHeight(1, -1);
  data.SetDefaultRowHeight(20);
  EXPECT_EQ(data.RowHeight(1), 20);
  data.SetColWidth(0, 3);
  data.SetDefaultColWidth(40);
  EXPECT_EQ(data.ColWidth(0), 40);
}

}  // namespace
