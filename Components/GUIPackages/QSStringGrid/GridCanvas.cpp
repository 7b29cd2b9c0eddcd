#include "GridCanvas.h"

#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <string_view>

namespace QSGrid {

namespace {

// Texts that need no line breaking, prefix or tab handling take the quick way.
bool IsPlainLine(const QString& text, unsigned format) {
  if (format & DT_WORDBREAK) {
    return false;
  }
  for (const QChar ch : text) {
    const char16_t u = ch.unicode();
    if (u == u'\n' || u == u'\r' || u == u'\t' || (u == u'&' && !(format & DT_NOPREFIX))) {
      return false;
    }
  }
  return true;
}

int QtFlags(unsigned format) {
  int flags = 0;
  if (format & DT_CENTER) {
    flags |= Qt::AlignHCenter;
  } else if (format & DT_RIGHT) {
    flags |= Qt::AlignRight;
  } else {
    flags |= Qt::AlignLeft;
  }
  if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) {
    flags |= Qt::AlignBottom;
  } else if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) {
    flags |= Qt::AlignVCenter;
  } else {
    flags |= Qt::AlignTop;
  }
  if (format & DT_SINGLELINE) {
    flags |= Qt::TextSingleLine;
  } else if (format & DT_WORDBREAK) {
    flags |= Qt::TextWordWrap;
  }
  if (!(format & DT_NOPREFIX)) {
    flags |= Qt::TextShowMnemonic;
  }
  if (format & DT_EXPANDTABS) {
    flags |= Qt::TextExpandTabs;
  }
  if (format & DT_NOCLIP) {
    flags |= Qt::TextDontClip;
  }
  return flags;
}

}  // namespace

void TCanvas::Attach(QPainter* painter, const QPalette& palette) {
  painter_ = painter;
  palette_ = palette;
}

void TCanvas::Detach() {
  painter_ = nullptr;
}

QColor TCanvas::Resolve(TColor color) const {
  return ColorToQColor(color, palette_);
}

const QFontMetrics& TCanvas::Metrics() {
  if (!metrics_ || !(metricsFont_ == Font.Font)) {
    metricsFont_ = Font.Font;
    metrics_.emplace(Font.Font);
  }
  return *metrics_;
}

void TCanvas::SetClipRect(const TRect* rect) {
  if (painter_ == nullptr) {
    return;
  }
  if (rect == nullptr) {
    painter_->setClipping(false);
  } else {
    painter_->setClipRect(rect->ToQRect());
  }
}

void TCanvas::FillRect(const TRect& rect) {
  if (painter_ == nullptr || rect.IsEmpty()) {
    return;
  }
  painter_->fillRect(rect.ToQRect(), Resolve(Brush.Color));
}

namespace {

// A measurement never needs more: no column is this many pixels wide.
constexpr std::size_t kMaxMeasuredBytes = 64 * 1024;

enum class Anchor { Start, Centre, End };

// At most limit bytes of the text, cut at UTF-8 character boundaries: its start, middle or
// end, whichever part shows when the text is too long for its place.
std::string_view ShownPart(std::string_view text, std::size_t limit, Anchor anchor) {
  if (text.size() <= limit) {
    return text;
  }
  const auto continuation = [&text](std::size_t at) {
    return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  std::size_t first = 0;
  if (anchor == Anchor::End) {
    first = text.size() - limit;
  } else if (anchor == Anchor::Centre) {
    first = (text.size() - limit) / 2;
  }
  std::size_t last = first + limit;
  while (first < last && continuation(first)) {
    ++first;
  }
  while (last > first && continuation(last)) {
    --last;
  }
  return text.substr(first, last - first);
}

// Bytes enough to fill a rectangle: a character is at least a pixel wide and at most four
// bytes long, and a line is as tall as the font.
std::size_t BytesThatFit(int width, int height, int lineHeight) {
  const std::size_t columns = static_cast<std::size_t>(std::max(width, 0)) + 2;
  const std::size_t lines =
      static_cast<std::size_t>(std::max(height, 0) / std::max(lineHeight, 1)) + 2;
  return std::min<std::size_t>(4 * columns * lines, 16 * kMaxMeasuredBytes);
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

int TCanvas::DrawText(const std::string& text, TRect& rect, unsigned format) {
  // A cell may hold megabytes; only what can show is converted, measured and drawn.
  const QFontMetrics& metrics = Metrics();
  std::size_t limit = kMaxMeasuredBytes;
  Anchor anchor = Anchor::Start;
  if (!(format & DT_CALCRECT)) {
    limit = BytesThatFit(rect.Width(), rect.Height(), metrics.height());
    if (format & DT_SINGLELINE) {
      anchor = (format & DT_RIGHT)    ? Anchor::End
               : (format & DT_CENTER) ? Anchor::Centre
                                      : Anchor::Start;
    }
  }
  QString qs = ToQString(ShownPart(text, limit, anchor));
  if (format & DT_SINGLELINE) {
    // On one line, line breaks are no breaks.
    qs.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    qs.replace(u'\n', u' ');
    qs.replace(u'\r', u' ');
  }
  const QFontMetrics& fm = Metrics();
  const bool plain = IsPlainLine(qs, format);
  if (format & DT_CALCRECT) {
    int width = 0;
    int height = fm.height();
    if (!qs.isEmpty()) {
      if (plain) {
        width = fm.horizontalAdvance(qs);
      } else {
        const int available = (format & DT_WORDBREAK) ? std::max(rect.Width(), 1) : 1 << 20;
        const QRect bounds = fm.boundingRect(
            QRect(0, 0, available, 1 << 20),
            QtFlags(format) & ~(Qt::AlignHorizontal_Mask | Qt::AlignVertical_Mask), qs);
        width = bounds.width();
        height = std::max(bounds.height(), fm.height());
      }
    }
    rect.Right = rect.Left + width;
    rect.Bottom = rect.Top + height;
    return height;
  }
  if (painter_ == nullptr || qs.isEmpty()) {
    return fm.height();
  }
  painter_->setFont(Font.Font);
  painter_->setPen(Resolve(Font.Color));
  if (plain) {
    const int width = fm.horizontalAdvance(qs);
    int x = rect.Left;
    if (format & DT_CENTER) {
      x = rect.Left + (rect.Width() - width) / 2;
    } else if (format & DT_RIGHT) {
      x = rect.Right - width;
    }
    int y = rect.Top;
    if ((format & DT_SINGLELINE) && (format & DT_BOTTOM)) {
      y = rect.Bottom - fm.height();
    } else if ((format & DT_SINGLELINE) && (format & DT_VCENTER)) {
      y = rect.Top + (rect.Height() - fm.height()) / 2;
    }
    painter_->drawText(QPoint(x, y + fm.ascent()), qs);
    return fm.height();
  }
  QRect bounds;
  painter_->drawText(rect.ToQRect(), QtFlags(format), qs, &bounds);
  return bounds.height();
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const std::string& text) {
  if (painter_ == nullptr || rect.IsEmpty()) {
    return;
  }
  FillRect(rect);
  painter_->save();
  painter_->setClipRect(rect.ToQRect(), Qt::IntersectClip);
  painter_->setFont(Font.Font);
  painter_->setPen(Resolve(Font.Color));
  // The text ends at its first NUL, and only as much as the rectangle can show is drawn.
  const std::string_view shown = ShownPart(std::string_view(text).substr(0, text.find('\0')),
                                           BytesThatFit(rect.Right - x, 0, 1), Anchor::Start);
  painter_->drawText(QPoint(x, y + Metrics().ascent()), ToQString(shown));
  painter_->restore();
}

void TCanvas::Frame3D(const TRect& rect, TColor topLeft, TColor bottomRight) {
  if (painter_ == nullptr || rect.IsEmpty()) {
    return;
  }
  const QColor tl = Resolve(topLeft);
  const QColor br = Resolve(bottomRight);
  painter_->fillRect(QRect(rect.Left, rect.Top, rect.Width() - 1, 1), tl);
  painter_->fillRect(QRect(rect.Left, rect.Top, 1, rect.Height() - 1), tl);
  painter_->fillRect(QRect(rect.Right - 1, rect.Top, 1, rect.Height()), br);
  painter_->fillRect(QRect(rect.Left, rect.Bottom - 1, rect.Width(), 1), br);
}

void TCanvas::Draw(int x, int y, const QPixmap& image) {
  if (painter_ == nullptr) {
    return;
  }
  painter_->drawPixmap(x, y, image);
}

void TCanvas::DrawFocusRect(const TRect& rect) {
  if (painter_ == nullptr || rect.Width() < 2 || rect.Height() < 2) {
    return;
  }
  painter_->save();
  QPen pen(Resolve(Font.Color));
  pen.setStyle(Qt::DotLine);
  painter_->setPen(pen);
  painter_->setBrush(Qt::NoBrush);
  painter_->drawRect(QRect(rect.Left, rect.Top, rect.Width() - 1, rect.Height() - 1));
  painter_->restore();
}

void TCanvas::Line(int x1, int y1, int x2, int y2, TColor color) {
  if (painter_ == nullptr) {
    return;
  }
  painter_->setPen(Resolve(color));
  painter_->drawLine(x1, y1, x2, y2);
}

}  // namespace QSGrid
