// TStringGrid: properties, cells, structure, geometry and scrolling.
#include "StringGrid.h"

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>

#include <algorithm>
#include <climits>

#include "GridAccessible.h"

using namespace QSGrid;

namespace {
constexpr int kDefaultCount = 5;
constexpr int kDefaultColWidth = 64;
constexpr int kDefaultRowHeight = 24;

// A screen reader hears of changes only while one listens; otherwise this is one test.
template <typename F>
void TellReader(F&& tell) {
  if (accessibility::ReaderListening()) {
    tell();
  }
}
}  // namespace

TStringGrid::TStringGrid(QWidget* AOwner)
    : QAbstractScrollArea(AOwner),
      data_(kDefaultCount, kDefaultCount, kDefaultColWidth, kDefaultRowHeight),
      tabStops_(kDefaultCount, true) {
  accessibility::Install();
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setMouseTracking(true);
  font_.Font = font();
  canvas_.Font = font_;
  canvas_.SetPalette(palette());
  verticalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setTracking(false);
  horizontalScrollBar()->setTracking(false);
  UpdateScrollBars();
}

TStringGrid::~TStringGrid() = default;

// ---- size and layout ---------------------------------------------------------------

int TStringGrid::ColCount() const {
  return data_.ColCount();
}
int TStringGrid::RowCount() const {
  return data_.RowCount();
}

void TStringGrid::SetColCount(int Value) {
  Value = std::max(Value, 1);
  if (Value == ColCount()) {
    return;
  }
  if (Value <= fixedCols_) {
    fixedCols_ = Value - 1;
  }
  data_.SetColCount(Value);
  tabStops_.resize(static_cast<std::size_t>(Value), true);
  col_ = std::clamp(col_, std::min(fixedCols_, Value - 1), Value - 1);
  leftCol_ = std::clamp(leftCol_, fixedCols_, std::max(fixedCols_, Value - 1));
  AfterStructureChange();
  TellReader([this] { accessibility::Reset(*this); });
}

void TStringGrid::SetRowCount(int Value) {
  Value = std::max(Value, 1);
  if (Value == RowCount()) {
    return;
  }
  if (Value <= fixedRows_) {
    fixedRows_ = Value - 1;
  }
  const int oldCount = RowCount();
  data_.SetRowCount(Value);
  row_ = std::clamp(row_, std::min(fixedRows_, Value - 1), Value - 1);
  topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, Value - 1));
  AfterStructureChange();
  TellReader([&] {
    Value > oldCount ? accessibility::RowsAppended(*this, oldCount, Value - 1)
                     : accessibility::Reset(*this);
  });
}

void TStringGrid::SetFixedCols(int Value) {
  if (Value < 0 || Value >= ColCount()) {
    throw EInvalidGridOperation("Fixed column count must be less than column count");
  }
  // The first non-fixed column becomes the first shown and the current one.
  fixedCols_ = Value;
  col_ = fixedCols_;
  leftCol_ = fixedCols_;
  AfterStructureChange();
  TellReader([this] { accessibility::Reset(*this); });
}

void TStringGrid::SetFixedRows(int Value) {
  if (Value < 0 || Value >= RowCount()) {
    throw EInvalidGridOperation("Fixed row count must be less than row count");
  }
  fixedRows_ = Value;
  row_ = fixedRows_;
  topRow_ = fixedRows_;
  AfterStructureChange();
  TellReader([this] { accessibility::Reset(*this); });
}

int TStringGrid::DefaultColWidth() const {
  return data_.DefaultColWidth();
}
int TStringGrid::DefaultRowHeight() const {
  return data_.DefaultRowHeight();
}

void TStringGrid::SetDefaultColWidth(int Value) {
  data_.SetDefaultColWidth(Value);
  SizesChanged(true);
  TellReader([this] { accessibility::Reset(*this); });  // hidden columns are shown again
}

void TStringGrid::SetDefaultRowHeight(int Value) {
  data_.SetDefaultRowHeight(Value);
  SizesChanged(false);
  TellReader([this] { accessibility::Reset(*this); });  // hidden rows are shown again
}

int TStringGrid::ColWidths(int ACol) const {
  return data_.ColWidth(ACol);
}
int TStringGrid::RowHeights(int ARow) const {
  return data_.RowHeight(ARow);
}

void TStringGrid::SetColWidths(int ACol, int Value) {
  if (data_.ColWidth(ACol) == Value) {
    return;
  }
  const bool hiding = (data_.ColWidth(ACol) == -1) != (Value == -1);
  data_.SetColWidth(ACol, Value);
  SizesChanged(true);
  if (hiding) {
    TellReader([this] { accessibility::Reset(*this); });
  }
}

void TStringGrid::SetRowHeights(int ARow, int Value) {
  if (data_.RowHeight(ARow) == Value) {
    return;
  }
  const bool hiding = (data_.RowHeight(ARow) == -1) != (Value == -1);
  data_.SetRowHeight(ARow, Value);
  SizesChanged(false);
  if (hiding) {
    TellReader([this] { accessibility::Reset(*this); });
  }
}

void TStringGrid::SetGridLineWidth(int Value) {
  gridLineWidth_ = std::max(Value, 0);
  SizesChanged(true);
}

// A change of widths or heights lays the grid out again and tells the derived
// class. While a paint runs, the notification waits until the paint has ended.
void TStringGrid::SizesChanged(bool cols) {
  if (painting_) {
    // Sizes grown while cells are drawn: lay out and notify once the paint is over.
    bool& pending = cols ? pendingColsChanged_ : pendingRowsChanged_;
    if (!pending) {
      pending = true;
      QMetaObject::invokeMethod(
          this,
          [this, cols] {
            bool& flag = cols ? pendingColsChanged_ : pendingRowsChanged_;
            flag = false;
            Guarded([&] { SizesChanged(cols); });
          },
          Qt::QueuedConnection);
    }
    return;
  }
  if (updateLock_ > 0) {
    structurePending_ = true;
  } else {
    UpdateScrollBars();
    viewport()->update();
  }
  UpdateEdit();
  cols ? ColWidthsChanged() : RowHeightsChanged();
}

void TStringGrid::AfterStructureChange() {
  if (updateLock_ > 0) {
    structurePending_ = true;
    return;
  }
  UpdateScrollBars();
  editorCol_ = -1;  // reload the editor's text
  editorRow_ = -1;
  if (updateLock_ == 0) {
    viewport()->update();
  }
  UpdateEdit();
}

// ---- current cell and scrolling -------------------------------------------------------

void TStringGrid::SetCol(int Value) {
  if (Value != col_) {
    FocusCell(Value, row_, true);
  }
}

void TStringGrid::SetRow(int Value) {
  if (Value != row_) {
    FocusCell(col_, Value, true);
  }
}

int TStringGrid::ExtentOf(int size) const {
  return std::max(0, size + gridLineWidth_);
}

int TStringGrid::MaxTopRow() const {
  int fixedHeight = 0;
  for (int r = 0; r < fixedRows_ && r < RowCount(); ++r) {
    fixedHeight += ExtentOf(data_.RowHeight(r));
  }
  const int room = viewport()->height() - fixedHeight;
  int top = RowCount() - 1;
  int total = ExtentOf(data_.RowHeight(top));
  while (top > fixedRows_ && total + ExtentOf(data_.RowHeight(top - 1)) <= room) {
    --top;
    total += ExtentOf(data_.RowHeight(top));
  }
  return std::max(top, fixedRows_);
}

int TStringGrid::MaxLeftCol() const {
  int fixedWidth = 0;
  for (int c = 0; c < fixedCols_; ++c) {
    fixedWidth += ExtentOf(data_.ColWidth(c));
  }
  const int room = viewport()->width() - fixedWidth;
  int left = ColCount() - 1;
  int total = ExtentOf(data_.ColWidth(left));
  while (left > fixedCols_ && total + ExtentOf(data_.ColWidth(left - 1)) <= room) {
    --left;
    total += ExtentOf(data_.ColWidth(left));
  }
  return std::max(left, fixedCols_);
}

void TStringGrid::SetTopRow(int Value) {
  Value = std::clamp(Value, fixedRows_, std::max(fixedRows_, RowCount() - 1));
  if (Value == topRow_) {
    return;
  }
  topRow_ = Value;
  UpdateScrollBars();
  viewport()->update();
  UpdateEdit();
  TopLeftChanged();
}

void TStringGrid::SetLeftCol(int Value) {
  Value = std::clamp(Value, fixedCols_, std::max(fixedCols_, ColCount() - 1));
  if (Value == leftCol_) {
    return;
  }
  leftCol_ = Value;
  UpdateScrollBars();
  viewport()->update();
  UpdateEdit();
  TopLeftChanged();
}

int TStringGrid::VisibleColCount() const {
  int x = 0;
  for (int c = 0; c < fixedCols_; ++c) {
    x += ExtentOf(data_.ColWidth(c));
  }
  int count = 0;
  for (int c = leftCol_; c < ColCount(); ++c) {
    x += ExtentOf(data_.ColWidth(c));
    if (x > viewport()->width()) {
      break;
    }
    ++count;
  }
  return count;
}

int TStringGrid::VisibleRowCount() const {
  int y = 0;
  for (int r = 0; r < fixedRows_; ++r) {
    y += ExtentOf(data_.RowHeight(r));
  }
  int count = 0;
  for (int r = topRow_; r < RowCount(); ++r) {
    y += ExtentOf(data_.RowHeight(r));
    if (y > viewport()->height()) {
      break;
    }
    ++count;
  }
  return count;
}

void TStringGrid::UpdateScrollBars() {
  if (scrollGuard_) {
    return;
  }
  scrollGuard_ = true;
  const int maxTop = MaxTopRow();
  const int maxLeft = MaxLeftCol();
  // A grid grown wider or taller than its rest needs brings back the rows and columns
  // scrolled out: once its scroll bar has gone there is no other way back to them.
  const bool pulledBack = topRow_ > maxTop || leftCol_ > maxLeft;
  topRow_ = std::min(topRow_, maxTop);
  leftCol_ = std::min(leftCol_, maxLeft);
  verticalScrollBar()->setRange(0, std::max(0, maxTop - fixedRows_));
  verticalScrollBar()->setPageStep(std::max(1, VisibleRowCount()));
  verticalScrollBar()->setValue(topRow_ - fixedRows_);
  horizontalScrollBar()->setRange(0, std::max(0, maxLeft - fixedCols_));
  horizontalScrollBar()->setPageStep(std::max(1, VisibleColCount()));
  horizontalScrollBar()->setValue(leftCol_ - fixedCols_);
  scrollGuard_ = false;
  if (pulledBack) {
    viewport()->update();
    Guarded([this] {
      UpdateEdit();
      TopLeftChanged();
    });
  }
}

void TStringGrid::scrollContentsBy(int, int) {
  if (scrollGuard_) {
    return;
  }
  const int top = fixedRows_ + verticalScrollBar()->value();
  const int left = fixedCols_ + horizontalScrollBar()->value();
  if (top == topRow_ && left == leftCol_) {
    return;
  }
  topRow_ = std::clamp(top, fixedRows_, std::max(fixedRows_, RowCount() - 1));
  leftCol_ = std::clamp(left, fixedCols_, std::max(fixedCols_, ColCount() - 1));
  viewport()->update();
  Guarded([this] {
    UpdateEdit();
    TopLeftChanged();
  });
}

// Scrolls as little as needed to bring the current cell into view.
void TStringGrid::ClampInView() {
  const int oldTop = topRow_;
  const int oldLeft = leftCol_;
  if (row_ >= fixedRows_) {
    if (row_ < topRow_) {
      topRow_ = row_;
    } else {
      int fixedHeight = 0;
      for (int r = 0; r < fixedRows_; ++r) {
        fixedHeight += ExtentOf(data_.RowHeight(r));
      }
      const int room = viewport()->height() - fixedHeight;
      int span = 0;
      for (int r = topRow_; r <= row_; ++r) {
        span += ExtentOf(data_.RowHeight(r));
      }
      while (span > room && topRow_ < row_) {
        span -= ExtentOf(data_.RowHeight(topRow_));
        ++topRow_;
      }
    }
  }
  if (col_ >= fixedCols_) {
    if (col_ < leftCol_) {
      leftCol_ = col_;
    } else {
      int fixedWidth = 0;
      for (int c = 0; c < fixedCols_; ++c) {
        fixedWidth += ExtentOf(data_.ColWidth(c));
      }
      const int room = viewport()->width() - fixedWidth;
      int span = 0;
      for (int c = leftCol_; c <= col_; ++c) {
        span += ExtentOf(data_.ColWidth(c));
      }
      while (span > room && leftCol_ < col_) {
        span -= ExtentOf(data_.ColWidth(leftCol_));
        ++leftCol_;
      }
    }
  }
  if (oldTop != topRow_ || oldLeft != leftCol_) {
    UpdateScrollBars();
    viewport()->update();
    TopLeftChanged();
  }
}

// ---- looks and behaviour ---------------------------------------------------------

void TStringGrid::SetOptions(TGridOptions Value) {
  if (Value & goRowSelect) {
    Value &= ~goAlwaysShowEditor;
  }
  if (Value == options_) {
    return;
  }
  const TGridOptions editing = goEditing | goAlwaysShowEditor | goRowSelect;
  const bool editingChanged = (options_ & editing) != (Value & editing);
  options_ = Value;
  verticalScrollBar()->setTracking((options_ & goThumbTracking) != 0);
  horizontalScrollBar()->setTracking((options_ & goThumbTracking) != 0);
  if ((options_ & goEditing) && (options_ & goAlwaysShowEditor)) {
    editorMode_ = true;
  }
  if (!(options_ & goEditing)) {
    editorMode_ = false;
  }
  if (updateLock_ == 0) {
    viewport()->update();
  }
  if (editingChanged) {
    UpdateEdit();
  }
}

void TStringGrid::SetDefaultDrawing(bool Value) {
  defaultDrawing_ = Value;
  viewport()->update();
}

void TStringGrid::SetColor(TColor Value) {
  color_ = Value;
  viewport()->update();
}

void TStringGrid::SetFixedColor(TColor Value) {
  fixedColor_ = Value;
  viewport()->update();
}

void TStringGrid::SetFont(const TFont& Value) {
  font_ = Value;
  setFont(Value.Font);
  if (editor_ != nullptr) {
    editor_->setFont(Value.Font);
  }
  viewport()->update();
}

bool TStringGrid::TabStops(int ACol) const {
  return ACol >= 0 && ACol < static_cast<int>(tabStops_.size()) && tabStops_[ACol];
}

void TStringGrid::SetTabStops(int ACol, bool Value) {
  if (ACol < 0 || ACol >= ColCount()) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  tabStops_[ACol] = Value;
}

// ---- cells -----------------------------------------------------------------------------

std::string TStringGrid::GetCells(int ACol, int ARow) const {
  return std::string(data_.Cell(ACol, ARow));
}

void TStringGrid::SetCells(int ACol, int ARow, std::string_view Value) {
  data_.SetCell(ACol, ARow, Value);
  if (ACol == editorCol_ && ARow == editorRow_) {
    editorCol_ = -1;  // the editor shows the new text
    UpdateEdit();
  }
  InvalidateCell(ACol, ARow);
  TellReader([&] { accessibility::CellChanged(*this, ACol, ARow); });
}

std::intptr_t TStringGrid::GetObjects(int ACol, int ARow) const {
  return data_.Object(ACol, ARow);
}

void TStringGrid::SetObjects(int ACol, int ARow, std::intptr_t Value) {
  data_.SetObject(ACol, ARow, Value);
}

TGridRowStrings TStringGrid::GetRows(int ARow) const {
  return data_.Row(ARow);
}

void TStringGrid::SetRows(int ARow, const TGridRowStrings& Value) {
  data_.AssignRow(ARow, Value);
  if (ARow == editorRow_) {
    editorCol_ = -1;
    UpdateEdit();
  }
  InvalidateRow(ARow);
  TellReader([&] { accessibility::RowChanged(*this, ARow); });
}

TGridRowStrings TStringGrid::GetCols(int ACol) const {
  return data_.Column(ACol);
}

void TStringGrid::ClearRow(int ARow) {
  data_.ClearRow(ARow);
  if (ARow == editorRow_) {
    editorCol_ = -1;
    UpdateEdit();
  }
  InvalidateRow(ARow);
  TellReader([&] { accessibility::RowChanged(*this, ARow); });
}

// ---- structure ---------------------------------------------------------------------------

void TStringGrid::MoveRow(int FromIndex, int ToIndex) {
  data_.MoveRow(FromIndex, ToIndex);
  AfterStructureChange();
  TellReader([this] { accessibility::Reset(*this); });
}

void TStringGrid::MoveColumn(int FromIndex, int ToIndex) {
  data_.MoveColumn(FromIndex, ToIndex);
  const bool stop = tabStops_[FromIndex];
  tabStops_.erase(tabStops_.begin() + FromIndex);
  tabStops_.insert(tabStops_.begin() + ToIndex, stop);
  AfterStructureChange();
  TellReader([this] { accessibility::Reset(*this); });
}

void TStringGrid::DeleteRow(int ARow) {
  if (RowCount() <= 1) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  if (ARow >= 0 && ARow < RowCount()) {
    TellReader([&] { accessibility::RowRemoving(*this, ARow); });
  }
  data_.DeleteRow(ARow);
  if (fixedRows_ >= RowCount()) {
    fixedRows_ = RowCount() - 1;
  }
  row_ = std::clamp(row_, std::min(fixedRows_, RowCount() - 1), RowCount() - 1);
  topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, RowCount() - 1));
  AfterStructureChange();
}

void TStringGrid::DeleteColumn(int ACol) {
  if (ColCount() <= 1) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  data_.DeleteColumn(ACol);
  tabStops_.erase(tabStops_.begin() + ACol);
  if (fixedCols_ >= ColCount()) {
    fixedCols_ = ColCount() - 1;
  }
  col_ = std::clamp(col_, std::min(fixedCols_, ColCount() - 1), ColCount() - 1);
  leftCol_ = std::clamp(leftCol_, fixedCols_, std::max(fixedCols_, ColCount() - 1));
  AfterStructureChange();
  TellReader([this] { accessibility::Reset(*this); });
}

// ---- geometry -------------------------------------------------------------------------------

int TStringGrid::ColumnX(int ACol) const {
  if (ACol < 0 || ACol >= ColCount()) {
    return INT_MIN;
  }
  int x = 0;
  if (ACol < fixedCols_) {
    for (int c = 0; c < ACol; ++c) {
      x += ExtentOf(data_.ColWidth(c));
    }
    return x;
  }
  if (ACol < leftCol_) {
    return INT_MIN;
  }
  for (int c = 0; c < fixedCols_; ++c) {
    x += ExtentOf(data_.ColWidth(c));
  }
  const int limit = viewport()->width();
  for (int c = leftCol_; c < ACol; ++c) {
    x += ExtentOf(data_.ColWidth(c));
    if (x >= limit) {
      return INT_MIN;
    }
  }
  return x;
}

int TStringGrid::RowY(int ARow) const {
  if (ARow < 0 || ARow >= RowCount()) {
    return INT_MIN;
  }
  int y = 0;
  if (ARow < fixedRows_) {
    for (int r = 0; r < ARow; ++r) {
      y += ExtentOf(data_.RowHeight(r));
    }
    return y;
  }
  if (ARow < topRow_) {
    return INT_MIN;
  }
  for (int r = 0; r < fixedRows_; ++r) {
    y += ExtentOf(data_.RowHeight(r));
  }
  const int limit = viewport()->height();
  for (int r = topRow_; r < ARow; ++r) {
    y += ExtentOf(data_.RowHeight(r));
    if (y >= limit) {
      return INT_MIN;
    }
  }
  return y;
}

TRect TStringGrid::CellRect(int ACol, int ARow) const {
  const int x = ColumnX(ACol);
  const int y = RowY(ARow);
  if (x == INT_MIN || y == INT_MIN || x >= viewport()->width() || y >= viewport()->height()) {
    return TRect{};
  }
  return TRect{x, y, x + std::max(0, data_.ColWidth(ACol)), y + std::max(0, data_.RowHeight(ARow))};
}

TGridCoord TStringGrid::MouseCoord(int X, int Y) const {
  TGridCoord none;
  if (X < 0 || Y < 0 || X >= viewport()->width() || Y >= viewport()->height()) {
    return none;
  }
  auto find = [this](int pos, int count, int fixed, int first, auto sizeOf) {
    int edge = 0;
    for (int i = 0; i < fixed && i < count; ++i) {
      const int extent = ExtentOf(sizeOf(i));
      if (extent > 0 && pos < edge + extent) {
        return i;
      }
      edge += extent;
    }
    for (int i = std::max(first, fixed); i < count && edge <= pos; ++i) {
      const int extent = ExtentOf(sizeOf(i));
      if (extent > 0 && pos < edge + extent) {
        return i;
      }
      edge += extent;
    }
    return -1;
  };
  const int col =
      find(X, ColCount(), fixedCols_, leftCol_, [this](int c) { return data_.ColWidth(c); });
  const int row =
      find(Y, RowCount(), fixedRows_, topRow_, [this](int r) { return data_.RowHeight(r); });
  if (col < 0 || row < 0) {
    return none;
  }
  return TGridCoord{col, row};
}

void TStringGrid::MouseToCell(int X, int Y, int& ACol, int& ARow) const {
  const TGridCoord coord = MouseCoord(X, Y);
  ACol = coord.X;
  ARow = coord.Y;
}

// ---- repainting
// ----------------------------------------------------------------------------------

// Every move of the current cell and every change of the grid's focus repaints the
// current cell, its row or the grid: the reader is told there.
void TStringGrid::InvalidateCell(int ACol, int ARow) {
  TellReader([this] { accessibility::CurrentCellTouched(*this); });
  if (updateLock_ > 0) {
    return;
  }
  const TRect r = CellRect(ACol, ARow);
  if (!r.IsEmpty()) {
    viewport()->update(r.Left, r.Top, r.Width() + gridLineWidth_, r.Height() + gridLineWidth_);
  }
}

void TStringGrid::InvalidateCol(int ACol) {
  if (updateLock_ > 0) {
    return;
  }
  const int x = ColumnX(ACol);
  if (x != INT_MIN) {
    viewport()->update(x, 0, ExtentOf(data_.ColWidth(ACol)), viewport()->height());
  }
}

void TStringGrid::InvalidateRow(int ARow) {
  TellReader([this] { accessibility::CurrentCellTouched(*this); });
  if (updateLock_ > 0) {
    return;
  }
  const int y = RowY(ARow);
  if (y != INT_MIN) {
    viewport()->update(0, y, viewport()->width(), ExtentOf(data_.RowHeight(ARow)));
  }
}

void TStringGrid::InvalidateGrid() {
  TellReader([this] { accessibility::CurrentCellTouched(*this); });
  if (updateLock_ == 0) {
    viewport()->update();
  }
}

void TStringGrid::SetUpdateState(bool Updating) {
  if (Updating) {
    ++updateLock_;
    return;
  }
  if (updateLock_ > 0 && --updateLock_ == 0) {
    if (structurePending_) {
      structurePending_ = false;
      AfterStructureChange();
    }
    UpdateScrollBars();
    viewport()->update();
    TellReader([this] { accessibility::UpdateReleased(*this); });
  }
}
