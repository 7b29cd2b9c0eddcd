#include "GridTypes.h"

#include <QColor>
#include <QCoreApplication>
#include <QPalette>
#include <QRect>

#include "CommonCodeLite.h"

namespace QSGrid {

namespace {

QColor SystemToQColor(int index, const QPalette& p) {
  switch (index) {
    case COLOR_SCROLLBAR:
    case COLOR_BTNFACE:
    case COLOR_MENU:
      return p.color(QPalette::Button);
    case COLOR_BACKGROUND:
    case COLOR_ACTIVEBORDER:
    case COLOR_INACTIVEBORDER:
    case COLOR_MENUBAR:
      return p.color(QPalette::Window);
    case COLOR_WINDOW:
      return p.color(QPalette::Base);
    case COLOR_WINDOWFRAME:
    case COLOR_3DDKSHADOW:
      return p.color(QPalette::Shadow);
    case COLOR_MENUTEXT:
    case COLOR_BTNTEXT:
      return p.color(QPalette::ButtonText);
    case COLOR_WINDOWTEXT:
      return p.color(QPalette::Text);
    case COLOR_ACTIVECAPTION:
    case COLOR_GRADIENTACTIVECAPTION:
    case COLOR_HIGHLIGHT:
    case COLOR_MENUHILIGHT:
      return p.color(QPalette::Active, QPalette::Highlight);
    case COLOR_INACTIVECAPTION:
    case COLOR_GRADIENTINACTIVECAPTION:
      return p.color(QPalette::Inactive, QPalette::Highlight);
    case COLOR_CAPTIONTEXT:
    case COLOR_HIGHLIGHTTEXT:
      return p.color(QPalette::Active, QPalette::HighlightedText);
    case COLOR_INACTIVECAPTIONTEXT:
      return p.color(QPalette::Inactive, QPalette::HighlightedText);
    case COLOR_APPWORKSPACE:
    case COLOR_BTNSHADOW:
      return p.color(QPalette::Dark);
    case COLOR_GRAYTEXT:
      return p.color(QPalette::Disabled, QPalette::Text);
    case COLOR_BTNHIGHLIGHT:
      return p.color(QPalette::Light);
    case COLOR_3DLIGHT:
      return p.color(QPalette::Midlight);
    case COLOR_INFOTEXT:
      return p.color(QPalette::ToolTipText);
    case COLOR_INFOBK:
      return p.color(QPalette::ToolTipBase);
    case COLOR_HOTLIGHT:
      return p.color(QPalette::Link);
    default:
      return p.color(QPalette::Window);
  }
}

TExceptionHandler& InstalledHandler() {
  static TExceptionHandler handler;
  return handler;
}

}  // namespace

QColor ColorToQColor(TColor color, const QPalette& palette) {
  if (color == clNone) {
    return QColor(Qt::transparent);
  }
  if (color == clDefault) {
    return palette.color(QPalette::Base);
  }
  if (color & clSystemColor) {
    return SystemToQColor(static_cast<int>(color & 0xFF), palette);
  }
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

TColor QColorToColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return static_cast<TColor>(rgb.red()) | (static_cast<TColor>(rgb.green()) << 8) |
         (static_cast<TColor>(rgb.blue()) << 16);
}

QRect TRect::ToQRect() const {
  return QRect(Left, Top, Right - Left, Bottom - Top);
}

TExceptionHandler SetApplicationExceptionHandler(TExceptionHandler handler) {
  TExceptionHandler previous = std::move(InstalledHandler());
  InstalledHandler() = std::move(handler);
  return previous;
}

void HandleApplicationException(const std::exception& e) {
  if (dynamic_cast<const Platform::EAbort*>(&e) != nullptr) {
    return;
  }
  if (InstalledHandler()) {
    InstalledHandler()(e);
    return;
  }
  VIDodadaZadoVove::ShowLibraryMessageBox(e.what(),
                                          QCoreApplication::applicationName().toStdString());
}

}  // namespace QSGrid
