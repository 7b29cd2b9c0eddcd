// Conversions at the boundary between the program's own types and Qt's:
// UTF-8 texts, 0x00BBGGRR colours (system colours as 0x80000000 plus an index),
// and the 60-byte font description the settings keep.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

#include "CommonCodeLite.h"

inline QString ToQ(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string FromQ(const QString& text) {
  return text.toStdString();
}

// A file dialog filter "Name|*.A;*.B|Name|*.C" as Qt's name filters "Name (*.A *.a *.B *.b)".
// Names here are matched with their letter case (the desktop's own file dialog does so),
// so an upper-case pattern also brings its lower-case form.
QStringList NameFilters(const std::string& filter);

QColor ColorFromWin(std::uint32_t colour);
std::uint32_t ColorToWin(const QColor& colour);

// System colours the window's design uses, in their stored form.
inline constexpr std::uint32_t kClWindowText = 0x80000008u;
inline constexpr std::uint32_t kClBtnFace = 0x8000000Fu;

// A font description and a Qt font describe the same look: the height in pixels (negative
// for the character height, positive for the cell height), weight, italic, underline,
// strike-out, face name, fixed pitch, family and anti-aliasing. Width, escapement and
// orientation have no Qt counterpart; a zero height keeps the application's size, and a
// height beyond the screen's working area is cut to it.
QFont FontFromLogFont(const VIDodadaZadoVove::LOGFONTA& description);
// The description of a font; a size in points becomes pixels at the screen's resolution,
// and a face name longer than 31 bytes is cut at a character boundary.
VIDodadaZadoVove::LOGFONTA LogFontFromFont(const QFont& font);
