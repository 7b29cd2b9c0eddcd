#include "window/clockFace.h"

#include <QPainter>
#include <QPen>

namespace clock_face {

namespace {

// Shapes on a 256-unit square, the centre at 128, 128.
struct Line {
  double x1, y1, x2, y2, width;
  const char* colour;
};

constexpr double kCentre = 128;
constexpr double kRadius = 112;
constexpr double kRim = 14;
constexpr const char* kNavy = "#000080";
constexpr const char* kFace = "#ffffff";
constexpr const char* kBlack = "#000000";
constexpr const char* kRed = "#c00000";

// The marks at twelve, three, six and nine, the hour hand at twelve and the minute hand
// at three; the minute hand is drawn last, over the hour hand.
constexpr Line kLines[] = {
    {128, 30, 128, 58, 18, kBlack},  {128, 198, 128, 226, 18, kBlack},
    {30, 128, 58, 128, 18, kBlack},  {198, 128, 226, 128, 18, kBlack},
    {128, 128, 128, 80, 20, kBlack}, {128, 128, 176, 128, 14, kRed},
};
constexpr double kHub = 14;

QString Number(double value) {
  return QString::number(value, 'g', 6);
}

}  // namespace

QImage Draw(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 256.0, size / 256.0);
  painter.setPen(QPen(QColor(kNavy), kRim));
  painter.setBrush(QColor(kFace));
  painter.drawEllipse(QPointF(kCentre, kCentre), kRadius, kRadius);
  for (const Line& line : kLines) {
    painter.setPen(QPen(QColor(line.colour), line.width, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(line.x1, line.y1), QPointF(line.x2, line.y2));
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(kBlack));
  painter.drawEllipse(QPointF(kCentre, kCentre), kHub, kHub);
  return image;
}

QString Svg() {
  QString svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
      "viewBox=\"0 0 256 256\">\n";
  svg += QString(
             "  <circle cx=\"%1\" cy=\"%1\" r=\"%2\" fill=\"%3\" stroke=\"%4\" "
             "stroke-width=\"%5\"/>\n")
             .arg(Number(kCentre), Number(kRadius), kFace, kNavy, Number(kRim));
  for (const Line& line : kLines) {
    svg += QString(
               "  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\" "
               "stroke-width=\"%6\" stroke-linecap=\"round\"/>\n")
               .arg(Number(line.x1), Number(line.y1), Number(line.x2), Number(line.y2), line.colour,
                    Number(line.width));
  }
  svg += QString("  <circle cx=\"%1\" cy=\"%1\" r=\"%2\" fill=\"%3\"/>\n")
             .arg(Number(kCentre), Number(kHub), kBlack);
  svg += "</svg>\n";
  return svg;
}

QIcon Icon() {
  QIcon icon;
  // Window managers show a window's icon at 64 pixels at most; the larger sizes, which
  // take most of the drawing and of what is sent to the display at every start, are in
  // the installed icon files for the desktop's menus.
  for (const int size : {16, 22, 24, 32, 48, 64}) {
    icon.addPixmap(QPixmap::fromImage(Draw(size)));
  }
  return icon;
}

}  // namespace clock_face
