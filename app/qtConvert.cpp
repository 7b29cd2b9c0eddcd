#include "qtConvert.h"

#include <QApplication>
#include <QPalette>

#include "GridTypes.h"

// One mapping of stored colours for the whole program: the grid's.
QColor ColorFromWin(std::uint32_t colour) {
  return QSGrid::ColorToQColor(colour, QApplication::palette());
}

std::uint32_t ColorToWin(const QColor& colour) { return QSGrid::QColorToColor(colour); }
