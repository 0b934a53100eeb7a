#include "CommandLine.h"

#include <QCommandLineParser>

namespace morrowlen::shell {

namespace {

CommandLine mistake(const QString& message) {
    CommandLine result;
    result.error = "morrowlen: " + message.toStdString() + "\nTry 'morrowlen --help'.\n";
    result.exitStatus = BadCommandLine;
    return result;
}

// The options every Qt program takes (the application object removes them from the arguments): known
// here so that the command line can be read before the application object, which needs a display,
// exists; --help and a mistake then work without one.
void acceptQtOptions(QCommandLineParser& parser) {
    for (const char* name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
          "qwindowtitle", "style", "stylesheet", "session", "display", "geometry", "qmljsdebugger"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Browses the local management repository. Given MOF files, compiles them into a private\n"
        "repository in memory and browses that; nothing on disk changes."));
    const QCommandLineOption repository(
        QStringLiteral("repository"),
        QStringLiteral("Browse this repository file (with FILEs: compile them "
                       "into a copy of it in memory)."),
        QStringLiteral("PATH"));
    const QCommandLineOption noDefaultSet(
        QStringLiteral("no-default-set"),
        QStringLiteral("Compile the FILEs against the system classes alone, without the default set."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    parser.addOptions({repository, noDefaultSet, help, version});
    acceptQtOptions(parser);
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("MOF files to browse."),
                                 QStringLiteral("[FILE.mof...]"));
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return mistake(QStringLiteral("unknown option '%1%2'")
                               .arg(unknown.front().size() == 1 ? "-" : "--", unknown.front()));
        QString text = parser.errorText(); // "Missing value after '--repository'."
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
        return mistake(text.left(1).toLower() + text.mid(1));
    }
    CommandLine result;
    if (parser.isSet(help)) {
        const QString text = parser.helpText(); // "Usage: PROGRAM-PATH [options] ..."
        result.output =
            "Usage: morrowlen" + text.mid(text.indexOf(QStringLiteral(" [options]"))).toStdString();
        return result;
    }
    if (parser.isSet(version)) {
        result.output = "morrowlen " MORROWLEN_VERSION "\n";
        return result;
    }
    StartOptions options;
    for (const QString& file : parser.positionalArguments())
        options.mofFiles.push_back(file.toStdString());
    if (parser.isSet(repository)) {
        const QStringList values = parser.values(repository);
        if (values.size() > 1) return mistake(QStringLiteral("--repository is given more than once"));
        if (values.front().isEmpty()) return mistake(QStringLiteral("--repository needs a path"));
        options.repository = values.front().toStdString();
    }
    if (parser.isSet(noDefaultSet)) {
        if (options.mofFiles.empty())
            return mistake(QStringLiteral("--no-default-set needs MOF files to compile"));
        if (options.repository)
            return mistake(QStringLiteral("--no-default-set and --repository cannot be used together"));
        options.defaultSet = false;
    }
    result.options = std::move(options);
    return result;
}

} // namespace morrowlen::shell
