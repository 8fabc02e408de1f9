#pragma once

#include <QString>

#include <algorithm>
#include <chrono>

// When a frame is fresh enough for a still (an upload, Capture Image, Print), and how long a still
// waits for one. The frame interval is the camera's own (its frame rate, or what it was measured
// to deliver when it does not say).
namespace StillRule {
using Duration = std::chrono::steady_clock::duration;
using namespace std::chrono_literals;

// Assumed when a camera neither states nor has yet shown its frame rate.
inline constexpr Duration kUnknownInterval = std::chrono::duration_cast<Duration>(1s) / 30;

// A frame that arrived no earlier than this before the request is the current picture: two frame
// intervals (66 ms at 30 frames per second), at most one second for a slow camera.
inline Duration freshWindow(Duration interval)
{
    return std::min<Duration>(2 * interval, 1s);
}

// How long a request waits for a fresh frame: three seconds, or three frame intervals of a camera
// slower than one frame a second, at most thirty seconds.
inline Duration waitLimit(Duration interval)
{
    return std::clamp<Duration>(3 * interval, 3s, 30s);
}

// The reason a still gives when the limit passed without a frame.
inline QString noPictureText(Duration limit)
{
    const auto seconds = std::chrono::duration<double>(limit).count();
    return QStringLiteral("no picture from the camera for %1 s").arg(seconds, 0, 'g', 3);
}
} // namespace StillRule
