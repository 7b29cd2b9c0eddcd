// TStringGrid: painting. Each visible cell of non-zero size is handed to DrawCell
// with its box and draw state; the grid lines and the area beyond the last cell
// are the grid's own.
#include <QApplication>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <vector>

#include "StringGrid.h"

using namespace QSGrid;

namespace {
constexpr TColor clSilver = 0xC0C0C0;
}  // namespace

bool TStringGrid::GridHasFocus() const {
  const QWidget* focus = QApplication::focusWidget();
  return focus != nullptr && (focus == this || isAncestorOf(focus));
}

TGridDrawState TStringGrid::PaintState(int ACol, int ARow) const {
  if (ACol < fixedCols_ || ARow < fixedRows_) {
    return gdFixed;
  }
  TGridDrawState state = 0;
  const bool current = ACol == col_ && ARow == row_;
  if (current && GridHasFocus()) {
    state |= gdFocused;
  }
  const bool rowSelect = (options_ & goRowSelect) != 0;
  if (rowSelect ? ARow == row_ : current) {
    state |= gdSelected;
  }
  if ((state & gdFocused) && !rowSelect && !(options_ & goDrawFocusSelected)) {
    state &= ~gdSelected;
  }
  return state;
}

void TStringGrid::PrepareCanvas(TGridDrawState AState) {
  canvas_.Font = font_;
  canvas_.Brush.Color = (AState & gdFixed) ? fixedColor_ : color_;
  if (defaultDrawing_ && (AState & gdSelected) && !(AState & gdFixed)) {
    canvas_.Brush.Color = clHighlight;
    canvas_.Font.Color = clHighlightText;
  }
}

void TStringGrid::WMEraseBkgnd(TWMEraseBkgnd& Message) {
  Message.Result = 0;
}

void TStringGrid::DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) {
  if (defaultDrawing_) {
    canvas_.TextRect(ARect, ARect.Left + 2, ARect.Top + 2, GetCells(ACol, ARow));
  }
  if (OnDrawCell) {
    OnDrawCell(this, ACol, ARow, ARect, AState);
  }
}

void TStringGrid::paintEvent(QPaintEvent* e) {
  QPainter painter(viewport());
  canvas_.Attach(&painter, palette());
  painting_ = true;
  try {
    TWMEraseBkgnd erase;
    WMEraseBkgnd(erase);
    if (erase.Result == 0) {
      painter.fillRect(e->rect(), ColorToQColor(color_, palette()));
    }
    PaintCells(painter, e->rect());
    PaintGridLines(painter);
  } catch (const Platform::EAbort&) {
  } catch (const std::exception& ex) {
    painting_ = false;
    canvas_.Detach();
    QSGrid::HandleApplicationException(ex);
    return;
  }
  painting_ = false;
  canvas_.Detach();
}

void TStringGrid::PaintCells(QPainter& painter, const QRect& area) {
  const int width = viewport()->width();
  const int height = viewport()->height();
  std::vector<int> cols;
  std::vector<int> xs;
  int x = 0;
  for (int c = 0; c < ColCount() && x < width; ++c) {
    if (c >= fixedCols_ && c < leftCol_) {
      continue;
    }
    cols.push_back(c);
    xs.push_back(x);
    x += ExtentOf(data_.ColWidth(c));
  }
  const int right = x;
  int y = 0;
  for (int r = 0; r < RowCount() && y < height; ++r) {
    if (r >= fixedRows_ && r < topRow_) {
      continue;
    }
    const int rowHeight = data_.RowHeight(r);
    if (rowHeight >= 1 && y < area.bottom() + 1 && y + rowHeight > area.top()) {
      for (std::size_t i = 0; i < cols.size(); ++i) {
        const int c = cols[i];
        const int colWidth = data_.ColWidth(c);
        if (colWidth < 1 || xs[i] > area.right() || xs[i] + colWidth <= area.left()) {
          continue;
        }
        const TRect box{xs[i], y, xs[i] + colWidth, y + rowHeight};
        const TGridDrawState state = PaintState(c, r);
        PrepareCanvas(state);
        canvas_.SetClipRect(&box);
        DrawCell(c, r, box, state);
        canvas_.SetClipRect(nullptr);
        if (defaultDrawing_ && (state & gdFixed)) {
          canvas_.Frame3D(box, clBtnHighlight, clBtnShadow);
        }
        if (defaultDrawing_ && (state & gdFocused) && !(options_ & goRowSelect) &&
            (options_ & (goEditing | goAlwaysShowEditor)) != (goEditing | goAlwaysShowEditor)) {
          canvas_.DrawFocusRect(box);
        }
      }
    }
    y += ExtentOf(rowHeight);
  }
  const int bottom = y;
  // The area beyond the last column and below the last row.
  const QColor background = ColorToQColor(color_, palette());
  if (right < width) {
    painter.fillRect(QRect(right, 0, width - right, height), background);
  }
  if (bottom < height) {
    painter.fillRect(QRect(0, bottom, std::min(right, width), height - bottom), background);
  }
}

std::vector<TStringGrid::Band> TStringGrid::ShownBands(bool cols, int limit) const {
  const int count = cols ? ColCount() : RowCount();
  const int fixed = cols ? fixedCols_ : fixedRows_;
  const int first = cols ? leftCol_ : topRow_;
  std::vector<Band> bands;
  int at = 0;
  for (int i = 0; i < count && at < limit; ++i) {
    if (i >= fixed && i < first) {
      continue;
    }
    const int size = cols ? data_.ColWidth(i) : data_.RowHeight(i);
    bands.push_back({i, at, size});
    at += ExtentOf(size);
  }
  return bands;
}

int TStringGrid::EndOfBands(const std::vector<Band>& bands, int below) const {
  int end = 0;
  for (const Band& b : bands) {
    if (b.index < below) {
      end = b.start + ExtentOf(b.size);
    }
  }
  return end;
}

void TStringGrid::PaintGridLines(QPainter& painter) {
  if (gridLineWidth_ <= 0) {
    return;
  }
  const QColor fixedLine = ColorToQColor(clBlack, palette());
  const QColor dataLine = ColorToQColor(color_ == clSilver ? clGray : clSilver, palette());
  const std::vector<Band> colBands = ShownBands(true, viewport()->width());
  const std::vector<Band> rowBands = ShownBands(false, viewport()->height());
  const int right = EndOfBands(colBands, std::numeric_limits<int>::max());
  const int bottom = EndOfBands(rowBands, std::numeric_limits<int>::max());
  const int fixedRight = EndOfBands(colBands, fixedCols_);
  const int fixedBottom = EndOfBands(rowBands, fixedRows_);
  const bool fixedVert = options_ & goFixedVertLine;
  const bool fixedHorz = options_ & goFixedHorzLine;
  const bool vert = options_ & goVertLine;
  const bool horz = options_ & goHorzLine;
  for (const Band& b : colBands) {
    if (ExtentOf(b.size) <= 0) {
      continue;
    }
    const int lx = b.start + std::max(0, b.size);
    const bool fixedCol = b.index < fixedCols_;
    if (fixedVert && fixedBottom > 0) {
      painter.fillRect(QRect(lx, 0, gridLineWidth_, fixedBottom), fixedLine);
    }
    if (fixedCol ? fixedVert : vert) {
      painter.fillRect(QRect(lx, fixedBottom, gridLineWidth_, bottom - fixedBottom),
                       fixedCol ? fixedLine : dataLine);
    }
  }
  for (const Band& b : rowBands) {
    if (ExtentOf(b.size) <= 0) {
      continue;
    }
    const int ly = b.start + std::max(0, b.size);
    const bool fixedRow = b.index < fixedRows_;
    if (fixedHorz && fixedRight > 0) {
      painter.fillRect(QRect(0, ly, fixedRight, gridLineWidth_), fixedLine);
    }
    if (fixedRow ? fixedHorz : horz) {
      painter.fillRect(QRect(fixedRight, ly, right - fixedRight, gridLineWidth_),
                       fixedRow ? fixedLine : dataLine);
    }
  }
}
