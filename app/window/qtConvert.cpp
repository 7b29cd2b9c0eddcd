#include "window/qtConvert.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "GridTypes.h"

// One mapping of stored colours for the whole program: the grid's.
QColor ColorFromWin(std::uint32_t colour) {
  return QSGrid::ColorToQColor(colour, QApplication::palette());
}

std::uint32_t ColorToWin(const QColor& colour) {
  return QSGrid::QColorToColor(colour);
}

// ---- Font descriptions

namespace {

// Pitch and family bits of the description's lfPitchAndFamily.
constexpr std::uint8_t kFixedPitch = 1;
constexpr std::uint8_t kFamilyRoman = 0x10, kFamilySwiss = 0x20, kFamilyModern = 0x30,
                       kFamilyScript = 0x40, kFamilyDecorative = 0x50;
constexpr std::uint8_t kDefaultCharset = 1;
constexpr std::uint8_t kNonAntialiasedQuality = 3, kAntialiasedQuality = 4, kClearTypeQuality = 5;
constexpr std::size_t kFaceSize = sizeof(VIDodadaZadoVove::LOGFONTA{}.lfFaceName);

QFont::StyleHint HintOfFamily(std::uint8_t family) {
  switch (family & 0xF0) {
    case kFamilyRoman:
      return QFont::Serif;
    case kFamilySwiss:
      return QFont::SansSerif;
    case kFamilyModern:
      return QFont::TypeWriter;
    case kFamilyScript:
      return QFont::Cursive;
    case kFamilyDecorative:
      return QFont::Decorative;
    default:
      return QFont::AnyStyle;
  }
}

std::uint8_t FamilyOfHint(QFont::StyleHint hint) {
  switch (hint) {
    case QFont::Serif:
      return kFamilyRoman;
    case QFont::SansSerif:
      return kFamilySwiss;
    case QFont::TypeWriter:
    case QFont::Monospace:
      return kFamilyModern;
    case QFont::Cursive:
      return kFamilyScript;
    case QFont::Decorative:
    case QFont::Fantasy:
      return kFamilyDecorative;
    default:
      return 0;
  }
}

double ScreenDpi() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->logicalDotsPerInchY() : 96.0;
}

// The tallest font, in pixels, the screen's working area can show.
int ScreenPixelLimit() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? std::max(1, screen->availableGeometry().height()) : 4096;
}

}  // namespace

QFont FontFromLogFont(const VIDodadaZadoVove::LOGFONTA& description) {
  QFont font;
  const char* face = description.lfFaceName;
  font.setFamily(QString::fromUtf8(face, static_cast<int>(strnlen(face, kFaceSize))));
  font.setStyleHint(HintOfFamily(description.lfPitchAndFamily));
  font.setFixedPitch((description.lfPitchAndFamily & 0x03) == kFixedPitch);
  // A stored height is any 32-bit number: no font is taller than the screen can show, and
  // the limit keeps the negation of the most negative one defined.
  const std::int64_t stored = description.lfHeight;
  const int height =
      static_cast<int>(std::min<std::int64_t>(stored < 0 ? -stored : stored, ScreenPixelLimit()));
  if (stored < 0) {
    font.setPixelSize(height);
  } else if (stored > 0) {
    // A positive height is the cell: the characters plus the leading above them.
    font.setPixelSize(height);
    const QFontMetrics metrics(font);
    const int cell = metrics.ascent() + metrics.descent();
    if (cell > height) {
      font.setPixelSize(std::max(1, static_cast<int>(std::lround(double(height) * height / cell))));
    }
  }
  // 0 means "any weight"; the scale is the same 1 to 1000 as Qt's.
  font.setWeight(description.lfWeight <= 0
                     ? QFont::Normal
                     : static_cast<QFont::Weight>(std::min(description.lfWeight, 1000)));
  font.setItalic(description.lfItalic != 0);
  font.setUnderline(description.lfUnderline != 0);
  font.setStrikeOut(description.lfStrikeOut != 0);
  if (description.lfQuality == kNonAntialiasedQuality) {
    font.setStyleStrategy(QFont::NoAntialias);
  } else if (description.lfQuality == kAntialiasedQuality ||
             description.lfQuality == kClearTypeQuality) {
    font.setStyleStrategy(QFont::PreferAntialias);
  }
  return font;
}

VIDodadaZadoVove::LOGFONTA LogFontFromFont(const QFont& font) {
  VIDodadaZadoVove::LOGFONTA description{};
  const int pixels = font.pixelSize() > 0
                         ? font.pixelSize()
                         : static_cast<int>(std::lround(font.pointSizeF() * ScreenDpi() / 72.0));
  description.lfHeight = -std::max(1, pixels);
  description.lfWeight = font.weight();
  description.lfItalic = font.italic() ? 1 : 0;
  description.lfUnderline = font.underline() ? 1 : 0;
  description.lfStrikeOut = font.strikeOut() ? 1 : 0;
  description.lfCharSet = kDefaultCharset;
  if (font.styleStrategy() & QFont::NoAntialias) {
    description.lfQuality = kNonAntialiasedQuality;
  } else if (font.styleStrategy() & QFont::PreferAntialias) {
    description.lfQuality = kAntialiasedQuality;
  }
  description.lfPitchAndFamily = static_cast<std::uint8_t>((font.fixedPitch() ? kFixedPitch : 0) |
                                                           FamilyOfHint(font.styleHint()));
  // Cut at a character boundary, leaving room for the terminating zero.
  const QByteArray face = font.family().toUtf8();
  std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(face.size()), kFaceSize - 1);
  while (length > 0 && length < static_cast<std::size_t>(face.size()) &&
         (static_cast<unsigned char>(face[static_cast<int>(length)]) & 0xC0) == 0x80) {
    --length;
  }
  std::memcpy(description.lfFaceName, face.constData(), length);
  return description;
}

QStringList NameFilters(const std::string& filter) {
  const QStringList parts = ToQ(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& pattern : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      patterns << pattern;
      if (pattern.toLower() != pattern) {
        patterns << pattern.toLower();
      }
    }
    filters << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return filters;
}
