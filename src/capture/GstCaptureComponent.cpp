#include "capture/GstCaptureComponent.h"

#include "capture/BmpWriter.h"
#include "capture/CaptureError.h"
#include "capture/GstInit.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>

#include <gst/app/gstappsink.h>
#include <gst/video/colorbalance.h>
#include <gst/video/video.h>

#include <chrono>

namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr int kFrameTimeoutMs = 2000;
constexpr int kEosTimeoutMs = 5000;
constexpr int kYieldIntervalMs = 50;
// Scrolls the test pattern so that successive frames differ, like a live picture.
constexpr int kTestPatternSpeed = 2;
constexpr quint32 kOpaque = 0xff000000u;

struct BusContext
{
    GstCaptureComponent* self;
    GstElement* pipeline; // not owned: identifies the pipeline's own state changes
    quint64 generation;
};

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

QImage imageFromSample(GstPtr<GstSample> sample)
{
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx)
        return {};
    auto* mapped = new MappedFrame{std::move(sample), {}};
    if (!gst_video_frame_map(&mapped->frame, &info, buffer, GST_MAP_READ)) {
        delete mapped;
        return {};
    }
    const auto* pixels = static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&mapped->frame, 0));
    return QImage(pixels, GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                  GST_VIDEO_FRAME_PLANE_STRIDE(&mapped->frame, 0), QImage::Format_RGB32, releaseMappedFrame,
                  mapped);
}

QString errorText(GstMessage* message)
{
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    GstPtr<GError> error(raw);
    return error ? QString::fromUtf8(error->message) : QStringLiteral("Unknown streaming error");
}

QString stateText(GstState state)
{
    switch (state) {
    case GST_STATE_PLAYING:
        return QStringLiteral("Video running");
    case GST_STATE_PAUSED:
        return QStringLiteral("Video paused");
    case GST_STATE_READY:
        return QStringLiteral("Video ready");
    default:
        return QStringLiteral("Video stopped");
    }
}

int statusOf(GstState state)
{
    switch (state) {
    case GST_STATE_PLAYING:
        return CaptureComponent::StatusPlaying;
    case GST_STATE_PAUSED:
        return CaptureComponent::StatusPaused;
    case GST_STATE_READY:
        return CaptureComponent::StatusReady;
    default:
        return CaptureComponent::StatusStopped;
    }
}

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

int defaultTestPatternFormat(const QList<VideoFormat>& formats)
{
    for (int i = 0; i < formats.size(); ++i) {
        if (formats[i].width == CaptureComponent::kDefaultWidth &&
            formats[i].height == CaptureComponent::kDefaultHeight && formats[i].fpsNumerator == 30)
            return i;
    }
    return 0;
}

GstColorBalance* colourBalanceOf(GstElement* source)
{
    if (!source)
        return nullptr;
    if (GST_IS_COLOR_BALANCE(source))
        return GST_COLOR_BALANCE(source);
    if (GST_IS_BIN(source)) {
        // The bin keeps the element alive; only the borrowed pointer is needed here.
        GstPtr<GstElement> inner(gst_bin_get_by_interface(GST_BIN(source), GST_TYPE_COLOR_BALANCE));
        return inner ? GST_COLOR_BALANCE(inner.get()) : nullptr;
    }
    return nullptr;
}

GEnumClass* patternEnum(GstElement* source)
{
    GParamSpec* property =
        source ? g_object_class_find_property(G_OBJECT_GET_CLASS(source), "pattern") : nullptr;
    return property && G_IS_PARAM_SPEC_ENUM(property) ? G_PARAM_SPEC_ENUM(property)->enum_class : nullptr;
}

bool audioSourceWorks()
{
    GstPtr<GstElement> probe(gst_element_factory_make("autoaudiosrc", nullptr));
    if (!probe)
        return false;
    gst_object_ref_sink(probe.get());
    const bool works = gst_element_set_state(probe.get(), GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(probe.get(), GST_STATE_NULL);
    return works;
}

} // namespace

GstCaptureComponent::GstCaptureComponent(const QString& workFolder, bool testPattern, QObject* parent)
    : CaptureComponent(parent), m_workFolder(workFolder)
{
    ensureGstInitialized();
    listDevices();
    if (testPattern) {
        Driver driver;
        driver.kind = Driver::Kind::TestPattern;
        driver.name = testPatternDriverName();
        m_drivers.push_back(std::move(driver));
    }
}

GstCaptureComponent::~GstCaptureComponent()
{
    if (qApp)
        qApp->removeEventFilter(this);
    stopPipeline();
}

bool GstCaptureComponent::testPatternRequestedByEnvironment()
{
    return qEnvironmentVariable("VELMORA_TEST_PATTERN") == QLatin1String("1");
}

QString GstCaptureComponent::testPatternDriverName()
{
    return QStringLiteral("Test pattern");
}

void GstCaptureComponent::listDevices()
{
    GstPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    for (GList* item = devices; item; item = item->next) {
        Driver driver;
        driver.device.reset(GST_DEVICE(item->data)); // the list hands over one reference each
        GstPtr<gchar> name(gst_device_get_display_name(driver.device.get()));
        driver.name = QString::fromUtf8(name.get());
        m_drivers.push_back(std::move(driver));
    }
    g_list_free(devices);
}

void GstCaptureComponent::addLaunchDriver(const QString& name, const QString& sourceDescription)
{
    Driver driver;
    driver.kind = Driver::Kind::Launch;
    driver.name = name;
    driver.launch = sourceDescription;
    auto at = m_drivers.end();
    if (!m_drivers.empty() && m_drivers.back().kind == Driver::Kind::TestPattern)
        --at;
    const int index = int(at - m_drivers.begin());
    m_drivers.insert(at, std::move(driver));
    if (m_connected >= index)
        ++m_connected;
}

int GstCaptureComponent::DriverCount() const
{
    return int(m_drivers.size());
}

QString GstCaptureComponent::DriverName(int index) const
{
    return index >= 0 && index < DriverCount() ? m_drivers[size_t(index)].name : QString();
}

int GstCaptureComponent::DriverIndex() const
{
    if (m_connected >= 0)
        return m_connected;
    return m_drivers.empty() ? -1 : 0;
}

void GstCaptureComponent::setDriverIndex(int index)
{
    if (m_movieState != MovieState::Idle)
        throw CaptureError(CaptureError::kConnectFailed, QStringLiteral("A movie capture is running"));
    if (index < 0 || index >= DriverCount())
        throw CaptureError(CaptureError::kConnectFailed,
                           QStringLiteral("There is no capture driver number %1").arg(index));
    const int previous = m_connected;
    const int previousFormat = m_formatIndex;
    const QMap<QString, int> previousControls = m_controlValues;
    if (index != previous)
        m_controlValues.clear();
    try {
        connectDriver(index, -2);
    } catch (const CaptureError&) {
        // Put the previous driver back so the picture goes on as before.
        m_controlValues = previousControls;
        if (previous >= 0) {
            try {
                connectDriver(previous, previousFormat);
            } catch (const CaptureError& again) {
                emit ErrorOccurred(ErrorStream, again.description());
            }
        }
        throw;
    }
    emit StatusChanged(StatusConnected, QStringLiteral("Connected to %1").arg(DriverName(index)));
}

bool GstCaptureComponent::isConnected() const
{
    return m_connected >= 0 && m_pipeline != nullptr;
}

bool GstCaptureComponent::HasSourceDialog() const
{
    return isConnected() && !controls().isEmpty();
}

bool GstCaptureComponent::HasFormatDialog() const
{
    return isConnected() && !m_formats.isEmpty();
}

bool GstCaptureComponent::HasDisplayDialog() const
{
    // Overlay display settings belong to the old Windows drivers; nothing here offers them.
    return false;
}

QList<VideoFormat> GstCaptureComponent::videoFormats() const
{
    return m_formats;
}

int GstCaptureComponent::videoFormatIndex() const
{
    return m_formatIndex;
}

void GstCaptureComponent::setVideoFormatIndex(int index)
{
    if (m_connected < 0)
        throw CaptureError(CaptureError::kNoDriver, QStringLiteral("No video capture driver is connected"));
    if (m_movieState != MovieState::Idle)
        throw CaptureError(CaptureError::kFormatFailed, QStringLiteral("A movie capture is running"));
    if (index < -1 || index >= m_formats.size())
        throw CaptureError(CaptureError::kFormatFailed,
                           QStringLiteral("There is no format number %1").arg(index));
    const int previous = m_formatIndex;
    try {
        connectDriver(m_connected, index);
    } catch (const CaptureError& error) {
        try {
            connectDriver(m_connected, previous);
        } catch (const CaptureError& again) {
            emit ErrorOccurred(ErrorStream, again.description());
        }
        throw CaptureError(CaptureError::kFormatFailed, error.description());
    }
}

QList<CaptureControl> GstCaptureComponent::controls() const
{
    if (!isConnected())
        return {};
    if (m_drivers[size_t(m_connected)].kind == Driver::Kind::TestPattern)
        return testPatternControls();
    return colourBalanceControls();
}

QList<CaptureControl> GstCaptureComponent::testPatternControls() const
{
    QList<CaptureControl> list;
    if (GEnumClass* patterns = patternEnum(m_source)) {
        CaptureControl pattern;
        pattern.name = QStringLiteral("pattern");
        pattern.label = QStringLiteral("Pattern");
        pattern.kind = CaptureControl::Kind::Choice;
        for (guint i = 0; i < patterns->n_values; ++i)
            pattern.choices.append(QString::fromUtf8(patterns->values[i].value_nick));
        pattern.minimum = 0;
        pattern.maximum = int(patterns->n_values) - 1;
        pattern.value = m_controlValues.value(pattern.name, 0);
        list.append(pattern);
    }
    auto colour = [&](const char* name, const char* label, int defaultValue) {
        CaptureControl control;
        control.name = QString::fromLatin1(name);
        control.label = QString::fromLatin1(label);
        control.kind = CaptureControl::Kind::Colour;
        control.minimum = 0;
        control.maximum = 0xffffff;
        control.defaultValue = defaultValue;
        control.value = m_controlValues.value(control.name, defaultValue);
        list.append(control);
    };
    colour("foreground-color", "Foreground colour", 0xffffff);
    colour("background-color", "Background colour", 0x000000);
    return list;
}

QList<CaptureControl> GstCaptureComponent::colourBalanceControls() const
{
    QList<CaptureControl> list;
    GstColorBalance* balance = colourBalanceOf(m_source);
    if (!balance)
        return list;
    for (const GList* item = gst_color_balance_list_channels(balance); item; item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        CaptureControl control;
        control.name = QString::fromUtf8(channel->label);
        control.label = control.name;
        control.minimum = channel->min_value;
        control.maximum = channel->max_value;
        control.value = gst_color_balance_get_value(balance, channel);
        control.defaultValue = (channel->min_value + channel->max_value) / 2;
        list.append(control);
    }
    return list;
}

void GstCaptureComponent::setControl(const QString& name, int value)
{
    for (const CaptureControl& control : controls()) {
        if (control.name != name)
            continue;
        m_controlValues[name] = std::clamp(value, control.minimum, control.maximum);
        applyControlValues();
        return;
    }
}

void GstCaptureComponent::applyControlValues()
{
    if (!m_source || m_connected < 0)
        return;
    if (m_drivers[size_t(m_connected)].kind == Driver::Kind::TestPattern) {
        GEnumClass* patterns = patternEnum(m_source);
        for (auto it = m_controlValues.cbegin(); it != m_controlValues.cend(); ++it) {
            if (it.key() == QLatin1String("pattern") && patterns && it.value() >= 0 &&
                guint(it.value()) < patterns->n_values)
                g_object_set(m_source, "pattern", patterns->values[it.value()].value, nullptr);
            else if (it.key().endsWith(QLatin1String("-color")))
                g_object_set(m_source, it.key().toLatin1().constData(), guint(kOpaque | quint32(it.value())),
                             nullptr);
        }
        return;
    }
    GstColorBalance* balance = colourBalanceOf(m_source);
    if (!balance)
        return;
    for (const GList* item = gst_color_balance_list_channels(balance); item; item = item->next) {
        auto* channel = GST_COLOR_BALANCE_CHANNEL(item->data);
        const QString name = QString::fromUtf8(channel->label);
        if (m_controlValues.contains(name))
            gst_color_balance_set_value(balance, channel, m_controlValues.value(name));
    }
}

MovieCompression GstCaptureComponent::movieCompression() const
{
    return m_compression;
}

void GstCaptureComponent::setMovieCompression(const MovieCompression& settings)
{
    m_compression.quality =
        std::clamp(settings.quality, MovieCompression::kMinQuality, MovieCompression::kMaxQuality);
}

AudioFormat GstCaptureComponent::audioFormat() const
{
    return m_audioFormat;
}

void GstCaptureComponent::setAudioFormat(const AudioFormat& format)
{
    if (AudioFormat::rates().contains(format.rate))
        m_audioFormat.rate = format.rate;
    m_audioFormat.channels = std::clamp(format.channels, 1, 2);
}

void GstCaptureComponent::setPreview(bool on)
{
    m_preview = on;
}

bool GstCaptureComponent::Preview() const
{
    return m_preview;
}

void GstCaptureComponent::setCaptureAudio(bool on)
{
    m_captureAudio = on;
}

bool GstCaptureComponent::CaptureAudio() const
{
    return m_captureAudio;
}

void GstCaptureComponent::setCaptureFrameRate(int framesPerSecond)
{
    m_captureFrameRate = std::clamp(framesPerSecond, 1, 100);
}

int GstCaptureComponent::CaptureFrameRate() const
{
    return m_captureFrameRate;
}

void GstCaptureComponent::setCaptureFile(const QString& path)
{
    m_captureFile = path;
}

QString GstCaptureComponent::CaptureFile() const
{
    return m_captureFile;
}

int GstCaptureComponent::width() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frameWidth;
}

int GstCaptureComponent::height() const
{
    std::lock_guard lock(m_frameMutex);
    return m_frameHeight;
}

QList<VideoFormat> GstCaptureComponent::formatsOf(const Driver& driver) const
{
    if (driver.kind == Driver::Kind::TestPattern)
        return testPatternFormats();
    QList<VideoFormat> formats;
    if (driver.kind != Driver::Kind::Device)
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

GstElement* GstCaptureComponent::createSource(const Driver& driver, QString* error) const
{
    GstElement* source = nullptr;
    switch (driver.kind) {
    case Driver::Kind::Device:
        source = gst_device_create_element(driver.device.get(), "source");
        break;
    case Driver::Kind::TestPattern:
        source = gst_element_factory_make("videotestsrc", "source");
        if (source)
            g_object_set(source, "is-live", TRUE, "horizontal-speed", kTestPatternSpeed, nullptr);
        break;
    case Driver::Kind::Launch: {
        GError* raw = nullptr;
        source = gst_parse_bin_from_description(driver.launch.toUtf8().constData(), TRUE, &raw);
        GstPtr<GError> parseError(raw);
        if (parseError) {
            *error = QString::fromUtf8(parseError->message);
            if (source)
                gst_object_unref(gst_object_ref_sink(source));
            return nullptr;
        }
        if (source)
            gst_element_set_name(source, "source");
        break;
    }
    }
    if (!source && error->isEmpty())
        *error = QStringLiteral("The driver \"%1\" cannot be opened").arg(driver.name);
    return source;
}

GstPtr<GstElement> GstCaptureComponent::buildPipeline(int driverIndex, const QList<VideoFormat>& formats,
                                                      int formatIndex, const MovieSetup* movie,
                                                      QString* error)
{
    const Driver& driver = m_drivers[size_t(driverIndex)];
    QString tail;
    bool jpeg = false;
    if (formatIndex >= 0 && formatIndex < formats.size()) {
        const VideoFormat& format = formats[formatIndex];
        jpeg = format.mediaType == QLatin1String("image/jpeg");
        tail = QStringLiteral("capsfilter caps=\"") + format.mediaType;
        // The test pattern paints straight into the preview's pixel layout: no conversion.
        if (driver.kind == Driver::Kind::TestPattern)
            tail += QStringLiteral(",format=BGRx");
        tail += QStringLiteral(",width=%1,height=%2").arg(format.width).arg(format.height);
        if (format.fpsNumerator > 0)
            tail += QStringLiteral(",framerate=%1/%2").arg(format.fpsNumerator).arg(format.fpsDenominator);
        tail += QStringLiteral("\" ! ");
    }
    if (jpeg)
        tail += QStringLiteral("jpegdec ! ");
    const QString preview =
        QStringLiteral("videoconvert ! video/x-raw,format=BGRx ! appsink name=previewsink");
    if (!movie) {
        tail += preview;
    } else {
        tail += QStringLiteral("tee name=t t. ! queue max-size-buffers=2 leaky=downstream ! ") + preview;
        tail += QStringLiteral(" t. ! queue max-size-buffers=0 max-size-bytes=0 max-size-time=3000000000 ! "
                               "videorate ! video/x-raw,framerate=%1/1 ! videoconvert ! jpegenc quality=%2 ! "
                               "queue ! avimux name=mux ! filesink name=moviesink")
                    .arg(m_captureFrameRate)
                    .arg(m_compression.quality);
        if (movie->withAudio) {
            const QString audioSource = driver.kind == Driver::Kind::TestPattern
                                            ? QStringLiteral("audiotestsrc is-live=true wave=sine volume=0.2")
                                            : QStringLiteral("autoaudiosrc");
            tail +=
                QStringLiteral(" %1 ! audioconvert ! audioresample ! "
                               "audio/x-raw,format=S16LE,layout=interleaved,rate=%2,channels=%3 ! "
                               "queue max-size-buffers=0 max-size-bytes=0 max-size-time=3000000000 ! mux.")
                    .arg(audioSource)
                    .arg(m_audioFormat.rate)
                    .arg(m_audioFormat.channels);
        }
    }

    GstElement* source = createSource(driver, error);
    if (!source)
        return {};
    GError* raw = nullptr;
    GstElement* rest = gst_parse_bin_from_description(tail.toUtf8().constData(), TRUE, &raw);
    GstPtr<GError> parseError(raw);
    if (!rest || parseError) {
        *error =
            parseError ? QString::fromUtf8(parseError->message) : QStringLiteral("Cannot build the pipeline");
        gst_object_unref(gst_object_ref_sink(source));
        if (rest)
            gst_object_unref(gst_object_ref_sink(rest));
        return {};
    }
    GstPtr<GstElement> pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("capture"))));
    gst_bin_add_many(GST_BIN(pipeline.get()), source, rest, nullptr);
    if (!gst_element_link(source, rest)) {
        *error = QStringLiteral("The pictures of \"%1\" cannot be shown").arg(driver.name);
        return {};
    }
    GstPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "previewsink"));
    // Only the newest frame matters; never hold the stream back for a slow consumer.
    g_object_set(sink.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "emit-signals", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &GstCaptureComponent::onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
    if (movie) {
        GstPtr<GstElement> file(gst_bin_get_by_name(GST_BIN(pipeline.get()), "moviesink"));
        g_object_set(file.get(), "location", QFile::encodeName(movie->partPath).constData(), nullptr);
    }
    return pipeline;
}

void GstCaptureComponent::adoptPipeline(GstPtr<GstElement> pipeline)
{
    stopPipeline();
    m_pipeline = std::move(pipeline);
    GstPtr<GstElement> source(gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "source"));
    m_source = source.get(); // the pipeline keeps it alive
    const quint64 generation = ++m_generation;
    {
        std::lock_guard lock(m_frameMutex);
        m_newest.reset();
        m_frameCount = 0;
        m_failed = false;
        m_failure.clear();
    }
    GstPtr<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
    auto* context = new BusContext{this, m_pipeline.get(), generation};
    gst_bus_set_sync_handler(bus.get(), &GstCaptureComponent::onBusMessage, context,
                             [](gpointer data) { delete static_cast<BusContext*>(data); });
}

void GstCaptureComponent::stopPipeline()
{
    if (!m_pipeline)
        return;
    ++m_generation; // messages still queued for the old pipeline are dropped
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    GstPtr<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    m_source = nullptr;
    m_pipeline.reset();
    std::lock_guard lock(m_frameMutex);
    m_newest.reset();
    m_frameWidth = 0;
    m_frameHeight = 0;
}

bool GstCaptureComponent::startPreview(QString* error)
{
    if (gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        std::lock_guard lock(m_frameMutex);
        *error = m_failure.isEmpty() ? QStringLiteral("The driver cannot be started") : m_failure;
        return false;
    }
    std::unique_lock lock(m_frameMutex);
    const bool flowing = m_frameCondition.wait_for(lock, std::chrono::milliseconds(kConnectTimeoutMs),
                                                   [this] { return m_frameCount > 0 || m_failed; });
    if (!flowing || m_frameCount == 0) {
        *error = m_failed ? m_failure
                          : QStringLiteral("The driver delivered no picture within %1 seconds")
                                .arg(kConnectTimeoutMs / 1000);
        return false;
    }
    return true;
}

void GstCaptureComponent::connectDriver(int driverIndex, int formatIndex)
{
    const QList<VideoFormat> formats = formatsOf(m_drivers[size_t(driverIndex)]);
    if (formatIndex == -2)
        formatIndex = m_drivers[size_t(driverIndex)].kind == Driver::Kind::TestPattern
                          ? defaultTestPatternFormat(formats)
                          : -1;
    stopPipeline();
    QString error;
    GstPtr<GstElement> pipeline = buildPipeline(driverIndex, formats, formatIndex, nullptr, &error);
    if (pipeline) {
        adoptPipeline(std::move(pipeline));
        const int previous = m_connected;
        m_connected = driverIndex; // the stored controls belong to this driver now
        applyControlValues();
        if (startPreview(&error)) {
            applyControlValues(); // a camera lists its controls only once it is open
            m_formats = formats;
            m_formatIndex = formatIndex;
            return;
        }
        m_connected = previous;
    }
    stopPipeline();
    throw CaptureError(CaptureError::kConnectFailed, error);
}

GstBusSyncReply GstCaptureComponent::onBusMessage(GstBus*, GstMessage* message, gpointer data)
{
    auto* context = static_cast<BusContext*>(data);
    GstCaptureComponent* self = context->self;
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    const bool ended = type == GST_MESSAGE_ERROR || type == GST_MESSAGE_EOS;
    if (ended && context->generation == self->m_generation) {
        {
            std::lock_guard lock(self->m_frameMutex);
            if (!self->m_failed) {
                self->m_failed = true;
                self->m_failure = type == GST_MESSAGE_ERROR
                                      ? errorText(message)
                                      : QStringLiteral("The video source stopped delivering pictures");
            }
        }
        self->m_frameCondition.notify_all();
    }
    const bool ownState =
        type == GST_MESSAGE_STATE_CHANGED && GST_MESSAGE_SRC(message) == GST_OBJECT(context->pipeline);
    if (ended || ownState) {
        std::shared_ptr<GstMessage> held(gst_message_ref(message), gst_message_unref);
        const quint64 generation = context->generation;
        QMetaObject::invokeMethod(
            self, [self, generation, held] { self->handleBusMessage(generation, held.get()); },
            Qt::QueuedConnection);
    }
    return GST_BUS_DROP;
}

void GstCaptureComponent::handleBusMessage(quint64 generation, GstMessage* message)
{
    if (generation != m_generation)
        return;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_STATE_CHANGED: {
        GstState oldState, newState;
        gst_message_parse_state_changed(message, &oldState, &newState, nullptr);
        emit StatusChanged(statusOf(newState), stateText(newState));
        break;
    }
    case GST_MESSAGE_ERROR: {
        const QString text = errorText(message);
        if (m_movieState != MovieState::Idle) {
            m_movieError = text;
            quitLoop();
        } else {
            // A vanished camera ends the picture; the driver can be connected again later.
            stopPipeline();
        }
        emit ErrorOccurred(ErrorStream, text);
        break;
    }
    case GST_MESSAGE_EOS:
        if (m_movieState == MovieState::Stopping) {
            m_eosSeen = true;
            quitLoop();
        } else if (m_movieState == MovieState::Idle) {
            stopPipeline();
            emit ErrorOccurred(ErrorStreamEnded,
                               QStringLiteral("The video source stopped delivering pictures"));
        } else {
            m_movieError = QStringLiteral("The video source stopped delivering pictures");
            quitLoop();
        }
        break;
    default:
        break;
    }
}

GstFlowReturn GstCaptureComponent::onNewSample(GstAppSink* sink, gpointer data)
{
    auto* self = static_cast<GstCaptureComponent*>(data);
    GstPtr<GstSample> sample(gst_app_sink_pull_sample(sink));
    if (!sample)
        return GST_FLOW_OK;
    int frameWidth = 0;
    int frameHeight = 0;
    if (GstCaps* caps = gst_sample_get_caps(sample.get())) {
        const GstStructure* structure = gst_caps_get_structure(caps, 0);
        gst_structure_get_int(structure, "width", &frameWidth);
        gst_structure_get_int(structure, "height", &frameHeight);
    }
    {
        std::lock_guard lock(self->m_frameMutex);
        self->m_newest = std::move(sample);
        ++self->m_frameCount;
        self->m_frameWidth = frameWidth;
        self->m_frameHeight = frameHeight;
    }
    self->m_frameCondition.notify_all();
    // One delivery in flight at most: a busy GUI thread skips frames instead of queueing them.
    if (self->m_preview && !self->m_deliveryPending.exchange(true))
        QMetaObject::invokeMethod(self, &GstCaptureComponent::deliverFrame, Qt::QueuedConnection);
    return GST_FLOW_OK;
}

void GstCaptureComponent::deliverFrame()
{
    m_deliveryPending = false;
    if (!m_preview)
        return;
    GstPtr<GstSample> sample;
    {
        std::lock_guard lock(m_frameMutex);
        sample = gstRef(m_newest.get());
    }
    if (!sample)
        return;
    const QImage frame = imageFromSample(std::move(sample));
    if (frame.isNull())
        return;
    emit FrameArrived();
    emit frameReady(frame);
}

GstPtr<GstSample> GstCaptureComponent::waitForFrame(int timeoutMs, QString* error)
{
    if (!m_pipeline) {
        *error = QStringLiteral("No video capture driver is connected");
        return {};
    }
    std::unique_lock lock(m_frameMutex);
    m_frameCondition.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_newest != nullptr || m_failed; });
    if (!m_newest) {
        *error = m_failed ? m_failure
                          : QStringLiteral("No picture arrived within %1 seconds").arg(timeoutMs / 1000);
        return {};
    }
    return gstRef(m_newest.get());
}

template <typename Use> auto GstCaptureComponent::withNewestFrame(Use use)
{
    QString error;
    GstPtr<GstSample> sample = waitForFrame(kFrameTimeoutMs, &error);
    if (!sample)
        throw CaptureError(CaptureError::kSaveFrameFailed, error);
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    GstVideoFrame frame;
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        !gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        throw CaptureError(CaptureError::kSaveFrameFailed, QStringLiteral("The picture cannot be read"));
    // The frame is unmapped however the use ends.
    const std::unique_ptr<GstVideoFrame, decltype(&gst_video_frame_unmap)> mapped(&frame,
                                                                                  gst_video_frame_unmap);
    return use(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), GST_VIDEO_INFO_WIDTH(&info),
               GST_VIDEO_INFO_HEIGHT(&info), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
}

void GstCaptureComponent::SaveFrame(const QString& path)
{
    QString error;
    const bool written = withNewestFrame([&](const uchar* bgrx, int width, int height, int stride) {
        return m_bmpWriter.writeFromBgrx(path, bgrx, width, height, stride, &error);
    });
    if (!written)
        throw CaptureError(CaptureError::kSaveFrameFailed, error);
}

QImage GstCaptureComponent::GrabFrame()
{
    // One copy, so the image outlives the pipeline's buffer.
    const QImage image = withNewestFrame([](const uchar* bgrx, int width, int height, int stride) {
        return QImage(bgrx, width, height, stride, QImage::Format_RGB32).copy();
    });
    if (image.isNull())
        throw CaptureError(CaptureError::kSaveFrameFailed,
                           QStringLiteral("Not enough memory for the picture"));
    return image;
}

void GstCaptureComponent::quitLoop()
{
    if (m_loop)
        m_loop->quit();
}

bool GstCaptureComponent::isCapturing() const
{
    return m_movieState != MovieState::Idle;
}

void GstCaptureComponent::StartCaptureNow()
{
    if (m_movieState != MovieState::PreRolling)
        return;
    m_preRollAnswer = PreRollAnswer::Start;
    quitLoop();
}

void GstCaptureComponent::AbortCapture()
{
    if (m_movieState == MovieState::PreRolling) {
        m_preRollAnswer = PreRollAnswer::Abort;
        quitLoop();
    } else if (m_movieState == MovieState::Recording) {
        m_stopRequested = true;
        quitLoop();
    }
}

void GstCaptureComponent::StopCapture()
{
    if (m_movieState != MovieState::Recording)
        return;
    m_stopRequested = true;
    quitLoop();
}

bool GstCaptureComponent::eventFilter(QObject* watched, QEvent* event)
{
    if (m_movieState == MovieState::Recording && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        StopCapture();
        return true;
    }
    return CaptureComponent::eventFilter(watched, event);
}

void GstCaptureComponent::reconnectAfterMovie()
{
    try {
        connectDriver(m_connected, m_formatIndex);
    } catch (const CaptureError& error) {
        emit ErrorOccurred(ErrorStream, error.description());
    }
}

void GstCaptureComponent::CaptureMovie()
{
    if (!isConnected())
        throw CaptureError(CaptureError::kNoDriver, QStringLiteral("No video capture driver is connected"));
    if (m_movieState != MovieState::Idle)
        throw CaptureError(CaptureError::kMovieFailed, QStringLiteral("A movie capture is running"));

    const QString target =
        m_captureFile.isEmpty() ? QDir(m_workFolder).filePath(QStringLiteral("capture.avi")) : m_captureFile;
    // Recording goes to a side file, so an aborted or failed capture never touches the target.
    MovieSetup setup;
    setup.partPath = target + QStringLiteral(".part");
    setup.withAudio = m_captureAudio;
    if (setup.withAudio && m_drivers[size_t(m_connected)].kind != Driver::Kind::TestPattern &&
        !audioSourceWorks()) {
        setup.withAudio = false;
        emit StatusChanged(StatusVideoOnly, QStringLiteral("No sound source found, recording video only"));
    }

    stopPipeline(); // a camera opens for one pipeline at a time
    QString error;
    bool prerolled = false;
    for (int attempt = 0; attempt < 2 && !prerolled; ++attempt) {
        GstPtr<GstElement> pipeline = buildPipeline(m_connected, m_formats, m_formatIndex, &setup, &error);
        if (pipeline) {
            adoptPipeline(std::move(pipeline));
            applyControlValues();
            prerolled = gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
            if (!prerolled) {
                std::lock_guard lock(m_frameMutex);
                error = m_failure.isEmpty() ? QStringLiteral("The movie cannot be prepared") : m_failure;
            }
        }
        if (!prerolled) {
            stopPipeline();
            QFile::remove(setup.partPath);
            if (!setup.withAudio)
                break;
            setup.withAudio = false;
            emit StatusChanged(StatusVideoOnly,
                               QStringLiteral("The sound source failed, recording video only"));
        }
    }
    if (!prerolled) {
        reconnectAfterMovie();
        emit movieFinished(false, error);
        throw CaptureError(CaptureError::kMovieFailed, error);
    }

    QEventLoop loop;
    m_loop = &loop;
    m_movieState = MovieState::PreRolling;
    m_preRollAnswer = PreRollAnswer::None;
    m_stopRequested = false;
    m_eosSeen = false;
    m_movieError.clear();
    emit PreRoll();
    while (m_preRollAnswer == PreRollAnswer::None && m_movieError.isEmpty())
        loop.exec();

    bool recorded = false;
    if (m_preRollAnswer == PreRollAnswer::Start && m_movieError.isEmpty() &&
        gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE) {
        m_movieState = MovieState::Recording;
        emit StatusChanged(StatusCaptureStarted, QStringLiteral("Capturing to %1").arg(target));
        qApp->installEventFilter(this);
        QTimer yield;
        connect(&yield, &QTimer::timeout, this, &CaptureComponent::Yield);
        yield.start(kYieldIntervalMs);
        while (!m_stopRequested && m_movieError.isEmpty())
            loop.exec();
        yield.stop();
        qApp->removeEventFilter(this);

        // End of stream lets avimux write its index, so the file plays.
        m_movieState = MovieState::Stopping;
        bool timedOut = false;
        QTimer::singleShot(kEosTimeoutMs, &loop, [&timedOut, &loop] {
            timedOut = true;
            loop.quit();
        });
        gst_element_send_event(m_pipeline.get(), gst_event_new_eos());
        while (!m_eosSeen && !timedOut && m_movieError.isEmpty())
            loop.exec();
        recorded = m_eosSeen;
        if (!recorded && m_movieError.isEmpty())
            m_movieError = QStringLiteral("The movie could not be completed");
    }
    m_loop = nullptr;
    m_movieState = MovieState::Idle;
    stopPipeline();

    QString failure = m_movieError;
    if (recorded) {
        QFile::remove(target);
        if (!QFile::rename(setup.partPath, target))
            failure = QStringLiteral("The movie cannot be written to %1").arg(target);
    }
    QFile::remove(setup.partPath);
    reconnectAfterMovie();
    emit StatusChanged(StatusCaptureEnded, QStringLiteral("Capture ended"));
    emit movieFinished(recorded && failure.isEmpty(), failure);
    if (!failure.isEmpty())
        throw CaptureError(CaptureError::kMovieFailed, failure);
}
