#include "app/qt/window_arguments.h"

#include <QCommandLineParser>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>

#include "app/cli/program_options.h"

namespace ok {
namespace {

constexpr const char* Program = "ostrelkalvexa";

const char* const Usage =
    "usage: ostrelkalvexa [--] [FILE | FOLDER]...\n"
    "       ostrelkalvexa --help | --version\n"
    "  Opens the converter's window with the FILEs, and the videos inside the FOLDERs, in its\n"
    "  source list. After -- every argument is a FILE or FOLDER. Qt's own options (-platform,\n"
    "  -style, -display, ...) are passed on to Qt.\n";

// The options QGuiApplication and QApplication take out of the command line themselves.
void AddQtOptions(QCommandLineParser& parser) {
  for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qmljsdebugger",
                           "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "style", "stylesheet",
                           "display", "geometry", "title", "name"})
    parser.addOption(QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"})
    parser.addOption(QCommandLineOption(QString::fromLatin1(name)));
}

}  // namespace

int ReadWindowArguments(int argc, char** argv, std::vector<std::string>& files) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  QCommandLineParser parser;
  // Qt's options are written with one dash: "-platform offscreen".
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringLiteral("help")), version(QStringLiteral("version"));
  parser.addOption(help);
  parser.addOption(version);
  AddQtOptions(parser);
  std::string problem;
  cli::TParseResult result = cli::prRun;
  if (!parser.parse(arguments)) {
    result = cli::prRefusedOption;
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty())
      problem = parser.errorText().toStdString();
    else
      problem = (unknown.first().size() == 1 ? "unknown option -" : "unknown option --") +
                unknown.first().toStdString();
  } else if (parser.isSet(help)) {
    result = cli::prHelp;
  } else if (parser.isSet(version)) {
    result = cli::prVersion;
  }
  if (result != cli::prRun) return cli::AnswerCommandLine(result, Program, Usage, problem, qVersion());
  // The FILEs as their bytes stand in argv: a name that is no UTF-8 has no QString of its own.
  // They come in argv's order, so each is looked for after the one before.
  int next = 1;
  for (const QString& file : parser.positionalArguments()) {
    while (next < argc && arguments[next] != file) ++next;
    files.push_back(next < argc ? std::string(argv[next++]) : file.toStdString());
  }
  return -1;
}

}  // namespace ok
