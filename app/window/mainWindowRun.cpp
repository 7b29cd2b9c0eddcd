#include "window/mainWindowRun.h"

#include <QApplication>
#include <cstdio>
#include <exception>

#include "Exceptions.h"
#include "desktop/endSignals.h"
#include "desktop/singleInstance.h"
#include "window/Dialogs.h"
#include "window/formMain.h"

namespace {

// The exit code of a start that found another one running on the same events file: 0 when
// that one was asked to come forward, 1 (after saying why) when it could not be reached.
int SecondStart(const SingleInstance& instance, Dialogs& dialogs, bool hidden) {
  const std::string problem = instance.Problem();
  if (!problem.empty()) {
    std::fprintf(stderr, "vazudovu: %s\n", problem.c_str());
    if (!hidden) {
      dialogs.MessageBox(nullptr, problem, "Error", mb::OK | mb::ICONERROR);
    }
  }
  return problem.empty() ? 0 : 1;
}

void BringForward(TfrmMain& window) {
  window.show();  // also out of the tray
  window.setWindowState((window.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
  window.raise();
  window.activateWindow();
}

// Runs the event loop until it ends; what escapes a handler is shown and the loop goes on.
int RunEventLoop(QApplication& app, Dialogs& dialogs) {
  for (;;) {
    try {
      return app.exec();
    } catch (const std::exception& e) {
      dialogs.ShowException(e);
    } catch (...) {
      dialogs.ShowException(Platform::Exception(""));
    }
  }
}

}  // namespace

int RunMainWindow(QApplication& app, Dialogs& dialogs, const MainWindowStart& start,
                  const std::function<void(TfrmMain&)>& whenShown) {
  MainWindowOptions options;
  options.eventsFilePath = start.eventsFilePath;
  options.eventsAhead = start.eventsAhead;
  options.zonesAhead = start.zonesAhead;
  // A second start on the same events file brings the running window forward instead.
  SingleInstance instance(options.eventsFilePath);
  if (!instance.Acquire()) {
    return SecondStart(instance, dialogs, start.hidden);
  }
  TfrmMain window(dialogs, options);
  frmMain = &window;
  instance.OnActivate = [&window] { BringForward(window); };
  instance.OnCommand = [&window](const std::string& request) {
    return window.RunItemCommand(request);
  };
  EndSignals endSignals(&window);
  // Started at log-in, the program stays in the tray; without a tray icon there would be
  // no way back to a hidden window, so it shows.
  if (!(start.hidden && window.bTrayMode_m && window.pTrayIcon_m)) {
    window.show();
    if (whenShown) {
      whenShown(window);
    }
  }
  return RunEventLoop(app, dialogs);
}
