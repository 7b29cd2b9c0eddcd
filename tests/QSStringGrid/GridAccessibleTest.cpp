// The grid as a screen reader finds it: the table interface the toolkit hands to
// AT-SPI, read in-process, and the events the grid sends while a reader listens.
#include <gtest/gtest.h>
#include <QAccessible>
#include <QLineEdit>

#include <vector>

#include "GridAccessible.h"
#include "GridTestSupport.h"

using namespace QSGrid;
using gridtest::GridForm;

namespace {

struct Heard {
  QAccessible::Event type;
  int child;
  QString name;  // the name of what the event is about, read when it arrived
  int change = -1;
  int firstRow = -1, lastRow = -1, firstCol = -1, lastCol = -1;
};

// Listens as a platform bridge does, for the grid's events only, while alive. The
// offscreen platform has no bridge, so the toolkit would drop the events: the grid's
// sink takes them instead, and the toolkit's activation switch starts the grid telling.
class Listener {
 public:
  explicit Listener(QObject* grid) : grid_(grid) {
    current_ = this;
    previous_ = accessibility::InstallEventSink(&Listener::Update);
    QAccessible::setActive(true);
  }
  ~Listener() {
    QAccessible::setActive(false);
    accessibility::InstallEventSink(previous_);
    current_ = nullptr;
  }
  std::vector<Heard> heard;
  std::vector<Heard> Of(QAccessible::Event type) const {
    std::vector<Heard> found;
    for (const Heard& h : heard) {
      if (h.type == type) {
        found.push_back(h);
      }
    }
    return found;
  }

 private:
  static void Update(QAccessibleEvent* event) {
    if (current_ == nullptr || event->object() != current_->grid_) {
      return;
    }
    Heard h{event->type(), event->child(), QString()};
    if (QAccessibleInterface* about = event->accessibleInterface()) {
      h.name = about->text(QAccessible::Name);
    }
    if (event->type() == QAccessible::TableModelChanged) {
      auto* change = static_cast<QAccessibleTableModelChangeEvent*>(event);
      h.change = change->modelChangeType();
      h.firstRow = change->firstRow();
      h.lastRow = change->lastRow();
      h.firstCol = change->firstColumn();
      h.lastCol = change->lastColumn();
    }
    current_->heard.push_back(h);
  }
  static inline Listener* current_ = nullptr;
  QObject* grid_;
  accessibility::EventSink previous_ = nullptr;
};

// The event table's layout: nine columns, one header row, check boxes in 5 to 8,
// three items of which the second is hidden.
class GridAccessible : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = std::make_unique<GridForm>(700, 300);
    TQSStringGrid& g = grid();
    g.SetColCount(9);
    g.SetRowCount(4);
    g.SetFixedCols(0);
    g.SetDefaultRowHeight(18);
    g.SetDefaultColWidth(60);
    g.SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goEditing |
                 goAlwaysShowEditor | goTabs);
    g.SetHeaderTitles({"Item ID", "Item Description", "Item End Date/Time", "Item Timezone",
                       "Notify mins before end", "Notify via Sound", "Notify via MSM",
                       "Notify via Email", "Notify via Custom App"});
    for (int c = 5; c <= 8; ++c) {
      g.SetColumnAsCheckBox(c, "Y", "N");
    }
    Fill(1, {"1", "Buy milk", "2026-12-24 18:00:00", "Etc/UTC", "10", "Y", "N", "N", "N"});
    Fill(2, {"2", "Secret", "2026-12-25 18:00:00", "Etc/UTC", "5", "N", "N", "N", "N"});
    Fill(3, {"3", "Call Ann", "2026-12-26 09:30:00", "Etc/UTC", "0", "N", "Y", "Y", "N"});
    g.HideRow(2);
    // A move fires the click, which toggles a check box under the pointer.
    QCursor::setPos(form_->Form().mapToGlobal(QPoint(-50, -50)));
    gridtest::Settle();
  }
  void TearDown() override { form_.reset(); }
  void Fill(int row, const std::vector<std::string>& texts) {
    for (int c = 0; c < static_cast<int>(texts.size()); ++c) {
      grid().SetCells(c, row, texts[static_cast<std::size_t>(c)]);
    }
  }
  TQSStringGrid& grid() { return form_->Grid(); }
  QAccessibleInterface* table() { return QAccessible::queryAccessibleInterface(&grid()); }
  QString Name(int row, int col) {
    return table()->tableInterface()->cellAt(row, col)->text(QAccessible::Name);
  }

  std::unique_ptr<GridForm> form_;
};

TEST_F(GridAccessible, ReadsAsATableOfItsShownCellsWithTheTitlesAsHeaders) {
  QAccessibleInterface* iface = table();
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->role(), QAccessible::Table);
  QAccessibleTableInterface* t = iface->tableInterface();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->rowCount(), 2);  // the hidden item is left out, the header row is no item
  EXPECT_EQ(t->columnCount(), 9);
  EXPECT_EQ(t->columnDescription(1), "Item Description");

  EXPECT_EQ(Name(0, 0), "1");
  EXPECT_EQ(Name(0, 1), "Buy milk");
  EXPECT_EQ(Name(1, 1), "Call Ann");  // grid row 3, after the hidden one
  QAccessibleInterface* cell = t->cellAt(1, 2);
  EXPECT_EQ(cell->role(), QAccessible::Cell);
  EXPECT_EQ(cell->text(QAccessible::Name), "2026-12-26 09:30:00");
  QAccessibleTableCellInterface* where = cell->tableCellInterface();
  ASSERT_NE(where, nullptr);
  EXPECT_EQ(where->rowIndex(), 1);
  EXPECT_EQ(where->columnIndex(), 2);
  ASSERT_EQ(where->columnHeaderCells().size(), 1);
  EXPECT_EQ(where->columnHeaderCells()[0]->text(QAccessible::Name), "Item End Date/Time");
  EXPECT_EQ(where->columnHeaderCells()[0]->role(), QAccessible::ColumnHeader);
  // The same cell whichever way the bridge reaches it: by position, by index, by point.
  const int index = iface->indexOfChild(cell);
  EXPECT_EQ(iface->child(index), cell);
  EXPECT_EQ(iface->childAt(cell->rect().center().x(), cell->rect().center().y()), cell);
  EXPECT_EQ(iface->childCount(), 9 + 2 * 9);

  // Check boxes read as what their box shows; the stored mark stays the value.
  EXPECT_EQ(Name(0, 5), "checked");
  EXPECT_EQ(Name(0, 6), "not checked");
  QAccessibleInterface* box = t->cellAt(0, 5);
  EXPECT_TRUE(box->state().checkable);
  EXPECT_TRUE(box->state().checked);
  EXPECT_FALSE(t->cellAt(0, 6)->state().checked);
  EXPECT_FALSE(t->cellAt(0, 1)->state().checkable);
  EXPECT_EQ(box->text(QAccessible::Value), "Y");

  // A hidden column is left out too, and the indexes close up.
  grid().HideCol(1);
  EXPECT_EQ(t->columnCount(), 8);
  EXPECT_EQ(Name(0, 1), "2026-12-24 18:00:00");
  EXPECT_EQ(t->columnDescription(1), "Item End Date/Time");
}

TEST_F(GridAccessible, TheCurrentCellIsTheSelectedAndFocusedOne) {
  grid().FocusCell(1, 3);
  QAccessibleTableInterface* t = table()->tableInterface();
  const QList<QAccessibleInterface*> selected = t->selectedCells();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0], t->cellAt(1, 1));
  EXPECT_TRUE(selected[0]->state().selected);
  EXPECT_TRUE(selected[0]->state().focused);
  EXPECT_FALSE(t->cellAt(0, 1)->state().selected);
  EXPECT_EQ(table()->focusChild(), t->cellAt(1, 1));
}

TEST_F(GridAccessible, AListeningReaderHearsMovesChangesAndNewRows) {
  Listener reader(&grid());
  grid().FocusCell(2, 3);
  const std::vector<Heard> focus = reader.Of(QAccessible::Focus);
  ASSERT_EQ(focus.size(), 1u);
  EXPECT_EQ(focus[0].name, "2026-12-26 09:30:00");
  // The in-place editor over the cell is named after its column.
  ASSERT_NE(grid().InplaceEditor(), nullptr);
  EXPECT_EQ(grid().InplaceEditor()->accessibleName(), "Item End Date/Time");

  reader.heard.clear();
  grid().SetCells(1, 3, "Call Bob");
  std::vector<Heard> changed = reader.Of(QAccessible::TableModelChanged);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].change, QAccessibleTableModelChangeEvent::DataChanged);
  EXPECT_EQ(changed[0].firstRow, 1);
  EXPECT_EQ(changed[0].lastRow, 1);
  EXPECT_EQ(changed[0].firstCol, 1);
  EXPECT_EQ(changed[0].lastCol, 1);
  EXPECT_EQ(Name(1, 1), "Call Bob");

  // A toggled box under the reader's focus is read out again.
  grid().FocusCell(6, 1);
  reader.heard.clear();
  grid().SetColumnCheckedState(6, 1, true);
  const std::vector<Heard> renamed = reader.Of(QAccessible::NameChanged);
  ASSERT_EQ(renamed.size(), 1u);
  EXPECT_EQ(renamed[0].name, "checked");

  reader.heard.clear();
  grid().InsertRow(grid().RowCount());
  changed = reader.Of(QAccessible::TableModelChanged);
  ASSERT_FALSE(changed.empty());
  EXPECT_EQ(changed[0].change, QAccessibleTableModelChangeEvent::RowsInserted);
  EXPECT_EQ(changed[0].firstRow, 2);
  EXPECT_EQ(table()->tableInterface()->rowCount(), 3);

  reader.heard.clear();
  grid().RemoveRow(3);
  changed = reader.Of(QAccessible::TableModelChanged);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].change, QAccessibleTableModelChangeEvent::RowsRemoved);
  EXPECT_EQ(changed[0].firstRow, 1);

  reader.heard.clear();
  grid().UnHideRow(2);
  changed = reader.Of(QAccessible::TableModelChanged);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].change, QAccessibleTableModelChangeEvent::ModelReset);
  EXPECT_EQ(Name(1, 1), "Secret");
}

TEST_F(GridAccessible, AFilledBatchIsOneReReadAndNoMoveIsHeardWithoutTheFocus) {
  Listener reader(&grid());
  {
    const TGridUpdateBatch batch(grid());
    for (int r = 1; r < grid().RowCount(); ++r) {
      for (int c = 0; c < 5; ++c) {
        grid().SetCells(c, r, "x");
      }
    }
  }
  const std::vector<Heard> changed = reader.Of(QAccessible::TableModelChanged);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].change, QAccessibleTableModelChangeEvent::ModelReset);

  reader.heard.clear();
  form_->Form().setFocus();  // the grid loses the keyboard
  gridtest::Settle();
  ASSERT_FALSE(grid().GridHasFocus());
  grid().FocusCell(3, 1);
  EXPECT_TRUE(reader.Of(QAccessible::Focus).empty());
  EXPECT_EQ(table()->focusChild(), nullptr);
}

}  // namespace
