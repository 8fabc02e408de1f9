#include "ui/TrayStatus.h"

#include "options/ProgramOptions.h"
#include "ui/TrayIndicator.h"
#include "upload/UploadMonitor.h"

TrayStatus::TrayStatus(UploadMonitor& monitor, ProgramOptions& options, TrayIndicator& indicator,
                       QObject* parent)
    : QObject(parent), m_monitor(monitor), m_options(options), m_indicator(indicator)
{
    connect(&m_monitor, &UploadMonitor::changed, this, &TrayStatus::show);
    connect(&m_monitor, &UploadMonitor::notice, this,
            [this](const QString& title, const QString& text, bool failing) {
                if (m_options.notify())
                    m_indicator.notify(title, text, failing);
            });
    show();
}

void TrayStatus::show()
{
    m_indicator.showState(m_monitor.state(), m_monitor.toolTip());
}
