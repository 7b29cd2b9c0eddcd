#include "commandLine.h"

#include <QCommandLineParser>

#include "events/itemCommands.h"

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
  const QCommandLineOption add(
      "add",
      "Add an item described as DESCRIPTION (with --at, and optionally --zone, --warn, "
      "--via, --repeat, --id) and print its ID.",
      "DESCRIPTION");
  const QCommandLineOption at("at", "The item's end time, \"YYYY-MM-DD hh:nn:ss\".", "TIME");
  const QCommandLineOption zone("zone", "The item's zone (default: the local zone).", "ZONE");
  const QCommandLineOption warn("warn", "Notify MINUTES before the end time (default 10).",
                                "MINUTES");
  const QCommandLineOption via(
      "via", "Notify through these channels: sound,email,messenger,program.", "CHANNELS");
  const QCommandLineOption repeat("repeat", "Repeat by an iCalendar RRULE (\"FREQ=DAILY\").",
                                  "RULE");
  const QCommandLineOption id("id", "The new item's ID (default: a new one).", "ID");
  const QCommandLineOption list("list", "Print the items, one a line, tab-separated.");
  const QCommandLineOption json("json", "With --list: print the items as a JSON array.");
  const QCommandLineOption remove("remove", "Remove the item(s) with this ID.", "ID");
  const QCommandLineOption exportIcs("export-ics", "Write the items as an iCalendar file.", "FILE");
  const QCommandLineOption importIcs("import-ics",
                                     "Add the events and to-dos of an iCalendar file.", "FILE");
  for (const QCommandLineOption* option : {&add, &at, &zone, &warn, &via, &repeat, &id, &list,
                                           &json, &remove, &exportIcs, &importIcs}) {
    parser.addOption(*option);
  }
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
  const auto mistake = [&out, &usage](const std::string& reason) {
    out.exitCode = 2;
    out.error = reason + "\n\n" + usage();
    return out;
  };
  const std::pair<const QCommandLineOption*, Command> commands[] = {
      {&add, Command::Add},
      {&list, Command::List},
      {&remove, Command::Remove},
      {&exportIcs, Command::ExportIcs},
      {&importIcs, Command::ImportIcs}};
  for (const auto& [option, command] : commands) {
    if (!parser.isSet(*option)) {
      continue;
    }
    if (out.command != Command::None) {
      return mistake("Give one of --add, --list, --remove, --export-ics and --import-ics.");
    }
    out.command = command;
    if (command != Command::List) {
      out.target = parser.value(*option).toStdString();
    }
  }
  for (const QCommandLineOption* option : {&at, &zone, &warn, &via, &repeat, &id}) {
    if (parser.isSet(*option) && out.command != Command::Add) {
      return mistake("--" + option->names().first().toStdString() + " goes with --add.");
    }
  }
  if (parser.isSet(json) && out.command != Command::List) {
    return mistake("--json goes with --list.");
  }
  if (out.command == Command::Add && !parser.isSet(at)) {
    return mistake("--add needs --at \"YYYY-MM-DD hh:nn:ss\".");
  }
  out.description = out.command == Command::Add ? out.target : "";
  out.at = parser.value(at).toStdString();
  out.zone = parser.value(zone).toStdString();
  out.warn = parser.value(warn).toStdString();
  out.via = parser.value(via).toStdString();
  out.viaGiven = parser.isSet(via);
  out.repeat = parser.value(repeat).toStdString();
  out.id = parser.value(id).toStdString();
  out.json = parser.isSet(json);
  if (item_commands::Item probe; out.viaGiven) {
    if (const std::string why = item_commands::SetChannels(out.via, probe); !why.empty()) {
      return mistake(why + ".");
    }
  }
  return out;
}

}  // namespace command_line
