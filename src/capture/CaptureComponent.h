#pragma once

#include "capture/AudioFormat.h"
#include "capture/CameraChoice.h"
#include "capture/CaptureControl.h"
#include "capture/CaptureStill.h"
#include "capture/MovieCompression.h"
#include "capture/NetworkCamera.h"
#include "capture/VideoFormat.h"
#include "common/Result.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class BmpWriter;
class CameraMemory;
class Regedit;

// The capture control the program drives: the live picture, still frames and movies of one
// connected video capture driver. Nothing here waits on the calling thread except GrabFrame and
// SaveFrame, which are for work off the UI thread; the UI thread asks with requestStill. An
// operation that is refused returns the failure, with one of the codes below; what the pictures
// do later is told by the signals.
class CaptureComponent : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureComponent)

public:
    // The size a driver starts at unless it offers none near it.
    static constexpr int kDefaultWidth = 352;
    static constexpr int kDefaultHeight = 288;

    // Numbers of StatusChanged; 0 is never sent, as the program ignores it.
    enum Status {
        StatusStopped = 1,
        StatusReady = 2,
        StatusPaused = 3,
        StatusPlaying = 4,    // "Video running"
        StatusPreviewOff = 5, // frames are taken, none shown
        StatusConnected = 10,
        StatusConnecting = 11,
        StatusCameraLost = 12, // unplugged, switched off or failed: waiting for it to come back
        StatusNoPicture = 13,  // connected, but no frame for a while
        StatusCaptureStarted = 20,
        StatusCaptureEnded = 21,
        StatusVideoOnly = 22,
    };
    // Numbers of ErrorOccurred.
    enum Error {
        ErrorStream = 1,      // the pipeline reported an error
        ErrorStreamEnded = 2, // the source stopped delivering
        ErrorMovie = 3,       // a movie capture failed while it ran
    };
    // Codes of the failures the operations return (Failure::code). A still, GrabFrame and SaveFrame
    // fail with kSaveFrameFailed, which the upload cycle reports.
    static constexpr int kSaveFrameFailed = 10;
    static constexpr int kConnectFailed = 20;
    static constexpr int kNoDriver = 21;
    static constexpr int kFormatFailed = 22;
    static constexpr int kNetworkCamera = 23; // a network camera refused: unusable, named twice, in use
    static constexpr int kMovieFailed = 30;

    explicit CaptureComponent(QObject* parent = nullptr);
    ~CaptureComponent() override;

    // Drivers: 0-based. A camera that goes away keeps its place (and comes back to it), a new
    // camera is added at the end (driversChanged); only a network camera that is removed leaves
    // the list, and the drivers behind it move up.
    virtual int DriverCount() const = 0;
    virtual QString DriverName(int index) const = 0;
    // What stays the same for a camera while cameras come and go: its kind, its device path or
    // node name, and its name. Empty for an index out of range.
    virtual QString DriverIdentity(int index) const = 0;
    // The connected driver; before the first connection the driver a connection would use, or -1
    // without drivers.
    virtual int DriverIndex() const = 0;
    // Connects the driver and makes it the chosen one. Refusals (a movie running, no such driver,
    // a camera that is unplugged, a pipeline that cannot be built) fail at once and leave the
    // previous driver connected. The connection itself completes later: connectionChanged when
    // pictures flow, or driverFailed, after which the previous driver is connected again.
    [[nodiscard]] virtual Result<void> setDriverIndex(int index) = 0;
    // The program's start: connects the remembered camera when it is plugged in, otherwise the
    // driver DriverIndex reports, without changing what is remembered. Fails without drivers or
    // when the connection is refused.
    [[nodiscard]] virtual Result<void> connectAtStart();
    // A driver is connected or connecting (not lost, not failed).
    virtual bool isConnected() const = 0;
    // Whether the driver's camera is plugged in now (a listed camera may be away).
    virtual bool DriverPresent(int index) const { return index >= 0 && index < DriverCount(); }

    // Network cameras, listed after the drivers present when they were added. addNetworkCamera
    // tidies and checks the camera (NetworkCamera::tidy), refuses an unusable one or a name that
    // another network camera has (with a sentence for a message box) and returns its index; it
    // does not connect it. removeNetworkCamera refuses a driver that is no network camera and the
    // one a movie records; the drivers behind it move up, and when it was connected another driver
    // is connected. Both emit networkCamerasChanged.
    [[nodiscard]] Result<int> addNetworkCamera(NetworkCamera camera);
    [[nodiscard]] virtual Result<void> removeNetworkCamera(int index);
    // The network camera at index; absent for any other driver.
    virtual std::optional<NetworkCamera> networkCamera(int index) const;
    QList<NetworkCamera> networkCameras() const;

    virtual bool HasSourceDialog() const = 0;
    virtual bool HasFormatDialog() const = 0;
    virtual bool HasDisplayDialog() const = 0;

    // Format dialog: the formats of the connected driver; choosing one reconnects at that size.
    virtual QList<VideoFormat> videoFormats() const = 0;
    virtual int videoFormatIndex() const = 0; // -1: the driver's own default
    [[nodiscard]] virtual Result<void> setVideoFormatIndex(int index) = 0;

    // Source dialog: the connected driver's adjustable settings; changes apply at once.
    virtual QList<CaptureControl> controls() const = 0;
    virtual void setControl(const QString& name, int value) = 0;

    // Compression and audio format dialogs: used by the next movie capture.
    // The same for every component: the quality and the channels (1 or 2) are kept within their
    // range, a rate that is not offered is not taken.
    MovieCompression movieCompression() const { return m_compression; }
    void setMovieCompression(const MovieCompression& settings);
    AudioFormat audioFormat() const { return m_audioFormat; }
    void setAudioFormat(const AudioFormat& format);

    // What the program remembers between runs: the network cameras, the chosen camera with its
    // format and settings, the movie compression and the audio format. choiceChanged follows every change a
    // person makes; restoreChoice applies a remembered one (the camera itself at the next connectAtStart, or
    // when it is plugged in).
    CameraChoice choice() const;
    void restoreChoice(const CameraChoice& choice);
    // Restores the choice kept in the store and keeps it there from now on.
    void rememberSettingsIn(Regedit& store);

    // Live picture delivery (frameReady); the pipeline keeps running while it is off.
    virtual void setPreview(bool on) = 0;
    virtual bool Preview() const = 0;
    // Whether a window shows the live picture now. Frames are only decoded for a shown picture
    // with Preview on, and for stills.
    virtual void setPictureShown(bool shown) = 0;

    // The next movie's sound, frame rate (1 to 100) and file.
    void setCaptureAudio(bool on) { m_captureAudio = on; }
    bool CaptureAudio() const { return m_captureAudio; }
    void setCaptureFrameRate(int framesPerSecond);
    int CaptureFrameRate() const { return m_captureFrameRate; }
    void setCaptureFile(const QString& path) { m_captureFile = path; }
    QString CaptureFile() const { return m_captureFile; }

    // Starts a movie into CaptureFile and returns at once: PreRoll follows when the recording is
    // ready (answered by StartCaptureNow or AbortCapture), then it records until Escape,
    // StopCapture or AbortCapture; movieFinished reports the end. Fails at once when no driver is
    // connected, a movie is running or the file cannot be written.
    [[nodiscard]] virtual Result<void> CaptureMovie() = 0;
    virtual void StartCaptureNow() = 0;
    virtual void AbortCapture() = 0;
    // Ends a recording and finalises the file so it plays; the finalising is bounded (a second or
    // two) and driven by the pipeline's messages. This is what Exit uses: the movie is kept, and
    // movieFinished comes within the bound.
    virtual void StopCapture() = 0;
    // Drops a movie at once, whatever its state, and removes its unfinished file; movieFinished
    // reports it before this returns. For an end that cannot wait (a second termination signal).
    virtual void abandonMovie() = 0;
    // From CaptureMovie until movieFinished.
    virtual bool isCapturing() const = 0;

    // A fresh frame, waiting for it on the calling thread up to the still time limit; fails with
    // kSaveFrameFailed and the reason. Not for the UI thread: use requestStill there.
    [[nodiscard]] virtual Result<QImage> GrabFrame() = 0;
    // Writes a fresh frame as a 24-bit Windows bitmap; waits and fails like GrabFrame.
    [[nodiscard]] virtual Result<void> SaveFrame(const QString& path);
    // Asks for a still picture for an upload, a capture to file or a print: a frame that arrived
    // after the request or very shortly before it, never an older one. done runs once, later, on
    // context's thread (never inside this call), unless context is destroyed first. The
    // implementation here answers with GrabFrame on the next turn of the event loop.
    virtual void requestStill(QObject* context, std::function<void(const CaptureStill&)> done);

    // Several cameras at once. An account names the camera it uploads from by its identity
    // (DriverIdentity); an empty one is the program's camera, the one connected above.
    // setCamerasInUse names every camera the accounts use: each one runs from now on, whether or
    // not the program's camera is it, and one no longer named is closed. A component of a single
    // camera keeps the list and serves only the camera it has connected.
    virtual void setCamerasInUse(const QStringList& identities);
    QStringList camerasInUse() const { return m_camerasInUse; }
    // Asks the named camera for a still as requestStill does. A camera that is not in use, not
    // plugged in or lost fails, naming the camera; no other camera's picture ever stands in.
    virtual void requestStillOf(const QString& camera, QObject* context,
                                std::function<void(const CaptureStill&)> done);
    // The component whose live picture shows that camera (this one for an empty identity or the
    // program's camera), for a window that shows another camera; null for a camera not in use.
    virtual CaptureComponent* cameraFeed(const QString& camera);
    // The name a person knows the camera by: its driver's name, or the name part of the identity
    // of a camera that is not listed.
    QString cameraNameOf(const QString& identity) const;

    virtual int width() const = 0;
    virtual int height() const = 0;

protected:
    // The camera part of the choice (identity, name, format, settings), and taking it back.
    virtual CameraChoice chosenCamera() const = 0;
    virtual void restoreCamera(const CameraChoice& choice) = 0;
    // Every camera's last format and settings, and taking them back; a component of a single
    // camera keeps none.
    virtual QList<CameraChoice> usedCameras() const { return {}; }
    virtual void restoreUsedCameras(const QList<CameraChoice>& cameras) { Q_UNUSED(cameras); }
    // Lists a network camera as it is, without checks: a remembered one at start. Fails for a
    // component without network cameras.
    virtual Result<void> listNetworkCamera(const NetworkCamera& camera);
    // The identity of the connected driver, empty without one.
    QString connectedIdentity() const;

signals:
    void StatusChanged(int number, const QString& text);
    void ErrorOccurred(int number, const QString& text);
    void Yield();
    void FrameArrived();
    void PreRoll();
    // A movie capture has ended and the component is idle again: recorded is true when the movie
    // file is complete under its name; error says why not otherwise (empty when aborted).
    void movieFinished(bool recorded, const QString& error);
    void frameReady(const QImage& frame);
    // The connected driver, its state or its picture size changed.
    void connectionChanged();
    // A driver chosen with setDriverIndex, or the one connectAtStart connects, could not be
    // connected; after a choice the previous driver comes back.
    void driverFailed(int index, const QString& reason);
    // Drivers were added to the list, or a listed camera came or went.
    void driversChanged();
    // A person changed what choice() returns.
    void choiceChanged();
    // A network camera was added or removed.
    void networkCamerasChanged();
    // The cameras in use changed, or one of them was opened or closed.
    void camerasInUseChanged();

private:
    MovieCompression m_compression;
    AudioFormat m_audioFormat;
    bool m_captureAudio = true;
    int m_captureFrameRate = 30;
    QString m_captureFile;
    QStringList m_camerasInUse;
    std::unique_ptr<CameraMemory> m_memory;
    std::unique_ptr<BmpWriter> m_bmpWriter;
};
