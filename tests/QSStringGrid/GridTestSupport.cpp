#include "GridTestSupport.h"

#include <QApplication>
#include <QCursor>
#include <QTest>

namespace gridtest {

GridForm::GridForm(int width, int height) : form_(std::make_unique<QWidget>()) {
  form_->resize(width + 20, height + 20);
  grid_ = new TQSStringGrid(form_.get());
  grid_->setObjectName(QStringLiteral("grdTest"));
  grid_->setGeometry(10, 10, width, height);
  form_->show();
  form_->activateWindow();
  QApplication::setActiveWindow(form_.get());
  (void)QTest::qWaitForWindowExposed(form_.get());
  grid_->setFocus();
  Settle();
}

GridForm::~GridForm() = default;

QPoint CellCentre(TStringGrid& grid, int col, int row) {
  const QSGrid::TRect r = grid.CellRect(col, row);
  return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

void RestPointerAt(TStringGrid& grid, QPoint viewportPoint) {
  QCursor::setPos(grid.viewport()->mapToGlobal(viewportPoint));
}

void ClickCell(TStringGrid& grid, int col, int row) {
  const QPoint at = CellCentre(grid, col, row);
  RestPointerAt(grid, at);
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, at);
  Settle();
}

void PressKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QTest::keyClick(target, key, modifiers);
  Settle();
}

QImage Snapshot(TStringGrid& grid) {
  Settle();
  return grid.viewport()->grab().toImage();
}

QColor PixelAt(const QImage& image, int x, int y) {
  return image.pixelColor(x, y);
}

QColor Painted(TStringGrid& grid, QSGrid::TColor color) {
  // As a pixel holds it: eight bits a channel.
  return QColor::fromRgb(QSGrid::ColorToQColor(color, grid.palette()).rgb());
}

void Settle() {
  for (int i = 0; i < 3; ++i) {
    QApplication::processEvents();
  }
}

MessageBoxRecorder::MessageBoxRecorder() : calls_(std::make_shared<std::vector<Call>>()) {
  auto calls = calls_;
  previous_ = VIDodadaZadoVove::SetMessageBoxHandler(
      [calls](const std::string& text, const std::string& caption) {
        calls->push_back({text, caption});
      });
}

MessageBoxRecorder::~MessageBoxRecorder() {
  VIDodadaZadoVove::SetMessageBoxHandler(previous_);
}

}  // namespace gridtest
