#pragma once

#include <QString>
#include <QStringList>

// One adjustable setting of the connected driver: what the source dialog shows.
struct CaptureControl
{
    enum class Kind {
        Range,  // a slider from minimum to maximum
        Choice, // one of choices; value is the position in the list
        Colour, // value is 0xRRGGBB
    };

    QString name; // key for setControl
    QString label;
    Kind kind = Kind::Range;
    int minimum = 0;
    int maximum = 0;
    int value = 0;
    int defaultValue = 0;
    QStringList choices;
};
