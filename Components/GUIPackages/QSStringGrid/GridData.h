// The grid's data, free of any painting: a table of texts with one integer object
// per cell, the column widths and row heights (-1 is hidden), and the row and
// column moves, insertions and deletions. Indexes are checked; a bad one raises
// QSGrid::EInvalidGridOperation.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
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
  // Room for this many rows, so that rows added one at a time are not moved each time
  // the table grows.
  void ReserveRows(int count);

  bool IsValidCell(int col, int row) const {
    return col >= 0 && row >= 0 && col < ColCount() && row < RowCount();
  }
  // Reads outside the table give an empty text and object 0; writes raise. A text read
  // stays valid until the row is next changed.
  std::string_view Cell(int col, int row) const;
  void SetCell(int col, int row, std::string_view text);
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
  // A row keeps all it holds in one block: its objects up to the last that is not 0, the
  // end of each cell's text, then the texts one after another. A row of a loaded file so
  // costs one allocation rather than a string and an object for each cell.
  class Row_ {
   public:
    explicit Row_(std::size_t cols);
    Row_(const Row_& other);
    Row_& operator=(const Row_& other);
    Row_(Row_&&) noexcept = default;
    Row_& operator=(Row_&&) noexcept = default;
    ~Row_() = default;

    std::size_t Size() const { return cols_; }
    std::string_view Text(std::size_t col) const {
      return {block_.get() + TextsOffset() + Begin(col), End(col) - Begin(col)};
    }
    void SetText(std::size_t col, std::string_view text);
    std::intptr_t Object(std::size_t col) const;
    void SetObject(std::size_t col, std::intptr_t object);
    void Resize(std::size_t cols);
    void Insert(std::size_t col, std::string_view text, std::intptr_t object);
    void Erase(std::size_t col);
    void Clear();

   private:
    // The row as plain lists, for the column changes, which are rare.
    struct Lists {
      std::vector<std::intptr_t> objects;
      std::vector<std::uint32_t> ends;
      std::string texts;
    };

    std::size_t EndsOffset() const { return objects_ * sizeof(std::intptr_t); }
    std::size_t TextsOffset() const { return EndsOffset() + cols_ * sizeof(std::uint32_t); }
    std::size_t End(std::size_t col) const {
      std::uint32_t end;
      std::memcpy(&end, block_.get() + EndsOffset() + col * sizeof end, sizeof end);
      return end;
    }
    void SetEnd(std::size_t col, std::size_t end) {
      const auto value = static_cast<std::uint32_t>(end);
      std::memcpy(block_.get() + EndsOffset() + col * sizeof value, &value, sizeof value);
    }
    std::size_t Begin(std::size_t col) const { return col == 0 ? 0 : End(col - 1); }
    std::size_t TextSize() const { return cols_ == 0 ? 0 : End(cols_ - 1); }
    void Shift(std::size_t fromCol, std::size_t oldLength, std::size_t newLength);
    // Moves the row to a new block with `objects` objects (new ones 0) and room for
    // `textCapacity` bytes of text.
    void Regrow(std::size_t objects, std::size_t textCapacity);
    Lists Unpack() const;
    void Pack(const Lists& lists);

    std::unique_ptr<char[]> block_;
    std::size_t capacity_ = 0;  // bytes in block_
    std::uint32_t cols_ = 0;
    std::uint32_t objects_ = 0;
  };
  void CheckCol(int col) const;
  void CheckRow(int row) const;

  std::vector<Row_> rows_;
  std::vector<int> colWidths_;
  std::vector<int> rowHeights_;
  int defaultColWidth_;
  int defaultRowHeight_;
};

// The range error's message.
inline constexpr const char* SGridIndexOutOfRange = "Grid index out of range";
inline constexpr const char* SGridRowTooLong = "A grid row holds at most 4 GiB of text";

}  // namespace QSGrid
