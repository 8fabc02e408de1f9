#pragma once

#include "capture/CaptureControl.h"
#include "capture/DriverList.h"

#include <QList>
#include <QMap>

// The adjustable settings of a running source, as the Source dialog shows them: for the test
// pattern its pattern (by readable name) and colours, for a camera its colour balance channels.
class SourceControls final
{
public:
    // values holds the settings a person chose; others show the source's own value.
    static QList<CaptureControl> list(DriverList::Kind kind, GstElement* source,
                                      const QMap<QString, int>& values);
    // Applies the chosen values the source knows; others are left alone.
    static void apply(DriverList::Kind kind, GstElement* source, const QMap<QString, int>& values);
};
