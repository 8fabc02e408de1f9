#include "capture/PipelineBuilder.h"

#include "capture/CaptureComponent.h"
#include "capture/NetworkSource.h"

#include <QFile>
#include <QSize>

#include <cstdlib>
#include <limits>

namespace {
// Scrolls the test pattern so that successive frames differ, like a live picture.
constexpr int kTestPatternSpeed = 2;
constexpr int kPreferredRate = 30;

void addRates(QList<VideoFormat>& formats, const VideoFormat& base, const GValue* rate)
{
    auto add = [&](int numerator, int denominator) {
        VideoFormat format = base;
        format.fpsNumerator = numerator;
        format.fpsDenominator = denominator > 0 ? denominator : 1;
        if (!formats.contains(format))
            formats.append(format);
    };
    if (!rate) {
        add(0, 1);
    } else if (GST_VALUE_HOLDS_FRACTION(rate)) {
        add(gst_value_get_fraction_numerator(rate), gst_value_get_fraction_denominator(rate));
    } else if (GST_VALUE_HOLDS_LIST(rate)) {
        for (guint i = 0; i < gst_value_list_get_size(rate); ++i) {
            const GValue* item = gst_value_list_get_value(rate, i);
            if (GST_VALUE_HOLDS_FRACTION(item))
                add(gst_value_get_fraction_numerator(item), gst_value_get_fraction_denominator(item));
        }
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(rate)) {
        const GValue* top = gst_value_get_fraction_range_max(rate);
        add(gst_value_get_fraction_numerator(top), gst_value_get_fraction_denominator(top));
    }
}

QList<VideoFormat> testPatternFormats()
{
    QList<VideoFormat> formats;
    const QList<QSize> sizes = {{160, 120}, {176, 144}, {320, 240}, {352, 288},
                                {640, 480}, {800, 600}, {1280, 720}};
    for (const QSize& size : sizes) {
        for (int fps : {30, 15}) {
            VideoFormat format;
            format.width = size.width();
            format.height = size.height();
            format.fpsNumerator = fps;
            formats.append(format);
        }
    }
    return formats;
}

double rateOf(const VideoFormat& format)
{
    return format.fpsNumerator > 0 && format.fpsDenominator > 0
               ? double(format.fpsNumerator) / format.fpsDenominator
               : 0.0;
}
} // namespace

QList<VideoFormat> PipelineBuilder::formatsOf(const DriverList::Driver& driver)
{
    if (driver.kind == DriverList::Kind::TestPattern)
        return testPatternFormats();
    QList<VideoFormat> formats;
    if (driver.kind != DriverList::Kind::Device || !driver.device)
        return formats;
    GstPtr<GstCaps> caps(gst_device_get_caps(driver.device.get()));
    if (!caps)
        return formats;
    for (guint i = 0; i < gst_caps_get_size(caps.get()); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps.get(), i);
        const QString media = QString::fromUtf8(gst_structure_get_name(structure));
        if (media != QLatin1String("video/x-raw") && media != QLatin1String("image/jpeg"))
            continue;
        VideoFormat base;
        base.mediaType = media;
        if (!gst_structure_get_int(structure, "width", &base.width) ||
            !gst_structure_get_int(structure, "height", &base.height))
            continue;
        addRates(formats, base, gst_structure_get_value(structure, "framerate"));
    }
    return formats;
}

int PipelineBuilder::startFormat(const QList<VideoFormat>& formats)
{
    int best = -1;
    auto score = [](const VideoFormat& format) {
        const int sizeDistance = std::abs(format.width - CaptureComponent::kDefaultWidth) +
                                 std::abs(format.height - CaptureComponent::kDefaultHeight);
        const bool jpeg = format.mediaType == QLatin1String("image/jpeg");
        return std::tuple(sizeDistance, jpeg, std::abs(rateOf(format) - kPreferredRate));
    };
    for (int i = 0; i < formats.size(); ++i) {
        if (best < 0 || score(formats[i]) < score(formats[best]))
            best = i;
    }
    return best;
}

int PipelineBuilder::matchFormat(const QList<VideoFormat>& formats, const VideoFormat& wanted)
{
    const qsizetype same = formats.indexOf(wanted);
    if (same >= 0)
        return int(same);
    for (int i = 0; i < formats.size(); ++i) {
        if (formats[i].width == wanted.width && formats[i].height == wanted.height)
            return i;
    }
    return -1;
}

Result<GstPtr<GstElement>> PipelineBuilder::createSource(const DriverList::Driver& driver)
{
    GstPtr<GstElement> source;
    switch (driver.kind) {
    case DriverList::Kind::Device:
        if (driver.device)
            source = gstSink(gst_device_create_element(driver.device.get(), "source"));
        // A PipeWire consumer that does not say it wants video is never linked to a camera.
        if (source && g_object_class_find_property(G_OBJECT_GET_CLASS(source.get()), "stream-properties")) {
            GstStructure* properties =
                gst_structure_new("props", "media.type", G_TYPE_STRING, "Video", "media.category",
                                  G_TYPE_STRING, "Capture", "media.role", G_TYPE_STRING, "Camera", nullptr);
            g_object_set(source.get(), "stream-properties", properties, nullptr);
            gst_structure_free(properties);
        }
        // A PipeWire frame's memory goes with its stream; a still or the picture on screen may be
        // kept longer than that, so the source hands out copies.
        if (source && g_object_class_find_property(G_OBJECT_GET_CLASS(source.get()), "always-copy"))
            g_object_set(source.get(), "always-copy", TRUE, nullptr);
        break;
    case DriverList::Kind::TestPattern:
        source = gstSink(gst_element_factory_make("videotestsrc", "source"));
        if (source)
            g_object_set(source.get(), "is-live", TRUE, "horizontal-speed", kTestPatternSpeed, nullptr);
        break;
    case DriverList::Kind::Network:
        return NetworkSource::create(driver.network);
    case DriverList::Kind::Launch: {
        GError* raw = nullptr;
        source = gstSink(gst_parse_bin_from_description(driver.launch.toUtf8().constData(), TRUE, &raw));
        const GstPtr<GError> parseError(raw);
        if (parseError)
            return Failure::of(Failure::Kind::Unsupported, QString::fromUtf8(parseError->message));
        if (source)
            gst_element_set_name(source.get(), "source");
        break;
    }
    }
    if (!source)
        return Failure::of(Failure::Kind::Unsupported,
                           QStringLiteral("The driver \"%1\" cannot be opened").arg(driver.name));
    return source;
}

Result<GstPtr<GstElement>> PipelineBuilder::build(const DriverList::Driver& driver, const VideoFormat* format,
                                                  const Movie* movie)
{
    QString caps = QStringLiteral("ANY");
    // A network camera's MJPEG is decoded behind the gate, like a camera's own.
    bool jpeg = driver.kind == DriverList::Kind::Network && NetworkSource::sendsJpeg(driver.network.kind);
    if (format) {
        jpeg = format->mediaType == QLatin1String("image/jpeg");
        caps = format->mediaType;
        // The test pattern paints straight into the frame sink's pixel layout: no conversion.
        if (driver.kind == DriverList::Kind::TestPattern)
            caps += QStringLiteral(",format=BGRx");
        caps += QStringLiteral(",width=%1,height=%2").arg(format->width).arg(format->height);
        if (format->fpsNumerator > 0)
            caps += QStringLiteral(",framerate=%1/%2").arg(format->fpsNumerator).arg(format->fpsDenominator);
    }
    // The decoder writes BGRx itself, so the converter after it passes frames through.
    const QString decode = jpeg ? QStringLiteral("jpegdec ! ") : QString();
    const QString toFrames =
        QStringLiteral("videoconvert ! video/x-raw,format=BGRx ! appsink name=framesink");
    QString tail = QStringLiteral("capsfilter caps=\"%1\" ! ").arg(caps);
    if (!movie) {
        tail += QStringLiteral("identity name=gate ! ") + decode + toFrames;
    } else {
        tail += decode +
                QStringLiteral("tee name=t t. ! queue max-size-buffers=2 leaky=downstream name=gate ! ") +
                toFrames;
        tail += QStringLiteral(" t. ! queue max-size-buffers=0 max-size-bytes=0 max-size-time=3000000000 ! "
                               "videorate ! video/x-raw,framerate=%1/1 ! videoconvert ! jpegenc quality=%2 ! "
                               "queue ! avimux name=mux ! filesink name=moviesink async=false")
                    .arg(movie->frameRate)
                    .arg(movie->quality);
        // A network camera's movie is its picture: this computer's microphone is not where it is.
        if (movie->withAudio && driver.kind != DriverList::Kind::Network) {
            const QString audioSource = driver.kind == DriverList::Kind::TestPattern
                                            ? QStringLiteral("audiotestsrc is-live=true wave=sine volume=0.2")
                                            : QStringLiteral("autoaudiosrc");
            // Named, so that a failure of the sound source can be told from one of the picture.
            tail +=
                QStringLiteral(" %1 name=%4 ! audioconvert ! audioresample ! "
                               "audio/x-raw,format=S16LE,layout=interleaved,rate=%2,channels=%3 ! "
                               "queue max-size-buffers=0 max-size-bytes=0 max-size-time=3000000000 ! mux.")
                    .arg(audioSource)
                    .arg(movie->audio.rate)
                    .arg(movie->audio.channels)
                    .arg(kMovieSoundName);
        }
    }

    Result<GstPtr<GstElement>> source = createSource(driver);
    if (!source)
        return source;
    GError* raw = nullptr;
    const GstPtr<GstElement> rest =
        gstSink(gst_parse_bin_from_description(tail.toUtf8().constData(), TRUE, &raw));
    const GstPtr<GError> parseError(raw);
    if (!rest || parseError)
        return Failure::of(Failure::Kind::Unsupported, parseError
                                                           ? QString::fromUtf8(parseError->message)
                                                           : QStringLiteral("Cannot build the pipeline"));
    GstPtr<GstElement> pipeline = gstSink(gst_pipeline_new("capture"));
    // The pipeline holds references of its own; ours go with the pointers.
    gst_bin_add_many(GST_BIN(pipeline.get()), source->get(), rest.get(), nullptr);
    if (!gst_element_link(source->get(), rest.get()))
        return Failure::of(Failure::Kind::Unsupported,
                           QStringLiteral("The pictures of \"%1\" cannot be shown").arg(driver.name));
    if (movie) {
        GstPtr<GstElement> file(gst_bin_get_by_name(GST_BIN(pipeline.get()), "moviesink"));
        g_object_set(file.get(), "location", QFile::encodeName(movie->partPath).constData(), nullptr);
    }
    return pipeline;
}
