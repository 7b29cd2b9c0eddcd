// TQSStringGrid: construction, titles, the cell-change pipeline, per-column
// settings, selection, row and column operations, search and batch updates.
#include "QSStringGrid.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <charconv>

#include "DateTime.h"
#include "GridAccessible.h"

using namespace QSGrid;

namespace QSGrid {

namespace {
std::vector<TComponentRegistration>& Registrations() {
  static std::vector<TComponentRegistration> registrations;
  return registrations;
}
}  // namespace

void Register() {
  for (const auto& r : Registrations()) {
    if (r.ClassName == "TQSStringGrid") {
      return;
    }
  }
  Registrations().push_back({"TQSStringGrid", PalettePage});
}

const std::vector<TComponentRegistration>& RegisteredComponents() {
  return Registrations();
}

}  // namespace QSGrid

namespace {

// "%-.*f": fixed notation, a point as decimal mark, whatever the process locale.
std::string FormatFixed(double value, int precision) {
  if (precision < 0) {
    precision = 6;
  }
  precision = std::min(precision, 1000);
  std::string buffer(static_cast<std::size_t>(precision) + 400, '\0');
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::fixed, precision);
  if (result.ec != std::errc()) {
    return std::to_string(value);
  }
  buffer.resize(static_cast<std::size_t>(result.ptr - buffer.data()));
  return buffer;
}

QString Upper(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toUpper();
}

}  // namespace

TQSStringGrid::TQSStringGrid(QWidget* AOwner)
    : TStringGrid(AOwner), pHeaderTitles(std::make_unique<std::vector<std::string>>()) {
  SetDefaultDrawing(false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  bSavedVertLine_m = (Options() & goVertLine) != 0;
  bSavedHorzLine_m = (Options() & goHorzLine) != 0;
  MakeCheckBoxImages();
}

TQSStringGrid::~TQSStringGrid() {
  // The list boxes belong to the grid even though they sit on its parent.
  for (auto& [col, box] : mapComboBoxes_m) {
    if (box != nullptr) {
      box->removeEventFilter(this);
      if (box->lineEdit() != nullptr) {
        box->lineEdit()->removeEventFilter(this);
      }
      box->view()->removeEventFilter(this);
      disconnect(box, nullptr, this, nullptr);
      delete box;
    }
  }
  mapComboBoxes_m.clear();
  mapCheckBoxes_m.clear();
}

// ---- titles ------------------------------------------------------------------------------

void TQSStringGrid::Loaded() {
  RefreshTitles();
}

void TQSStringGrid::RefreshTitles() {
  if (!pHeaderTitles) {
    return;
  }
  for (int i = 0; i < static_cast<int>(pHeaderTitles->size()); ++i) {
    if (ColCount() < i + 1) {
      SetColCount(ColCount() + 1);
    }
    SetCells(i, 0, (*pHeaderTitles)[i]);
  }
}

void TQSStringGrid::SetHeaderTitles(const std::vector<std::string>& Value) {
  *pHeaderTitles = Value;
  RefreshTitles();
  InvalidateGrid();
}

void TQSStringGrid::SetAutoSizeRows(bool Value) {
  bAutoSizeRows_m = Value;
  InvalidateGrid();
}

void TQSStringGrid::SetAutoSizeCols(bool Value) {
  bAutoSizeCols_m = Value;
  InvalidateGrid();
}

// ---- the cell-change pipeline ---------------------------------------------------------------

std::string TQSStringGrid::FormatForColumn(int ACol, const std::string& Value) const {
  const auto precision = mapColPrecision_m.find(ACol);
  if (precision == mapColPrecision_m.end()) {
    return Value;
  }
  double number = 0.0;
  if (!Platform::TryStrToFloat(Value, number)) {
    return Value;
  }
  return FormatFixed(number, precision->second);
}

std::intptr_t TQSStringGrid::CodeFor(int ACol, const std::string& Text) {
  TComboCodeList& codes = mapComboCodeLists_m[ACol];
  const auto found = codes.find(Text);
  if (found != codes.end()) {
    return found->second;
  }
  codes.emplace(Text, 0);
  return 0;
}

void TQSStringGrid::SetCells(int ACol, int ARow, const std::string& Value) {
  if (OnCellChange) {
    bool bAllowChange = true;
    OnCellChange(ACol, ARow, Value, bAllowChange);
    if (!bAllowChange) {
      throw Platform::EAbort(std::string());
    }
  }
  // Only a column with a precision needs a text of its own; any other takes the caller's.
  const bool bFormatted = mapColPrecision_m.count(ACol) != 0;
  const std::string formatted = bFormatted ? FormatForColumn(ACol, Value) : std::string();
  const std::string& text = bFormatted ? formatted : Value;
  TStringGrid::SetCells(ACol, ARow, text);
  if (mapComboCodeLists_m.count(ACol) != 0) {
    SetObjects(ACol, ARow, CodeFor(ACol, text));
  }
  if (AfterCellChange) {
    AfterCellChange(ACol, ARow, text);
  }
}

void TQSStringGrid::SetEditText(int ACol, int ARow, const std::string& Value) {
  if (OnCellChange) {
    bool bAllowChange = true;
    OnCellChange(ACol, ARow, Value, bAllowChange);
    if (!bAllowChange) {
      throw Platform::EAbort(std::string());
    }
  }
  const std::string formatted = FormatForColumn(ACol, Value);
  TStringGrid::SetEditText(ACol, ARow, Value);
  if (QSGrid::accessibility::ReaderListening()) {
    QSGrid::accessibility::CellChanged(*this, ACol, ARow);
  }
  if (mapComboCodeLists_m.count(ACol) != 0) {
    SetObjects(ACol, ARow, CodeFor(ACol, Value));
  }
  if (AfterCellChange) {
    AfterCellChange(ACol, ARow, formatted);
  }
}

void TQSStringGrid::ResyncCodes(int ARow) {
  for (auto& [col, codes] : mapComboCodeLists_m) {
    if (col < 0 || col >= ColCount()) {
      continue;
    }
    const std::intptr_t code = CodeFor(col, TStringGrid::GetCells(col, ARow));
    if (GetObjects(col, ARow) != code) {
      SetObjects(col, ARow, code);
    }
  }
}

TStringGrid::TGridRowStrings TQSStringGrid::GetRows(int ARow) {
  ResyncCodes(ARow);
  return TStringGrid::GetRows(ARow);
}

void TQSStringGrid::SetRows(int ARow, const TGridRowStrings& Value) {
  TStringGrid::SetRows(ARow, Value);
  ResyncCodes(ARow);
}

// ---- per-column settings --------------------------------------------------------------------

void TQSStringGrid::SetColumnPrecision(int ACol, int Precision) {
  mapColPrecision_m[ACol] = Precision;
  InvalidateGrid();
}

int TQSStringGrid::GetColPrecision(int ACol) const {
  auto found = mapColPrecision_m.find(ACol);
  if (found == mapColPrecision_m.end()) {
    found = mapColPrecision_m.find(ALL_COLUMNS_KEY);
  }
  return found == mapColPrecision_m.end() ? 0 : found->second;
}

unsigned TQSStringGrid::GetColFmt(int ACol) const {
  auto found = mapColFormat_m.find(ACol);
  if (found == mapColFormat_m.end()) {
    found = mapColFormat_m.find(ALL_COLUMNS_KEY);
  }
  return found == mapColFormat_m.end() ? 0u : found->second;
}

void TQSStringGrid::SetColumnFormat(int ACol, unsigned Format) {
  mapColFormat_m[ACol] = Format;
  InvalidateGrid();
}

void TQSStringGrid::SetColumnReadOnlyFlag(int ACol, bool bReadOnly, TColor FontColour,
                                          int BackColour) {
  const bool inGrid = ACol >= 0 && ACol < ColCount();
  if (bReadOnly) {
    mapColReadOnlyFont_m[ACol] = FontColour;
    if (BackColour != -1) {
      mapColReadOnlyBack_m[ACol] = static_cast<TColor>(BackColour);
    }
    if (inGrid) {
      SetTabStops(ACol, false);
    }
  } else {
    mapColReadOnlyFont_m.erase(ACol);
    mapColReadOnlyBack_m.erase(ACol);
    if (inGrid) {
      SetTabStops(ACol, true);
    }
  }
}

void TQSStringGrid::SetRowReadOnlyFlag(int ARow, bool bReadOnly, TColor FontColour,
                                       int BackColour) {
  if (bReadOnly) {
    mapRowReadOnlyFont_m[ARow] = FontColour;
    if (BackColour != -1) {
      mapRowReadOnlyBack_m[ARow] = static_cast<TColor>(BackColour);
    }
  } else {
    mapRowReadOnlyFont_m.erase(ARow);
    mapRowReadOnlyBack_m.erase(ARow);
  }
}

// ---- selection ---------------------------------------------------------------------------------

bool TQSStringGrid::SelectCell(int ACol, int ARow) {
  bool verdict = true;
  if (!(Options() & goRowSelect) &&
      (mapColReadOnlyFont_m.count(ACol) != 0 || mapRowReadOnlyFont_m.count(ARow) != 0)) {
    verdict = false;
  } else if (ARow >= 0 && ARow < RowCount() && RowHeights(ARow) == -1) {
    verdict = false;
  }
  if (OnSelectCell) {
    OnSelectCell(this, ACol, ARow, verdict);
  }
  return verdict;
}

// ---- rows and columns
// -----------------------------------------------------------------------------

void TQSStringGrid::InsertRow(int ARow) {
  if (RowCount() < ARow) {
    throw Platform::Exception("Invalid Row Index: " + std::to_string(ARow));
  }
  if (ARow < 0) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  SetRowCount(RowCount() + 1);
  MoveRow(RowCount() - 1, ARow);
}

void TQSStringGrid::InsertColumn(int ACol) {
  if (ColCount() < ACol) {
    throw Platform::Exception("Invalid Col Index: " + std::to_string(ACol));
  }
  if (ACol < 0) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  SetColCount(ColCount() + 1);
  MoveColumn(ColCount() - 1, ACol);
}

void TQSStringGrid::RemoveRow(int ARow) {
  DeleteRow(ARow);
}

void TQSStringGrid::HideRow(int ARow) {
  SetRowHeights(ARow, -1);
}
void TQSStringGrid::UnHideRow(int ARow) {
  SetRowHeights(ARow, DefaultRowHeight());
}
bool TQSStringGrid::IsRowHidden(int ARow) const {
  return RowHeights(ARow) == -1;
}
void TQSStringGrid::HideCol(int ACol) {
  SetColWidths(ACol, -1);
}
void TQSStringGrid::UnHideCol(int ACol) {
  SetColWidths(ACol, DefaultColWidth());
}
bool TQSStringGrid::IsColHidden(int ACol) const {
  return ColWidths(ACol) == -1;
}

int TQSStringGrid::GetVisibleRowCount() const {
  int count = 0;
  for (int r = 0; r < RowCount(); ++r) {
    if (RowHeights(r) != -1) {
      ++count;
    }
  }
  return count;
}

// ---- search
// -------------------------------------------------------------------------------------------

int TQSStringGrid::FindRow(int ACol, const std::string& Value, bool bIgnoreCase,
                           int StartRow) const {
  const int start = StartRow < 0 ? FixedRows() : StartRow;
  const QString wanted = bIgnoreCase ? Upper(Value) : QString();
  for (int r = start; r < RowCount(); ++r) {
    const std::string_view text = Data().Cell(ACol, r);
    if (bIgnoreCase ? Upper(text) == wanted : text == Value) {
      return r;
    }
  }
  return -1;
}

int TQSStringGrid::FindRowByObject(int ACol, std::intptr_t Object, int StartRow) const {
  const int start = StartRow < 0 ? FixedRows() : StartRow;
  for (int r = start; r < RowCount(); ++r) {
    if (GetObjects(ACol, r) == Object) {
      return r;
    }
  }
  return -1;
}

// ---- repainting
// ------------------------------------------------------------------------------------------

void TQSStringGrid::ForceRepaintCell(int ACol, int ARow) {
  const TRect box = CellRect(ACol, ARow);
  TGridDrawState state = 0;
  const bool current = ACol == Col() && ARow == Row();
  if (current && !(Options() & goRowSelect)) {
    state |= gdSelected;
    if (IsEditorShowing()) {
      state |= gdFocused;
    }
  }
  if (ACol < FixedCols() || ARow < FixedRows()) {
    state |= gdFixed;
  }
  PrepareCanvas(state);
  DrawCell(ACol, ARow, box, state);
}

// Every cell of the row goes through DrawCell at once (hooks, sizing, grid lines);
// the row's pixels follow in a paint of its area straight after.
void TQSStringGrid::ForceRowRepaint(int ARow) {
  for (int c = 0; c < ColCount(); ++c) {
    ForceRepaintCell(c, ARow);
  }
  if (IsPainting() || IsUpdating()) {
    InvalidateRow(ARow);
  } else {
    const TRect first = CellRect(LeftCol(), ARow);
    if (!first.IsEmpty()) {
      viewport()->repaint(0, first.Top, viewport()->width(), first.Height() + GridLineWidth());
    }
  }
}

void TQSStringGrid::ForceColRepaint(int ACol) {
  for (int r = 0; r < RowCount(); ++r) {
    ForceRepaintCell(ACol, r);
  }
  if (IsPainting() || IsUpdating()) {
    InvalidateCol(ACol);
  } else {
    const TRect first = CellRect(ACol, TopRow());
    if (!first.IsEmpty()) {
      viewport()->repaint(first.Left, 0, first.Width() + GridLineWidth(), viewport()->height());
    }
  }
}

// ---- batch updates
// -------------------------------------------------------------------------------------

void TQSStringGrid::BeginUpdate() {
  for (int r = 0; r < RowCount(); ++r) {
    ResyncCodes(r);
  }
  vecUpdateDepths_m.push_back(RowCount());
  SetUpdateState(true);
}

void TQSStringGrid::EndUpdate() {
  if (vecUpdateDepths_m.empty()) {
    return;  // an EndUpdate without its BeginUpdate changes nothing
  }
  vecUpdateDepths_m.pop_back();
  SetUpdateState(false);
}
