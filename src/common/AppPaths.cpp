#include "common/AppPaths.h"

#include "common/SystemError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace {
QString xdgFolder(const char* variable, const QString& fallbackBelowHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return value;
    return QDir::homePath() + QLatin1Char('/') + fallbackBelowHome;
}
} // namespace

namespace AppPaths {
QString defaultStorePath()
{
    const QString fromEnvironment = qEnvironmentVariable("VELMORA_STORE");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/velmora/velmora.db");
}

QString defaultWorkDir()
{
    return xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QStringLiteral("/velmora");
}

Result<void> makePrivateFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return {};
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath()) {
        if (Result<void> made = makePrivateFolder(parent); !made)
            return made;
    }
    if (::mkdir(QFile::encodeName(info.absoluteFilePath()).constData(), 0700) == 0 || errno == EEXIST)
        return {};
    return SystemError::failure(errno);
}

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

QString dataFolder()
{
    return dataFolderFor(programFolder());
}

QString dataFolderFor(const QString& programFolder)
{
    return QDir::cleanPath(programFolder + QStringLiteral("/" VELMORA_DATA_RELATIVE));
}
} // namespace AppPaths
