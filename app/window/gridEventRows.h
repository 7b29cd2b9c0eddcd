// The main window's grid as the scheduler pass sees it.
#pragma once

#include "QSStringGrid.h"
#include "events/eventScheduler.h"

class GridEventRows : public event_scheduler::EventRows {
 public:
  explicit GridEventRows(TQSStringGrid& grid) : grid_(grid) {}

  int FixedRows() const override { return grid_.FixedRows(); }
  int RowCount() const override { return grid_.RowCount(); }
  int ColCount() const override { return grid_.ColCount(); }
  bool IsRowHidden(int row) const override { return grid_.IsRowHidden(row); }
  std::string GetCells(int col, int row) const override { return grid_.GetCells(col, row); }
  std::intptr_t GetObjects(int col, int row) const override { return grid_.GetObjects(col, row); }
  void SetObjects(int col, int row, std::intptr_t value) override {
    grid_.SetObjects(col, row, value);
  }
  void SetCells(int col, int row, const std::string& text) override {
    grid_.SetCells(col, row, text);
  }
  void InvalidateRow(int row) override { grid_.InvalidateRow(row); }

 private:
  TQSStringGrid& grid_;
};
