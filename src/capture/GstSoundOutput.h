#pragma once

#include "common/SoundOutput.h"

#include <functional>

typedef struct _GstElement GstElement;

// Plays a sound file through a GStreamer playbin without waiting for it; a new sound replaces one
// still playing. The beep comes from the caller (the desktop's bell in the windowed program).
class GstSoundOutput final : public SoundOutput
{
public:
    explicit GstSoundOutput(std::function<void()> beep);
    ~GstSoundOutput() override;
    GstSoundOutput(const GstSoundOutput&) = delete;
    GstSoundOutput& operator=(const GstSoundOutput&) = delete;

    void playFile(const QString& path) override;
    void beep() override;

private:
    void stop();

    std::function<void()> m_beep;
    GstElement* m_playbin = nullptr;
    unsigned m_busWatch = 0;
};
