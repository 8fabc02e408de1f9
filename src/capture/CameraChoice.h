#pragma once

#include "capture/AudioFormat.h"
#include "capture/MovieCompression.h"
#include "capture/VideoFormat.h"

#include <QMap>
#include <QString>

#include <optional>

// What the program keeps of a person's capture choices from one run to the next: the chosen
// camera by its identity, its picture format and source settings, and the movie settings.
struct CameraChoice
{
    QString identity; // empty: no camera chosen yet
    QString name;     // the camera's name when it was chosen, for people reading the store
    std::optional<VideoFormat> format;
    QMap<QString, int> controls;
    MovieCompression compression;
    AudioFormat audio;

    bool operator==(const CameraChoice&) const = default;
};
