#include "qtConvert.h"

#include <QApplication>
#include <QPalette>

QColor ColorFromWin(std::uint32_t colour) {
  if (colour & 0x80000000u) {
    // The few system colours the program stores, taken from the palette.
    const QPalette palette = QApplication::palette();
    switch (colour & 0xFF) {
      case 5:
        return palette.color(QPalette::Base);  // window
      case 8:
        return palette.color(QPalette::WindowText);  // window text
      case 13:
        return palette.color(QPalette::Highlight);  // highlight
      case 14:
        return palette.color(QPalette::HighlightedText);  // highlighted text
      case 15:
        return palette.color(QPalette::Button);  // button face
      case 16:
        return palette.color(QPalette::Dark);  // button shadow
      case 18:
        return palette.color(QPalette::ButtonText);  // button text
      case 20:
        return palette.color(QPalette::Light);  // button highlight
      default:
        return palette.color(QPalette::Window);
    }
  }
  return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

std::uint32_t ColorToWin(const QColor& colour) {
  return static_cast<std::uint32_t>(colour.red()) |
         (static_cast<std::uint32_t>(colour.green()) << 8) |
         (static_cast<std::uint32_t>(colour.blue()) << 16);
}
