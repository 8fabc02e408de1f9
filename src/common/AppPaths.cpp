#include "common/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

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
