#pragma once

#include <QList>

// The PCM format movies record their sound in: what the audio format dialog shows.
struct AudioFormat
{
    static QList<int> rates() { return {8000, 11025, 16000, 22050, 32000, 44100, 48000}; }
    static constexpr int kBitsPerSample = 16;

    int rate = 44100;
    int channels = 2; // 1 or 2

    bool operator==(const AudioFormat&) const = default;
};
