#include "programEntry.h"

#include <fontconfig/fontconfig.h>
#include <QApplication>
#include <QDateTime>
#include <QStringList>
#include <QThread>
#include <clocale>
#include <cstdio>
#include <exception>
#include <future>

#include "CommonCodeLite.h"
#include "DateTime.h"
#include "commandLine.h"
#include "commandRun.h"
#include "desktop/fileLimit.h"
#include "events/eventsFile.h"
#include "events/eventsLocation.h"
#include "time/timeZoneCatalogue.h"
#include "window/Dialogs.h"
#include "window/clockFace.h"
#include "window/mainWindowRun.h"

namespace {

// The command line is read before the application object exists, so --help, --version
// and a mistyped option need no display and never open a window.
command_line::Outcome ReadCommandLine(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    arguments << QString::fromLocal8Bit(argv[i]);
  }
  return command_line::Parse(arguments);
}

// The GStreamer media backend crashes where its plugins are missing. Set before any
// thread starts, as is the user's locale, which the application object would set
// again: neither the environment nor the locale may change while a thread reads them.
void SetUpProcessEnvironment() {
  if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
    qputenv("QT_MEDIA_BACKEND", "ffmpeg");
  }
  std::setlocale(LC_ALL, "");
}

// Where the items live is known without a display. Their file and the zone database are
// read on other threads from here on, while the display is opened and the window made.
MainWindowStart StartReadingAhead(const command_line::Outcome& command) {
  MainWindowStart options;
  const events_location::Location events =
      events_location::Resolve(events_location::FromProcess(command.eventsFile));
  if (std::string why; !events_location::PrepareDataFolder(events, why)) {
    std::fprintf(stderr, "vazudovu: %s\n", why.c_str());
  }
  options.eventsFilePath = events.path;
  options.eventsAhead = std::make_shared<events_file::ReadAhead>(options.eventsFilePath);
  options.zonesAhead =
      std::make_shared<time_zones::IanaZonesAhead>(QDateTime::currentMSecsSinceEpoch());
  options.hidden = command.hidden;
  return options;
}

// A command on the items runs without a display and ends the program with its result.
int RunItemCommand(const command_line::Outcome& command) {
  const events_location::Location events =
      events_location::Resolve(events_location::FromProcess(command.eventsFile));
  const bool writes = command.command == command_line::Command::Add ||
                      command.command == command_line::Command::ImportIcs;
  if (std::string why; writes && !events_location::PrepareDataFolder(events, why)) {
    std::fprintf(stderr, "%s: %s\n", command_line::kProgram, why.c_str());
    return 1;
  }
  const command_run::Result result = command_run::Run(command, events.path);
  std::fputs(result.output.c_str(), stdout);
  std::fputs(result.error.c_str(), stderr);
  return result.exitCode;
}

void DescribeApplication() {
  QApplication::setApplicationVersion(command_line::kVersion);
  QApplication::setDesktopFileName("vazudovu");
  QApplication::setWindowIcon(clock_face::Icon());
}

// Qt takes the user's locale for the C library; numbers formatted with C formats
// must keep ".", and the decimal separator for typed numbers is read separately.
void KeepNumbersInCFormat() {
  std::setlocale(LC_NUMERIC, "C");
  Platform::LoadLocaleDecimalSeparator();
}

}  // namespace

int RunProgram(int argc, char* argv[], const std::function<void(TfrmMain&)>& whenShown) {
  // A burst of due items runs many workers at once, each with its sockets; the usual
  // soft limit of 1,024 open files is far below what the process may have.
  file_limit::RaiseOpenFileLimit();
  // The toolkit takes the first thread that asks for its thread data for its main thread.
  // Asked here, before the read-ahead threads below open files through it, that is this
  // one; else the application object would run as a stranger's, without its event filter.
  QThread::currentThread();
  const command_line::Outcome command = ReadCommandLine(argc, argv);
  if (command.exitCode >= 0) {
    std::fputs(command.output.c_str(), stdout);
    std::fputs(command.error.c_str(), stderr);
    return command.exitCode;
  }
  if (command.command != command_line::Command::None) {
    return RunItemCommand(command);
  }

  SetUpProcessEnvironment();
  const MainWindowStart options = StartReadingAhead(command);
  // The window's first text waits for the font configuration, which the toolkit would
  // load only then; loaded here it is ready by the time the controls are made.
  const std::future<FcBool> fontsAhead = std::async(std::launch::async, [] { return FcInit(); });

  QApplication app(argc, argv);
  DescribeApplication();
  fontsAhead.wait();
  KeepNumbersInCFormat();

  QtDialogs dialogs;
  VIDodadaZadoVove::SetMessageBoxHandler(
      [&dialogs](const std::string& text, const std::string& caption) {
        dialogs.MessageBox(QApplication::activeWindow(), text, caption, mb::OK | mb::ICONERROR);
      });
  const int result = RunMainWindow(app, dialogs, options, whenShown);
  VIDodadaZadoVove::SetMessageBoxHandler({});
  return result;
}
