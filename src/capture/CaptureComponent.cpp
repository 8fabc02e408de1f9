#include "capture/CaptureComponent.h"

#include "capture/BmpWriter.h"
#include "capture/CameraMemory.h"
#include "capture/CaptureError.h"

#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

CaptureComponent::CaptureComponent(QObject* parent) : QObject(parent) {}

CaptureComponent::~CaptureComponent() = default;

bool CaptureComponent::connectAtStart()
{
    if (DriverCount() == 0)
        return false;
    try {
        setDriverIndex(std::max(0, DriverIndex()));
        return true;
    } catch (const CaptureError&) {
        return false;
    }
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
        try {
            listNetworkCamera(camera);
        } catch (const CaptureError&) {
            break; // a component without network cameras
        }
    }
    restoreChoice(m_memory->load());
    connect(this, &CaptureComponent::choiceChanged, this, [this] { m_memory->save(choice()); });
    connect(this, &CaptureComponent::networkCamerasChanged, this,
            [this] { m_memory->saveNetworkCameras(networkCameras()); });
}

int CaptureComponent::addNetworkCamera(NetworkCamera camera)
{
    if (const QString problem = NetworkCamera::tidy(camera); !problem.isEmpty())
        throw CaptureError(CaptureError::kNetworkCamera, problem);
    for (const NetworkCamera& other : networkCameras())
        if (other.name.compare(camera.name, Qt::CaseInsensitive) == 0)
            throw CaptureError(CaptureError::kNetworkCamera,
                               QStringLiteral("There is already a network camera with this name. "
                                              "Please choose another name."));
    listNetworkCamera(camera);
    emit networkCamerasChanged();
    return DriverCount() - 1;
}

void CaptureComponent::removeNetworkCamera(int index)
{
    throw CaptureError(CaptureError::kNetworkCamera,
                       QStringLiteral("There is no network camera number %1").arg(index));
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

void CaptureComponent::listNetworkCamera(const NetworkCamera&)
{
    throw CaptureError(CaptureError::kNetworkCamera,
                       QStringLiteral("This capture component has no network cameras"));
}

void CaptureComponent::SaveFrame(const QString& path)
{
    const QImage frame = GrabFrame();
    if (!m_bmpWriter)
        m_bmpWriter = std::make_unique<BmpWriter>();
    QString error;
    if (!m_bmpWriter->writeFromBgrx(path, frame.constBits(), frame.width(), frame.height(),
                                    int(frame.bytesPerLine()), &error))
        throw CaptureError(CaptureError::kSaveFrameFailed, error);
}

void CaptureComponent::requestStill(QObject* context, std::function<void(const CaptureStill&)> done)
{
    QTimer::singleShot(0, context, [self = QPointer<CaptureComponent>(this), done = std::move(done)] {
        CaptureStill still;
        if (!self) {
            still.error = QStringLiteral("no video capture driver is connected");
        } else {
            try {
                still.frame = self->GrabFrame();
            } catch (const CaptureError& error) {
                still.error = error.description();
            }
        }
        done(still);
    });
}
