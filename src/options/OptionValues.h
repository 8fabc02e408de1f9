#pragma once

#include <QString>

#include <optional>

// The program options in memory, one member per stored value; OptionFields says which value fills
// which member, by which rule, and what stands in for an absent one.
struct OptionValues
{
    bool min = false;
    bool systray = false;
    bool autostart = false;
    bool close = false;
    QString closeCount;
    bool keep = false;
    bool suc = false;
    bool print = false;
    bool motion = false;
    bool ask = false;
    bool sound = false;
    bool notify = false;
    QString soundSec;
    QString soundSrc;
    QString textTimeName;
    QString quality;
    QString bgPic;
    std::optional<quint32> bgColor;
};
