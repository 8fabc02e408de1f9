#pragma once

#include <QString>

// One picture format a driver offers: what the format dialog lists.
struct VideoFormat
{
    QString mediaType = QStringLiteral("video/x-raw"); // or "image/jpeg" for cameras that compress
    int width = 0;
    int height = 0;
    int fpsNumerator = 0; // 0 when the driver does not say
    int fpsDenominator = 1;

    QString description() const;
    bool operator==(const VideoFormat&) const = default;
};
