#include "app/CommandLine.h"

#include "common/AppPaths.h"

namespace {
// "--name VALUE" or "--name=VALUE"; advances i past the value.
bool takeValue(const QStringList& args, qsizetype& i, const QString& name, QString& value, QString& error)
{
    const QString& arg = args[i];
    if (arg.startsWith(name + QLatin1Char('='))) {
        value = arg.mid(name.size() + 1);
    } else if (arg == name) {
        if (i + 1 >= args.size()) {
            error = QStringLiteral("%1 needs a value").arg(name);
            return true;
        }
        value = args[++i];
    } else {
        return false;
    }
    if (value.isEmpty())
        error = QStringLiteral("%1 needs a value").arg(name);
    return true;
}
// The options every Qt program takes (QGuiApplication and QApplication read them), with one dash
// or two; those with a value take it as the next word or after "=".
const char* const kQtOptionsWithValue[] = {
    "platform",     "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
    "qwindowtitle", "qwindowicon",        "style",         "stylesheet", "session",
    "display",      "geometry",           "name",          "title",      "fontengine",
    "qmljsdebugger"};
const char* const kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

// How many words a Qt option at args[i] takes (the option and its value), or 0 for none of Qt's.
qsizetype qtOptionLength(const QStringList& args, qsizetype i)
{
    QString word = args[i];
    if (!word.startsWith(QLatin1Char('-')))
        return 0;
    word.remove(0, word.startsWith(QLatin1String("--")) ? 2 : 1);
    const QString name = word.section(QLatin1Char('='), 0, 0);
    for (const char* flag : kQtFlags) {
        if (word == QLatin1String(flag))
            return 1;
    }
    for (const char* option : kQtOptionsWithValue) {
        if (name != QLatin1String(option))
            continue;
        if (word.contains(QLatin1Char('=')))
            return 1;
        return i + 1 < args.size() ? 2 : 1;
    }
    return 0;
}
} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine line;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (takeValue(arguments, i, QStringLiteral("--store"), line.m_store, line.m_error) ||
            takeValue(arguments, i, QStringLiteral("--workdir"), line.m_workDir, line.m_error)) {
            if (!line.m_error.isEmpty()) {
                line.m_mode = Mode::UsageError;
                return line;
            }
            continue;
        }
        if (arg == QLatin1String("--test-pattern")) {
            line.m_testPattern = true;
        } else if (arg == QLatin1String("--upload-now")) {
            line.m_mode = Mode::UploadNow;
        } else if (arg == QLatin1String("--headless")) {
            line.m_mode = Mode::Headless;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            line.m_mode = Mode::Help;
            return line;
        } else if (arg == QLatin1String("--version")) {
            line.m_mode = Mode::Version;
            return line;
        } else if (const qsizetype length = qtOptionLength(arguments, i); length > 0) {
            i += length - 1;
        } else if (arg == QLatin1String("reg")) {
            line.m_mode = Mode::Reg;
            line.m_commandArguments = arguments.mid(i + 1);
            return line;
        } else {
            line.m_mode = Mode::UsageError;
            line.m_error = arg.startsWith(QLatin1Char('-')) ? QStringLiteral("unknown option %1").arg(arg)
                                                            : QStringLiteral("unknown command %1").arg(arg);
            return line;
        }
    }
    return line;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: velmora [--store FILE] [--workdir DIR] [--test-pattern] [--upload-now | --headless]\n"
        "       velmora --version | --help\n"
        "       velmora [--store FILE] reg get KEY NAME\n"
        "       velmora [--store FILE] reg set KEY NAME TEXT\n"
        "       velmora [--store FILE] reg delete KEY [NAME]\n"
        "       velmora [--store FILE] reg list [KEY]\n"
        "KEY is a backslash path such as \"Software\\Velmora\\My Account\".\n"
        "The store defaults to $VELMORA_STORE, else ~/.config/velmora/velmora.db.\n"
        "Qt's own options (-style NAME, -platform NAME, -reverse, ...) are passed to Qt.\n");
}

QString CommandLine::storePath() const
{
    return m_store.isEmpty() ? AppPaths::defaultStorePath() : m_store;
}

QString CommandLine::workDir() const
{
    return m_workDir.isEmpty() ? AppPaths::defaultWorkDir() : m_workDir;
}
