#pragma once

#include "capture/GstPtr.h"
#include "capture/NetworkCamera.h"
#include "common/Result.h"

#include <gst/gst.h>

#include <QString>

// The source of a network camera as one element named "source": an RTSP stream decoded to raw
// video, or the JPEG frames of an HTTP MJPEG stream or of a polled snapshot address. Addresses,
// user names and passwords are set as properties, never written into a pipeline description, so
// no text GStreamer reports can carry them.
class NetworkSource final
{
public:
    // Whether the source's frames are JPEG (decoded behind the gate) rather than raw video.
    static bool sendsJpeg(NetworkCamera::Kind kind) { return kind != NetworkCamera::Kind::Rtsp; }

    // A new element, or why there is none.
    static Result<GstPtr<GstElement>> create(const NetworkCamera& camera);

    // Time limits of the network: connecting and a silent connection.
    static constexpr int kTimeoutSeconds = 10;
    // How long an RTSP stream is held back to smooth out the network.
    static constexpr int kRtspLatencyMs = 200;
};
