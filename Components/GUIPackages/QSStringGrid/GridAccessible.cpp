// The grid's accessible table: the table interface over the exposed cells, one
// interface per cell (made when a reader first asks for it, dropped when the rows or
// columns change), and the events the grid's hooks send.
#include "GridAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLineEdit>
#include <QPointer>

#include <map>
#include <utility>
#include <vector>

#include "QSStringGrid.h"
#include "StringGrid.h"

namespace QSGrid::accessibility {

namespace {

bool Hidden(int size) {
  return size == -1;
}

// Exposed lines (rows or columns) are the non-fixed ones that are not hidden: those from
// `first` to `count` whose size is not -1.
template <typename Size>
std::vector<int> Exposed(int first, int count, Size size) {
  std::vector<int> lines;
  for (int i = first; i < count; ++i) {
    if (!Hidden(size(i))) {
      lines.push_back(i);
    }
  }
  return lines;
}

// The exposed index of a grid line, or -1 when it is fixed, hidden or out of range.
template <typename Size>
int ExposedIndex(int first, int count, int line, Size size) {
  if (line < first || line >= count || Hidden(size(line))) {
    return -1;
  }
  int index = 0;
  for (int i = first; i < line; ++i) {
    index += Hidden(size(i)) ? 0 : 1;
  }
  return index;
}

std::vector<int> ExposedRows(const TStringGrid& grid) {
  return Exposed(grid.FixedRows(), grid.RowCount(), [&](int r) { return grid.RowHeights(r); });
}

std::vector<int> ExposedCols(const TStringGrid& grid) {
  return Exposed(grid.FixedCols(), grid.ColCount(), [&](int c) { return grid.ColWidths(c); });
}

int ExposedRow(const TStringGrid& grid, int ARow) {
  return ExposedIndex(grid.FixedRows(), grid.RowCount(), ARow,
                      [&](int r) { return grid.RowHeights(r); });
}

int ExposedCol(const TStringGrid& grid, int ACol) {
  return ExposedIndex(grid.FixedCols(), grid.ColCount(), ACol,
                      [&](int c) { return grid.ColWidths(c); });
}

QString ToQ(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A column's title: the texts of its fixed rows.
QString HeaderText(const TStringGrid& grid, int ACol) {
  QStringList parts;
  for (int r = 0; r < grid.FixedRows(); ++r) {
    const QString text = ToQ(grid.GetCells(ACol, r));
    if (!text.isEmpty()) {
      parts << text;
    }
  }
  return parts.join(QLatin1Char(' '));
}

bool IsCheckCell(const TStringGrid& grid, int ACol, int ARow) {
  const auto* qs = qobject_cast<const TQSStringGrid*>(&grid);
  return qs != nullptr && ARow >= grid.FixedRows() && ACol >= grid.FixedCols() &&
         qs->IsCheckBoxColumn(ACol);
}

bool IsChecked(const TStringGrid& grid, int ACol, int ARow) {
  const auto* qs = qobject_cast<const TQSStringGrid*>(&grid);
  return qs != nullptr && qs->GetColumnCheckedState(ACol, ARow);
}

// A check-box cell shows a ticked or an empty box and no text; a reader says what
// the box shows rather than the "Y" or "N" kept behind it.
QString CellName(const TStringGrid& grid, int ACol, int ARow) {
  if (IsCheckCell(grid, ACol, ARow)) {
    return IsChecked(grid, ACol, ARow) ? QStringLiteral("checked") : QStringLiteral("not checked");
  }
  return ToQ(grid.GetCells(ACol, ARow));
}

QRect ScreenRect(const TStringGrid& grid, int ACol, int ARow) {
  const TRect box = grid.CellRect(ACol, ARow);
  if (box.IsEmpty()) {
    return QRect();
  }
  const QPoint topLeft = grid.viewport()->mapToGlobal(QPoint(box.Left, box.Top));
  return QRect(topLeft, QSize(box.Width(), box.Height()));
}

class GridTable;

// One cell: a data cell (role Cell) or a column's header (role ColumnHeader, row -1).
class GridCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
 public:
  GridCell(TStringGrid* grid, int ACol, int ARow) : grid_(grid), col_(ACol), row_(ARow) {}

  bool IsHeader() const { return row_ < 0; }
  int GridCol() const { return col_; }
  int GridRow() const { return row_; }

  bool isValid() const override {
    return grid_ != nullptr && col_ < grid_->ColCount() && row_ < grid_->RowCount();
  }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override {
    QAccessibleInterface* table = parent();
    return table != nullptr ? table->window() : nullptr;
  }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override {
    return grid_ != nullptr ? QAccessible::queryAccessibleInterface(grid_.data()) : nullptr;
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }

  QString text(QAccessible::Text t) const override {
    if (!isValid()) {
      return QString();
    }
    if (IsHeader()) {
      return t == QAccessible::Name ? HeaderText(*grid_, col_) : QString();
    }
    if (t == QAccessible::Name) {
      return CellName(*grid_, col_, row_);
    }
    if (t == QAccessible::Value) {
      return ToQ(grid_->GetCells(col_, row_));
    }
    return QString();
  }
  // Writes go through the grid's own editing, where its change events can refuse them.
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    return isValid() ? ScreenRect(*grid_, col_, IsHeader() ? 0 : row_) : QRect();
  }
  QAccessible::Role role() const override {
    return IsHeader() ? QAccessible::ColumnHeader : QAccessible::Cell;
  }
  QAccessible::State state() const override;

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TableCellInterface && !IsHeader()) {
      return static_cast<QAccessibleTableCellInterface*>(this);
    }
    return nullptr;
  }

  // QAccessibleTableCellInterface
  bool isSelected() const override {
    return isValid() && !IsHeader() && row_ == grid_->Row() &&
           (col_ == grid_->Col() || (grid_->Options() & goRowSelect) != 0);
  }
  QList<QAccessibleInterface*> columnHeaderCells() const override;
  QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
  int columnIndex() const override { return isValid() ? ExposedCol(*grid_, col_) : -1; }
  int rowIndex() const override { return isValid() ? ExposedRow(*grid_, row_) : -1; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override { return parent(); }

 private:
  QPointer<TStringGrid> grid_;
  int col_;
  int row_;
};

// The grid as a table. Children: one header per exposed column (when the grid has
// fixed rows), then the exposed cells row by row.
class GridTable : public QAccessibleWidget, public QAccessibleTableInterface {
 public:
  explicit GridTable(TStringGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}
  ~GridTable() override { DropCells(); }

  TStringGrid& Grid() const { return *static_cast<TStringGrid*>(widget()); }

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TableInterface) {
      return static_cast<QAccessibleTableInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }

  int HeaderCount() const { return Grid().FixedRows() > 0 ? columnCount() : 0; }

  // The child index of a grid cell (row -1: the column's header), or -1 when unexposed.
  int ChildIndex(int ACol, int ARow) const {
    const int c = ExposedCol(Grid(), ACol);
    if (c < 0) {
      return -1;
    }
    if (ARow < 0) {
      return HeaderCount() > 0 ? c : -1;
    }
    const int r = ExposedRow(Grid(), ARow);
    return r < 0 ? -1 : HeaderCount() + r * columnCount() + c;
  }

  QAccessibleInterface* CellFor(int ACol, int ARow) const {
    const auto key = std::make_pair(ACol, ARow);
    const auto found = cells_.find(key);
    if (found != cells_.end()) {
      if (QAccessibleInterface* cell = QAccessible::accessibleInterface(found->second)) {
        return cell;
      }
      cells_.erase(found);  // deleted behind the table's back: made again
    }
    auto* cell = new GridCell(&Grid(), ACol, ARow);
    cells_[key] = QAccessible::registerAccessibleInterface(cell);
    return cell;
  }

  void DropCells() {
    const auto cells = std::exchange(cells_, {});
    for (const auto& [key, id] : cells) {
      QAccessible::deleteAccessibleInterface(id);
    }
  }

  // QAccessibleInterface
  int childCount() const override { return HeaderCount() + rowCount() * columnCount(); }
  QAccessibleInterface* child(int index) const override {
    const std::vector<int> cols = ExposedCols(Grid());
    const int columns = static_cast<int>(cols.size());
    const int headers = Grid().FixedRows() > 0 ? columns : 0;
    if (index < 0 || columns == 0) {
      return nullptr;
    }
    if (index < headers) {
      return CellFor(cols[static_cast<std::size_t>(index)], -1);
    }
    return cellAt((index - headers) / columns, (index - headers) % columns);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    const auto* cell = dynamic_cast<const GridCell*>(child);
    if (cell == nullptr || !cell->isValid()) {
      return -1;
    }
    return ChildIndex(cell->GridCol(), cell->GridRow());
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    const QPoint at = Grid().viewport()->mapFromGlobal(QPoint(x, y));
    const TGridCoord hit = Grid().MouseCoord(at.x(), at.y());
    if (hit.X < 0 || hit.Y < 0) {
      return nullptr;
    }
    const int index = ChildIndex(hit.X, hit.Y < Grid().FixedRows() ? -1 : hit.Y);
    return index < 0 ? nullptr : child(index);
  }
  QAccessibleInterface* focusChild() const override {
    if (!Grid().GridHasFocus()) {
      return nullptr;
    }
    const int index = ChildIndex(Grid().Col(), Grid().Row());
    return index < 0 ? nullptr : child(index);
  }

  // QAccessibleTableInterface
  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override {
    const std::vector<int> rows = ExposedRows(Grid());
    const std::vector<int> cols = ExposedCols(Grid());
    if (row < 0 || column < 0 || row >= static_cast<int>(rows.size()) ||
        column >= static_cast<int>(cols.size())) {
      return nullptr;
    }
    return CellFor(cols[static_cast<std::size_t>(column)], rows[static_cast<std::size_t>(row)]);
  }
  int selectedCellCount() const override { return static_cast<int>(selectedCells().size()); }
  // The selection is the current cell (the whole current row with row selection).
  QList<QAccessibleInterface*> selectedCells() const override {
    QList<QAccessibleInterface*> selected;
    if (ExposedRow(Grid(), Grid().Row()) < 0) {
      return selected;
    }
    if (Grid().Options() & goRowSelect) {
      for (const int c : ExposedCols(Grid())) {
        selected << CellFor(c, Grid().Row());
      }
    } else if (ExposedCol(Grid(), Grid().Col()) >= 0) {
      selected << CellFor(Grid().Col(), Grid().Row());
    }
    return selected;
  }
  QString columnDescription(int column) const override {
    const std::vector<int> cols = ExposedCols(Grid());
    return column >= 0 && column < static_cast<int>(cols.size())
               ? HeaderText(Grid(), cols[static_cast<std::size_t>(column)])
               : QString();
  }
  QString rowDescription(int row) const override {
    const std::vector<int> rows = ExposedRows(Grid());
    if (row < 0 || row >= static_cast<int>(rows.size())) {
      return QString();
    }
    QStringList parts;
    for (int c = 0; c < Grid().FixedCols(); ++c) {
      parts << ToQ(Grid().GetCells(c, rows[static_cast<std::size_t>(row)]));
    }
    return parts.join(QLatin1Char(' '));
  }
  int selectedColumnCount() const override { return 0; }
  int selectedRowCount() const override { return static_cast<int>(selectedRows().size()); }
  int columnCount() const override { return static_cast<int>(ExposedCols(Grid()).size()); }
  int rowCount() const override { return static_cast<int>(ExposedRows(Grid()).size()); }
  QList<int> selectedColumns() const override { return {}; }
  QList<int> selectedRows() const override {
    const int r = ExposedRow(Grid(), Grid().Row());
    return (Grid().Options() & goRowSelect) && r >= 0 ? QList<int>{r} : QList<int>{};
  }
  bool isColumnSelected(int) const override { return false; }
  bool isRowSelected(int row) const override { return selectedRows().contains(row); }
  // The reader follows the current cell; it does not move it.
  bool selectRow(int) override { return false; }
  bool selectColumn(int) override { return false; }
  bool unselectRow(int) override { return false; }
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent* event) override {
    if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) {
      DropCells();
    }
  }

  // What the reader was last told about the current cell.
  int announcedCol = -1;
  int announcedRow = -1;
  bool announcedFocus = false;
  bool resetPending = false;

 private:
  mutable std::map<std::pair<int, int>, QAccessible::Id> cells_;
};

QAccessible::State GridCell::state() const {
  QAccessible::State s;
  if (!isValid()) {
    s.invalid = true;
    return s;
  }
  if (rect().isEmpty()) {
    s.invisible = true;
    s.offscreen = true;
  }
  if (IsHeader()) {
    return s;
  }
  s.selectable = true;
  s.focusable = true;
  s.selected = isSelected();
  s.focused = row_ == grid_->Row() && col_ == grid_->Col() && grid_->GridHasFocus();
  if (IsCheckCell(*grid_, col_, row_)) {
    s.checkable = true;
    s.checked = IsChecked(*grid_, col_, row_);
  } else if (grid_->Options() & goEditing) {
    s.editable = true;
  }
  return s;
}

QList<QAccessibleInterface*> GridCell::columnHeaderCells() const {
  auto* table = dynamic_cast<GridTable*>(parent());
  if (table == nullptr || !isValid() || grid_->FixedRows() == 0) {
    return {};
  }
  return {table->CellFor(col_, -1)};
}

QAccessibleInterface* GridFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("TStringGrid") || className == QLatin1String("TQSStringGrid")) {
    if (auto* grid = qobject_cast<TStringGrid*>(object)) {
      return new GridTable(grid);
    }
  }
  return nullptr;
}

GridTable* TableOf(TStringGrid& grid) {
  return dynamic_cast<GridTable*>(QAccessible::queryAccessibleInterface(&grid));
}

EventSink eventSink = nullptr;

void Deliver(QAccessibleEvent& event) {
  if (eventSink != nullptr) {
    eventSink(&event);
  } else {
    QAccessible::updateAccessibility(&event);
  }
}

void SendModelChange(TStringGrid& grid, QAccessibleTableModelChangeEvent::ModelChangeType type,
                     int firstRow, int lastRow, int firstCol, int lastCol) {
  QAccessibleTableModelChangeEvent event(&grid, type);
  event.setFirstRow(firstRow);
  event.setLastRow(lastRow);
  event.setFirstColumn(firstCol);
  event.setLastColumn(lastCol);
  // The toolkit passes the change on to the table only while its own bridge is active;
  // a listener standing in for one needs the cells dropped all the same.
  if (GridTable* table = TableOf(grid); table != nullptr && !QAccessible::isActive()) {
    table->modelChange(&event);
  }
  Deliver(event);
}

void SendChildEvent(TStringGrid& grid, QAccessible::Event type, int child) {
  QAccessibleEvent event(&grid, type);
  event.setChild(child);
  Deliver(event);
}

// While the grid holds back its repaints, changes are gathered into one re-read.
bool Deferred(TStringGrid& grid, GridTable& table) {
  if (grid.IsUpdating()) {
    table.resetPending = true;
    return true;
  }
  return false;
}

}  // namespace

namespace detail {
bool listening = false;
}

namespace {
// The toolkit tells its observers when a reader starts or stops listening.
class Activation : public QAccessible::ActivationObserver {
 public:
  void accessibilityActiveChanged(bool active) override { detail::listening = active; }
};
}  // namespace

EventSink InstallEventSink(EventSink sink) {
  return std::exchange(eventSink, sink);
}

void Install() {
  static const bool installed = [] {
    QAccessible::installFactory(GridFactory);
    static Activation activation;
    QAccessible::installActivationObserver(&activation);
    detail::listening = QAccessible::isActive();
    return true;
  }();
  (void)installed;
}

void CellChanged(TStringGrid& grid, int ACol, int ARow) {
  GridTable* table = TableOf(grid);
  if (table == nullptr || Deferred(grid, *table)) {
    return;
  }
  if (ARow < grid.FixedRows()) {
    const int header = table->ChildIndex(ACol, -1);
    if (header >= 0) {
      SendChildEvent(grid, QAccessible::NameChanged, header);
    }
    return;
  }
  const int r = ExposedRow(grid, ARow);
  const int c = ExposedCol(grid, ACol);
  if (r < 0 || c < 0) {
    return;
  }
  SendModelChange(grid, QAccessibleTableModelChangeEvent::DataChanged, r, r, c, c);
  // The cell under the reader's focus is read again, so a toggled box is heard.
  if (ACol == grid.Col() && ARow == grid.Row() && grid.GridHasFocus()) {
    SendChildEvent(grid, QAccessible::NameChanged, table->ChildIndex(ACol, ARow));
  }
}

void RowChanged(TStringGrid& grid, int ARow) {
  GridTable* table = TableOf(grid);
  if (table == nullptr || Deferred(grid, *table)) {
    return;
  }
  if (ARow < grid.FixedRows()) {
    Reset(grid);
    return;
  }
  const int r = ExposedRow(grid, ARow);
  const int columns = table->columnCount();
  if (r >= 0 && columns > 0) {
    SendModelChange(grid, QAccessibleTableModelChangeEvent::DataChanged, r, r, 0, columns - 1);
  }
}

void CurrentCellTouched(TStringGrid& grid) {
  GridTable* table = TableOf(grid);
  if (table == nullptr) {
    return;
  }
  const bool focus = grid.GridHasFocus();
  if (grid.Col() == table->announcedCol && grid.Row() == table->announcedRow &&
      focus == table->announcedFocus) {
    return;
  }
  table->announcedCol = grid.Col();
  table->announcedRow = grid.Row();
  table->announcedFocus = focus;
  // The in-place editor sits over the current cell; named after its column, it reads
  // as "Item Description, text" rather than a bare edit.
  if (QLineEdit* editor = grid.InplaceEditor()) {
    const QString name = HeaderText(grid, grid.Col());
    if (editor->accessibleName() != name) {
      editor->setAccessibleName(name);
    }
  }
  const int index = table->ChildIndex(grid.Col(), grid.Row());
  if (focus && index >= 0) {
    SendChildEvent(grid, QAccessible::Focus, index);
  }
}

void RowsAppended(TStringGrid& grid, int AFirst, int ALast) {
  GridTable* table = TableOf(grid);
  if (table == nullptr || Deferred(grid, *table)) {
    return;
  }
  int before = 0;
  for (int r = grid.FixedRows(); r < AFirst && r < grid.RowCount(); ++r) {
    before += Hidden(grid.RowHeights(r)) ? 0 : 1;
  }
  int added = 0;
  for (int r = std::max(AFirst, grid.FixedRows()); r <= ALast && r < grid.RowCount(); ++r) {
    added += Hidden(grid.RowHeights(r)) ? 0 : 1;
  }
  if (added > 0) {
    SendModelChange(grid, QAccessibleTableModelChangeEvent::RowsInserted, before,
                    before + added - 1, -1, -1);
  }
}

void RowRemoving(TStringGrid& grid, int ARow) {
  GridTable* table = TableOf(grid);
  if (table == nullptr || Deferred(grid, *table)) {
    return;
  }
  if (ARow < grid.FixedRows()) {
    Reset(grid);  // the next row becomes a header row
    return;
  }
  const int r = ExposedRow(grid, ARow);
  if (r >= 0) {
    SendModelChange(grid, QAccessibleTableModelChangeEvent::RowsRemoved, r, r, -1, -1);
  }
}

void Reset(TStringGrid& grid) {
  GridTable* table = TableOf(grid);
  if (table == nullptr || Deferred(grid, *table)) {
    return;
  }
  SendModelChange(grid, QAccessibleTableModelChangeEvent::ModelReset, -1, -1, -1, -1);
}

void UpdateReleased(TStringGrid& grid) {
  GridTable* table = TableOf(grid);
  if (table == nullptr || !table->resetPending || grid.IsUpdating()) {
    return;
  }
  table->resetPending = false;
  SendModelChange(grid, QAccessibleTableModelChangeEvent::ModelReset, -1, -1, -1, -1);
}

}  // namespace QSGrid::accessibility
