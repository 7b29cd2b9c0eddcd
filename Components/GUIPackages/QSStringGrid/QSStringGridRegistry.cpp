// TQSStringGrid: column widths saved under a registry key, one sub-key per column
// named by its index, each with an integer value "Width".
#include <charconv>

#include "QSStringGrid.h"

using namespace QSGrid;

namespace {

// A sub-key name as a column index: decimal digits with an optional sign, nothing else.
bool ColumnFromName(const std::string& name, int& column) {
  if (name.empty()) {
    return false;
  }
  const char* first = name.data();
  const char* last = name.data() + name.size();
  if (*first == '+') {
    ++first;
  }
  const auto result = std::from_chars(first, last, column);
  return result.ec == std::errc() && result.ptr == last;
}

}  // namespace

void TQSStringGrid::SaveColumnsToRegistry(VIDodadaZadoVove::HKEY RootKey, const std::string& Key) {
  VIDodadaZadoVove::DeleteKeyFromRegistry(RootKey, Key, true, "");
  for (int c = 0; c < ColCount(); ++c) {
    VIDodadaZadoVove::WriteToRegistry(RootKey, Key + "\\" + std::to_string(c), "Width",
                                      VIDodadaZadoVove::Variant(std::int32_t{ColWidths(c)}), false,
                                      "");
  }
}

void TQSStringGrid::ReadColumnsFromRegistry(VIDodadaZadoVove::HKEY RootKey,
                                            const std::string& Key) {
  const std::vector<std::string> names =
      VIDodadaZadoVove::ReadKeysFromRegistry(RootKey, Key, false, "");
  for (const std::string& name : names) {
    int column = 0;
    // Names that are no column of this grid (not a number, or left from a wider
    // layout) are skipped; the other columns are still read.
    if (!ColumnFromName(name, column) || column < 0 || column >= ColCount()) {
      continue;
    }
    const VIDodadaZadoVove::Variant width =
        VIDodadaZadoVove::ReadFromRegistry(RootKey, Key + "\\" + name, "Width", 3, false, "");
    if (width.IsNull() || width.Type() == 0) {
      continue;  // no readable width: the column keeps its own
    }
    const std::int32_t w = width.AsInt();
    // A column saved as hidden is not hidden again; nonsense widths are ignored.
    if (w == -1 || w < 0) {
      continue;
    }
    SetColWidths(column, w);
  }
}
