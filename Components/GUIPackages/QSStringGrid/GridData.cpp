#include "GridData.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>

#include "GridTypes.h"

namespace QSGrid {

namespace {
// A row's texts are counted with 32-bit positions.
constexpr std::size_t kMaxRowText = std::numeric_limits<std::uint32_t>::max();
// The least room a row's texts get when they first need some.
constexpr std::size_t kMinText = 48;

template <typename T>
void MoveItem(std::vector<T>& items, int from, int to) {
  if (from < to) {
    std::rotate(items.begin() + from, items.begin() + from + 1, items.begin() + to + 1);
  } else if (from > to) {
    std::rotate(items.begin() + to, items.begin() + from, items.begin() + from + 1);
  }
}
}  // namespace

TGridData::Row_::Row_(std::size_t cols)
    : block_(cols == 0 ? nullptr : new char[cols * sizeof(std::uint32_t)]()),
      capacity_(cols * sizeof(std::uint32_t)),
      cols_(static_cast<std::uint32_t>(cols)) {}

TGridData::Row_::Row_(const Row_& other)
    : capacity_(other.TextsOffset() + other.TextSize()),
      cols_(other.cols_),
      objects_(other.objects_) {
  if (capacity_ != 0) {
    block_.reset(new char[capacity_]);
    std::memcpy(block_.get(), other.block_.get(), capacity_);
  }
}

TGridData::Row_& TGridData::Row_::operator=(const Row_& other) {
  if (this != &other) {
    *this = Row_(other);
  }
  return *this;
}

std::intptr_t TGridData::Row_::Object(std::size_t col) const {
  std::intptr_t object = 0;
  if (col < objects_) {
    std::memcpy(&object, block_.get() + col * sizeof object, sizeof object);
  }
  return object;
}

void TGridData::Row_::Shift(std::size_t fromCol, std::size_t oldLength, std::size_t newLength) {
  if (oldLength == newLength) {
    return;
  }
  for (std::size_t c = fromCol; c < cols_; ++c) {
    SetEnd(c, End(c) - oldLength + newLength);
  }
}

void TGridData::Row_::Regrow(std::size_t objects, std::size_t textCapacity) {
  const std::size_t kept = std::min<std::size_t>(objects, objects_) * sizeof(std::intptr_t);
  const std::size_t ends = cols_ * sizeof(std::uint32_t);
  const std::size_t textSize = TextSize();
  const std::size_t capacity = objects * sizeof(std::intptr_t) + ends + textCapacity;
  std::unique_ptr<char[]> block(new char[capacity]);
  char* const to = block.get();
  const char* const from = block_.get();
  if (kept != 0) {
    std::memcpy(to, from, kept);
  }
  std::memset(to + kept, 0, objects * sizeof(std::intptr_t) - kept);
  if (ends + textSize != 0) {
    std::memcpy(to + objects * sizeof(std::intptr_t), from + EndsOffset(), ends + textSize);
  }
  block_ = std::move(block);
  capacity_ = capacity;
  objects_ = static_cast<std::uint32_t>(objects);
}

void TGridData::Row_::SetText(std::size_t col, std::string_view text) {
  const std::size_t begin = Begin(col);
  const std::size_t end = End(col);
  const std::size_t size = TextSize();
  if (text.size() > kMaxRowText - (size - (end - begin))) {
    throw EInvalidGridOperation(SGridRowTooLong);
  }
  // A text taken from this row itself is copied first: the move below would change it.
  std::string own;
  const std::less<const char*> before;
  if (block_ != nullptr && !before(text.data(), block_.get()) &&
      before(text.data(), block_.get() + capacity_)) {
    own.assign(text);
    text = own;
  }
  const std::size_t newSize = size - (end - begin) + text.size();
  if (newSize > capacity_ - TextsOffset()) {
    // A loading row gets its texts one cell after another: it grows to fit plus a quarter
    // (at least kMinText), not to double, so little of a loaded row stays unused.
    Regrow(objects_, std::max(newSize + newSize / 4, kMinText));
  }
  char* const texts = block_.get() + TextsOffset();
  std::memmove(texts + begin + text.size(), texts + end, size - end);
  if (!text.empty()) {
    std::memcpy(texts + begin, text.data(), text.size());
  }
  Shift(col, end - begin, text.size());
}

void TGridData::Row_::SetObject(std::size_t col, std::intptr_t object) {
  if (col >= objects_) {
    if (object == 0) {
      return;
    }
    Regrow(col + 1, capacity_ - TextsOffset());
  }
  std::memcpy(block_.get() + col * sizeof object, &object, sizeof object);
}

TGridData::Row_::Lists TGridData::Row_::Unpack() const {
  Lists lists;
  for (std::size_t c = 0; c < objects_; ++c) {
    lists.objects.push_back(Object(c));
  }
  for (std::size_t c = 0; c < cols_; ++c) {
    lists.ends.push_back(static_cast<std::uint32_t>(End(c)));
  }
  lists.texts.assign(block_.get() + TextsOffset(), TextSize());
  return lists;
}

void TGridData::Row_::Pack(const Lists& lists) {
  Row_ packed(0);
  packed.cols_ = static_cast<std::uint32_t>(lists.ends.size());
  packed.objects_ = static_cast<std::uint32_t>(lists.objects.size());
  packed.capacity_ = packed.TextsOffset() + lists.texts.size();
  if (packed.capacity_ != 0) {
    packed.block_.reset(new char[packed.capacity_]);
    char* to = packed.block_.get();
    const std::size_t objects = lists.objects.size() * sizeof(std::intptr_t);
    const std::size_t ends = lists.ends.size() * sizeof(std::uint32_t);
    if (objects != 0) {
      std::memcpy(to, lists.objects.data(), objects);
    }
    if (ends != 0) {
      std::memcpy(to + objects, lists.ends.data(), ends);
    }
    if (!lists.texts.empty()) {
      std::memcpy(to + objects + ends, lists.texts.data(), lists.texts.size());
    }
  }
  *this = std::move(packed);
}

void TGridData::Row_::Resize(std::size_t cols) {
  if (cols == cols_) {
    return;
  }
  Lists lists = Unpack();
  if (cols < cols_) {
    lists.texts.resize(Begin(cols));
    lists.ends.resize(cols);
    lists.objects.resize(std::min(lists.objects.size(), cols));
  } else {
    lists.ends.resize(cols, static_cast<std::uint32_t>(lists.texts.size()));
  }
  Pack(lists);
}

void TGridData::Row_::Insert(std::size_t col, std::string_view text, std::intptr_t object) {
  if (text.size() > kMaxRowText - TextSize()) {
    throw EInvalidGridOperation(SGridRowTooLong);
  }
  Lists lists = Unpack();
  const std::size_t begin = Begin(col);
  lists.texts.insert(begin, text);
  lists.ends.insert(lists.ends.begin() + static_cast<std::ptrdiff_t>(col),
                    static_cast<std::uint32_t>(begin));
  for (std::size_t c = col; c < lists.ends.size(); ++c) {
    lists.ends[c] = static_cast<std::uint32_t>(lists.ends[c] + text.size());
  }
  if (col < lists.objects.size()) {
    lists.objects.insert(lists.objects.begin() + static_cast<std::ptrdiff_t>(col), object);
  } else if (object != 0) {
    lists.objects.resize(col + 1, 0);
    lists.objects[col] = object;
  }
  Pack(lists);
}

void TGridData::Row_::Erase(std::size_t col) {
  Lists lists = Unpack();
  const std::size_t begin = Begin(col);
  const std::size_t length = End(col) - begin;
  lists.texts.erase(begin, length);
  lists.ends.erase(lists.ends.begin() + static_cast<std::ptrdiff_t>(col));
  for (std::size_t c = col; c < lists.ends.size(); ++c) {
    lists.ends[c] = static_cast<std::uint32_t>(lists.ends[c] - length);
  }
  if (col < lists.objects.size()) {
    lists.objects.erase(lists.objects.begin() + static_cast<std::ptrdiff_t>(col));
  }
  Pack(lists);
}

void TGridData::Row_::Clear() {
  *this = Row_(cols_);
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
