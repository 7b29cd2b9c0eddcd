// Conversions at the boundary between the program's own types and Qt's:
// UTF-8 texts, 0x00BBGGRR colours (system colours as 0x80000000 plus an index).
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <string>

inline QString ToQ(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string FromQ(const QString& text) {
  return text.toStdString();
}

QColor ColorFromWin(std::uint32_t colour);
std::uint32_t ColorToWin(const QColor& colour);
