#include "commandLine.h"

#include <QCommandLineParser>

namespace command_line {

Outcome Parse(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "A reminder: notifies each item of its table once, when its warning interval begins, "
      "by sound, e-mail, instant message or a program of your choice.");
  const QCommandLineOption help({"h", "help"}, "Displays this help.");
  parser.addOption(help);
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption eventsFile(
      "events-file", "Keep the items in FILE instead of the usual place (as QS_EVENTS_FILE).",
      "FILE");
  const QCommandLineOption hidden(
      "hidden", "Start hidden in the system tray when the program runs there (used at log-in).");
  parser.addOption(eventsFile);
  parser.addOption(hidden);
  // The toolkit's own options ("-platform offscreen", "-style Fusion", ...) pass through
  // unlisted: the application object takes them later.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                           "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display",
                           "geometry", "style", "stylesheet", "title", "name", "qmljsdebugger"}) {
    QCommandLineOption toolkit(name, "", "value");
    toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(toolkit);
  }
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
    QCommandLineOption toolkit(name, "");
    toolkit.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(toolkit);
  }
  // The usage names the program itself, whatever runs the parser.
  const auto usage = [&parser] {
    QString text = parser.helpText();
    const qsizetype options = text.indexOf(" [options]");
    if (text.startsWith("Usage: ") && options > 0) {
      text.replace(7, options - 7, kProgram);
    }
    return text.toStdString();
  };

  Outcome out;
  if (!parser.parse(arguments)) {
    out.exitCode = 2;
    out.error = parser.errorText().toStdString() + "\n\n" + usage();
    return out;
  }
  if (parser.isSet(help)) {
    out.exitCode = 0;
    out.output = usage();
    return out;
  }
  if (parser.isSet(version)) {
    out.exitCode = 0;
    out.output = std::string(kProgram) + " " + kVersion + "\n";
    return out;
  }
  if (!parser.positionalArguments().isEmpty()) {
    out.exitCode = 2;
    out.error = "Unexpected argument '" + parser.positionalArguments().first().toStdString() +
                "'.\n\n" + usage();
    return out;
  }
  out.eventsFile = parser.value(eventsFile).toStdString();
  out.hidden = parser.isSet(hidden);
  return out;
}

}  // namespace command_line
