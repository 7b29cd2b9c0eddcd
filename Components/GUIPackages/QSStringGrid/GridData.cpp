#include "GridData.h"

#include <algorithm>

#include "GridTypes.h"

namespace QSGrid {

namespace {
const std::string kEmpty;

template <typename T>
void MoveItem(std::vector<T>& items, int from, int to) {
  if (from < to) {
    std::rotate(items.begin() + from, items.begin() + from + 1, items.begin() + to + 1);
  } else if (from > to) {
    std::rotate(items.begin() + to, items.begin() + from, items.begin() + from + 1);
  }
}
}  // namespace

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
  for (auto& row : rows_) {
    row.resize(static_cast<std::size_t>(count));
  }
}

void TGridData::SetRowCount(int count) {
  if (count < 0) {
    throw EInvalidGridOperation(SGridIndexOutOfRange);
  }
  // Rows are added one at a time while a file loads: each new row is made in place.
  const auto rows = static_cast<std::size_t>(count);
  if (rows < rows_.size()) {
    rows_.resize(rows);
  }
  while (rows_.size() < rows) {
    rows_.emplace_back(colWidths_.size());
  }
  rowHeights_.resize(static_cast<std::size_t>(count), defaultRowHeight_);
}

const std::string& TGridData::Cell(int col, int row) const {
  if (!IsValidCell(col, row)) {
    return kEmpty;
  }
  return rows_[row][col].text;
}

void TGridData::SetCell(int col, int row, std::string text) {
  CheckCol(col);
  CheckRow(row);
  rows_[row][col].text = std::move(text);
}

std::intptr_t TGridData::Object(int col, int row) const {
  return IsValidCell(col, row) ? rows_[row][col].object : 0;
}

void TGridData::SetObject(int col, int row, std::intptr_t object) {
  CheckCol(col);
  CheckRow(row);
  rows_[row][col].object = object;
}

TGridRowStrings TGridData::Row(int row) const {
  CheckRow(row);
  TGridRowStrings result;
  result.Strings.reserve(colWidths_.size());
  result.Objects.reserve(colWidths_.size());
  for (const Cell_& cell : rows_[row]) {
    result.Add(cell.text, cell.object);
  }
  return result;
}

void TGridData::AssignRow(int row, const TGridRowStrings& value) {
  CheckRow(row);
  auto& cells = rows_[row];
  const std::size_t n = std::min(cells.size(), value.Strings.size());
  for (std::size_t i = 0; i < n; ++i) {
    cells[i].text = value.Strings[i];
    cells[i].object = i < value.Objects.size() ? value.Objects[i] : 0;
  }
}

void TGridData::ClearRow(int row) {
  CheckRow(row);
  for (Cell_& cell : rows_[row]) {
    cell.text.clear();
    cell.object = 0;
  }
}

TGridRowStrings TGridData::Column(int col) const {
  CheckCol(col);
  TGridRowStrings result;
  for (const auto& row : rows_) {
    result.Add(row[col].text, row[col].object);
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
  for (auto& row : rows_) {
    MoveItem(row, from, to);
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
  for (auto& row : rows_) {
    row.erase(row.begin() + col);
  }
  colWidths_.erase(colWidths_.begin() + col);
}

}  // namespace QSGrid
