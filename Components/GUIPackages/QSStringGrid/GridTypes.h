// The small types the grid speaks at its interface: colours as 0x00BBGGRR integers
// (system colours as 0x80000000 plus an index), the Windows DT_* text-format flags,
// rectangles with exclusive right and bottom edges, draw states, options, shift
// states and virtual-key codes, and the grid's own range error.
#pragma once

#include <QFont>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "Exceptions.h"

class QColor;
class QPalette;
class QRect;

namespace QSGrid {

// ---- colours ---------------------------------------------------------------

using TColor = std::uint32_t;

inline constexpr TColor clSystemColor = 0x80000000u;
inline constexpr TColor SystemColor(int index) {
  return clSystemColor + static_cast<TColor>(index);
}

// System colour indexes (the Windows GetSysColor numbering).
inline constexpr int COLOR_SCROLLBAR = 0;
inline constexpr int COLOR_BACKGROUND = 1;
inline constexpr int COLOR_ACTIVECAPTION = 2;
inline constexpr int COLOR_INACTIVECAPTION = 3;
inline constexpr int COLOR_MENU = 4;
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWFRAME = 6;
inline constexpr int COLOR_MENUTEXT = 7;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_CAPTIONTEXT = 9;
inline constexpr int COLOR_ACTIVEBORDER = 10;
inline constexpr int COLOR_INACTIVEBORDER = 11;
inline constexpr int COLOR_APPWORKSPACE = 12;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_HIGHLIGHTTEXT = 14;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_GRAYTEXT = 17;
inline constexpr int COLOR_BTNTEXT = 18;
inline constexpr int COLOR_INACTIVECAPTIONTEXT = 19;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;
inline constexpr int COLOR_3DDKSHADOW = 21;
inline constexpr int COLOR_3DLIGHT = 22;
inline constexpr int COLOR_INFOTEXT = 23;
inline constexpr int COLOR_INFOBK = 24;
inline constexpr int COLOR_HOTLIGHT = 26;
inline constexpr int COLOR_GRADIENTACTIVECAPTION = 27;
inline constexpr int COLOR_GRADIENTINACTIVECAPTION = 28;
inline constexpr int COLOR_MENUHILIGHT = 29;
inline constexpr int COLOR_MENUBAR = 30;

inline constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
inline constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
inline constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
inline constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
inline constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
inline constexpr TColor clBtnShadow = SystemColor(COLOR_BTNSHADOW);
inline constexpr TColor clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT);
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clNone = 0x1FFFFFFF;     // nothing is painted
inline constexpr TColor clDefault = 0x20000000;  // the control's default colour

// The colour to paint with: plain colours as they are, system colours from the
// palette (clNone is fully transparent, clDefault the palette's base colour).
QColor ColorToQColor(TColor color, const QPalette& palette);
// 0x00BBGGRR from a QColor (alpha dropped).
TColor QColorToColor(const QColor& color);

// ---- text format flags (DrawText) ------------------------------------------

inline constexpr unsigned DT_TOP = 0x00000000;
inline constexpr unsigned DT_LEFT = 0x00000000;
inline constexpr unsigned DT_CENTER = 0x00000001;
inline constexpr unsigned DT_RIGHT = 0x00000002;
inline constexpr unsigned DT_VCENTER = 0x00000004;
inline constexpr unsigned DT_BOTTOM = 0x00000008;
inline constexpr unsigned DT_WORDBREAK = 0x00000010;
inline constexpr unsigned DT_SINGLELINE = 0x00000020;
inline constexpr unsigned DT_EXPANDTABS = 0x00000040;
inline constexpr unsigned DT_NOCLIP = 0x00000100;
inline constexpr unsigned DT_CALCRECT = 0x00000400;
inline constexpr unsigned DT_NOPREFIX = 0x00000800;
inline constexpr unsigned DT_PATH_ELLIPSIS = 0x00004000;
inline constexpr unsigned DT_END_ELLIPSIS = 0x00008000;
inline constexpr unsigned DT_WORD_ELLIPSIS = 0x00040000;

// ---- geometry ----------------------------------------------------------------

// A rectangle as the grid counts it: Right and Bottom are one past the last pixel,
// so Width() = Right - Left.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  void Offset(int dx, int dy) {
    Left += dx;
    Right += dx;
    Top += dy;
    Bottom += dy;
  }
  QRect ToQRect() const;
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TGridCoord {
  int X = -1;  // column
  int Y = -1;  // row
  friend bool operator==(const TGridCoord&, const TGridCoord&) = default;
};

// ---- draw state, options, keys -------------------------------------------------

using TGridDrawState = unsigned;
inline constexpr TGridDrawState gdSelected = 1;
inline constexpr TGridDrawState gdFocused = 2;
inline constexpr TGridDrawState gdFixed = 4;

using TGridOptions = unsigned;
inline constexpr TGridOptions goFixedVertLine = 1u << 0;
inline constexpr TGridOptions goFixedHorzLine = 1u << 1;
inline constexpr TGridOptions goVertLine = 1u << 2;
inline constexpr TGridOptions goHorzLine = 1u << 3;
inline constexpr TGridOptions goRangeSelect = 1u << 4;
inline constexpr TGridOptions goDrawFocusSelected = 1u << 5;
inline constexpr TGridOptions goRowSizing = 1u << 6;
inline constexpr TGridOptions goColSizing = 1u << 7;
inline constexpr TGridOptions goRowMoving = 1u << 8;
inline constexpr TGridOptions goColMoving = 1u << 9;
inline constexpr TGridOptions goEditing = 1u << 10;
inline constexpr TGridOptions goTabs = 1u << 11;
inline constexpr TGridOptions goRowSelect = 1u << 12;
inline constexpr TGridOptions goAlwaysShowEditor = 1u << 13;
inline constexpr TGridOptions goThumbTracking = 1u << 14;
inline constexpr TGridOptions DefaultGridOptions =
    goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;

using TShiftState = unsigned;
inline constexpr TShiftState ssShift = 1;
inline constexpr TShiftState ssAlt = 2;
inline constexpr TShiftState ssCtrl = 4;

// Virtual-key codes the grid and its editors handle.
inline constexpr std::uint16_t VK_BACK = 0x08;
inline constexpr std::uint16_t VK_TAB = 0x09;
inline constexpr std::uint16_t VK_RETURN = 0x0D;
inline constexpr std::uint16_t VK_ESCAPE = 0x1B;
inline constexpr std::uint16_t VK_PRIOR = 0x21;
inline constexpr std::uint16_t VK_NEXT = 0x22;
inline constexpr std::uint16_t VK_END = 0x23;
inline constexpr std::uint16_t VK_HOME = 0x24;
inline constexpr std::uint16_t VK_LEFT = 0x25;
inline constexpr std::uint16_t VK_UP = 0x26;
inline constexpr std::uint16_t VK_RIGHT = 0x27;
inline constexpr std::uint16_t VK_DOWN = 0x28;
inline constexpr std::uint16_t VK_INSERT = 0x2D;
inline constexpr std::uint16_t VK_DELETE = 0x2E;
inline constexpr std::uint16_t VK_F2 = 0x71;

// ---- fonts ---------------------------------------------------------------------

// A font with its colour, as a canvas or a grid carries it.
struct TFont {
  QFont Font;
  TColor Color = clWindowText;
};

// ---- errors --------------------------------------------------------------------

// An index outside the grid's rows or columns.
using EInvalidGridOperation = Platform::EInvalidGridOperation;

// The exception display for failures that reach the event loop through the grid's
// own handlers (mouse, keys, editors, painting). The silent abort (Platform::EAbort)
// never gets here. The default shows the message through the utility library's
// message box with the application's name as caption.
using TExceptionHandler = std::function<void(const std::exception&)>;
TExceptionHandler SetApplicationExceptionHandler(TExceptionHandler handler);
// Ignores EAbort; hands every other exception to the installed display.
void HandleApplicationException(const std::exception& e);

}  // namespace QSGrid
