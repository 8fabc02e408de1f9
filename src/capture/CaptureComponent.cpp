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
    restoreChoice(m_memory->load());
    connect(this, &CaptureComponent::choiceChanged, this, [this] { m_memory->save(choice()); });
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
