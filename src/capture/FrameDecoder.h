#pragma once

#include "capture/GstPtr.h"
#include "common/Result.h"

#include <QImage>
#include <QString>

#include <gst/video/video.h>

#include <mutex>

// Turns one frame as the camera sent it (MJPEG, or raw in any layout) into an RGB32 image, for a
// still taken while no window shows the picture: only that frame is decoded. A frame that is BGRx
// already is shown over its own pixels. Safe to use from any thread, one frame at a time.
class FrameDecoder final
{
public:
    FrameDecoder() = default;
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // The picture, or why the frame cannot be read.
    Result<QImage> toImage(GstSample* sample);
    // The picture size a JPEG's header states, read without decoding; empty when it states none.
    // For streams whose caps give no size (MJPEG over HTTP).
    static QSize jpegSize(const uchar* data, size_t size);

private:
    Result<QImage> fromRaw(const GstVideoInfo& info, GstBuffer* buffer);

    std::mutex m_mutex;
    GstVideoConverter* m_converter = nullptr; // kept for frames of the same layout
    GstVideoInfo m_converterInput{};
};
