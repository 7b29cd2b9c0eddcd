// Photographs the main window for the user guide: three sample items (one already
// notified), a fresh settings store and the clocks running, saved as a PNG. Run it on an
// X server of its own through scripts/screenshot, which keeps the user's settings out.
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QTimer>
#include <cstdio>

#include "QSStringGrid.h"
#include "events/eventExtras.h"
#include "window/Dialogs.h"
#include "window/clockFace.h"
#include "window/formMain.h"
#include "window/formRepeat.h"

namespace {

QString Item(const QString& id, const QString& description, const QDateTime& end, int state,
             int minutes, const char* channels, const QString& rule = {}) {
  QString line = id + "|0|" + description + "|0|" + end.toString("yyyy-MM-dd hh:mm:ss") + "|" +
                 QString::number(state) + "|Coordinated Universal Time|0|" +
                 QString::number(minutes) + "|0|";
  for (const char* c = channels; *c; ++c) {
    line += QString(QChar(*c)) + "|0|";
  }
  if (!rule.isEmpty()) {
    line += rule + "|0|";
  }
  return line + "\r\n";
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: screenshot EVENTS_FILE OUTPUT.png [REPEAT_DIALOG.png]\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setWindowIcon(clock_face::Icon());
  const QDateTime now = QDateTime::currentDateTimeUtc();
  QFile events(QString::fromLocal8Bit(argv[1]));
  if (!events.open(QIODevice::WriteOnly)) {
    std::fprintf(stderr, "screenshot: cannot write %s\n", argv[1]);
    return 1;
  }
  events.write((Item("1", "Dentist", now.addSecs(-600), 2, 30, "YNYN") +
                Item("2", "Water the plants", now.addDays(1), 1, 15, "YNNN",
                     "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU;UNTIL=20270630T235959") +
                Item("3", "Renew the car insurance", now.addDays(9), 1, 1440, "NNYY"))
                   .toUtf8());
  events.close();

  QtDialogs dialogs;
  MainWindowOptions options;
  options.eventsFilePath = argv[1];
  TfrmMain window(dialogs, options);
  window.resize(1010, 340);
  window.show();
  int result = 1;
  // The clocks tick every 250 ms; a second and a half shows them set.
  QTimer::singleShot(1500, &window, [&] {
    result = window.grab().save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
    if (argc == 4) {
      // The Repeat dialog as the second item opens it.
      TfrmRepeat repeat(
          &window,
          window.grdEvents->GetCells(event_extras::kColTail, 2)
              .substr(0, window.grdEvents->GetCells(event_extras::kColTail, 2).find('|')),
          Platform::StrToDateTime(window.grdEvents->GetCells(2, 2)));
      repeat.show();
      QApplication::processEvents();
      if (!repeat.grab().save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        result = 1;
      }
    }
    window.close();
  });
  QApplication::exec();
  return result;
}
