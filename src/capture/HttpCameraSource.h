#pragma once

#include <gst/gst.h>

#include <QString>

// A live GStreamer source for HTTP cameras, on libcurl: an MJPEG stream (multipart/x-mixed-replace,
// split by MjpegSplitter) or a snapshot address that answers each request with one JPEG, asked at
// a steady rate (never faster than it answers). It sends each picture as a frame (image/jpeg with
// its size), after checking it against PictureLimits before anything decodes it. Every problem
// becomes a CameraFault on the bus: an HTTP status, an answer that is no picture, a picture too
// large, a refused login, no answer, no connection. Stopping interrupts a request or a pause at
// once; the connection and everything the transfer held go with the stop.
namespace HttpCameraSource {
enum class Mode { Stream, Snapshot };

// Time limits: connecting, and a connection that sends nothing (a stream) or a whole answer (a
// snapshot).
inline constexpr long kConnectSeconds = 10;
inline constexpr long kSilentSeconds = 10;
inline constexpr long kSnapshotSeconds = 20;

// A new floating element; the password goes to the HTTP library only, never into a text.
// intervalMs: how often a snapshot camera is asked.
GstElement* create(const char* name, Mode mode, const QString& address, const QString& user,
                   const QString& password, int intervalMs = 1000);
} // namespace HttpCameraSource
