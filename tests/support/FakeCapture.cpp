#include "FakeCapture.h"

#include "capture/StillQueue.h"

#include <QFile>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace {
const QList<QSize> kSizes = {
    {CaptureComponent::kDefaultWidth, CaptureComponent::kDefaultHeight}, {320, 240}, {640, 480}};
} // namespace

FakeCapture::FakeCapture(QStringList drivers, QObject* parent)
    : CaptureComponent(parent), m_drivers(std::move(drivers))
{
}

QImage FakeCapture::nextFrame()
{
    ++m_framesMade;
    const int picture = stillScene ? 0 : m_framesMade;
    QImage frame(m_size, QImage::Format_RGB32);
    // A colour and a number of its own for every frame.
    frame.fill(QColor::fromHsv((picture * 37) % 360, 200, 55 + m_brightness * 2));
    QPainter painter(&frame);
    painter.setPen(Qt::white);
    painter.drawText(frame.rect(), Qt::AlignCenter, QString::number(picture));
    return frame;
}

QString FakeCapture::DriverIdentity(int index) const
{
    return index >= 0 && index < m_drivers.size() ? QStringLiteral("Fake|%1|%1").arg(m_drivers[index])
                                                  : QString();
}

void FakeCapture::showFrame()
{
    if (!m_preview || !m_pictureShown || !isConnected())
        return;
    emit FrameArrived();
    emit frameReady(nextFrame());
}

void FakeCapture::addDriver(const QString& name)
{
    m_drivers << name;
    emit driversChanged();
}

int FakeCapture::DriverIndex() const
{
    if (m_connected >= 0)
        return m_connected;
    for (int i = 0; i < m_drivers.size(); ++i)
        if (DriverIdentity(i) == m_chosen.identity)
            return i;
    return m_drivers.isEmpty() ? -1 : 0;
}

Result<void> FakeCapture::setDriverIndex(int index)
{
    if (index < 0 || index >= m_drivers.size() || failingDrivers.contains(m_drivers[index]))
        return Failure::of(Failure::Kind::Unsupported, QStringLiteral("The driver cannot be opened"),
                           kConnectFailed);
    m_connected = index;
    choose();
    emit StatusChanged(StatusConnected, QStringLiteral("Connected to %1").arg(m_drivers[index]));
    emit connectionChanged();
    return {};
}

void FakeCapture::choose()
{
    m_chosen.identity = DriverIdentity(m_connected);
    m_chosen.name = DriverName(m_connected);
    m_chosen.format = videoFormats().value(m_formatIndex);
    m_chosen.controls = {{QStringLiteral("brightness"), m_brightness}};
    emit choiceChanged();
}

QList<VideoFormat> FakeCapture::videoFormats() const
{
    QList<VideoFormat> formats;
    for (const QSize& size : kSizes) {
        VideoFormat format;
        format.width = size.width();
        format.height = size.height();
        format.fpsNumerator = 30;
        formats.append(format);
    }
    return formats;
}

Result<void> FakeCapture::setVideoFormatIndex(int index)
{
    if (index < 0 || index >= kSizes.size())
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("There is no format number %1").arg(index),
                           kFormatFailed);
    m_formatIndex = index;
    m_size = kSizes[index];
    choose();
    return {};
}

QList<CaptureControl> FakeCapture::controls() const
{
    CaptureControl brightness;
    brightness.name = QStringLiteral("brightness");
    brightness.label = QStringLiteral("Brightness");
    brightness.maximum = 100;
    brightness.defaultValue = 50;
    brightness.value = m_brightness;
    return {brightness};
}

void FakeCapture::setControl(const QString& name, int value)
{
    if (name == QLatin1String("brightness"))
        m_brightness = std::clamp(value, 0, 100);
    choose();
}

Result<void> FakeCapture::CaptureMovie()
{
    if (!isConnected())
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("No video capture driver is connected"),
                           kNoDriver);
    if (isCapturing())
        return Failure::of(Failure::Kind::Refused, QStringLiteral("A movie capture is running"),
                           kMovieFailed);
    m_movie = Movie::PreRolling;
    emit PreRoll();
    return {};
}

void FakeCapture::StartCaptureNow()
{
    if (m_movie != Movie::PreRolling)
        return;
    m_movie = Movie::Recording;
    emit StatusChanged(StatusCaptureStarted, QStringLiteral("Capturing to %1").arg(CaptureFile()));
}

void FakeCapture::AbortCapture()
{
    if (m_movie == Movie::PreRolling)
        finishMovie(false, QString());
    else if (m_movie == Movie::Recording)
        StopCapture();
}

void FakeCapture::StopCapture()
{
    if (m_movie != Movie::Recording || !finalising)
        return;
    QFile file(CaptureFile().isEmpty() ? QStringLiteral("capture.avi") : CaptureFile());
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(movieText.toUtf8()) == movieText.size();
    finishMovie(written, written ? QString() : file.errorString());
}

void FakeCapture::abandonMovie()
{
    if (isCapturing())
        finishMovie(false, QStringLiteral("The movie was abandoned"));
}

void FakeCapture::finishMovie(bool recorded, const QString& error)
{
    m_movie = Movie::Idle;
    emit StatusChanged(StatusCaptureEnded, QStringLiteral("Capture ended"));
    emit movieFinished(recorded, error);
}

Result<QImage> FakeCapture::GrabFrame()
{
    ++stillRequests;
    if (!isConnected())
        return Failure::of(Failure::Kind::NotFound, QStringLiteral("No video capture driver is connected"),
                           kSaveFrameFailed);
    if (!delivering)
        return Failure::of(Failure::Kind::TimedOut, noFrameText, kSaveFrameFailed);
    return nextFrame();
}

void FakeCapture::requestStill(QObject* context, std::function<void(const CaptureStill&)> done)
{
    if (stillDelayMs <= 0) {
        CaptureComponent::requestStill(context, std::move(done));
        return;
    }
    // The frame is taken when the answer comes, as a camera delivers it then.
    QTimer::singleShot(stillDelayMs, context,
                       [this, self = QPointer<FakeCapture>(this), context, done = std::move(done)]() mutable {
                           if (self)
                               CaptureComponent::requestStill(context, std::move(done));
                       });
}

QColor FakeCapture::cameraColour(int driver)
{
    static const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow, Qt::cyan, Qt::magenta};
    return colours[driver % colours.size()];
}

void FakeCapture::requestStillOf(const QString& camera, QObject* context,
                                 std::function<void(const CaptureStill&)> done)
{
    int driver = -1;
    for (int i = 0; i < DriverCount(); ++i)
        if (DriverIdentity(i) == camera)
            driver = i;
    if (camera.isEmpty() || driver < 0 || driver == m_connected || !camerasInUse().contains(camera)) {
        CaptureComponent::requestStillOf(camera, context, std::move(done));
        return;
    }
    ++stillRequests;
    if (unplugged.contains(m_drivers[driver])) {
        StillQueue::answerLater(
            context, std::move(done),
            StillQueue::failure(Failure::Kind::Unreachable,
                                QStringLiteral("the camera \"%1\" is gone (unplugged or switched off)")
                                    .arg(m_drivers[driver])));
        return;
    }
    QImage frame(m_size, QImage::Format_RGB32);
    frame.fill(cameraColour(driver));
    StillQueue::answerLater(context, std::move(done), frame);
}
