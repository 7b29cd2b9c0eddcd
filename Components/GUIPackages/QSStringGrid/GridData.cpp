#include "GridData.h"

#include <algorithm>
#include <limits>

#include "GridTypes.h"

namespace QSGrid {

namespace {
// A row's texts are counted with 32-bit positions.
constexpr std::size_t kMaxRowText = std::numeric_limits<std::uint32_t>::max();

template <typename T>
void MoveItem(std::vector<T>& items, int from, int to) {
  if (from < to) {
    std::rotate(items.begin() + from, items.begin() + from + 1, items.begin() + to + 1);
  } else if (from > to) {
    std::rotate(items.begin() + to, items.begin() + from, items.begin() + from + 1);
  }
}
}  // namespace

void TGridData::Row_::Shift(std::size_t fromCol, std::size_t oldLength, std::size_t newLength) {
  for (std::size_t c = fromCol; c < ends_.size(); ++c) {
    ends_[c] = static_cast<std::uint32_t>(ends_[c] - oldLength + newLength);
  }
}

void TGridData::Row_::SetText(std::size_t col, std::string_view text) {
  const std::size_t begin = Begin(col);
  const std::size_t length = ends_[col] - begin;
  if (text.size() > kMaxRowText - (texts_.size() - length)) {
    throw EInvalidGridOperation(SGridRowTooLong);
  }
  const std::size_t size = texts_.size() - length + text.size();
  if (size <= texts_.capacity()) {
    texts_.replace(begin, length, text);
  } else {
    // A loading row gets its texts one cell after another; a string left to grow by
    // itself doubles each time and ends with most of a row's memory unused.
    std::string grown;
    grown.reserve(size + size / 4);
    grown.append(texts_, 0, begin).append(text).append(texts_, begin + length);
    texts_ = std::move(grown);
  }
  Shift(col, length, text.size());
}

void TGridData::Row_::SetObject(std::size_t col, std::intptr_t object) {
  if (col >= objects_.size()) {
    if (object == 0) {
      return;
    }
    objects_.resize(col + 1, 0);
  }
  objects_[col] = object;
}

void TGridData::Row_::Resize(std::size_t cols) {
  if (cols < ends_.size()) {
    texts_.resize(Begin(cols));
    ends_.resize(cols);
    objects_.resize(std::min(objects_.size(), cols));
  } else {
    ends_.resize(cols, static_cast<std::uint32_t>(texts_.size()));
  }
}

void TGridData::Row_::Insert(std::size_t col, std::string_view text, std::intptr_t object) {
  if (text.size() > kMaxRowText - texts_.size()) {
    throw EInvalidGridOperation(SGridRowTooLong);
  }
  const std::size_t begin = Begin(col);
  texts_.insert(begin, text);
  ends_.insert(ends_.begin() + static_cast<std::ptrdiff_t>(col), static_cast<std::uint32_t>(begin));
  Shift(col, 0, text.size());
  if (col < objects_.size()) {
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(col), object);
  } else {
    SetObject(col, object);
  }
}

void TGridData::Row_::Erase(std::size_t col) {
  const std::size_t begin = Begin(col);
  const std::size_t length = ends_[col] - begin;
  texts_.erase(begin, length);
  ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(col));
  Shift(col, length, 0);
  if (col < objects_.size()) {
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(col));
  }
}

void TGridData::Row_::Clear() {
  texts_.clear();
  std::fill(ends_.begin(), ends_.end(), 0);
  objects_.clear();
}

TGridData::TGridData(int colCount, int rowCount, int defaultColWidth, int defaultRowHeight)
    : defaultColWidth_(defaultColWidth), defaultRowHeight_(defaultRowHeight) {
  SetColCount(colCount);
  SetRowCount(rowCount);
}

void TGridData::CheckCol(int col) const {
  if (col < 0 || col >= ColCount()) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
}

void TGridData::CheckRow(int row) const {
  if (row < 0 || row >= RowCount()) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
}

void TGridData::SetColCount(int count) {
  if (count < 0) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  colWidths_.resize(static_cast<std::size_t>(count), defaultColWidth_);
  for (Row_& row : rows_) {
    row.Resize(static_cast<std::size_t>(count));
  }
}

void TGridData::SetRowCount(int count) {
  if (count < 0) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  // Rows are added one at a time while a file loads: each new row is made in place.
  const auto rows = static_cast<std::size_t>(count);
  if (rows < rows_.size()) {
    rows_.erase(rows_.begin() + count, rows_.end());
  }
  while (rows_.size() < rows) {
    rows_.emplace_back(colWidths_.size());
  }
  rowHeights_.resize(static_cast<std::size_t>(count), defaultRowHeight_);
}

void TGridData::ReserveRows(int count) {
  if (count > 0) {
    rows_.reserve(static_cast<std::size_t>(count));
    rowHeights_.reserve(static_cast<std::size_t>(count));
  }
}

std::string_view TGridData::Cell(int col, int row) const {
  return IsValidCell(col, row) ? rows_[row].Text(col) : std::string_view();
}

void TGridData::SetCell(int col, int row, std::string_view text) {
  CheckCol(col);
  CheckRow(row);
  rows_[row].SetText(col, text);
}

std::intptr_t TGridData::Object(int col, int row) const {
  return IsValidCell(col, row) ? rows_[row].Object(col) : 0;
}

void TGridData::SetObject(int col, int row, std::intptr_t object) {
  CheckCol(col);
  CheckRow(row);
  rows_[row].SetObject(col, object);
}

TGridRowStrings TGridData::Row(int row) const {
  CheckRow(row);
  TGridRowStrings result;
  result.Strings.reserve(colWidths_.size());
  result.Objects.reserve(colWidths_.size());
  const Row_& cells = rows_[row];
  for (std::size_t c = 0; c < cells.Size(); ++c) {
    result.Add(std::string(cells.Text(c)), cells.Object(c));
  }
  return result;
}

void TGridData::AssignRow(int row, const TGridRowStrings& value) {
  CheckRow(row);
  Row_& cells = rows_[row];
  const std::size_t n = std::min(cells.Size(), value.Strings.size());
  for (std::size_t i = 0; i < n; ++i) {
    cells.SetText(i, value.Strings[i]);
    cells.SetObject(i, i < value.Objects.size() ? value.Objects[i] : 0);
  }
}

void TGridData::ClearRow(int row) {
  CheckRow(row);
  rows_[row].Clear();
}

TGridRowStrings TGridData::Column(int col) const {
  CheckCol(col);
  TGridRowStrings result;
  for (const Row_& row : rows_) {
    result.Add(std::string(row.Text(col)), row.Object(col));
  }
  return result;
}

void TGridData::SetDefaultColWidth(int width) {
  defaultColWidth_ = width;
  std::fill(colWidths_.begin(), colWidths_.end(), width);
}

void TGridData::SetDefaultRowHeight(int height) {
  defaultRowHeight_ = height;
  std::fill(rowHeights_.begin(), rowHeights_.end(), height);
}

int TGridData::ColWidth(int col) const {
  CheckCol(col);
  return colWidths_[col];
}

int TGridData::RowHeight(int row) const {
  CheckRow(row);
  return rowHeights_[row];
}

void TGridData::SetColWidth(int col, int width) {
  CheckCol(col);
  colWidths_[col] = width;
}

void TGridData::SetRowHeight(int row, int height) {
  CheckRow(row);
  rowHeights_[row] = height;
}

void TGridData::MoveRow(int from, int to) {
  CheckRow(from);
  CheckRow(to);
  MoveItem(rows_, from, to);
  MoveItem(rowHeights_, from, to);
}

void TGridData::MoveColumn(int from, int to) {
  CheckCol(from);
  CheckCol(to);
  for (Row_& row : rows_) {
    const std::string text(row.Text(from));
    const std::intptr_t object = row.Object(from);
    row.Erase(from);
    row.Insert(to, text, object);
  }
  MoveItem(colWidths_, from, to);
}

void TGridData::DeleteRow(int row) {
  CheckRow(row);
  rows_.erase(rows_.begin() + row);
  rowHeights_.erase(rowHeights_.begin() + row);
}

void TGridData::DeleteColumn(int col) {
  CheckCol(col);
  for (Row_& row : rows_) {
    row.Erase(col);
  }
  colWidths_.erase(colWidths_.begin() + col);
}

}  // namespace QSGrid
