#pragma once

#include <QString>

// The sound an upload cycle may give before it takes the picture: a sound file played without
// waiting for it, or a single beep when no file is set.
class SoundOutput
{
public:
    virtual ~SoundOutput() = default;
    virtual void playFile(const QString& path) = 0;
    virtual void beep() = 0;
};
