#include "capture/GstCaptureComponent.h"

#include "capture/CameraFault.h"
#include "capture/CameraRegistry.h"
#include "capture/CapturePipeline.h"
#include "capture/DriverList.h"
#include "capture/GstInit.h"
#include "capture/PipelineWorker.h"
#include "capture/SourceControls.h"
#include "capture/StillQueue.h"
#include "capture/StillRule.h"
#include "capture/UiMailbox.h"

#include <QDir>

#include <algorithm>

namespace {
using Clock = FrameHandoff::Clock;

// True when the message comes from the movie's sound source or an element inside it.
bool comesFromMovieSound(GstMessage* message)
{
    for (GstObject* object = GST_MESSAGE_SRC(message); object; object = GST_OBJECT_PARENT(object)) {
        if (g_strcmp0(GST_OBJECT_NAME(object), PipelineBuilder::kMovieSoundName) == 0)
            return true;
    }
    return false;
}

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

const QString kNoDriverText = QStringLiteral("no video capture driver is connected");

// The connection's own failures, as the status and the stills tell them.
Failure lostFailure(const QString& reason)
{
    return StillQueue::failure(Failure::Kind::Unreachable, reason);
}
} // namespace

GstCaptureComponent::GstCaptureComponent(const QString& workFolder, bool testPattern, QObject* parent)
    : GstCaptureComponent(workFolder, testPattern, Limits{}, parent)
{
}

GstCaptureComponent::GstCaptureComponent(const QString& workFolder, bool testPattern, const Limits& limits,
                                         QObject* parent)
    : CaptureComponent(parent), m_workFolder(workFolder), m_limits(limits)
{
    ensureGstInitialized();
    m_drivers = std::make_shared<DriverList>();
    if (testPattern)
        m_drivers->addTestPattern();
    setUp();
    m_cameras = std::make_unique<CameraRegistry>(*this, m_drivers, m_limits);
    connect(m_cameras.get(), &CameraRegistry::opened, this, &CaptureComponent::camerasInUseChanged);
    connect(this, &CaptureComponent::connectionChanged, m_cameras.get(), &CameraRegistry::update);
}

GstCaptureComponent::GstCaptureComponent(FollowedCamera camera, const Limits& limits, QObject* parent)
    : CaptureComponent(parent), m_limits(limits), m_drivers(std::move(camera.drivers)), m_follows(true),
      m_chosen(std::move(camera.remembered))
{
    setUp();
}

void GstCaptureComponent::setUp()
{
    m_worker = std::make_unique<PipelineWorker>();
    m_mailbox = UiMailbox::create(this);
    connect(m_drivers.get(), &DriverList::driverAppeared, this, &GstCaptureComponent::driverAppeared);
    connect(m_drivers.get(), &DriverList::driverGone, this, &GstCaptureComponent::driverGone);
    connect(m_drivers.get(), &DriverList::driverRemoved, this, &GstCaptureComponent::driverRemoved);
    connect(m_drivers.get(), &DriverList::listChanged, this, &CaptureComponent::driversChanged);

    m_movie = new MovieRecorder(*this, this);
    connect(m_movie, &MovieRecorder::PreRoll, this, &CaptureComponent::PreRoll);
    connect(m_movie, &MovieRecorder::Yield, this, &CaptureComponent::Yield);
    connect(m_movie, &MovieRecorder::errorOccurred, this, &CaptureComponent::ErrorOccurred);
    connect(m_movie, &MovieRecorder::statusChanged, this, [this](int number, const QString& text) {
        m_status = text;
        emit StatusChanged(number, text);
    });
    connect(m_movie, &MovieRecorder::finished, this, &CaptureComponent::movieFinished);

    m_watchdog.setInterval(m_limits.watchMs);
    connect(&m_watchdog, &QTimer::timeout, this, &GstCaptureComponent::watch);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &GstCaptureComponent::retry);
    m_stills = new StillQueue(this);
}

GstCaptureComponent::~GstCaptureComponent()
{
    m_destroying = true;
    m_cameras.reset();
    // A camera no account uses any more may have an upload waiting for its picture.
    m_stills->failAllLater(StillQueue::failure(
        Failure::Kind::Unreachable, QStringLiteral("the camera \"%1\" was closed")
                                        .arg(m_follows ? cameraNameOf(m_chosen.identity) : cameraName())));
    m_mailbox->close();
    m_movie->abandon();
    stopPipeline();
    // Runs the last stop and waits for it: nothing of a pipeline outlives the component.
    m_worker.reset();
}

bool GstCaptureComponent::testPatternRequestedByEnvironment()
{
    return qEnvironmentVariable("VELMORA_TEST_PATTERN") == QLatin1String("1");
}

QString GstCaptureComponent::testPatternDriverName()
{
    return DriverList::testPatternName();
}

void GstCaptureComponent::addLaunchDriver(const QString& name, const QString& sourceDescription)
{
    m_drivers->addLaunch(name, sourceDescription);
}

// ---- Drivers and connection ----

Result<void> GstCaptureComponent::listNetworkCamera(const NetworkCamera& camera)
{
    m_drivers->addNetwork(camera);
    return {};
}

std::optional<NetworkCamera> GstCaptureComponent::networkCamera(int index) const
{
    if (!m_drivers->contains(index) || m_drivers->at(index).kind != DriverList::Kind::Network)
        return std::nullopt;
    return m_drivers->at(index).network;
}

Result<void> GstCaptureComponent::removeNetworkCamera(int index)
{
    if (!networkCamera(index))
        return CaptureComponent::removeNetworkCamera(index);
    if (index == m_driver && m_movie->isActive())
        return Failure::of(Failure::Kind::Refused,
                           QStringLiteral("The camera \"%1\" records a movie").arg(DriverName(index)),
                           kNetworkCamera);
    const bool connected = index == m_driver;
    const QString name = DriverName(index);
    m_drivers->removeNetwork(index);
    if (connected) {
        m_retryMs = 0;
        if (!connectAtStart()) {
            m_lostReason = QStringLiteral("the camera \"%1\" was removed").arg(name);
            updateStatus();
            emit connectionChanged();
        }
    }
    emit networkCamerasChanged();
    return {};
}

void GstCaptureComponent::driverRemoved(int index)
{
    if (m_previous.driver == index)
        m_previous = {};
    else if (m_previous.driver > index)
        --m_previous.driver;
    if (index != m_driver) {
        if (m_driver > index)
            --m_driver;
        return;
    }
    // The connected camera leaves the list: its picture ends here.
    const QString reason = QStringLiteral("the camera \"%1\" was removed").arg(DriverName(index));
    stopPipeline();
    m_retry.stop();
    m_watchdog.stop();
    m_stills->failAll(StillQueue::failure(Failure::Kind::NotFound, reason));
    m_driver = -1;
    m_formats.clear();
    m_formatIndex = -1;
    m_link = Link::Lost;
}

bool GstCaptureComponent::isNetworkCamera() const
{
    return m_drivers->contains(m_driver) && m_drivers->at(m_driver).kind == DriverList::Kind::Network;
}

int GstCaptureComponent::DriverCount() const
{
    return m_drivers->count();
}

QString GstCaptureComponent::DriverName(int index) const
{
    return m_drivers->contains(index) ? m_drivers->at(index).name : QString();
}

QString GstCaptureComponent::DriverIdentity(int index) const
{
    return m_drivers->contains(index) ? m_drivers->at(index).identity : QString();
}

bool GstCaptureComponent::isPresent(int index) const
{
    return m_drivers->contains(index) && m_drivers->at(index).present;
}

int GstCaptureComponent::DriverIndex() const
{
    if (m_driver >= 0)
        return m_driver;
    if (const int chosen = m_drivers->indexOf(m_chosen.identity); isPresent(chosen) || m_follows)
        return chosen;
    for (int i = 0; i < DriverCount(); ++i)
        if (isPresent(i))
            return i;
    return DriverCount() > 0 ? 0 : -1;
}

bool GstCaptureComponent::isConnected() const
{
    return m_driver >= 0 && (m_link == Link::Starting || m_link == Link::Running || m_link == Link::Stalled);
}

int GstCaptureComponent::formatFor(int index, const std::optional<VideoFormat>& format) const
{
    const QList<VideoFormat> formats = PipelineBuilder::formatsOf(m_drivers->at(index));
    const int match = format ? PipelineBuilder::matchFormat(formats, *format) : -1;
    return match >= 0 ? match : PipelineBuilder::startFormat(formats);
}

const VideoFormat* GstCaptureComponent::currentFormat() const
{
    return m_formatIndex >= 0 && m_formatIndex < m_formats.size() ? &m_formats[m_formatIndex] : nullptr;
}

QString GstCaptureComponent::cameraName() const
{
    return DriverName(m_driver);
}

Result<void> GstCaptureComponent::setDriverIndex(int index)
{
    if (m_movie->isActive())
        return Failure::of(Failure::Kind::Refused, QStringLiteral("A movie capture is running"),
                           kConnectFailed);
    if (!m_drivers->contains(index))
        return Failure::of(Failure::Kind::NotFound,
                           QStringLiteral("There is no capture driver number %1").arg(index), kConnectFailed);
    if (!isPresent(index))
        return Failure::of(Failure::Kind::NotFound,
                           QStringLiteral("The camera \"%1\" is not plugged in").arg(DriverName(index)),
                           kConnectFailed);
    int format = m_formatIndex;
    if (index != m_driver) {
        const bool chosen = DriverIdentity(index) == m_chosen.identity;
        m_controlValues = chosen ? m_chosen.controls : QMap<QString, int>();
        format = formatFor(index, chosen ? m_chosen.format : std::nullopt);
    }
    return connectDriver(index, format, Purpose::Choice);
}

Result<void> GstCaptureComponent::connectAtStart()
{
    int index = m_drivers->indexOf(m_chosen.identity);
    const bool chosen = isPresent(index);
    if (!chosen && m_follows)
        return Failure::of(
            Failure::Kind::NotFound,
            QStringLiteral("The camera \"%1\" is not plugged in").arg(cameraNameOf(m_chosen.identity)),
            kConnectFailed);
    if (!chosen)
        index = DriverIndex();
    if (!isPresent(index))
        return Failure::of(Failure::Kind::NotFound,
                           index < 0
                               ? QStringLiteral("There is no video capture driver")
                               : QStringLiteral("The camera \"%1\" is not plugged in").arg(DriverName(index)),
                           index < 0 ? kNoDriver : kConnectFailed);
    m_controlValues = chosen ? m_chosen.controls : QMap<QString, int>();
    return connectDriver(index, formatFor(index, chosen ? m_chosen.format : std::nullopt), Purpose::Start);
}

Result<void> GstCaptureComponent::connectDriver(int index, int formatIndex, Purpose purpose)
{
    if (m_cameras)
        m_cameras->release(DriverIdentity(index));
    const QList<VideoFormat> formats = PipelineBuilder::formatsOf(m_drivers->at(index));
    if (formatIndex < 0 || formatIndex >= formats.size())
        formatIndex = PipelineBuilder::startFormat(formats);
    const quint64 id = ++m_lastPipelineId;
    Result<std::shared_ptr<CapturePipeline>> made =
        makePipeline(index, formatIndex >= 0 ? &formats[formatIndex] : nullptr, nullptr, id);
    if (!made)
        return Failure::of(made.failure().kind, made.failure().sentence, kConnectFailed);

    // A second choice while the first is still connecting goes back to the same working driver.
    if (purpose == Purpose::Choice) {
        if (m_link == Link::Running || m_link == Link::Stalled)
            m_previous = {m_driver, m_formatIndex, m_controlValues};
        else if (!(m_link == Link::Starting && m_purpose == Purpose::Choice))
            m_previous = {};
    } else {
        m_previous = {};
    }
    stopPipeline();
    m_retry.stop();
    m_driver = index;
    m_formats = formats;
    m_formatIndex = formatIndex;
    m_purpose = purpose;
    install(std::move(made).value(), id, false);
    SourceControls::apply(m_drivers->at(index).kind, m_pipeline->source(), m_controlValues);
    m_link = Link::Starting;
    m_started = Clock::now();
    m_watchdog.start();
    runState(GST_STATE_PLAYING, QStringLiteral("the camera \"%1\" cannot be started").arg(cameraName()),
             [this](const Result<void>& started) {
                 if (!started)
                     connectionFailed(started.failure().sentence);
             });
    updateStatus();
    emit connectionChanged();
    return {};
}

void GstCaptureComponent::reconnect()
{
    if (const Result<void> connected = connectDriver(m_driver, m_formatIndex, Purpose::Reconnect); !connected)
        lose(connected.failure().sentence, true);
}

Result<std::shared_ptr<CapturePipeline>>
GstCaptureComponent::makePipeline(int index, const VideoFormat* format, const PipelineBuilder::Movie* movie,
                                  quint64 id)
{
    Result<GstPtr<GstElement>> element = PipelineBuilder::build(m_drivers->at(index), format, movie);
    if (!element)
        return element.failure();
    auto pipeline = std::make_shared<CapturePipeline>(
        std::move(element).value(), [mailbox = m_mailbox, id, this](GstMessage* message) {
            if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR &&
                GST_MESSAGE_TYPE(message) != GST_MESSAGE_EOS)
                return;
            std::shared_ptr<GstMessage> held(gst_message_ref(message), gst_message_unref);
            mailbox->post([this, id, held] { onMessage(id, held.get()); });
        });
    pipeline->frames()->setListener([mailbox = m_mailbox, id, this](FrameHandoff::Event event) {
        if (event == FrameHandoff::Event::FirstBuffer)
            mailbox->post([this, id] { onFirstBuffer(id); });
        else
            mailbox->post([this, id] { onDecoded(id); });
    });
    return pipeline;
}

void GstCaptureComponent::install(std::shared_ptr<CapturePipeline> pipeline, quint64 id, bool movie)
{
    m_pipeline = std::move(pipeline);
    m_pipelineId = id;
    m_moviePipeline = movie;
    m_stills->setFrames(m_pipeline->frames());
    updateDecoding();
}

void GstCaptureComponent::runState(GstState state, const QString& otherwise,
                                   std::function<void(const Result<void>&)> reached)
{
    m_worker->post([pipeline = m_pipeline, state, otherwise, mailbox = m_mailbox, id = m_pipelineId, this,
                    reached = std::move(reached)] {
        Result<void> result = pipeline->changeState(state, otherwise);
        mailbox->post([this, id, result = std::move(result), reached] {
            if (id == m_pipelineId)
                reached(result);
        });
    });
}

void GstCaptureComponent::stopPipeline()
{
    if (!m_pipeline)
        return;
    m_pipeline->frames()->setListener({});
    // A start still waiting for its camera gives up, so the stop behind it is not held up.
    m_pipeline->interrupt();
    m_worker->post([pipeline = std::move(m_pipeline)]() mutable { pipeline.reset(); });
    m_pipelineId = 0;
    m_moviePipeline = false;
    m_stills->setFrames(nullptr);
}

void GstCaptureComponent::onMessage(quint64 id, GstMessage* message)
{
    if (id != m_pipelineId)
        return;
    const bool ended = GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
    if (m_moviePipeline) {
        if (ended)
            m_movie->streamEnded();
        else
            m_movie->failed(CameraFault::fromMessage(message) ? failureReason(message)
                                                              : CameraFault::errorText(message),
                            comesFromMovieSound(message));
        return;
    }
    const QString reason =
        ended ? QStringLiteral("the camera \"%1\" stopped sending pictures").arg(cameraName())
              : failureReason(message);
    if (m_link == Link::Starting)
        connectionFailed(reason);
    else
        lose(reason, true);
}

QString GstCaptureComponent::failureReason(GstMessage* message) const
{
    const std::optional<NetworkCamera> network = networkCamera(m_driver);
    const bool withLogin = !network || !network->user.isEmpty() || !network->password.isEmpty();
    std::optional<CameraFault> fault = CameraFault::fromMessage(message);
    if (!fault && network)
        fault = CameraFault::fromNetworkMessage(message, network->kind);
    if (fault)
        return fault->sentence(cameraName(), withLogin);
    return QStringLiteral("the camera \"%1\" failed: %2").arg(cameraName(), CameraFault::errorText(message));
}

void GstCaptureComponent::onFirstBuffer(quint64 id)
{
    if (id != m_pipelineId || m_link != Link::Starting)
        return;
    m_link = Link::Running;
    m_retryMs = 0;
    m_lostReason.clear();
    // A camera lists some of its settings only once it is open.
    SourceControls::apply(m_drivers->at(m_driver).kind, m_pipeline->source(), m_controlValues);
    if (m_purpose == Purpose::Choice)
        recordChoice();
    m_previous = {};
    updateStatus();
    emit connectionChanged();
}

void GstCaptureComponent::onDecoded(quint64 id)
{
    if (id != m_pipelineId)
        return;
    const std::shared_ptr<FrameHandoff>& frames = m_pipeline->frames();
    frames->acknowledge();
    m_stills->frameArrived();
    if (!m_preview || !m_pictureShown || !m_pipeline)
        return;
    const QImage frame = FrameHandoff::image(m_pipeline->frames()->newest());
    if (frame.isNull())
        return;
    emit FrameArrived();
    emit frameReady(frame);
}

void GstCaptureComponent::connectionFailed(const QString& reason)
{
    // A person's choice and the camera the program starts with report their failure; attempts of
    // the program's own to reconnect only show in the status. The report comes once the previous
    // driver is back, so that whoever hears it sees the driver now connected.
    const int failed = m_driver;
    const bool report = m_purpose != Purpose::Reconnect;
    if (m_purpose == Purpose::Choice && isPresent(m_previous.driver)) {
        const Previous previous = std::exchange(m_previous, {});
        m_controlValues = previous.controls;
        if (const Result<void> back = connectDriver(previous.driver, previous.format, Purpose::Reconnect);
            !back)
            lose(back.failure().sentence, true);
    } else {
        lose(reason, true);
    }
    if (report)
        emit driverFailed(failed, reason);
}

void GstCaptureComponent::lose(const QString& reason, bool retry)
{
    stopPipeline();
    m_link = Link::Lost;
    m_lostReason = reason;
    m_watchdog.stop();
    m_stills->failAll(lostFailure(reason));
    if (retry && !m_destroying) {
        m_retryMs = m_retryMs > 0 ? std::min(2 * m_retryMs, m_limits.lastRetryMs) : m_limits.firstRetryMs;
        m_retry.start(m_retryMs);
    }
    updateStatus();
    emit connectionChanged();
}

void GstCaptureComponent::retry()
{
    if (m_link != Link::Lost || !isPresent(m_driver) || m_movie->isActive())
        return;
    reconnect();
}

void GstCaptureComponent::watch()
{
    if (!m_pipeline)
        return;
    // While a movie pre-rolls or closes, no frames are expected.
    const MovieRecorder::State movie = m_movie->state();
    if (movie == MovieRecorder::State::Preparing || movie == MovieRecorder::State::PreRolled ||
        movie == MovieRecorder::State::Closing)
        return;
    const Clock::time_point now = Clock::now();
    if (m_link == Link::Starting) {
        if (now - m_started > std::chrono::milliseconds(m_limits.startMs))
            connectionFailed(
                (isNetworkCamera()
                     ? QStringLiteral("the camera \"%1\" does not answer (no picture within %2 s)")
                     : QStringLiteral("no picture from the camera \"%1\" within %2 s"))
                    .arg(cameraName())
                    .arg(m_limits.startMs / 1000.0));
        return;
    }
    const std::shared_ptr<FrameHandoff>& frames = m_pipeline->frames();
    const Clock::duration silent = now - frames->lastSourceBuffer();
    const Clock::duration limit = StillRule::waitLimit(frames->frameInterval());
    if (m_link == Link::Running && silent > limit) {
        m_link = Link::Stalled;
        updateStatus();
        emit connectionChanged();
    } else if (m_link == Link::Stalled && silent <= limit) {
        m_link = Link::Running;
        updateStatus();
        emit connectionChanged();
    } else if (m_link == Link::Stalled &&
               silent > limit + std::chrono::milliseconds(m_limits.restartStalledMs) &&
               !m_movie->isActive()) {
        reconnect();
    }
}

void GstCaptureComponent::driverAppeared(int index)
{
    if (m_movie->isActive())
        return;
    Purpose purpose = Purpose::Reconnect;
    int format = -1;
    if (index == m_driver && m_link == Link::Lost) {
        // The same camera back: at the same format, if it still offers it.
        format = formatFor(index, currentFormat() ? std::optional(*currentFormat()) : std::nullopt);
    } else if (index != m_driver && DriverIdentity(index) == m_chosen.identity) {
        // The chosen camera takes over from the one that stood in for it.
        purpose = Purpose::Start;
        m_controlValues = m_chosen.controls;
        format = formatFor(index, m_chosen.format);
    } else if (m_driver < 0 && !m_follows) {
        purpose = Purpose::Start;
        format = formatFor(index, std::nullopt);
    } else {
        return;
    }
    m_retryMs = 0;
    if (const Result<void> connected = connectDriver(index, format, purpose); !connected) {
        m_driver = index;
        lose(connected.failure().sentence, true);
    }
}

void GstCaptureComponent::driverGone(int index)
{
    if (index != m_driver || m_link == Link::None)
        return;
    const QString reason =
        QStringLiteral("the camera \"%1\" is gone (unplugged or switched off)").arg(DriverName(index));
    m_lostReason = reason;
    if (m_movie->isRecording()) {
        // What was recorded so far is kept; the picture is lost once the movie is closed.
        m_movie->StopCapture();
        return;
    }
    if (m_movie->isActive()) {
        m_movie->failed(reason);
        return;
    }
    lose(reason, false);
}

void GstCaptureComponent::recordChoice()
{
    if (m_driver < 0)
        return;
    m_chosen.identity = DriverIdentity(m_driver);
    m_chosen.name = DriverName(m_driver);
    m_chosen.format = currentFormat() ? std::optional(*currentFormat()) : std::nullopt;
    m_chosen.controls = m_controlValues;
    m_usedCameras[m_chosen.identity] =
        CameraChoice{m_chosen.identity, m_chosen.name, m_chosen.format, m_chosen.controls, {}, {}};
    // The store keeps a bounded number of cameras; the others start at their own format.
    for (auto it = m_usedCameras.begin(); m_usedCameras.size() > kMaxUsedCameras;)
        it = it.key() == m_chosen.identity ? std::next(it) : m_usedCameras.erase(it);
    emit choiceChanged();
}

void GstCaptureComponent::updateDecoding()
{
    if (m_pipeline)
        m_pipeline->frames()->setDecodeAll(m_preview && m_pictureShown);
}

void GstCaptureComponent::updateStatus()
{
    // A movie keeps "Capturing to ..." until it ends.
    if (m_movie->isRecording() || m_movie->state() == MovieRecorder::State::Finalising)
        return;
    int number = 0;
    QString text;
    switch (m_link) {
    case Link::None:
        return;
    case Link::Starting:
        if (m_purpose == Purpose::Reconnect)
            return;
        number = StatusConnecting;
        text = QStringLiteral("Connecting to \"%1\"...").arg(cameraName());
        break;
    case Link::Running:
        number = m_preview ? StatusPlaying : StatusPreviewOff;
        text = m_preview ? QStringLiteral("Video running") : QStringLiteral("Preview off");
        break;
    case Link::Stalled:
        number = StatusNoPicture;
        text = capitalised(
            StillRule::noPictureText(m_pipeline ? StillRule::waitLimit(m_pipeline->frames()->frameInterval())
                                                : StillRule::waitLimit({})));
        break;
    case Link::Lost:
        number = StatusCameraLost;
        text = QStringLiteral("No picture: ") + m_lostReason;
        break;
    }
    if (text == m_status)
        return;
    m_status = text;
    emit StatusChanged(number, text);
}

// ---- Dialog data ----

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

Result<void> GstCaptureComponent::setVideoFormatIndex(int index)
{
    if (m_driver < 0)
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("No video capture driver is connected"),
                           kNoDriver);
    if (m_movie->isActive())
        return Failure::of(Failure::Kind::Refused, QStringLiteral("A movie capture is running"),
                           kFormatFailed);
    if (index < 0 || index >= m_formats.size())
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("There is no format number %1").arg(index),
                           kFormatFailed);
    if (!isPresent(m_driver))
        return Failure::of(Failure::Kind::NotFound,
                           QStringLiteral("The camera \"%1\" is not plugged in").arg(cameraName()),
                           kFormatFailed);
    return connectDriver(m_driver, index, Purpose::Choice);
}

QList<CaptureControl> GstCaptureComponent::controls() const
{
    if (!isConnected())
        return {};
    return SourceControls::list(m_drivers->at(m_driver).kind, m_pipeline ? m_pipeline->source() : nullptr,
                                m_controlValues);
}

void GstCaptureComponent::setControl(const QString& name, int value)
{
    for (const CaptureControl& control : controls()) {
        if (control.name != name)
            continue;
        m_controlValues[name] = std::clamp(value, control.minimum, control.maximum);
        if (m_pipeline)
            SourceControls::apply(m_drivers->at(m_driver).kind, m_pipeline->source(), m_controlValues);
        recordChoice();
        return;
    }
}

// ---- Picture and movie settings ----

void GstCaptureComponent::setPreview(bool on)
{
    m_preview = on;
    updateDecoding();
    updateStatus();
}

bool GstCaptureComponent::Preview() const
{
    return m_preview;
}

void GstCaptureComponent::setPictureShown(bool shown)
{
    m_pictureShown = shown;
    updateDecoding();
}

int GstCaptureComponent::width() const
{
    if (const VideoFormat* format = currentFormat())
        return format->width;
    return m_pipeline ? m_pipeline->frames()->size().width() : 0;
}

int GstCaptureComponent::height() const
{
    if (const VideoFormat* format = currentFormat())
        return format->height;
    return m_pipeline ? m_pipeline->frames()->size().height() : 0;
}

// ---- Movies ----

Result<void> GstCaptureComponent::CaptureMovie()
{
    if (!isConnected())
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("No video capture driver is connected"),
                           kNoDriver);
    const QString target =
        CaptureFile().isEmpty() ? QDir(m_workFolder).filePath(QStringLiteral("capture.avi")) : CaptureFile();
    PipelineBuilder::Movie movie;
    movie.withAudio = CaptureAudio();
    movie.frameRate = CaptureFrameRate();
    movie.quality = movieCompression().quality;
    movie.audio = audioFormat();
    return m_movie->start(target, movie);
}

void GstCaptureComponent::StartCaptureNow()
{
    m_movie->StartCaptureNow();
}

void GstCaptureComponent::AbortCapture()
{
    m_movie->AbortCapture();
}

void GstCaptureComponent::StopCapture()
{
    m_movie->StopCapture();
}

void GstCaptureComponent::abandonMovie()
{
    m_movie->abandon();
}

bool GstCaptureComponent::isCapturing() const
{
    return m_movie->isActive();
}

Result<void> GstCaptureComponent::prepareMoviePipeline(const PipelineBuilder::Movie& movie)
{
    if (m_driver < 0)
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("No video capture driver is connected"),
                           kNoDriver);
    const quint64 id = ++m_lastPipelineId;
    Result<std::shared_ptr<CapturePipeline>> made = makePipeline(m_driver, currentFormat(), &movie, id);
    if (!made)
        return made.failure();
    // The camera opens for one pipeline at a time: the live one stops first.
    stopPipeline();
    install(std::move(made).value(), id, true);
    SourceControls::apply(m_drivers->at(m_driver).kind, m_pipeline->source(), m_controlValues);
    runState(GST_STATE_PAUSED, QStringLiteral("The movie cannot be prepared"),
             [this](const Result<void>& paused) { m_movie->prepared(paused); });
    return {};
}

void GstCaptureComponent::playMoviePipeline()
{
    runState(GST_STATE_PLAYING, QStringLiteral("The movie cannot be started"),
             [this](const Result<void>& playing) {
                 if (!playing)
                     m_movie->failed(playing.failure().sentence);
             });
}

void GstCaptureComponent::endMovieStream()
{
    if (m_pipeline)
        gst_element_send_event(m_pipeline->element(), gst_event_new_eos());
}

void GstCaptureComponent::closeMoviePipeline(std::function<bool()> fileWork)
{
    if (m_moviePipeline)
        stopPipeline();
    m_worker->post([fileWork = std::move(fileWork), mailbox = m_mailbox, this] {
        const bool ok = fileWork();
        mailbox->post([this, ok] { m_movie->closed(ok); });
    });
    if (m_destroying || m_driver < 0)
        return;
    if (!isPresent(m_driver)) {
        lose(m_lostReason.isEmpty() ? QStringLiteral("the camera \"%1\" is gone").arg(cameraName())
                                    : m_lostReason,
             false);
        return;
    }
    reconnect();
}

// ---- Stills ----

Result<void> GstCaptureComponent::stillAvailable() const
{
    if (m_follows && (m_driver < 0 || m_link == Link::None))
        return StillQueue::failure(
            Failure::Kind::NotFound,
            QStringLiteral("the camera \"%1\" is not plugged in").arg(cameraNameOf(m_chosen.identity)));
    if (m_driver < 0 || m_link == Link::None)
        return StillQueue::failure(Failure::Kind::NotFound, kNoDriverText);
    if (m_link == Link::Lost || !m_pipeline)
        return lostFailure(m_lostReason.isEmpty()
                               ? QStringLiteral("the camera \"%1\" is not connected").arg(cameraName())
                               : m_lostReason);
    return {};
}

Result<QImage> GstCaptureComponent::GrabFrame()
{
    if (const Result<void> available = stillAvailable(); !available)
        return available.failure();
    return m_stills->grab(*m_pipeline->frames(), cameraName());
}

void GstCaptureComponent::requestStill(QObject* context, std::function<void(const CaptureStill&)> done)
{
    if (!context)
        context = this;
    if (const Result<void> available = stillAvailable(); !available) {
        StillQueue::answerLater(context, std::move(done), available.failure());
        return;
    }
    m_stills->request(context, std::move(done));
}

// ---- Other cameras in use ----

void GstCaptureComponent::setCamerasInUse(const QStringList& identities)
{
    CaptureComponent::setCamerasInUse(identities);
    if (m_cameras)
        m_cameras->update();
}

QString GstCaptureComponent::heldIdentity() const
{
    return m_driver >= 0 && m_link != Link::None ? DriverIdentity(m_driver) : QString();
}

CameraChoice GstCaptureComponent::rememberedCamera(const QString& identity) const
{
    CameraChoice remembered =
        m_usedCameras.value(identity, identity == m_chosen.identity ? m_chosen : CameraChoice{});
    remembered.identity = identity;
    return remembered;
}

void GstCaptureComponent::restoreUsedCameras(const QList<CameraChoice>& cameras)
{
    m_usedCameras.clear();
    for (const CameraChoice& camera : cameras)
        if (m_usedCameras.size() < kMaxUsedCameras)
            m_usedCameras.insert(camera.identity, camera);
}

void GstCaptureComponent::requestStillOf(const QString& camera, QObject* context,
                                         std::function<void(const CaptureStill&)> done)
{
    if (camera.isEmpty() || camera == heldIdentity())
        requestStill(context, std::move(done));
    else if (GstCaptureComponent* other = m_cameras ? m_cameras->camera(camera) : nullptr)
        other->requestStill(context ? context : this, std::move(done));
    else
        CaptureComponent::requestStillOf(camera, context, std::move(done));
}

CaptureComponent* GstCaptureComponent::cameraFeed(const QString& camera)
{
    if (camera.isEmpty() || camera == heldIdentity())
        return this;
    return m_cameras ? m_cameras->camera(camera) : nullptr;
}
