#pragma once

#include "capture/CaptureComponent.h"

#include <QSet>
#include <QStringList>

// A capture component without GStreamer for the cycle and window tests that are not about the
// camera: drivers by name, frames painted on demand (each one different, so a stale picture shows),
// and movies that write a small file when they are stopped. Everything answers at once or on the
// next turn of the event loop; nothing waits.
class FakeCapture final : public CaptureComponent
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FakeCapture)

public:
    explicit FakeCapture(QStringList drivers = {QStringLiteral("Test camera")}, QObject* parent = nullptr);

    // Test controls.
    QSet<QString> failingDrivers; // connecting one of these fails
    bool delivering = true;       // false: no frame arrives (stills fail with noFrameText)
    QString noFrameText = QStringLiteral("no picture from the camera");
    int stillRequests = 0;   // requestStill and GrabFrame/SaveFrame calls so far
    bool stillScene = false; // every frame shows the same picture, as a camera on an empty room
    int stillDelayMs = 0;    // a still is answered this late, as a camera that is slow to deliver
    QString movieText = QStringLiteral("movie");
    bool finalising = true; // false: a stopped movie never gets finished (abandonMovie ends it)

    // Cameras beside the connected one: a still of a listed camera in use answers with a picture
    // all in the camera's colour (cameraColour), unless the camera is unplugged, which fails
    // with its name.
    QSet<QString> unplugged; // driver names
    static QColor cameraColour(int driver);

    // The frame the next still gets; frames count up from 1.
    QImage nextFrame();
    // A live frame, delivered as the component does: only with Preview on and the picture shown.
    void showFrame();
    // A camera plugged in while the program runs.
    void addDriver(const QString& name);
    int framesMade() const { return m_framesMade; }

    int DriverCount() const override { return int(m_drivers.size()); }
    QString DriverName(int index) const override { return m_drivers.value(index); }
    QString DriverIdentity(int index) const override;
    int DriverIndex() const override;
    [[nodiscard]] Result<void> setDriverIndex(int index) override;
    bool isConnected() const override { return m_connected >= 0; }
    bool DriverPresent(int index) const override
    {
        return index >= 0 && index < DriverCount() && !unplugged.contains(m_drivers[index]);
    }

    bool HasSourceDialog() const override { return isConnected(); }
    bool HasFormatDialog() const override { return isConnected(); }
    bool HasDisplayDialog() const override { return false; }

    QList<VideoFormat> videoFormats() const override;
    int videoFormatIndex() const override { return m_formatIndex; }
    [[nodiscard]] Result<void> setVideoFormatIndex(int index) override;

    QList<CaptureControl> controls() const override;
    void setControl(const QString& name, int value) override;

    void setPreview(bool on) override { m_preview = on; }
    bool Preview() const override { return m_preview; }
    void setPictureShown(bool shown) override { m_pictureShown = shown; }
    bool pictureShown() const { return m_pictureShown; }

    // Emits PreRoll and returns; StartCaptureNow records until StopCapture, which writes movieText
    // to CaptureFile (or "capture.avi" in the current folder) and emits movieFinished.
    [[nodiscard]] Result<void> CaptureMovie() override;
    void StartCaptureNow() override;
    void AbortCapture() override;
    void StopCapture() override;
    void abandonMovie() override;
    bool isCapturing() const override { return m_movie != Movie::Idle; }

    [[nodiscard]] Result<QImage> GrabFrame() override;
    void requestStill(QObject* context, std::function<void(const CaptureStill&)> done) override;
    void requestStillOf(const QString& camera, QObject* context,
                        std::function<void(const CaptureStill&)> done) override;

    int width() const override { return m_size.width(); }
    int height() const override { return m_size.height(); }

protected:
    CameraChoice chosenCamera() const override { return m_chosen; }
    void restoreCamera(const CameraChoice& choice) override { m_chosen = choice; }

private:
    enum class Movie { Idle, PreRolling, Recording };
    void finishMovie(bool recorded, const QString& error);
    void choose();

    QStringList m_drivers;
    int m_connected = -1;
    int m_formatIndex = 0;
    QSize m_size{kDefaultWidth, kDefaultHeight};
    int m_brightness = 50;
    int m_framesMade = 0;
    bool m_preview = true;
    bool m_pictureShown = false;
    CameraChoice m_chosen;
    Movie m_movie = Movie::Idle;
};
