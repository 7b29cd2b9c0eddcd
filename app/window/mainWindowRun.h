// The main window's run, as the program's entry starts it: the single instance on the
// events file, the window, the desktop's end signals and the event loop.
#pragma once

#include <functional>
#include <memory>
#include <string>

class Dialogs;
class QApplication;
class TfrmMain;
namespace events_file {
class ReadAhead;
}
namespace time_zones {
class IanaZonesAhead;
}

struct MainWindowStart {
  std::string eventsFilePath;
  // Read from the start of the process, while the display was opened.
  std::shared_ptr<events_file::ReadAhead> eventsAhead;
  std::shared_ptr<time_zones::IanaZonesAhead> zonesAhead;
  bool hidden = false;  // --hidden: started at log-in, the window stays in the tray
};

// Runs the window until the program ends and returns the exit code; a second start on
// the same events file brings the running window forward instead. whenShown, when given,
// is called once the window has been shown at start-up.
int RunMainWindow(QApplication& app, Dialogs& dialogs, const MainWindowStart& start,
                  const std::function<void(TfrmMain&)>& whenShown);
