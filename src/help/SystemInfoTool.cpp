#include "help/SystemInfoTool.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

SystemInfoTool::SystemInfoTool() : SystemInfoTool(pathFolders(), knownTools()) {}

SystemInfoTool::SystemInfoTool(QStringList searchFolders, std::vector<Candidate> candidates)
    : m_folders(std::move(searchFolders)), m_candidates(std::move(candidates))
{
}

std::vector<SystemInfoTool::Candidate> SystemInfoTool::knownTools()
{
    return {
        {QStringLiteral("hardinfo2"), {}},
        {QStringLiteral("hardinfo"), {}},
        {QStringLiteral("kinfocenter"), {}},
        {QStringLiteral("gnome-control-center"), {QStringLiteral("info-overview")}},
        {QStringLiteral("gnome-system-monitor"), {}},
        {QStringLiteral("mate-system-monitor"), {}},
    };
}

QStringList SystemInfoTool::pathFolders()
{
    // An empty entry of PATH means the current folder; a system tool is never looked for there.
    QStringList folders;
    for (const QString& folder : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(folder))
            folders << folder;
    }
    return folders;
}

std::optional<SystemInfoTool::Found> SystemInfoTool::find() const
{
    for (const Candidate& candidate : m_candidates) {
        for (const QString& folder : m_folders) {
            const QFileInfo file(QDir(folder).filePath(candidate.program));
            if (file.isFile() && file.isExecutable())
                return Found{file.absoluteFilePath(), candidate.arguments};
        }
    }
    return std::nullopt;
}

bool SystemInfoTool::start() const
{
    const std::optional<Found> tool = find();
    return tool && QProcess::startDetached(tool->path, tool->arguments);
}
