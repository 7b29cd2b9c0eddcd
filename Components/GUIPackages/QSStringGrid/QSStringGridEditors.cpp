// TQSStringGrid: check-box and drop-down columns. A click toggles the check box or
// opens the column's list box under the mouse pointer; the list box floats over
// the current cell on the grid's parent and commits into the current row.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>

#include "QSStringGrid.h"

using namespace QSGrid;

namespace {
constexpr const char* kTagProperty = "Tag";
constexpr const char* kBoxProperty = "QSGridComboBox";

int TagOf(const QComboBox* box) {
  return box->property(kTagProperty).toInt();
}

// Whether the focus is in the box, its edit field or its open list.
bool BoxHasFocus(const QComboBox* box) {
  const QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr) {
    return false;
  }
  const QWidget* view = box->view();
  return focus == box || box->isAncestorOf(focus) || focus == view ||
         (view != nullptr && view->isAncestorOf(focus));
}
}  // namespace

void TQSStringGrid::SetColumnAsCheckBox(int ACol, const std::string& CheckedText,
                                        const std::string& UncheckedText) {
  mapCheckBoxTexts_m[ACol] = {UncheckedText, CheckedText};
}

bool TQSStringGrid::GetColumnCheckedState(int ACol, int ARow) const {
  const auto texts = mapCheckBoxTexts_m.find(ACol);
  if (texts == mapCheckBoxTexts_m.end()) {
    return false;
  }
  return Data().Cell(ACol, ARow) == texts->second[1];
}

void TQSStringGrid::SetColumnCheckedState(int ACol, int ARow, bool bChecked) {
  const auto texts = mapCheckBoxTexts_m.find(ACol);
  if (texts == mapCheckBoxTexts_m.end()) {
    return;
  }
  SetCells(ACol, ARow, texts->second[bChecked ? 1 : 0]);
}

// The check state from the stored text, kept in the column's scratch record.
bool TQSStringGrid::CellCheckedState(int ACol, int ARow) {
  auto& record = mapCheckBoxes_m[ACol];
  if (!record) {
    record = std::make_unique<TMyCheckBox>();
  }
  record->bChecked = GetColumnCheckedState(ACol, ARow);
  return record->bChecked;
}

void TQSStringGrid::SetColumnAsComboBox(int ACol, const std::vector<std::string>& Items) {
  mapComboLists_m[ACol] = Items;
}

void TQSStringGrid::SetColumnAsComboBox(int ACol, const TComboCodeList& Items) {
  mapComboCodeLists_m[ACol] = Items;
}

QComboBox* TQSStringGrid::ComboBoxOf(int ACol) const {
  const auto found = mapComboBoxes_m.find(ACol);
  return found == mapComboBoxes_m.end() ? nullptr : found->second;
}

QComboBox* TQSStringGrid::EnsureComboBox(int ACol) {
  if (QComboBox* existing = ComboBoxOf(ACol)) {
    return existing;
  }
  QWidget* parent = parentWidget() != nullptr ? parentWidget() : this;
  auto* box = new QComboBox(parent);
  box->setObjectName(QStringLiteral("cboGridColumn%1").arg(ACol));
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setCompleter(nullptr);
  box->setProperty(kTagProperty, ACol);
  box->hide();
  box->clear();
  const auto list = mapComboLists_m.find(ACol);
  if (list != mapComboLists_m.end()) {
    for (const std::string& text : list->second) {
      box->addItem(QString::fromStdString(text));
    }
  } else {
    for (const auto& [text, code] : mapComboCodeLists_m[ACol]) {
      box->addItem(QString::fromStdString(text), QVariant::fromValue<qlonglong>(code));
    }
  }
  for (QObject* watched : {static_cast<QObject*>(box), static_cast<QObject*>(box->lineEdit()),
                           static_cast<QObject*>(box->view())}) {
    watched->setProperty(kBoxProperty, QVariant::fromValue(static_cast<QObject*>(box)));
    watched->installEventFilter(this);
  }
  // A chosen item and a typed character are both changes.
  connect(box, &QComboBox::activated, this,
          [this, box](int) { Guarded([&] { ChangeComboBox(box); }); });
  connect(box->lineEdit(), &QLineEdit::textEdited, this,
          [this, box](const QString&) { Guarded([&] { ChangeComboBox(box); }); });
  connect(box, &QObject::destroyed, this, [this, ACol](QObject*) { mapComboBoxes_m.erase(ACol); });
  mapComboBoxes_m[ACol] = box;
  return box;
}

void TQSStringGrid::OpenComboBox(QComboBox* Box, int ACol, int ARow) {
  const QString text = QString::fromStdString(GetCells(ACol, ARow));
  const int index = Box->findText(text, Qt::MatchFixedString);
  Box->setCurrentIndex(index);
  if (index < 0) {
    // No item is selected, but the box keeps the cell's own text, so leaving it
    // unchanged does not wipe the cell.
    Box->setEditText(text);
  }
  MoveEditor(Box);
  Box->setVisible(true);
  Box->setFocus(Qt::OtherFocusReason);
  // The open list is as wide as its longest entry, however narrow the column.
  QAbstractItemView* list = Box->view();
  list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                        list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list));
  Box->showPopup();
  CancelMode();
}

void TQSStringGrid::Click() {
  TStringGrid::Click();
  int col = -1;
  int row = -1;
  const QPoint pointer = viewport()->mapFromGlobal(QCursor::pos());
  MouseToCell(pointer.x(), pointer.y(), col, row);
  // Header cells are never toggled or edited through a list box.
  const bool dataCell = col >= FixedCols() && row >= FixedRows();
  if (dataCell && (mapComboLists_m.count(col) != 0 || mapComboCodeLists_m.count(col) != 0)) {
    OpenComboBox(EnsureComboBox(col), col, row);
  } else if (dataCell && mapCheckBoxTexts_m.count(col) != 0) {
    const bool checked = CellCheckedState(col, row);
    SetCells(col, row, mapCheckBoxTexts_m[col][checked ? 0 : 1]);
    InvalidateCell(col, row);
    SetEditorMode(false);
  }
  HideCustomEditors();
}

bool TQSStringGrid::MoveEditor(QComboBox* Box) {
  if (Box == nullptr) {
    Box = ComboBoxOf(Col());
    if (Box == nullptr) {
      return false;
    }
  }
  const TRect r = CellRect(Col(), Row());
  QWidget* parent = Box->parentWidget();
  const QPoint origin = parent == nullptr ? QPoint() : viewport()->mapTo(parent, QPoint(0, 0));
  Box->setGeometry(origin.x() + r.Left + GridLineWidth(), origin.y() + r.Top + GridLineWidth(),
                   r.Right - r.Left, r.Bottom - r.Top + 1);
  Box->setVisible(true);
  Box->setFocus(Qt::OtherFocusReason);
  Box->raise();
  return true;
}

bool TQSStringGrid::MoveInlineEditor(QObject* Editor) {
  return MoveEditor(qobject_cast<QComboBox*>(Editor));
}

// The box's text and the object of its selected item go into the current row.
void TQSStringGrid::CommitComboBox(QComboBox* Box) {
  const int tag = TagOf(Box);
  const QString text = Box->currentText();
  SetCells(tag, Row(), text.toStdString());
  const int index = Box->currentIndex();
  std::intptr_t object = 0;
  if (index >= 0 && Box->itemText(index) == text) {
    object = static_cast<std::intptr_t>(Box->itemData(index).toLongLong());
  }
  SetObjects(tag, Row(), object);
}

void TQSStringGrid::CloseComboBox(QComboBox* Box) {
  Box->hidePopup();
  if (BoxHasFocus(Box)) {
    setFocus(Qt::OtherFocusReason);
  }
  Box->hide();
  viewport()->update();
}

void TQSStringGrid::ChangeComboBox(QObject* Sender) {
  auto* box = qobject_cast<QComboBox*>(Sender);
  if (box == nullptr) {
    return;
  }
  if (BoxHasFocus(box)) {
    CommitComboBox(box);
  }
  CloseComboBox(box);
}

void TQSStringGrid::ExitComboBox(QObject* Sender) {
  auto* box = qobject_cast<QComboBox*>(Sender);
  if (box == nullptr) {
    return;
  }
  if (!bHidingEditors_m && box->currentText().toStdString() != GetCells(TagOf(box), Row())) {
    CommitComboBox(box);
  }
  CloseComboBox(box);
}

void TQSStringGrid::ComboKeyDown(QObject* Sender, std::uint16_t& Key, TShiftState Shift) {
  auto* box = qobject_cast<QComboBox*>(Sender);
  if (box == nullptr || Key != VK_TAB) {
    return;
  }
  box->hidePopup();
  setFocus(Qt::TabFocusReason);
  KeyDown(Key, Shift);
  Key = 0;
}

void TQSStringGrid::ComboKeyPress(QObject*, char16_t& Key) {
  if (Key == u'\t') {
    Key = 0;
  }
}

void TQSStringGrid::HideCustomEditors() {
  const bool wasHiding = bHidingEditors_m;
  bHidingEditors_m = true;
  try {
    for (auto& [col, box] : mapComboBoxes_m) {
      // A current cell scrolled out of view (below or right as well) takes its box along.
      if (col != Col() || Col() < LeftCol() || Row() < TopRow() ||
          CellRect(Col(), Row()).IsEmpty()) {
        CloseComboBox(box);
      }
    }
  } catch (...) {
    bHidingEditors_m = wasHiding;
    throw;
  }
  bHidingEditors_m = wasHiding;
}

void TQSStringGrid::TopLeftChanged() {
  TStringGrid::TopLeftChanged();
  InvalidateGrid();
  MoveInlineEditor(nullptr);
  HideCustomEditors();
}

void TQSStringGrid::ColWidthsChanged() {
  TStringGrid::ColWidthsChanged();
  MoveInlineEditor(nullptr);
}

void TQSStringGrid::RowHeightsChanged() {
  TStringGrid::RowHeightsChanged();
  MoveInlineEditor(nullptr);
}

// Tab in the box, its edit field or its open list moves between cells; leaving
// the box commits what differs from the cell.
bool TQSStringGrid::eventFilter(QObject* watched, QEvent* e) {
  QObject* owner = watched->property(kBoxProperty).value<QObject*>();
  auto* box = qobject_cast<QComboBox*>(owner);
  if (box == nullptr) {
    return TStringGrid::eventFilter(watched, e);
  }
  if (e->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(e);
    if (LeaveOrMenuKey(key)) {
      return true;  // leaving takes the focus, and the box closes as on any exit
    }
    if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab) {
      return false;
    }
    TShiftState shift = ShiftFromModifiers(key->modifiers());
    if (key->key() == Qt::Key_Backtab) {
      shift |= ssShift;
    }
    std::uint16_t vk = VK_TAB;
    char16_t ch = u'\t';
    Guarded([&] {
      ComboKeyDown(box, vk, shift);
      ComboKeyPress(box, ch);
    });
    return vk == 0 || ch == 0;
  }
  if (e->type() == QEvent::FocusOut) {
    const auto reason = static_cast<QFocusEvent*>(e)->reason();
    if (reason != Qt::PopupFocusReason && box->isVisible() && !BoxHasFocus(box)) {
      Guarded([&] { ExitComboBox(box); });
    }
  }
  return false;
}
