// Shared pieces of the grid tests: a shown form holding a grid, pointer and
// keyboard helpers, pixel reading, and a recorder for the library's message boxes.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "CommonCodeLite.h"
#include "QSStringGrid.h"

namespace gridtest {

// A top-level form with one TQSStringGrid at (10, 10), shown and active.
class GridForm {
 public:
  explicit GridForm(int width = 600, int height = 300);
  ~GridForm();
  QWidget& Form() { return *form_; }
  TQSStringGrid& Grid() { return *grid_; }

 private:
  std::unique_ptr<QWidget> form_;
  TQSStringGrid* grid_;
};

// Centre of a cell in viewport coordinates.
QPoint CellCentre(TStringGrid& grid, int col, int row);
// Rests the mouse pointer over a point of the viewport (the grid reads the pointer).
void RestPointerAt(TStringGrid& grid, QPoint viewportPoint);
// Rests the pointer over the cell and clicks it with the left button.
void ClickCell(TStringGrid& grid, int col, int row);
void PressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// The viewport's pixels as a paint gives them.
QImage Snapshot(TStringGrid& grid);
QColor PixelAt(const QImage& image, int x, int y);
// The colour the grid paints for a 0x00BBGGRR or system colour.
QColor Painted(TStringGrid& grid, QSGrid::TColor color);
// Lets queued work (posted events, deferred notifications) run.
void Settle();

// Records what goes to the utility library's message box while alive.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder();
  ~MessageBoxRecorder();
  struct Call {
    std::string text;
    std::string caption;
  };
  const std::vector<Call>& Calls() const { return *calls_; }

 private:
  std::shared_ptr<std::vector<Call>> calls_;
  VIDodadaZadoVove::MessageBoxHandler previous_;
};

}  // namespace gridtest
