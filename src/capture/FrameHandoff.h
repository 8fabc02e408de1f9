#pragma once

#include "capture/CameraFault.h"
#include "capture/GstPtr.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

// The frames of one running pipeline, handed from its streaming threads to whoever wants them.
// Every source buffer is counted as it passes the gate in front of the decoder; only buffers that
// someone wants are let through and decoded (all of them while a window shows the live picture,
// otherwise one for each waiting still), so a camera in the tray costs next to nothing.
class FrameHandoff final
{
public:
    using Clock = std::chrono::steady_clock;

    struct Frame
    {
        GstPtr<GstSample> sample; // BGRx; null when there is none
        Clock::time_point arrived{};
        explicit operator bool() const { return sample != nullptr; }
    };
    enum class Event { FirstBuffer, Decoded };

    // Runs on a streaming thread: after the source's first buffer, and after a decoded frame
    // unless an earlier Decoded is not yet acknowledged (a busy receiver skips frames instead of
    // queueing them).
    void setListener(std::function<void(Event)> listener);
    void acknowledge() { m_decodedPending = false; }

    // Streaming threads. A buffer from the source passes the gate (it is kept, undecoded, as the
    // newest source frame); true when it is to be decoded. A frame larger than PictureLimits allow
    // (by its caps or, for JPEG, by its header) is refused and never counted: takeRefusal then
    // gives the reason, once.
    bool admit(GstPad* pad, GstBuffer* buffer);
    std::optional<CameraFault> takeRefusal();
    void deliver(GstPtr<GstSample> sample);
    // The pipeline failed or ended: waiters wake with this reason.
    void fail(const QString& reason);

    // Any thread.
    void setDecodeAll(bool on);
    void setStillsWanted(int count);
    // The newest decoded frame (BGRx).
    Frame newest() const;
    // The newest frame as the source sent it, decoded or not.
    Frame newestSource() const;
    quint64 sourceBuffers() const;
    Clock::time_point lastSourceBuffer() const;
    QSize size() const;
    // The camera's frame interval: stated by its frame rate, else measured, else assumed.
    Clock::duration frameInterval() const;
    QString failure() const;

    // Waits on the calling thread for a frame that arrived at or after since, until deadline or a
    // failure. Lets a frame through the gate for as long as it waits.
    Frame waitForFrame(Clock::time_point since, Clock::time_point deadline);

    // The frame as an image over the sample's own pixels (no copy; the image keeps the sample).
    static QImage image(const Frame& frame);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::function<void(Event)> m_listener;
    Frame m_newest;
    Frame m_newestSource;
    GstPtr<GstCaps> m_sourceCaps;
    quint64 m_buffers = 0;
    Clock::time_point m_lastBuffer{};
    Clock::duration m_statedInterval{};
    Clock::duration m_measuredInterval{};
    QSize m_size;
    bool m_jpeg = false;
    bool m_sizeInPictures = false; // the caps state no size; the pictures' headers do
    QString m_failure;
    std::optional<CameraFault> m_refusal;
    bool m_refusing = false;
    std::atomic<bool> m_decodeAll{false};
    std::atomic<int> m_stillsWanted{0};
    std::atomic<int> m_blockingWaiters{0};
    std::atomic<bool> m_decodedPending{false};
};
