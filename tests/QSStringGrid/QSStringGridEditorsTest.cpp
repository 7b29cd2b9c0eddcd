// Check-box and drop-down columns driven as a user drives them: clicks, keys and
// the mouse pointer resting over a cell.
#include <gtest/gtest.h>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GridTestSupport.h"

using namespace QSGrid;
using gridtest::GridForm;

namespace {

const std::vector<std::string> kZones{"Asia/Tokyo", "Etc/UTC", "Europe/Berlin"};

// Laid out as the event table is: nine columns, one header row, check boxes in
// columns 5 to 8, the zone list in column 3.
class GridEditors : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<GridForm>(600, 300);
    TQSStringGrid& g = grid();
    g.SetColCount(9);
    g.SetRowCount(5);
    g.SetFixedCols(0);
    g.SetDefaultRowHeight(18);
    g.SetDefaultColWidth(60);
    g.SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goDrawFocusSelected |
                 goRowSizing | goColSizing | goEditing | goAlwaysShowEditor | goTabs |
                 goThumbTracking);
    g.SetHeaderTitles({"Item ID", "Item Description", "Item End Date/Time", "Item Timezone",
                       "Notify mins before end", "Notify via Sound", "Notify via MSM",
                       "Notify via Email", "Notify via Custom App"});
    for (int c = 5; c <= 8; ++c) {
      g.SetColumnAsCheckBox(c, "Y", "N");
    }
    g.SetColumnAsComboBox(3, kZones);
    gridtest::Settle();
  }
  void TearDown() override { form_.reset(); }
  TQSStringGrid& grid() { return form_->Grid(); }
  void PointerAway() { QCursor::setPos(form_->Form().mapToGlobal(QPoint(-50, -50))); }

  std::unique_ptr<GridForm> form_;
};

TEST_F(GridEditors, AClickTogglesTheCheckBoxUnderThePointer) {
  gridtest::ClickCell(grid(), 5, 1);
  EXPECT_EQ(grid().GetCells(5, 1), "Y");  // empty reads unchecked
  EXPECT_FALSE(grid().IsEditorShowing());
  gridtest::ClickCell(grid(), 5, 1);
  EXPECT_EQ(grid().GetCells(5, 1), "N");
  grid().SetCells(6, 2, "y");  // not the checked text
  gridtest::ClickCell(grid(), 6, 2);
  EXPECT_EQ(grid().GetCells(6, 2), "Y");
}

TEST_F(GridEditors, AVetoedToggleLeavesTheCellAsItWas) {
  grid().SetCells(5, 1, "N");
  grid().OnCellChange = [](int c, int, const std::string&, bool& allow) { allow = c != 5; };
  gridtest::ClickCell(grid(), 5, 1);
  EXPECT_EQ(grid().GetCells(5, 1), "N");
}

TEST_F(GridEditors, AKeyboardMoveTogglesTheCellUnderThePointerNotTheCurrentOne) {
  grid().SetCol(0);
  grid().SetRow(1);
  gridtest::RestPointerAt(grid(), gridtest::CellCentre(grid(), 6, 3));
  gridtest::PressKey(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(grid().Row(), 2);
  EXPECT_EQ(grid().GetCells(6, 3), "Y");
  EXPECT_EQ(grid().GetCells(6, 2), "");
}

TEST_F(GridEditors, AHeaderUnderThePointerIsNeverToggled) {
  grid().SetCol(0);
  grid().SetRow(1);
  gridtest::RestPointerAt(grid(), gridtest::CellCentre(grid(), 5, 0));
  gridtest::PressKey(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_EQ(grid().GetCells(5, 0), "Notify via Sound");
}

TEST_F(GridEditors, ClickingAZoneCellOpensItsListOverTheCell) {
  grid().SetCells(3, 1, "etc/utc");
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->parentWidget(), &form_->Form());
  EXPECT_EQ(box->property("Tag").toInt(), 3);
  EXPECT_EQ(box->currentText(), "Etc/UTC");  // the list's search ignores case
  EXPECT_EQ(box->count(), 3);
  const TRect r = grid().CellRect(3, 1);
  const QPoint origin = grid().viewport()->mapTo(&form_->Form(), QPoint(0, 0));
  EXPECT_EQ(box->geometry(),
            QRect(origin.x() + r.Left + 1, origin.y() + r.Top + 1, r.Width(), r.Height() + 1));
}

TEST_F(GridEditors, TheCurrentCellAndTheDropDownCellsShowThemselves) {
  // The editor over the current cell is framed in the selection colour, empty or not.
  grid().SetCol(1);
  grid().SetRow(1);
  gridtest::Settle();
  ASSERT_TRUE(grid().IsEditorShowing());
  QLineEdit* editor = grid().InplaceEditor();
  const QImage framed = editor->grab().toImage();
  EXPECT_EQ(framed.pixelColor(0, framed.height() / 2),
            editor->palette().color(QPalette::Highlight));

  // A drop-down cell draws an arrow at its right edge where a text cell draws nothing.
  const QImage image = gridtest::Snapshot(grid());
  const auto darkAtRightEdge = [&](int col) {
    const TRect r = grid().CellRect(col, 2);
    int dark = 0;
    for (int x = r.Right - 16; x < r.Right; ++x) {
      for (int y = r.Top; y < r.Bottom; ++y) {
        dark += image.pixelColor(x, y).lightness() < 128 ? 1 : 0;
      }
    }
    return dark;
  };
  EXPECT_GT(darkAtRightEdge(3), 0);
  EXPECT_EQ(darkAtRightEdge(4), 0);

  // The open list is as wide as its longest entry, though the column is narrower.
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  const int longest = box->view()->fontMetrics().horizontalAdvance("Europe/Berlin");
  ASSERT_LT(grid().ColWidths(3), longest);
  EXPECT_GE(box->view()->width(), longest);
}

TEST_F(GridEditors, AnUnknownTextOpensWithNoItemAndSurvivesLeavingTheBox) {
  grid().SetCells(3, 1, "Mars/Base");
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->currentIndex(), -1);
  box->hidePopup();
  gridtest::ClickCell(grid(), 0, 2);  // leave it
  EXPECT_FALSE(box->isVisible());
  EXPECT_EQ(grid().GetCells(3, 1), "Mars/Base");
}

TEST_F(GridEditors, AChosenItemGoesToTheCurrentRowWithObjectZero) {
  grid().SetObjects(3, 2, 77);
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  PointerAway();
  grid().SetRow(2);  // the current row moves while the box is open
  ASSERT_TRUE(box->isVisible());
  box->setCurrentIndex(2);
  emit box->activated(2);
  gridtest::Settle();
  EXPECT_EQ(grid().GetCells(3, 2), "Europe/Berlin");
  EXPECT_EQ(grid().GetObjects(3, 2), 0);
  EXPECT_EQ(grid().GetCells(3, 1), "");
  EXPECT_FALSE(box->isVisible());
}

TEST_F(GridEditors, AChoiceInACodeColumnStoresTheCode) {
  grid().SetColumnAsComboBox(4, TQSStringGrid::TComboCodeList{{"ten", 10}, {"five", 5}});
  gridtest::ClickCell(grid(), 4, 1);
  QComboBox* box = grid().ComboBoxOf(4);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->itemText(0), "five");  // the map's order
  box->setCurrentIndex(1);
  emit box->activated(1);
  EXPECT_EQ(grid().GetCells(4, 1), "ten");
  EXPECT_EQ(grid().GetObjects(4, 1), 10);
}

TEST_F(GridEditors, EnterInTheOpenListCommits) {
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(box->view()->isVisible());
  QTest::keyClick(box->view(), Qt::Key_Down);
  QTest::keyClick(box->view(), Qt::Key_Return);
  gridtest::Settle();
  EXPECT_FALSE(box->isVisible());
  EXPECT_NE(grid().GetCells(3, 1), "");
}

TEST_F(GridEditors, TypingInTheBoxCommitsAtOnce) {
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  box->hidePopup();
  QTest::keyClicks(box->lineEdit(), "E");
  EXPECT_EQ(grid().GetCells(3, 1), "E");
  EXPECT_FALSE(box->isVisible());
}

TEST_F(GridEditors, TabInTheOpenListMovesToTheNextCell) {
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(box->view()->isVisible());
  // The pointer still rests over the zone cell: the move's click opens nothing new.
  QTest::keyClick(box->view(), Qt::Key_Tab);
  gridtest::Settle();
  EXPECT_EQ(grid().Col(), 4);
  EXPECT_EQ(grid().Row(), 1);
  EXPECT_FALSE(box->isVisible());
  EXPECT_EQ(grid().GetCells(3, 1), "");
  EXPECT_FALSE(box->currentText().contains('\t'));
}

TEST_F(GridEditors, TabInTheBoxEditFieldMovesBackWithShift) {
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  box->hidePopup();
  PointerAway();
  QTest::keyClick(box->lineEdit(), Qt::Key_Backtab, Qt::ShiftModifier);
  gridtest::Settle();
  EXPECT_EQ(grid().Col(), 2);
  EXPECT_FALSE(box->isVisible());
}

TEST_F(GridEditors, CtrlTabInTheBoxLeavesTheGridAndClosesTheBox) {
  auto* after = new QPushButton("After", grid().parentWidget());
  QWidget::setTabOrder(&grid(), after);
  after->show();
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  box->hidePopup();
  PointerAway();
  QTest::keyClick(box->lineEdit(), Qt::Key_Tab, Qt::ControlModifier);
  gridtest::Settle();
  EXPECT_TRUE(after->hasFocus());
  EXPECT_EQ(grid().Col(), 3) << "no cell move";
  EXPECT_FALSE(box->isVisible());
}

TEST_F(GridEditors, ScrollingTheCurrentCellAwayHidesTheBox) {
  grid().SetRowCount(60);
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  box->hidePopup();
  PointerAway();
  grid().SetTopRow(10);
  gridtest::Settle();
  EXPECT_FALSE(box->isVisible());
}

TEST_F(GridEditors, ResizingAColumnShowsTheCurrentColumnsBoxAgain) {
  gridtest::ClickCell(grid(), 3, 1);
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  box->hidePopup();
  grid().ExitComboBox(box);
  ASSERT_FALSE(box->isVisible());
  grid().SetColWidths(1, 90);
  EXPECT_TRUE(box->isVisible());
  const QPoint origin = grid().viewport()->mapTo(&form_->Form(), QPoint(0, 0));
  EXPECT_EQ(box->x(), origin.x() + grid().CellRect(3, 1).Left + 1);
}

TEST_F(GridEditors, ANewListAfterTheBoxExistsLeavesItsItems) {
  gridtest::ClickCell(grid(), 3, 1);
  grid().SetColumnAsComboBox(3, std::vector<std::string>{"Only/One"});
  QComboBox* box = grid().ComboBoxOf(3);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->count(), 3);
}

TEST_F(GridEditors, HandlersIgnoreSendersThatAreNoListBox) {
  QObject other;
  std::uint16_t key = VK_TAB;
  grid().ChangeComboBox(&other);
  grid().ExitComboBox(nullptr);
  grid().ComboKeyDown(&other, key, 0);
  EXPECT_EQ(key, VK_TAB);
  char16_t ch = u'\t';
  grid().ComboKeyPress(nullptr, ch);
  EXPECT_EQ(ch, 0);
  EXPECT_FALSE(grid().MoveEditor(nullptr));  // no box for the current column yet
  EXPECT_FALSE(grid().MoveInlineEditor(&other));
}

}  // namespace
