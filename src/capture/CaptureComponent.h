#pragma once

#include "capture/AudioFormat.h"
#include "capture/CaptureControl.h"
#include "capture/MovieCompression.h"
#include "capture/VideoFormat.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// The answer to a request for a still picture: the frame, or why there is none.
struct CaptureStill
{
    QImage frame; // RGB32 at the connected size; null when there is no picture
    QString error;

    bool ok() const { return !frame.isNull(); }
};

// The capture control the program drives: the live picture, still frames and movies of one
// connected video capture driver. Operations that fail throw CaptureError.
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
        StatusPlaying = 4,
        StatusConnected = 10,
        StatusCaptureStarted = 20,
        StatusCaptureEnded = 21,
        StatusVideoOnly = 22,
    };
    // Numbers of ErrorOccurred.
    enum Error {
        ErrorStream = 1,      // the pipeline reported an error (device gone, negotiation lost)
        ErrorStreamEnded = 2, // the source stopped delivering
        ErrorMovie = 3,       // a movie capture failed while it ran
    };

    explicit CaptureComponent(QObject* parent = nullptr);
    ~CaptureComponent() override;

    // Drivers: 0-based, fixed for the life of the component.
    virtual int DriverCount() const = 0;
    virtual QString DriverName(int index) const = 0;
    // The connected driver; before the first connection the driver a connection would use
    // (0), or -1 without drivers.
    virtual int DriverIndex() const = 0;
    // Connects the driver; on failure throws and the previous driver stays connected.
    virtual void setDriverIndex(int index) = 0;
    virtual bool isConnected() const = 0;

    virtual bool HasSourceDialog() const = 0;
    virtual bool HasFormatDialog() const = 0;
    virtual bool HasDisplayDialog() const = 0;

    // Format dialog: the formats of the connected driver; choosing one reconnects at that size.
    virtual QList<VideoFormat> videoFormats() const = 0;
    virtual int videoFormatIndex() const = 0; // -1: the driver's own default
    virtual void setVideoFormatIndex(int index) = 0;

    // Source dialog: the connected driver's adjustable settings; changes apply at once.
    virtual QList<CaptureControl> controls() const = 0;
    virtual void setControl(const QString& name, int value) = 0;

    // Compression and audio format dialogs: used by the next movie capture.
    virtual MovieCompression movieCompression() const = 0;
    virtual void setMovieCompression(const MovieCompression& settings) = 0;
    virtual AudioFormat audioFormat() const = 0;
    virtual void setAudioFormat(const AudioFormat& format) = 0;

    // Live picture delivery (frameReady); the pipeline keeps running while it is off.
    virtual void setPreview(bool on) = 0;
    virtual bool Preview() const = 0;

    virtual void setCaptureAudio(bool on) = 0;
    virtual bool CaptureAudio() const = 0;
    virtual void setCaptureFrameRate(int framesPerSecond) = 0;
    virtual int CaptureFrameRate() const = 0;
    virtual void setCaptureFile(const QString& path) = 0;
    virtual QString CaptureFile() const = 0;

    // Records a movie into CaptureFile: PreRoll, then waits for StartCaptureNow or AbortCapture,
    // records until Escape, StopCapture or AbortCapture, and returns when the file is complete.
    virtual void CaptureMovie() = 0;
    virtual void StartCaptureNow() = 0;
    virtual void AbortCapture() = 0;
    virtual void StopCapture() = 0;
    virtual bool isCapturing() const = 0;

    // Writes the newest frame as a 24-bit Windows bitmap; throws with kSaveFrameFailed.
    virtual void SaveFrame(const QString& path) = 0;
    // The newest frame as an image of its own (RGB32, the connected size), for work that needs no
    // file; throws with kSaveFrameFailed like SaveFrame.
    virtual QImage GrabFrame() = 0;
    // Asks for a still picture for an upload, a capture to file or a print. done runs once, later,
    // on context's thread (never inside this call), unless context is destroyed first. The
    // implementation here answers with GrabFrame.
    virtual void requestStill(QObject* context, std::function<void(const CaptureStill&)> done);

    virtual int width() const = 0;
    virtual int height() const = 0;

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
};
