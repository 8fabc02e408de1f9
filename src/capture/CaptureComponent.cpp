#include "capture/CaptureComponent.h"

#include "capture/BmpWriter.h"
#include "capture/CameraMemory.h"
#include "capture/StillQueue.h"

#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

CaptureComponent::CaptureComponent(QObject* parent) : QObject(parent) {}

CaptureComponent::~CaptureComponent() = default;

Result<void> CaptureComponent::connectAtStart()
{
    if (DriverCount() == 0)
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("There is no video capture driver"),
                           kNoDriver);
    return setDriverIndex(std::max(0, DriverIndex()));
}

void CaptureComponent::setMovieCompression(const MovieCompression& settings)
{
    m_compression.quality =
        std::clamp(settings.quality, MovieCompression::kMinQuality, MovieCompression::kMaxQuality);
    emit choiceChanged();
}

void CaptureComponent::setAudioFormat(const AudioFormat& format)
{
    if (AudioFormat::rates().contains(format.rate))
        m_audioFormat.rate = format.rate;
    m_audioFormat.channels = std::clamp(format.channels, 1, 2);
    emit choiceChanged();
}

void CaptureComponent::setCaptureFrameRate(int framesPerSecond)
{
    m_captureFrameRate = std::clamp(framesPerSecond, 1, 100);
}

CameraChoice CaptureComponent::choice() const
{
    CameraChoice choice = chosenCamera();
    choice.compression = movieCompression();
    choice.audio = audioFormat();
    return choice;
}

void CaptureComponent::restoreChoice(const CameraChoice& choice)
{
    restoreCamera(choice);
    const QSignalBlocker quiet(this); // restored, not chosen
    setMovieCompression(choice.compression);
    setAudioFormat(choice.audio);
}

void CaptureComponent::rememberSettingsIn(Regedit& store)
{
    m_memory = std::make_unique<CameraMemory>(store);
    for (const NetworkCamera& camera : m_memory->loadNetworkCameras()) {
        if (!listNetworkCamera(camera))
            break; // a component without network cameras
    }
    restoreChoice(m_memory->load());
    restoreUsedCameras(m_memory->loadUsedCameras());
    connect(this, &CaptureComponent::choiceChanged, this, [this] {
        m_memory->save(choice());
        m_memory->saveUsedCameras(usedCameras());
    });
    connect(this, &CaptureComponent::networkCamerasChanged, this,
            [this] { m_memory->saveNetworkCameras(networkCameras()); });
}

Result<int> CaptureComponent::addNetworkCamera(NetworkCamera camera)
{
    const Result<NetworkCamera> tidied = NetworkCamera::tidy(std::move(camera));
    if (!tidied)
        return Failure::of(tidied.failure().kind, tidied.failure().sentence, kNetworkCamera);
    for (const NetworkCamera& other : networkCameras())
        if (other.name.compare(tidied->name, Qt::CaseInsensitive) == 0)
            return Failure::of(Failure::Kind::Invalid,
                               QStringLiteral("There is already a network camera with this name. "
                                              "Please choose another name."),
                               kNetworkCamera);
    if (const Result<void> listed = listNetworkCamera(*tidied); !listed)
        return listed.failure();
    emit networkCamerasChanged();
    return DriverCount() - 1;
}

Result<void> CaptureComponent::removeNetworkCamera(int index)
{
    return Failure::of(Failure::Kind::NotFound,
                       QStringLiteral("There is no network camera number %1").arg(index), kNetworkCamera);
}

std::optional<NetworkCamera> CaptureComponent::networkCamera(int) const
{
    return std::nullopt;
}

QList<NetworkCamera> CaptureComponent::networkCameras() const
{
    QList<NetworkCamera> cameras;
    for (int i = 0; i < DriverCount(); ++i)
        if (std::optional<NetworkCamera> camera = networkCamera(i))
            cameras.append(*camera);
    return cameras;
}

Result<void> CaptureComponent::listNetworkCamera(const NetworkCamera&)
{
    return Failure::of(Failure::Kind::Unsupported,
                       QStringLiteral("This capture component has no network cameras"), kNetworkCamera);
}

Result<void> CaptureComponent::SaveFrame(const QString& path)
{
    const Result<QImage> frame = GrabFrame();
    if (!frame)
        return frame.failure();
    if (!m_bmpWriter)
        m_bmpWriter = std::make_unique<BmpWriter>();
    const Result<void> written = m_bmpWriter->writeFromBgrx(path, frame->constBits(), frame->width(),
                                                            frame->height(), int(frame->bytesPerLine()));
    if (!written)
        return Failure::of(written.failure().kind, written.failure().sentence, kSaveFrameFailed);
    return {};
}

void CaptureComponent::requestStill(QObject* context, std::function<void(const CaptureStill&)> done)
{
    QTimer::singleShot(0, context, [self = QPointer<CaptureComponent>(this), done = std::move(done)] {
        if (!self) {
            done(Failure::of(Failure::Kind::NotFound, QStringLiteral("no video capture driver is connected"),
                             kSaveFrameFailed));
            return;
        }
        done(self->GrabFrame());
    });
}

void CaptureComponent::setCamerasInUse(const QStringList& identities)
{
    QStringList named;
    for (const QString& identity : identities)
        if (!identity.isEmpty() && !named.contains(identity))
            named.append(identity);
    if (named == m_camerasInUse)
        return;
    m_camerasInUse = named;
    emit camerasInUseChanged();
}

QString CaptureComponent::connectedIdentity() const
{
    return isConnected() ? DriverIdentity(DriverIndex()) : QString();
}

void CaptureComponent::requestStillOf(const QString& camera, QObject* context,
                                      std::function<void(const CaptureStill&)> done)
{
    if (camera.isEmpty() || camera == connectedIdentity()) {
        requestStill(context, std::move(done));
        return;
    }
    StillQueue::answerLater(
        context ? context : this, std::move(done),
        StillQueue::failure(Failure::Kind::NotFound,
                            QStringLiteral("the camera \"%1\" is not connected").arg(cameraNameOf(camera))));
}

CaptureComponent* CaptureComponent::cameraFeed(const QString& camera)
{
    return camera.isEmpty() || camera == connectedIdentity() ? this : nullptr;
}

QString CaptureComponent::cameraNameOf(const QString& identity) const
{
    for (int i = 0; i < DriverCount(); ++i)
        if (DriverIdentity(i) == identity)
            return DriverName(i);
    const qsizetype bar = identity.lastIndexOf(QLatin1Char('|'));
    return bar >= 0 ? identity.mid(bar + 1) : identity;
}
