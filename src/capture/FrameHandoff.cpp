#include "capture/FrameHandoff.h"

#include "capture/FrameDecoder.h"
#include "capture/PictureLimits.h"
#include "capture/StillRule.h"

#include <gst/video/video.h>

#include <utility>

namespace {
// Keeps a sample mapped for as long as a QImage shows its pixels.
struct MappedFrame
{
    GstPtr<GstSample> sample;
    GstVideoFrame frame;
};

void releaseMappedFrame(void* data)
{
    auto* mapped = static_cast<MappedFrame*>(data);
    gst_video_frame_unmap(&mapped->frame);
    delete mapped;
}

// The frame interval a caps structure states; zero when it states none.
FrameHandoff::Clock::duration statedInterval(const GstStructure* structure)
{
    int numerator = 0;
    int denominator = 0;
    if (!gst_structure_get_fraction(structure, "framerate", &numerator, &denominator) || numerator <= 0 ||
        denominator <= 0)
        return {};
    return std::chrono::duration_cast<FrameHandoff::Clock::duration>(std::chrono::seconds(1)) * denominator /
           numerator;
}
} // namespace

void FrameHandoff::setListener(std::function<void(Event)> listener)
{
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
}

bool FrameHandoff::admit(GstPad* pad, GstBuffer* buffer)
{
    const Clock::time_point now = Clock::now();
    std::function<void(Event)> listener;
    {
        std::lock_guard lock(m_mutex);
        // The caps object changes only when the source's format does.
        GstPtr<GstCaps> caps(gst_pad_get_current_caps(pad));
        if (caps && caps != m_sourceCaps && gst_caps_get_size(caps.get()) > 0) {
            const GstStructure* structure = gst_caps_get_structure(caps.get(), 0);
            int width = 0;
            int height = 0;
            gst_structure_get_int(structure, "width", &width);
            gst_structure_get_int(structure, "height", &height);
            m_size = QSize(width, height);
            m_jpeg = gst_structure_has_name(structure, "image/jpeg");
            m_sizeInPictures = m_size.isEmpty() && m_jpeg;
            m_statedInterval = statedInterval(structure);
            m_sourceCaps = std::move(caps);
        }
        // A JPEG's header states its size, whatever the caps say: it is what a decoder would make.
        QSize stated = m_size;
        if (m_jpeg && buffer) {
            GstMapInfo map;
            if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                stated = FrameDecoder::jpegSize(map.data, map.size);
                gst_buffer_unmap(buffer, &map);
            }
        }
        if (!stated.isEmpty() && !PictureLimits::allowed(stated)) {
            if (!m_refusing)
                m_refusal = CameraFault{CameraFault::Kind::TooLarge, PictureLimits::sizeText(stated)};
            m_refusing = true;
            return false;
        }
        if (m_sizeInPictures && !stated.isEmpty())
            m_size = stated;
        if (m_buffers > 0) {
            const Clock::duration gap = now - m_lastBuffer;
            m_measuredInterval =
                m_measuredInterval == Clock::duration{} ? gap : (m_measuredInterval * 7 + gap) / 8;
        } else {
            listener = m_listener;
        }
        ++m_buffers;
        m_lastBuffer = now;
        if (buffer && m_sourceCaps) {
            m_newestSource.sample.reset(gst_sample_new(buffer, m_sourceCaps.get(), nullptr, nullptr));
            m_newestSource.arrived = now;
        }
    }
    if (listener)
        listener(Event::FirstBuffer);
    return m_decodeAll || m_stillsWanted > 0 || m_blockingWaiters > 0;
}

std::optional<CameraFault> FrameHandoff::takeRefusal()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_refusal, std::nullopt);
}

void FrameHandoff::deliver(GstPtr<GstSample> sample)
{
    std::function<void(Event)> listener;
    {
        std::lock_guard lock(m_mutex);
        m_newest.sample = std::move(sample);
        m_newest.arrived = Clock::now();
        listener = m_listener;
    }
    m_arrived.notify_all();
    if (listener && !m_decodedPending.exchange(true))
        listener(Event::Decoded);
}

void FrameHandoff::fail(const QString& reason)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_failure.isEmpty())
            m_failure = reason;
    }
    m_arrived.notify_all();
}

void FrameHandoff::setDecodeAll(bool on)
{
    m_decodeAll = on;
}

void FrameHandoff::setStillsWanted(int count)
{
    m_stillsWanted = count;
}

FrameHandoff::Frame FrameHandoff::newest() const
{
    std::lock_guard lock(m_mutex);
    return {gstRef(m_newest.sample.get()), m_newest.arrived};
}

FrameHandoff::Frame FrameHandoff::newestSource() const
{
    std::lock_guard lock(m_mutex);
    return {gstRef(m_newestSource.sample.get()), m_newestSource.arrived};
}

quint64 FrameHandoff::sourceBuffers() const
{
    std::lock_guard lock(m_mutex);
    return m_buffers;
}

FrameHandoff::Clock::time_point FrameHandoff::lastSourceBuffer() const
{
    std::lock_guard lock(m_mutex);
    return m_lastBuffer;
}

QSize FrameHandoff::size() const
{
    std::lock_guard lock(m_mutex);
    return m_size;
}

FrameHandoff::Clock::duration FrameHandoff::frameInterval() const
{
    std::lock_guard lock(m_mutex);
    if (m_statedInterval > Clock::duration{})
        return m_statedInterval;
    if (m_measuredInterval > Clock::duration{})
        return m_measuredInterval;
    return StillRule::kUnknownInterval;
}

QString FrameHandoff::failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

FrameHandoff::Frame FrameHandoff::waitForFrame(Clock::time_point since, Clock::time_point deadline)
{
    ++m_blockingWaiters;
    std::unique_lock lock(m_mutex);
    m_arrived.wait_until(lock, deadline, [&] {
        return !m_failure.isEmpty() || (m_newest.sample && m_newest.arrived >= since);
    });
    --m_blockingWaiters;
    if (m_newest.sample && m_newest.arrived >= since)
        return {gstRef(m_newest.sample.get()), m_newest.arrived};
    return {};
}

QImage FrameHandoff::image(const Frame& frame)
{
    GstVideoInfo info;
    GstCaps* caps = frame.sample ? gst_sample_get_caps(frame.sample.get()) : nullptr;
    GstBuffer* buffer = frame.sample ? gst_sample_get_buffer(frame.sample.get()) : nullptr;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx)
        return {};
    auto* mapped = new MappedFrame{gstRef(frame.sample.get()), {}};
    if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) {
        delete mapped;
        return {};
    }
    const auto* pixels = static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0));
    return QImage(pixels, GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                  GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0), QImage::Format_RGB32, releaseMappedFrame,
                  mapped);
}
