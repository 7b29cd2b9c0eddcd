// The base grid: layout with hidden rows, mouse-to-cell mapping, scrolling, the
// click notification, keyboard moves and tab, and the in-place editor.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GridTestSupport.h"

using namespace QSGrid;
using gridtest::GridForm;

namespace {

class StringGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<GridForm>(400, 200);
    grid().SetColCount(4);
    grid().SetRowCount(6);
    grid().SetFixedCols(0);
    grid().SetDefaultRowHeight(18);
    grid().SetDefaultColWidth(60);
    grid().OnClick = [this](QObject*) { ++clicks_; };
    gridtest::Settle();
  }
  TQSStringGrid& grid() { return form_->Grid(); }

  std::unique_ptr<GridForm> form_;
  int clicks_ = 0;
};

TEST_F(StringGridTest, CellsLieSideBySideWithOneLineBetween) {
  EXPECT_EQ(grid().CellRect(0, 0), (TRect{0, 0, 60, 18}));
  EXPECT_EQ(grid().CellRect(1, 1), (TRect{61, 19, 121, 37}));
}

TEST_F(StringGridTest, AHiddenRowTakesNoRoomAndCatchesNoPointer) {
  grid().HideRow(2);
  const TRect below = grid().CellRect(0, 3);
  EXPECT_EQ(below.Top, 2 * 19);
  EXPECT_EQ(grid().MouseCoord(5, below.Top + 3), (TGridCoord{0, 3}));
  EXPECT_EQ(grid().CellRect(0, 2).Height(), 0);
}

TEST_F(StringGridTest, PointsOffTheCellsMapToMinusOneBoth) {
  EXPECT_EQ(grid().MouseCoord(350, 5), (TGridCoord{-1, -1}));  // right of the last column
  EXPECT_EQ(grid().MouseCoord(5, 190), (TGridCoord{-1, -1}));  // below the last row
  EXPECT_EQ(grid().MouseCoord(-3, 5), (TGridCoord{-1, -1}));
  int col = 0;
  int row = 0;
  grid().MouseToCell(70, 25, col, row);
  EXPECT_EQ(col, 1);
  EXPECT_EQ(row, 1);
}

TEST_F(StringGridTest, FixedRowsStayWhileTheRestScrolls) {
  grid().SetRowCount(50);
  int topLeftChanges = 0;
  grid().OnTopLeftChanged = [&](QObject*) { ++topLeftChanges; };
  grid().SetTopRow(10);
  EXPECT_EQ(grid().TopRow(), 10);
  EXPECT_EQ(topLeftChanges, 1);
  EXPECT_EQ(grid().CellRect(0, 0).Top, 0);
  EXPECT_EQ(grid().CellRect(0, 10).Top, 19);
  EXPECT_TRUE(grid().CellRect(0, 5).IsEmpty());
  EXPECT_EQ(grid().MouseCoord(5, 25), (TGridCoord{0, 10}));
}

TEST_F(StringGridTest, ClickFiresOnPressForEditingGridsAndNotOnHeaders) {
  grid().SetOptions(grid().Options() | goEditing);
  gridtest::ClickCell(grid(), 2, 3);
  EXPECT_EQ(grid().Col(), 2);
  EXPECT_EQ(grid().Row(), 3);
  EXPECT_EQ(clicks_, 1);
  gridtest::ClickCell(grid(), 1, 0);  // header
  EXPECT_EQ(clicks_, 1);
  EXPECT_EQ(grid().Row(), 3);
}

TEST_F(StringGridTest, ClickFiresOnReleaseWithoutEditing) {
  const QPoint at = gridtest::CellCentre(grid(), 1, 2);
  QTest::mousePress(grid().viewport(), Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_EQ(clicks_, 0);
  EXPECT_EQ(grid().Row(), 2);
  QTest::mouseRelease(grid().viewport(), Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_EQ(clicks_, 1);
}

TEST_F(StringGridTest, KeyboardMovesFireClickEvenWhenTheCellIsRefused) {
  gridtest::PressKey(&grid(), Qt::Key_Down);
  EXPECT_EQ(grid().Row(), 2);
  EXPECT_EQ(clicks_, 1);
  grid().HideRow(3);
  gridtest::PressKey(&grid(), Qt::Key_Down);  // onto the hidden row: refused
  EXPECT_EQ(grid().Row(), 2);
  EXPECT_EQ(clicks_, 2);
  grid().SetRow(5);
  const int before = clicks_;
  gridtest::PressKey(&grid(), Qt::Key_Down);  // already on the last row: no move, no click
  EXPECT_EQ(clicks_, before);
}

TEST_F(StringGridTest, TabMovesAlongTabStopsAndWrapsToTheNextRow) {
  grid().SetOptions(grid().Options() | goTabs);
  grid().SetTabStops(1, false);
  grid().SetCol(0);
  gridtest::PressKey(&grid(), Qt::Key_Tab);
  EXPECT_EQ(grid().Col(), 2);
  gridtest::PressKey(&grid(), Qt::Key_Tab);
  gridtest::PressKey(&grid(), Qt::Key_Tab);
  EXPECT_EQ(grid().Col(), 0);
  EXPECT_EQ(grid().Row(), 2);
  gridtest::PressKey(&grid(), Qt::Key_Backtab);
  EXPECT_EQ(grid().Col(), 3);
  EXPECT_EQ(grid().Row(), 1);
}

TEST_F(StringGridTest, MovingDownOutOfViewScrolls) {
  grid().SetRowCount(40);
  for (int i = 0; i < 20; ++i) {
    gridtest::PressKey(&grid(), Qt::Key_Down);
  }
  EXPECT_EQ(grid().Row(), 21);
  EXPECT_GT(grid().TopRow(), 1);
  EXPECT_FALSE(grid().CellRect(0, 21).IsEmpty());
}

TEST_F(StringGridTest, TheEditorHandsEveryKeystrokeToTheCell) {
  grid().SetOptions(grid().Options() | goEditing | goAlwaysShowEditor);
  std::vector<std::string> seen;
  grid().OnCellChange = [&](int, int, const std::string& value, bool&) { seen.push_back(value); };
  gridtest::ClickCell(grid(), 1, 2);
  QLineEdit* editor = grid().InplaceEditor();
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(editor->isVisible());
  QTest::keyClicks(editor, "ab");
  EXPECT_EQ(grid().GetCells(1, 2), "ab");
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "ab"}));
  gridtest::PressKey(editor, Qt::Key_Down);  // vertical keys go to the grid
  EXPECT_EQ(grid().Row(), 3);
  EXPECT_EQ(editor->text(), "");
}

TEST_F(StringGridTest, EnterKeepsTheTypingAndEscapePutsBackTheTextTheCellHad) {
  grid().SetOptions(grid().Options() | goEditing | goAlwaysShowEditor);
  grid().SetCells(1, 2, "42");
  std::vector<std::string> seen;
  grid().OnCellChange = [&](int, int, const std::string& value, bool&) { seen.push_back(value); };
  gridtest::ClickCell(grid(), 1, 2);
  QLineEdit* editor = grid().InplaceEditor();
  ASSERT_TRUE(editor != nullptr && editor->hasFocus());
  QTest::keyClicks(editor, "x");  // the text opens selected: a stray key replaces it
  gridtest::PressKey(editor, Qt::Key_Escape);
  EXPECT_EQ(grid().GetCells(1, 2), "42");
  EXPECT_EQ(seen, (std::vector<std::string>{"x", "42"})) << "the change event saw both";
  EXPECT_FALSE(grid().IsEditorShowing());

  gridtest::PressKey(&grid(), Qt::Key_Return);  // opens the editor again
  ASSERT_TRUE(grid().IsEditorShowing());
  QTest::keyClicks(editor, "7");
  ASSERT_TRUE(editor->isModified());
  gridtest::PressKey(editor, Qt::Key_Return);
  EXPECT_EQ(grid().GetCells(1, 2), "7");
  EXPECT_FALSE(grid().IsEditorShowing()) << "Enter ends the typing";
  EXPECT_FALSE(editor->isModified());
  gridtest::PressKey(&grid(), Qt::Key_Return);
  gridtest::PressKey(editor, Qt::Key_Escape);  // nothing typed since: nothing taken back
  EXPECT_EQ(grid().GetCells(1, 2), "7");
}

TEST_F(StringGridTest, CtrlTabLeavesTheGridAndTheMenuKeysOpenItsOwnMenu) {
  grid().SetOptions(grid().Options() | goEditing | goAlwaysShowEditor | goTabs);
  QWidget* form = grid().parentWidget();
  auto* before = new QPushButton("Before", form);  // a button made first comes before the grid
  before->setGeometry(0, 0, 5, 5);
  before->stackUnder(&grid());
  QWidget::setTabOrder(before, &grid());
  auto* after = new QPushButton("After", form);
  QWidget::setTabOrder(&grid(), after);
  before->show();
  after->show();
  grid().setContextMenuPolicy(Qt::CustomContextMenu);
  int menus = 0;
  QObject::connect(&grid(), &QWidget::customContextMenuRequested, [&](const QPoint&) { ++menus; });
  gridtest::ClickCell(grid(), 1, 2);
  ASSERT_TRUE(grid().InplaceEditor()->hasFocus());

  gridtest::PressKey(grid().InplaceEditor(), Qt::Key_F10, Qt::ShiftModifier);
  gridtest::PressKey(grid().InplaceEditor(), Qt::Key_Menu);
  EXPECT_EQ(menus, 2) << "the grid's menu, from its editor too";
  gridtest::PressKey(grid().InplaceEditor(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_TRUE(after->hasFocus());
  EXPECT_EQ(grid().Col(), 1) << "no cell move";
  grid().setFocus();
  gridtest::Settle();
  gridtest::PressKey(QApplication::focusWidget(), Qt::Key_Backtab,
                     Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(before->hasFocus());
  grid().setFocus();
  gridtest::Settle();
  grid().HideEditor();
  gridtest::PressKey(&grid(), Qt::Key_F10, Qt::ShiftModifier);
  gridtest::PressKey(&grid(), Qt::Key_Menu);
  EXPECT_EQ(menus, 4);
}

TEST_F(StringGridTest, TypingOnTheGridOpensTheEditorWithThatCharacter) {
  grid().SetOptions(grid().Options() | goEditing);
  grid().SetCells(0, 1, "old");
  gridtest::PressKey(&grid(), Qt::Key_X);
  EXPECT_EQ(grid().GetCells(0, 1), "x");
}

TEST_F(StringGridTest, DoubleClickingANewCellReachesTheGridThroughTheEditor) {
  grid().SetOptions(grid().Options() | goEditing | goAlwaysShowEditor);
  int doubleClicks = 0;
  grid().OnDblClick = [&](QObject*) { ++doubleClicks; };
  const QPoint at = gridtest::CellCentre(grid(), 2, 2);
  gridtest::RestPointerAt(grid(), at);
  QTest::mouseClick(grid().viewport(), Qt::LeftButton, Qt::NoModifier, at);
  ASSERT_TRUE(grid().IsEditorShowing());
  QTest::mouseClick(grid().InplaceEditor(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
  EXPECT_EQ(doubleClicks, 1);
}

TEST_F(StringGridTest, WideningTheGridBringsBackTheColumnsScrolledOut) {
  grid().resize(130, grid().height());
  gridtest::Settle();
  grid().SetCol(3);  // scrolls the first columns out of view
  ASSERT_GT(grid().LeftCol(), 0);
  grid().resize(390, grid().height());
  gridtest::Settle();
  EXPECT_EQ(grid().LeftCol(), 0) << "with no scroll bar left, nothing may stay scrolled out";
  EXPECT_FALSE(grid().CellRect(0, 1).IsEmpty());
}

TEST_F(StringGridTest, ShrinkingTheGridPullsTheCurrentCellIn) {
  grid().SetRow(5);
  grid().SetRowCount(3);
  EXPECT_EQ(grid().Row(), 2);
  EXPECT_EQ(grid().GetCells(0, 7), "");  // reading outside is harmless
  EXPECT_THROW(grid().SetRow(9), EInvalidGridOperation);
}

}  // namespace
