#include <QApplication>
#include <clocale>
#include <exception>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "Dialogs.h"
#include "endSignals.h"
#include "eventsFile.h"
#include "formMain.h"
#include "singleInstance.h"

int main(int argc, char* argv[]) {
  // The GStreamer media backend crashes where its plugins are missing.
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
    qputenv("QT_MEDIA_BACKEND", "ffmpeg");
  }
  QApplication app(argc, argv);
  // Qt takes the user's locale for the C library; numbers formatted with C formats
  // must keep ".", and the decimal separator for typed numbers is read separately.
  std::setlocale(LC_NUMERIC, "C");
  Platform::LoadLocaleDecimalSeparator();

  QtDialogs dialogs;
  VIDodadaZadoVove::SetMessageBoxHandler(
      [&dialogs](const std::string& text, const std::string& caption) {
        dialogs.MessageBox(QApplication::activeWindow(), text, caption, mb::OK | mb::ICONERROR);
      });

  int result = 0;
  {
    // Tests keep their items in a file of their own; the program has no option for it.
    MainWindowOptions options;
    if (!qEnvironmentVariableIsEmpty("QS_EVENTS_FILE")) {
      options.eventsFilePath = qEnvironmentVariable("QS_EVENTS_FILE").toStdString();
    }
    // A second start on the same events file brings the running window forward instead.
    SingleInstance instance(options.eventsFilePath.empty() ? events_file::DefaultPath()
                                                           : options.eventsFilePath);
    if (!instance.Acquire()) {
      VIDodadaZadoVove::SetMessageBoxHandler({});
      return 0;
    }
    TfrmMain window(dialogs, options);
    frmMain = &window;
    instance.OnActivate = [&window] {
      window.show();  // also out of the tray
      window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
      window.raise();
      window.activateWindow();
    };
    EndSignals endSignals(&window);
    window.show();
    for (;;) {
      try {
        result = app.exec();
        break;
      } catch (const std::exception& e) {
        dialogs.ShowException(e);
      } catch (...) {
        dialogs.ShowException(Platform::Exception(""));
      }
    }
  }
  VIDodadaZadoVove::SetMessageBoxHandler({});
  return result;
}
