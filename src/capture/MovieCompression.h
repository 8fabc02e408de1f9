#pragma once

// Settings of the movie compressor (MJPEG): what the compression dialog shows.
struct MovieCompression
{
    static constexpr int kMinQuality = 1;
    static constexpr int kMaxQuality = 100;

    int quality = 85; // JPEG quality of each movie frame

    bool operator==(const MovieCompression&) const = default;
};
