#include "options/AutostartEntry.h"

#include "common/FileWriter.h"
#include "common/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>

namespace AutostartEntry {
QString path()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/velmora.desktop");
}

QString execArgument(const QString& programPath)
{
    // Inside a quoted argument, the characters ", `, $ and \ take a backslash; a literal % is
    // doubled because Exec gives % its own meaning.
    QString quoted;
    for (const QChar c : programPath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted = QLatin1Char('"') + quoted + QLatin1Char('"');
    // Then the general escapes of a desktop-entry string value.
    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

QString execLine(const Command& command)
{
    const auto absolute = [](const QString& path) {
        return execArgument(QFileInfo(path).absoluteFilePath());
    };
    QString line = absolute(command.program);
    // A login session knows nothing of the options or VELMORA_STORE this run was started with.
    if (!command.store.isEmpty())
        line += QStringLiteral(" --store ") + absolute(command.store);
    if (!command.workDir.isEmpty())
        line += QStringLiteral(" --workdir ") + absolute(command.workDir);
    return line;
}

namespace {
Failure failed(Failure::Kind kind, const QString& what)
{
    return Failure::of(kind, QStringLiteral("The autostart entry %1 could not be %2.").arg(path(), what));
}
} // namespace

Result<void> write(const Command& command)
{
    const QString file = path();
    QDir().mkpath(QFileInfo(file).absolutePath());
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Velmora\n"
                                        "Comment=Webcam pictures by FTP\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execLine(command));
    // An entry the person keeps elsewhere and links to stays where it is.
    const Result<void> written = FileWriter().write(file, text.toUtf8(), FileWriter::Links::Follow);
    if (!written)
        return failed(written.failure().kind, QStringLiteral("written"));
    return {};
}

Result<void> remove()
{
    if (::unlink(QFile::encodeName(path()).constData()) == 0 || errno == ENOENT)
        return {};
    return failed(SystemError::kind(errno), QStringLiteral("removed"));
}
} // namespace AutostartEntry
