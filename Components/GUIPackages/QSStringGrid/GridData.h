// The grid's data, free of any painting: a table of texts with one integer object
// per cell, the column widths and row heights (-1 is hidden), and the row and
// column moves, insertions and deletions. Indexes are checked; a bad one raises
// QSGrid::EInvalidGridOperation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace QSGrid {

// One row's (or column's) texts with their objects, index for index.
struct TGridRowStrings {
  std::vector<std::string> Strings;
  std::vector<std::intptr_t> Objects;

  int Count() const { return static_cast<int>(Strings.size()); }
  void Add(std::string text, std::intptr_t object = 0) {
    Strings.push_back(std::move(text));
    Objects.push_back(object);
  }
  friend bool operator==(const TGridRowStrings&, const TGridRowStrings&) = default;
};

class TGridData {
 public:
  TGridData(int colCount, int rowCount, int defaultColWidth, int defaultRowHeight);

  int ColCount() const { return static_cast<int>(colWidths_.size()); }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // New rows and columns start empty with the default size; removed ones are gone.
  void SetColCount(int count);
  void SetRowCount(int count);

  bool IsValidCell(int col, int row) const {
    return col >= 0 && row >= 0 && col < ColCount() && row < RowCount();
  }
  // Reads outside the table give an empty text and object 0; writes raise.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);
  std::intptr_t Object(int col, int row) const;
  void SetObject(int col, int row, std::intptr_t object);

  TGridRowStrings Row(int row) const;
  // Index for index, as far as both reach; cells beyond the list keep their content.
  void AssignRow(int row, const TGridRowStrings& value);
  void ClearRow(int row);
  TGridRowStrings Column(int col) const;

  int DefaultColWidth() const { return defaultColWidth_; }
  int DefaultRowHeight() const { return defaultRowHeight_; }
  // Resets every column width (row height) to the new default.
  void SetDefaultColWidth(int width);
  void SetDefaultRowHeight(int height);
  int ColWidth(int col) const;
  int RowHeight(int row) const;
  void SetColWidth(int col, int width);
  void SetRowHeight(int row, int height);

  // The row (column) at `from` is taken out and put in at `to`; those between move
  // by one. Texts, objects and sizes move together.
  void MoveRow(int from, int to);
  void MoveColumn(int from, int to);
  void DeleteRow(int row);
  void DeleteColumn(int col);

 private:
  struct Cell_ {
    std::string text;
    std::intptr_t object = 0;
  };
  void CheckCol(int col) const;
  void CheckRow(int row) const;

  std::vector<std::vector<Cell_>> rows_;
  std::vector<int> colWidths_;
  std::vector<int> rowHeights_;
  int defaultColWidth_;
  int defaultRowHeight_;
};

// The range error's message.
inline constexpr const char* SGridIndexOutOfRange = "Grid index out of range";

}  // namespace QSGrid
