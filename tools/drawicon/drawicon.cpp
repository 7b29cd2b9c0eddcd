// Draws the program's icon files into a folder: vazudovu.svg and vazudovu-N.png for
// each size the hicolor theme takes, 16 to 256. The build runs it; nothing is fetched.
#include <QFile>
#include <cstdio>

#include "window/clockFace.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: drawicon FOLDER\n");
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QFile svg(folder + "/vazudovu.svg");
  if (!svg.open(QIODevice::WriteOnly) || svg.write(clock_face::Svg().toUtf8()) < 0) {
    std::fprintf(stderr, "drawicon: cannot write %s\n", qPrintable(svg.fileName()));
    return 1;
  }
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString png = QString("%1/vazudovu-%2.png").arg(folder).arg(size);
    if (!clock_face::Draw(size).save(png, "PNG")) {
      std::fprintf(stderr, "drawicon: cannot write %s\n", qPrintable(png));
      return 1;
    }
  }
  return 0;
}
