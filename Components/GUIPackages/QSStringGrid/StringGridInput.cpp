// TStringGrid: the current cell, the in-place editor, and mouse and keyboard input.
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>

#include "StringGrid.h"

using namespace QSGrid;

namespace {

constexpr int kSizingSlack = 2;  // pixels either side of a line that start a drag

std::uint16_t VirtualKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Insert:
      return VK_INSERT;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_F2:
      return VK_F2;
    case Qt::Key_Backspace:
      return VK_BACK;
    default:
      return 0;
  }
}

}  // namespace

TShiftState TStringGrid::ShiftFromModifiers(Qt::KeyboardModifiers modifiers) {
  TShiftState shift = 0;
  if (modifiers & Qt::ShiftModifier) {
    shift |= ssShift;
  }
  if (modifiers & Qt::AltModifier) {
    shift |= ssAlt;
  }
  if (modifiers & Qt::ControlModifier) {
    shift |= ssCtrl;
  }
  return shift;
}

// ---- selection and the current cell ---------------------------------------------------

bool TStringGrid::SelectCell(int ACol, int ARow) {
  bool canSelect = true;
  if (OnSelectCell) {
    OnSelectCell(this, ACol, ARow, canSelect);
  }
  return canSelect;
}

void TStringGrid::Click() {
  if (OnClick) {
    OnClick(this);
  }
}

void TStringGrid::DblClick() {
  if (OnDblClick) {
    OnDblClick(this);
  }
}

void TStringGrid::TopLeftChanged() {
  if (OnTopLeftChanged) {
    OnTopLeftChanged(this);
  }
}

void TStringGrid::ColWidthsChanged() {}
void TStringGrid::RowHeightsChanged() {}

bool TStringGrid::MoveCurrent(int ACol, int ARow, bool Show) {
  if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount()) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  if (!SelectCell(ACol, ARow)) {
    return false;
  }
  const int oldCol = col_;
  const int oldRow = row_;
  col_ = ACol;
  row_ = ARow;
  if ((options_ & goEditing) && (options_ & goAlwaysShowEditor)) {
    editorMode_ = true;
  }
  if (Show) {
    ClampInView();
  }
  if (options_ & goRowSelect) {
    InvalidateRow(oldRow);
    InvalidateRow(row_);
  } else {
    InvalidateCell(oldCol, oldRow);
    InvalidateCell(col_, row_);
  }
  return true;
}

void TStringGrid::FocusCell(int ACol, int ARow, bool) {
  MoveCurrent(ACol, ARow, true);
  UpdateEdit();
  Click();
}

void TStringGrid::SetCurrentCell(int ACol, int ARow) {
  col_ = std::clamp(ACol, std::min(fixedCols_, ColCount() - 1), ColCount() - 1);
  row_ = std::clamp(ARow, std::min(fixedRows_, RowCount() - 1), RowCount() - 1);
  editorCol_ = -1;
  editorRow_ = -1;
  InvalidateGrid();
  UpdateEdit();
}

void TStringGrid::CancelMode() {
  selecting_ = false;
  sizingIndex_ = -1;
  viewport()->unsetCursor();
}

// ---- in-place editor ------------------------------------------------------------------------

bool TStringGrid::CanEditShow() const {
  return (options_ & goEditing) && !(options_ & goRowSelect) && editorMode_ &&
         ((options_ & goAlwaysShowEditor) || GridHasFocus()) && col_ >= fixedCols_ &&
         row_ >= fixedRows_ && !CellRect(col_, row_).IsEmpty();
}

bool TStringGrid::IsEditorShowing() const {
  return editor_ != nullptr && editor_->isVisible();
}

std::string TStringGrid::GetEditText(int ACol, int ARow) {
  return GetCells(ACol, ARow);
}

void TStringGrid::SetEditText(int ACol, int ARow, const std::string& Value) {
  data_.SetCell(ACol, ARow, Value);
  InvalidateCell(ACol, ARow);
}

void TStringGrid::UpdateEdit() {
  if (!CanEditShow()) {
    if (IsEditorShowing()) {
      const bool hadFocus = editor_->hasFocus();
      editor_->hide();
      if (hadFocus) {
        setFocus(Qt::OtherFocusReason);
      }
    }
    editorCol_ = -1;
    editorRow_ = -1;
    return;
  }
  if (editor_ == nullptr) {
    editor_ = new QLineEdit(viewport());
    editor_->setObjectName(QStringLiteral("InplaceEditor"));
    editor_->setFrame(false);
    // The editor stands over the current cell even while it is empty: its frame in the
    // selection colour shows where typing goes.
    editor_->setStyleSheet(
        QStringLiteral("QLineEdit { border: 2px solid palette(highlight); padding: 0px; }"));
    editor_->setFont(font_.Font);
    editor_->installEventFilter(this);
    connect(editor_, &QLineEdit::textEdited, this,
            [this](const QString& text) { EditorTextEdited(text); });
  }
  if (editorCol_ != col_ || editorRow_ != row_) {
    editorCol_ = col_;
    editorRow_ = row_;
    loadingEditor_ = true;
    editorOriginal_ = GetEditText(col_, row_);
    editor_->setText(QString::fromStdString(editorOriginal_));
    editor_->selectAll();
    loadingEditor_ = false;
  }
  const TRect r = CellRect(col_, row_);
  editor_->setGeometry(r.ToQRect());
  const bool focusIt = GridHasFocus();
  editor_->show();
  if (focusIt && !editor_->hasFocus()) {
    editor_->setFocus(Qt::OtherFocusReason);
  }
}

void TStringGrid::EditorTextEdited(const QString& text) {
  if (loadingEditor_ || editorCol_ < 0 || editorRow_ < 0) {
    return;
  }
  lastEditAt_ = QDateTime::currentMSecsSinceEpoch();
  Guarded([&] { SetEditText(editorCol_, editorRow_, text.toStdString()); });
}

void TStringGrid::SetEditorMode(bool Value) {
  if (Value) {
    ShowEditor();
  } else {
    HideEditor();
  }
}

void TStringGrid::ShowEditor() {
  editorMode_ = true;
  UpdateEdit();
}

void TStringGrid::HideEditor() {
  editorMode_ = false;
  UpdateEdit();
}

// Every key already wrote the cell; what Enter ends is the typing itself, so that nothing
// takes the cell for one still being typed.
void TStringGrid::ConfirmEditor() {
  editorOriginal_ = editor_->text().toStdString();
  editor_->setModified(false);
  HideEditor();
}

void TStringGrid::RevertEditor() {
  // Only the user's typing is taken back: a text set by the program reloads the editor.
  if (editor_->isModified() && editorCol_ >= 0 && editorRow_ >= 0 &&
      GetCells(editorCol_, editorRow_) != editorOriginal_) {
    SetEditText(editorCol_, editorRow_, editorOriginal_);
  }
  loadingEditor_ = true;
  editor_->setText(QString::fromStdString(editorOriginal_));
  loadingEditor_ = false;
  editor_->setModified(false);
  HideEditor();
}

void TStringGrid::LeaveGrid(bool Forward) {
  QWidget* w = this;
  for (;;) {
    w = Forward ? w->nextInFocusChain() : w->previousInFocusChain();
    if (w == nullptr || w == this) {
      return;
    }
    // The grid's own parts (its editor, scroll bars, an open list box) are no way out.
    QWidget* focused = QApplication::focusWidget();
    const bool own =
        isAncestorOf(w) || (focused != nullptr && w->isAncestorOf(focused)) || w == focused;
    if (!own && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
        w->window() == window()) {
      w->setFocus(Forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
      return;
    }
  }
}

void TStringGrid::PopupMenuAtCell() {
  TRect cell = CellRect(col_, row_);
  const QPoint at =
      cell.IsEmpty() ? QPoint(0, 0) : viewport()->mapTo(this, QPoint(cell.Left, cell.Bottom));
  QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at));
  QApplication::sendEvent(this, &menu);
}

bool TStringGrid::LeaveOrMenuKey(const QKeyEvent* e) {
  const bool tab = e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab;
  if (tab && (e->modifiers() & Qt::ControlModifier) && !(e->modifiers() & Qt::AltModifier)) {
    LeaveGrid(e->key() == Qt::Key_Tab && !(e->modifiers() & Qt::ShiftModifier));
    return true;
  }
  if (e->key() == Qt::Key_Menu ||
      (e->key() == Qt::Key_F10 &&
       (e->modifiers() & Qt::KeyboardModifierMask) == Qt::ShiftModifier)) {
    PopupMenuAtCell();
    return true;
  }
  return false;
}

// ---- keyboard ---------------------------------------------------------------------------------

void TStringGrid::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  if (RowCount() <= fixedRows_ || ColCount() <= fixedCols_) {
    return;
  }
  int newCol = col_;
  int newRow = row_;
  const bool ctrl = Shift & ssCtrl;
  const int page = std::max(1, VisibleRowCount());
  switch (Key) {
    case VK_UP:
      newRow = std::max(fixedRows_, row_ - 1);
      break;
    case VK_DOWN:
      newRow = std::min(RowCount() - 1, row_ + 1);
      break;
    case VK_LEFT:
      newCol = std::max(fixedCols_, col_ - 1);
      break;
    case VK_RIGHT:
      newCol = std::min(ColCount() - 1, col_ + 1);
      break;
    case VK_PRIOR:
      newRow = ctrl ? topRow_ : std::max(fixedRows_, row_ - page);
      break;
    case VK_NEXT:
      newRow = ctrl ? std::min(RowCount() - 1, topRow_ + page - 1)
                    : std::min(RowCount() - 1, row_ + page);
      break;
    case VK_HOME:
      if (ctrl) {
        newRow = fixedRows_;
      }
      newCol = fixedCols_;
      break;
    case VK_END:
      if (ctrl) {
        newRow = RowCount() - 1;
      }
      newCol = ColCount() - 1;
      break;
    case VK_F2:
      if (options_ & goEditing) {
        ShowEditor();
      }
      return;
    case VK_TAB:
      if ((Shift & ssAlt) || !(options_ & goTabs)) {
        return;
      }
      do {
        if (Shift & ssShift) {
          if (--newCol < fixedCols_) {
            newCol = ColCount() - 1;
            if (--newRow < fixedRows_) {
              newRow = RowCount() - 1;
            }
          }
        } else if (++newCol >= ColCount()) {
          newCol = fixedCols_;
          if (++newRow >= RowCount()) {
            newRow = fixedRows_;
          }
        }
      } while (!TabStops(newCol) && newCol != col_);
      break;
    default:
      return;
  }
  if (newCol != col_ || newRow != row_) {
    FocusCell(newCol, newRow, !(Shift & ssShift));
  }
}

void TStringGrid::keyPressEvent(QKeyEvent* e) {
  if (LeaveOrMenuKey(e)) {
    return;
  }
  const std::uint16_t vk = VirtualKey(e->key());
  TShiftState shift = ShiftFromModifiers(e->modifiers());
  if (e->key() == Qt::Key_Backtab) {
    shift |= ssShift;
  }
  if (vk == VK_RETURN) {
    // Enter closes the editor (also one always shown) and opens it again.
    if (options_ & goEditing) {
      Guarded([this] { SetEditorMode(!editorMode_); });
    }
    return;
  }
  if (vk != 0 && vk != VK_BACK && vk != VK_DELETE) {
    std::uint16_t key = vk;
    Guarded([&] { KeyDown(key, shift); });
    return;
  }
  HandleTextKey(e);
}

// A character typed on the grid opens the editor with that character.
void TStringGrid::HandleTextKey(QKeyEvent* e) {
  const bool typed = !e->text().isEmpty() && e->text().at(0).isPrint();
  if (!(options_ & goEditing) || (options_ & goRowSelect) ||
      (!typed && e->key() != Qt::Key_Backspace)) {
    QAbstractScrollArea::keyPressEvent(e);
    return;
  }
  Guarded([&] {
    ShowEditor();
    if (IsEditorShowing()) {
      editor_->setFocus(Qt::OtherFocusReason);
      QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text());
      QApplication::sendEvent(editor_, &copy);
    }
  });
}

bool TStringGrid::event(QEvent* e) {
  if (e->type() == QEvent::FontChange) {
    // The grid's font follows the widget's (set directly or taken from the parent).
    font_.Font = font();
    if (editor_ != nullptr) {
      editor_->setFont(font_.Font);
    }
  }
  if (e->type() == QEvent::KeyPress && (options_ & goTabs)) {
    auto* key = static_cast<QKeyEvent*>(e);
    if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) &&
        !(key->modifiers() & Qt::AltModifier)) {
      keyPressEvent(key);
      return true;
    }
  }
  return QAbstractScrollArea::event(e);
}

// Keys the editor hands to the grid: vertical moves, tab, and horizontal moves at
// the text's edges. A press shortly after a click showed the editor is that click's
// second half, so the double click reaches the grid.
bool TStringGrid::eventFilter(QObject* watched, QEvent* e) {
  if (watched != editor_ || editor_ == nullptr) {
    return QAbstractScrollArea::eventFilter(watched, e);
  }
  if (e->type() == QEvent::MouseButtonDblClick) {
    editorShownAt_ = 0;
    Guarded([this] { DblClick(); });
    return false;
  }
  if (e->type() == QEvent::MouseButtonPress) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (editorShownAt_ != 0 && now - editorShownAt_ < QApplication::doubleClickInterval()) {
      editorShownAt_ = 0;
      Guarded([this] { DblClick(); });
    }
    return false;
  }
  if (e->type() == QEvent::ContextMenu &&
      static_cast<QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Keyboard) {
    PopupMenuAtCell();  // the grid's menu, not the editor's own
    return true;
  }
  if (e->type() != QEvent::KeyPress) {
    return false;
  }
  auto* key = static_cast<QKeyEvent*>(e);
  if (LeaveOrMenuKey(key)) {
    return true;
  }
  const std::uint16_t vk = VirtualKey(key->key());
  TShiftState shift = ShiftFromModifiers(key->modifiers());
  if (key->key() == Qt::Key_Backtab) {
    shift |= ssShift;
  }
  const int length = static_cast<int>(editor_->text().size());
  const bool allSelected = editor_->hasSelectedText() && editor_->selectedText().size() == length;
  bool forward = false;
  switch (vk) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
      forward = true;
      break;
    case VK_TAB:
      forward = (options_ & goTabs) && !(shift & ssAlt);
      break;
    case VK_LEFT:
    case VK_HOME:
      forward = (shift & ssCtrl) ||
                (editor_->cursorPosition() == 0 && (!editor_->hasSelectedText() || allSelected)) ||
                (allSelected && vk == VK_HOME);
      break;
    case VK_RIGHT:
    case VK_END:
      forward = (shift & ssCtrl) || (editor_->cursorPosition() == length &&
                                     (!editor_->hasSelectedText() || allSelected));
      break;
    case VK_RETURN:
      Guarded([this] { ConfirmEditor(); });
      return true;
    case VK_ESCAPE:
      Guarded([this] { RevertEditor(); });
      return true;
    default:
      break;
  }
  if (!forward) {
    return false;
  }
  std::uint16_t k = vk;
  Guarded([&] { KeyDown(k, shift); });
  return true;
}

// ---- mouse
// ---------------------------------------------------------------------------------------

bool TStringGrid::SizingHit(int x, int y, bool& cols, int& index) const {
  int fixedHeight = 0;
  for (int r = 0; r < fixedRows_; ++r) {
    fixedHeight += ExtentOf(data_.RowHeight(r));
  }
  int fixedWidth = 0;
  for (int c = 0; c < fixedCols_; ++c) {
    fixedWidth += ExtentOf(data_.ColWidth(c));
  }
  if ((options_ & goColSizing) && y < fixedHeight) {
    for (int c = 0; c < ColCount(); ++c) {
      const int left = ColumnX(c);
      if (left == INT_MIN || data_.ColWidth(c) < 0) {
        continue;
      }
      const int line = left + data_.ColWidth(c);
      if (std::abs(x - line) <= kSizingSlack) {
        cols = true;
        index = c;
        return true;
      }
    }
  }
  if ((options_ & goRowSizing) && x < fixedWidth) {
    for (int r = 0; r < RowCount(); ++r) {
      const int top = RowY(r);
      if (top == INT_MIN || data_.RowHeight(r) < 0) {
        continue;
      }
      const int line = top + data_.RowHeight(r);
      if (std::abs(y - line) <= kSizingSlack) {
        cols = false;
        index = r;
        return true;
      }
    }
  }
  return false;
}

void TStringGrid::StartSizing(int x, int y) {
  sizingStart_ = sizingCols_ ? x : y;
  sizingOrigSize_ = sizingCols_ ? data_.ColWidth(sizingIndex_) : data_.RowHeight(sizingIndex_);
}

void TStringGrid::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(e);
    return;
  }
  const int x = e->position().toPoint().x();
  const int y = e->position().toPoint().y();
  if (!GridHasFocus()) {
    setFocus(Qt::MouseFocusReason);
  }
  bool cols = false;
  int index = -1;
  if (SizingHit(x, y, cols, index)) {
    sizingCols_ = cols;
    sizingIndex_ = index;
    StartSizing(x, y);
    return;
  }
  const TGridCoord hit = MouseCoord(x, y);
  if (hit.X < fixedCols_ || hit.Y < fixedRows_) {
    return;
  }
  Guarded([&] {
    if (options_ & goEditing) {
      if (hit.X == col_ && hit.Y == row_) {
        ShowEditor();
      } else {
        MoveCurrent(hit.X, hit.Y, true);
        UpdateEdit();
      }
      if (IsEditorShowing()) {
        editorShownAt_ = QDateTime::currentMSecsSinceEpoch();
      }
      Click();
    } else {
      selecting_ = true;
      MoveCurrent(hit.X, hit.Y, true);
    }
  });
}

void TStringGrid::mouseMoveEvent(QMouseEvent* e) {
  const int x = e->position().toPoint().x();
  const int y = e->position().toPoint().y();
  if (sizingIndex_ >= 0) {
    const int delta = (sizingCols_ ? x : y) - sizingStart_;
    const int size = std::max(0, sizingOrigSize_ + delta);
    Guarded([&] {
      if (sizingCols_) {
        SetColWidths(sizingIndex_, size);
      } else {
        SetRowHeights(sizingIndex_, size);
      }
    });
    return;
  }
  bool cols = false;
  int index = -1;
  if (e->buttons() == Qt::NoButton) {
    if (SizingHit(x, y, cols, index)) {
      viewport()->setCursor(cols ? Qt::SplitHCursor : Qt::SplitVCursor);
    } else {
      viewport()->unsetCursor();
    }
    return;
  }
  if (selecting_) {
    const TGridCoord hit = MouseCoord(x, y);
    if (hit.X >= fixedCols_ && hit.Y >= fixedRows_ && (hit.X != col_ || hit.Y != row_)) {
      Guarded([&] { MoveCurrent(hit.X, hit.Y, true); });
    }
  }
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseReleaseEvent(e);
    return;
  }
  if (sizingIndex_ >= 0) {
    sizingIndex_ = -1;
    return;
  }
  if (selecting_) {
    selecting_ = false;
    Guarded([this] {
      UpdateEdit();
      Click();
    });
  }
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseDoubleClickEvent(e);
    return;
  }
  Guarded([this] { DblClick(); });
}

void TStringGrid::wheelEvent(QWheelEvent* e) {
  QAbstractScrollArea::wheelEvent(e);
}

void TStringGrid::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  InvalidateCell(col_, row_);
  Guarded([this] { UpdateEdit(); });
}

void TStringGrid::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  InvalidateCell(col_, row_);
}

void TStringGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  UpdateScrollBars();
  Guarded([this] { UpdateEdit(); });
}

bool TStringGrid::viewportEvent(QEvent* e) {
  return QAbstractScrollArea::viewportEvent(e);
}
