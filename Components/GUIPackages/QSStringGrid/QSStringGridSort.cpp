// TQSStringGrid: sorting the data rows by one column. Rows move whole, texts and
// objects; a hidden last row stays last.
#include <QCoreApplication>
#include <QString>

#include <algorithm>

#include "DateTime.h"
#include "QSStringGrid.h"

using namespace QSGrid;

namespace {

// The sort key of one data row, its text read once as the sort type asks.
struct ColSortData {
  int iSortType = -1;
  int iFlags = -1;
  std::string asKey;
  int iRow = -1;
  bool bHidden = false;
  bool bConverted = false;  // the key read as the sort type asks
  double dValue = 0.0;
};

std::string LowerCase(const std::string& text) {
  return QString::fromStdString(text).toLower().toStdString();
}

double ReadDate(const std::string& text) {
  const auto& fs = Platform::FormatSettings();
  Platform::TDateTime value = 0;
  if (text.find(fs.TimeSeparator) != std::string::npos ||
      !Platform::TryStrToDateTime(text, value)) {
    throw Platform::EConvertError("'" + text + "' is not a valid date");
  }
  return value;
}

double ReadTime(const std::string& text) {
  const auto& fs = Platform::FormatSettings();
  Platform::TDateTime value = 0;
  if (text.find(fs.DateSeparator) != std::string::npos ||
      !Platform::TryStrToDateTime(text, value)) {
    throw Platform::EConvertError("'" + text + "' is not a valid time");
  }
  return value;
}

// Reads the key; a text that does not convert leaves the record unconverted and
// returns the error's message for the box.
std::string Convert(ColSortData& data) {
  data.bConverted = true;
  switch (data.iSortType) {
    case SORT_TYPE_INTEGER:
    case SORT_TYPE_INTEGER2: {
      std::int32_t value = 0;
      data.dValue = Platform::TryStrToInt(data.asKey, value) ? value : 0;
      return {};
    }
    case SORT_TYPE_FLOAT:
    case SORT_TYPE_DATETIME:
      break;
    default:
      return {};
  }
  try {
    if (data.iSortType == SORT_TYPE_FLOAT) {
      data.dValue = Platform::StrToFloat(data.asKey);
    } else if (data.iFlags & SORT_FLAG_DATE) {
      data.dValue = ReadDate(data.asKey);
    } else if (data.iFlags & SORT_FLAG_TIME) {
      data.dValue = ReadTime(data.asKey);
    } else {
      data.dValue = Platform::StrToDateTime(data.asKey);
    }
    return {};
  } catch (const Platform::Exception& e) {
    data.bConverted = false;
    return "Internal Error in [ColSortData operator <] msg: " + e.Message();
  } catch (...) {
    data.bConverted = false;
    return "UNKNOWN Internal Error in [ColSortData operator <].";
  }
}

// Whether a comes before b. Keys that did not convert come after all others and
// keep their order among themselves, so the ordering stays consistent.
bool Before(const ColSortData& a, const ColSortData& b) {
  if (a.bConverted != b.bConverted) {
    return a.bConverted;
  }
  if (!a.bConverted) {
    return false;
  }
  const bool ascending = (a.iFlags & SORT_FLAG_ASCENDING) != 0;
  switch (a.iSortType) {
    case SORT_TYPE_TEXT:
      return ascending ? a.asKey < b.asKey : a.asKey > b.asKey;
    case SORT_TYPE_INTEGER:
    case SORT_TYPE_INTEGER2:
    case SORT_TYPE_FLOAT:
    case SORT_TYPE_DATETIME:
      return ascending ? a.dValue < b.dValue : a.dValue > b.dValue;
    default:
      return false;
  }
}

}  // namespace

void TQSStringGrid::SortGridByColumn(int ACol, int SortType, int SortFlags) {
  // 1. One record per data row; a hidden last row stays out and is put back last.
  std::vector<ColSortData> records;
  bool endsHidden = false;
  std::string firstError;
  for (int r = FixedRows(); r < RowCount(); ++r) {
    if (r == RowCount() - 1 && IsRowHidden(r)) {
      endsHidden = true;
      continue;
    }
    ColSortData data;
    data.iSortType = SortType;
    data.iFlags = SortFlags;
    data.asKey =
        (SortFlags & SORT_FLAG_CASE_SENSITIVE) ? GetCells(ACol, r) : LowerCase(GetCells(ACol, r));
    data.iRow = r;
    data.bHidden = IsRowHidden(r);
    std::string error = Convert(data);
    if (firstError.empty()) {
      firstError = std::move(error);
    }
    records.push_back(std::move(data));
  }

  // 2. Sort. A column with bad values is reported once, not once per comparison.
  std::stable_sort(records.begin(), records.end(), Before);
  if (!firstError.empty()) {
    VIDodadaZadoVove::ShowLibraryMessageBox(firstError,
                                            QCoreApplication::applicationName().toStdString());
  }

  // 3. Copy the rows in sorted order (codes of drop-down columns re-synchronised).
  std::vector<TGridRowStrings> sorted;
  sorted.reserve(records.size());
  for (const ColSortData& data : records) {
    sorted.push_back(GetRows(data.iRow));
  }

  // 4. Rebuild the rows below the fixed rows.
  TGridRowStrings placeholder;
  if (endsHidden) {
    placeholder = GetRows(RowCount() - 1);
  }
  const int savedCol = Col();
  const int savedRow = Row();
  SetUpdateState(true);
  try {
    SetRowCount(FixedRows() + 1);
    if (endsHidden) {
      // The remaining row becomes the hidden last row again, with its own content.
      ClearRow(RowCount() - 1);
      SetRows(RowCount() - 1, placeholder);
      HideRow(RowCount() - 1);
    }
    for (std::size_t i = 0; i < sorted.size(); ++i) {
      InsertRow(RowCount() - 1);
      SetRows(RowCount() - 2, sorted[i]);
      if (records[i].bHidden) {
        HideRow(RowCount() - 2);  // a hidden data row stays hidden
      }
    }
    if (!endsHidden) {
      RemoveRow(RowCount() - 1);
    }
  } catch (...) {
    SetUpdateState(false);
    throw;
  }
  SetCurrentCell(savedCol, savedRow);
  SetUpdateState(false);

  // 5. Remember the flags.
  mapColSortState_m[ACol] = SortFlags;
}

int TQSStringGrid::GetColumnSortState(int ACol) const {
  const auto found = mapColSortState_m.find(ACol);
  return found == mapColSortState_m.end() ? 0 : found->second;
}
