#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The desktop's system information program, standing in for the "&System Info..." tool. Linux
// has no one such program, so a short list of known ones is looked up on PATH, in order:
//   hardinfo2, hardinfo             (dedicated system information tools)
//   kinfocenter                     (KDE Info Center)
//   gnome-control-center info-overview  (GNOME's About page)
//   gnome-system-monitor, mate-system-monitor  (system monitors with a system tab)
class SystemInfoTool final
{
public:
    struct Candidate
    {
        QString program;
        QStringList arguments;
    };
    struct Found
    {
        QString path;
        QStringList arguments;
    };

    // The known programs searched on the folders of $PATH.
    SystemInfoTool();
    SystemInfoTool(QStringList searchFolders, std::vector<Candidate> candidates);

    static std::vector<Candidate> knownTools();
    static QStringList pathFolders();

    // The first candidate that is an executable file in one of the folders, folders in order.
    std::optional<Found> find() const;
    // Starts the found program detached; false when none is found or it cannot be started.
    bool start() const;

private:
    QStringList m_folders;
    std::vector<Candidate> m_candidates;
};
