#pragma once

#include <QObject>

class ProgramOptions;
class TrayIndicator;
class UploadMonitor;

// Keeps the notification area's icon and tooltip with the uploads, and passes the monitor's notices
// on as desktop notifications unless the "Notify" option is off.
class TrayStatus final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrayStatus)

public:
    TrayStatus(UploadMonitor& monitor, ProgramOptions& options, TrayIndicator& indicator,
               QObject* parent = nullptr);

private:
    void show();

    UploadMonitor& m_monitor;
    ProgramOptions& m_options;
    TrayIndicator& m_indicator;
};
