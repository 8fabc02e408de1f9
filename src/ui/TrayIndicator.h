#pragma once

#include "upload/UploadMonitor.h"

#include <QString>

// Where the program shows how uploads go in the notification area: its icon with a mark for the
// state, the tooltip, and desktop notifications. The tray host is the program's; tests record.
class TrayIndicator
{
public:
    virtual ~TrayIndicator() = default;
    virtual void showState(UploadMonitor::State state, const QString& toolTip) = 0;
    virtual void notify(const QString& title, const QString& text, bool failing) = 0;
};
