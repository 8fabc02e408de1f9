#include "capture/TimelapseMaker.h"

#include "capture/GstInit.h"
#include "capture/GstPtr.h"
#include "capture/PictureLimits.h"
#include "capture/UiMailbox.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <gst/gst.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// Below the program's own threads: a movie may take a minute, an upload must not wait for it.
constexpr int kNiceness = 10;

// The picture's size when the file is a JPEG within the picture limits; invalid otherwise.
QSize jpegSize(const QByteArray& bytes)
{
    // Every JPEG starts with its start-of-image marker; anything else is not read further.
    if (!bytes.startsWith("\xFF\xD8"))
        return {};
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "jpeg");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > PictureLimits::kMaxSide ||
        size.height() > PictureLimits::kMaxSide ||
        qint64(size.width()) * size.height() > PictureLimits::kMaxPixels)
        return {};
    return size;
}

QByteArray readPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > qint64(PictureLimits::kMaxBytes))
        return {};
    return file.readAll();
}

QString errorOnBus(GstElement* pipeline)
{
    GstPtr<GstBus> bus(gst_element_get_bus(pipeline));
    GstPtr<GstMessage> message(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    if (!message)
        return {};
    GError* raw = nullptr;
    gst_message_parse_error(message.get(), &raw, nullptr);
    const GstPtr<GError> error(raw);
    return error ? QString::fromUtf8(error->message) : QString();
}

// The chain from JPEG to WebM without a source element: the making thread pushes every picture
// into it itself, so all of the work happens on that thread (and the encoder's own threads, which
// it starts), at that thread's priority, and nothing queues up.
struct Chain
{
    GstPtr<GstElement> pipeline;
    GstPtr<GstPad> input;

    ~Chain()
    {
        if (pipeline)
            gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        if (input)
            gst_pad_set_active(input.get(), FALSE);
    }

    Result<void> build(QSize size, int rate, const QString& part)
    {
        pipeline.reset(gst_pipeline_new("timelapse"));
        const char* names[] = {"jpegdec", "videoconvert", "videoscale", "capsfilter",
                               "vp8enc",  "webmmux",      "filesink"};
        GstElement* elements[std::size(names)] = {};
        for (size_t i = 0; i < std::size(names); ++i) {
            elements[i] = gst_element_factory_make(names[i], nullptr);
            if (!elements[i])
                return Failure::of(
                    Failure::Kind::Unsupported,
                    QStringLiteral("The GStreamer element %1 is not installed").arg(QLatin1String(names[i])));
            gst_bin_add(GST_BIN(pipeline.get()), elements[i]);
        }
        auto [decoder, converter, scaler, filter, encoder, muxer, sink] = std::to_array(elements);
        g_object_set(scaler, "add-borders", TRUE, nullptr);
        GstPtr<GstCaps> raw(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width",
                                                G_TYPE_INT, size.width(), "height", G_TYPE_INT, size.height(),
                                                "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
        g_object_set(filter, "caps", raw.get(), nullptr);
        // Realtime speed, a bit rate that grows with the picture, a key frame every two seconds.
        const qint64 bitrate =
            std::clamp(qint64(size.width()) * size.height() * rate / 8, qint64(200000), qint64(8000000));
        g_object_set(encoder, "deadline", gint64(1), "cpu-used", 4, "threads", 2, "target-bitrate",
                     int(bitrate), "keyframe-max-dist", 2 * rate, nullptr);
        const QByteArray location = QFile::encodeName(part);
        g_object_set(sink, "location", location.constData(), "sync", FALSE, "async", FALSE, nullptr);
        if (!gst_element_link_many(decoder, converter, scaler, filter, encoder, muxer, sink, nullptr))
            return Failure::of(Failure::Kind::Internal,
                               QStringLiteral("The movie's elements cannot be linked"));

        input.reset(gst_pad_new("pictures", GST_PAD_SRC));
        GstPtr<GstPad> decoderInput(gst_element_get_static_pad(decoder, "sink"));
        gst_pad_set_active(input.get(), TRUE);
        if (gst_pad_link(input.get(), decoderInput.get()) != GST_PAD_LINK_OK)
            return Failure::of(Failure::Kind::Internal,
                               QStringLiteral("The movie's decoder cannot be linked"));
        if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
            return Failure::of(
                Failure::Kind::Unreachable,
                QStringLiteral("The movie cannot be started: %1").arg(errorOnBus(pipeline.get())));
        gst_pad_push_event(input.get(), gst_event_new_stream_start("velmora-timelapse"));
        GstPtr<GstCaps> jpeg(
            gst_caps_new_simple("image/jpeg", "framerate", GST_TYPE_FRACTION, rate, 1, nullptr));
        gst_pad_push_event(input.get(), gst_event_new_caps(jpeg.get()));
        GstSegment segment;
        gst_segment_init(&segment, GST_FORMAT_TIME);
        gst_pad_push_event(input.get(), gst_event_new_segment(&segment));
        return {};
    }

    Result<void> push(const QByteArray& bytes, int frame, int rate)
    {
        GstBuffer* buffer = gst_buffer_new_memdup(bytes.constData(), gsize(bytes.size()));
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(guint64(frame), GST_SECOND, guint64(rate));
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(1, GST_SECOND, guint64(rate));
        if (const GstFlowReturn flow = gst_pad_push(input.get(), buffer); flow != GST_FLOW_OK)
            return failure(flow);
        return {};
    }

    Result<void> finish()
    {
        // The muxer writes the movie's index and length at the end of the stream.
        gst_pad_push_event(input.get(), gst_event_new_eos());
        if (const QString error = errorOnBus(pipeline.get()); !error.isEmpty())
            return Failure::of(Failure::Kind::Invalid,
                               QStringLiteral("The movie cannot be finished: %1").arg(error));
        if (gst_element_set_state(pipeline.get(), GST_STATE_NULL) == GST_STATE_CHANGE_FAILURE)
            return Failure::of(Failure::Kind::Invalid, QStringLiteral("The movie cannot be closed"));
        return {};
    }

    Failure failure(GstFlowReturn flow) const
    {
        QString error = errorOnBus(pipeline.get());
        if (error.isEmpty())
            error = QString::fromLatin1(gst_flow_get_name(flow));
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("The movie cannot be made: %1").arg(error));
    }
};
} // namespace

struct TimelapseMaker::Shared
{
    std::atomic<bool> stop{false};
    std::shared_ptr<UiMailbox> mailbox;
    TimelapseMaker* owner = nullptr; // reached only through the mailbox, which closes first
};

TimelapseMaker::TimelapseMaker(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<TimelapseMaker::Outcome>();
    m_mailbox = UiMailbox::create(this);
}

TimelapseMaker::~TimelapseMaker()
{
    m_mailbox->close();
    if (m_shared)
        m_shared->stop = true;
    join();
}

void TimelapseMaker::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

QString TimelapseMaker::partName(const QString& target)
{
    const QFileInfo info(target);
    return info.dir().filePath(QLatin1Char('.') + info.fileName() + QStringLiteral(".part"));
}

Result<void> TimelapseMaker::start(const Job& job)
{
    if (m_running)
        return Failure::of(Failure::Kind::Refused, QStringLiteral("A timelapse movie is being made"));
    if (job.pictures.isEmpty())
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("There are no pictures for the movie"));
    if (job.framesPerSecond < kMinRate || job.framesPerSecond > kMaxRate)
        return Failure::of(
            Failure::Kind::Invalid,
            QStringLiteral("The rate must be %1 to %2 pictures a second").arg(kMinRate).arg(kMaxRate));
    join(); // the thread of the last movie has ended: its finished was posted as its last act
    ensureGstInitialized();
    m_shared = std::make_shared<Shared>();
    m_shared->mailbox = m_mailbox;
    m_shared->owner = this;
    m_running = true;
    m_thread = std::thread([job, shared = m_shared] {
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), kNiceness);
        const Outcome outcome = make(job, *shared);
        shared->mailbox->post([owner = shared->owner, outcome] {
            owner->m_running = false;
            emit owner->finished(outcome);
        });
    });
    return {};
}

void TimelapseMaker::stop()
{
    if (m_shared)
        m_shared->stop = true;
}

TimelapseMaker::Outcome TimelapseMaker::make(const Job& job, Shared& shared)
{
    Outcome outcome;
    const int total = int(job.pictures.size());
    // The movie's size is the first readable picture's, even on both sides.
    int first = 0;
    QByteArray bytes;
    for (; first < total && !shared.stop; ++first) {
        bytes = readPicture(job.pictures[first]);
        if (const QSize size = jpegSize(bytes); size.isValid()) {
            outcome.size = QSize(std::max(2, size.width() & ~1), std::max(2, size.height() & ~1));
            break;
        }
        ++outcome.skipped;
    }
    if (shared.stop) {
        outcome.error = QStringLiteral("stopped");
        return outcome;
    }
    if (first == total) {
        outcome.error = QStringLiteral("None of the %1 pictures can be read").arg(total);
        return outcome;
    }

    const QString part = partName(job.target);
    Result<void> made;
    {
        Chain chain;
        made = chain.build(outcome.size, job.framesPerSecond, part);
        const int step = std::max(1, total / 100);
        for (int i = first; made && i < total; ++i) {
            if (shared.stop) {
                made = Failure::of(Failure::Kind::Cancelled, QStringLiteral("stopped"));
                break;
            }
            if (i > first)
                bytes = readPicture(job.pictures[i]);
            if (i > first && !jpegSize(bytes).isValid()) {
                ++outcome.skipped;
            } else {
                made = chain.push(bytes, outcome.frames, job.framesPerSecond);
                if (made)
                    ++outcome.frames;
            }
            // A skipped file counts too: the last one ends the progress at its total.
            if ((i + 1) % step == 0 || i + 1 == total)
                shared.mailbox->post(
                    [owner = shared.owner, done = i + 1, total] { emit owner->progress(done, total); });
        }
        if (made)
            made = chain.finish();
    }
    if (made &&
        std::rename(QFile::encodeName(part).constData(), QFile::encodeName(job.target).constData()) != 0)
        made = Failure::of(Failure::Kind::Invalid,
                           QStringLiteral("The movie cannot be written as %1").arg(job.target));
    if (!made) {
        QFile::remove(part);
        outcome.error = made.failure().sentence;
        return outcome;
    }
    outcome.made = true;
    return outcome;
}
