// The grid on an event table of 10,000 rows and 9 columns: filling it in one batch,
// sorting by a text and by a date column, and one full paint of the visible area.
// Run by hand: QT_QPA_PLATFORM=offscreen ./GridBench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <QApplication>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QSStringGrid.h"

namespace {

constexpr int kRows = 10000;
constexpr int kCols = 9;

struct Table {
  std::vector<std::vector<std::string>> cells;  // [row][col]
};

// Rows as the event table holds them: id, description, end time, zone, minutes,
// four check marks.
const Table& SampleTable() {
  static const Table table = [] {
    Table t;
    std::mt19937 random(42);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::vector<std::string> zones{"Europe/Berlin", "Etc/UTC", "Asia/Tokyo",
                                         "America/New_York", "Australia/Sydney"};
    char date[32];
    for (int r = 0; r < kRows; ++r) {
      std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", 2020 + pick(10),
                    1 + pick(12), 1 + pick(28), pick(24), pick(60), pick(60));
      t.cells.push_back(
          {"ID" + std::to_string(pick(1000000)), "Reminder number " + std::to_string(pick(100000)),
           date, zones[static_cast<std::size_t>(pick(5))], std::to_string(pick(120)),
           pick(2) ? "Y" : "N", pick(2) ? "Y" : "N", pick(2) ? "Y" : "N", pick(2) ? "Y" : "N"});
    }
    return t;
  }();
  return table;
}

std::unique_ptr<TQSStringGrid> EventTable() {
  auto grid = std::make_unique<TQSStringGrid>();
  grid->SetColCount(kCols);
  grid->SetRowCount(kRows + 2);
  grid->SetFixedCols(0);
  grid->SetDefaultRowHeight(18);
  grid->HideRow(kRows + 1);
  for (int c = 5; c < kCols; ++c) {
    grid->SetColumnAsCheckBox(c, "Y", "N");
  }
  return grid;
}

void Fill(TQSStringGrid& grid) {
  const Table& table = SampleTable();
  grid.BeginUpdate();
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      grid.SetCells(c, r + 1,
                    table.cells[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
    }
  }
  grid.EndUpdate();
}

void BM_FillThroughSetCells(benchmark::State& state) {
  auto grid = EventTable();
  for (auto _ : state) {
    Fill(*grid);
  }
}
BENCHMARK(BM_FillThroughSetCells)->Unit(benchmark::kMillisecond);

void SortBench(benchmark::State& state, int col, int type, int flags) {
  auto grid = EventTable();
  for (auto _ : state) {
    state.PauseTiming();
    Fill(*grid);  // the same unsorted rows each time
    state.ResumeTiming();
    grid->SortGridByColumn(col, type, flags);
  }
}

void BM_SortByText(benchmark::State& state) {
  SortBench(state, 1, 1, 1);
}
BENCHMARK(BM_SortByText)->Unit(benchmark::kMillisecond);

void BM_SortByDate(benchmark::State& state) {
  SortBench(state, 2, 4, 1);
}
BENCHMARK(BM_SortByDate)->Unit(benchmark::kMillisecond);

void BM_PaintVisibleArea(benchmark::State& state) {
  QWidget form;
  form.resize(800, 600);
  auto* grid = new TQSStringGrid(&form);
  grid->setGeometry(0, 0, 800, 600);
  grid->SetColCount(kCols);
  grid->SetRowCount(kRows + 2);
  grid->SetFixedCols(0);
  grid->SetDefaultRowHeight(18);
  grid->SetAutoSizeRows(true);
  grid->SetAutoSizeCols(true);
  grid->SetWidthMargin(3);
  grid->HideRow(kRows + 1);
  for (int c = 5; c < kCols; ++c) {
    grid->SetColumnAsCheckBox(c, "Y", "N");
  }
  Fill(*grid);
  // The event table's hook: its own colours for ordinary cells, fill kept.
  grid->OnBeforeDrawCell = [grid](int, int r, const QSGrid::TRect&, QSGrid::TGridDrawState,
                                  std::string&, int& flags, int& vals, QSGrid::TFont&) {
    if (r >= grid->FixedRows()) {
      flags = 12;
      vals = 12;
      grid->Canvas().Brush.Color = r % 7 == 0 ? 0x00FF00 : QSGrid::clWindow;
      grid->Canvas().Font.Color = grid->Font().Color;
    }
  };
  form.show();
  grid->viewport()->repaint();  // first paint grows the columns
  QApplication::processEvents();
  for (auto _ : state) {
    grid->viewport()->repaint();
  }
}
BENCHMARK(BM_PaintVisibleArea)->Unit(benchmark::kMillisecond);

}  // namespace
