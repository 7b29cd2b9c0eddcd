// The surface a cell is drawn on: a brush colour, a font with its colour, and the
// few drawing operations the grid's cell drawing needs. Outside a paint (no
// painter attached) the drawing operations do nothing, while measuring still works,
// so a cell can be "drawn" for its side effects at any time.
#pragma once

#include <QFontMetrics>
#include <QPalette>

#include <optional>
#include <string>

#include "GridTypes.h"

class QPainter;
class QPixmap;

namespace QSGrid {

class TCanvas {
 public:
  struct TBrush {
    TColor Color = clWindow;
  };

  TBrush Brush;
  TFont Font;

  // Fills the rectangle with the brush colour.
  void FillRect(const TRect& rect);
  // The Windows DrawText: with DT_CALCRECT only measures, keeping Left and Top and
  // setting Right and Bottom to the text's extent; otherwise draws the text into the
  // rectangle in the canvas font and font colour. Returns the text height.
  int DrawText(const std::string& text, TRect& rect, unsigned format);
  // Fills the rectangle with the brush and writes the text at (x, y), clipped to it.
  void TextRect(const TRect& rect, int x, int y, const std::string& text);
  // One-pixel frame: top and left edges in topLeft, bottom and right in bottomRight.
  void Frame3D(const TRect& rect, TColor topLeft, TColor bottomRight);
  // Draws the image with its top-left corner at (x, y); transparent pixels stay unpainted.
  void Draw(int x, int y, const QPixmap& image);
  // A dotted focus rectangle just inside the rectangle.
  void DrawFocusRect(const TRect& rect);
  void Line(int x1, int y1, int x2, int y2, TColor color);

  // Painting sessions, run by the grid around its paint.
  void Attach(QPainter* painter, const QPalette& palette);
  void Detach();
  QPainter* Painter() const { return painter_; }
  void SetPalette(const QPalette& palette) { palette_ = palette; }
  const QPalette& Palette() const { return palette_; }
  // Limits drawing to the rectangle (or lifts the limit) while a painter is attached.
  void SetClipRect(const TRect* rect);

 private:
  const QFontMetrics& Metrics();
  QColor Resolve(TColor color) const;

  QPainter* painter_ = nullptr;
  QPalette palette_;
  std::optional<QFontMetrics> metrics_;
  QFont metricsFont_;
};

}  // namespace QSGrid
