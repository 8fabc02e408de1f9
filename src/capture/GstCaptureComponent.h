#pragma once

#include "capture/CaptureComponent.h"
#include "capture/FrameHandoff.h"
#include "capture/MovieRecorder.h"

#include <QMap>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

class CameraRegistry;
class CapturePipeline;
class DriverList;
class PipelineWorker;
class StillQueue;
class UiMailbox;

// The capture component on GStreamer: camera drivers from the device monitor plus, on request,
// a moving test pattern. One pipeline runs for the connected driver; its frames are decoded only
// for a shown live picture and for stills. The connection is a small state machine: connecting,
// running, without pictures (stalled), lost (unplugged or failed, waiting for the same camera to
// come back), driven by the device monitor, the pipeline's messages and a watchdog. Pipelines
// start and stop on a worker thread, so nothing here waits on the UI thread except GrabFrame.
class GstCaptureComponent final : public CaptureComponent, private MovieRecorder::Host
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GstCaptureComponent)

public:
    // Time limits of the connection; the program uses the defaults, tests shorten them.
    struct Limits
    {
        int startMs = 6000;          // a connection that shows no picture by then has failed
        int restartStalledMs = 8000; // a camera without pictures this long is connected afresh
        int firstRetryMs = 2000;     // a failed camera is tried again, doubling up to lastRetryMs
        int lastRetryMs = 30000;
        int watchMs = 250;
    };

    // One camera of the registry: it connects that camera only, at the format and settings
    // remembered for it, and when the camera is absent it waits for it rather than take another.
    struct FollowedCamera
    {
        std::shared_ptr<DriverList> drivers;
        CameraChoice remembered; // its identity names the camera
    };

    // workFolder receives "capture.avi" when a movie has no CaptureFile. With testPattern a
    // "Test pattern" driver is listed after the cameras present at start.
    GstCaptureComponent(const QString& workFolder, bool testPattern, QObject* parent = nullptr);
    GstCaptureComponent(const QString& workFolder, bool testPattern, const Limits& limits,
                        QObject* parent = nullptr);
    GstCaptureComponent(FollowedCamera camera, const Limits& limits, QObject* parent = nullptr);
    ~GstCaptureComponent() override;

    // True when the environment asks for the test pattern (VELMORA_TEST_PATTERN=1).
    static bool testPatternRequestedByEnvironment();
    static QString testPatternDriverName();

    // Adds a driver made of a gst-launch source description (an IP camera, a file) at the end.
    void addLaunchDriver(const QString& name, const QString& sourceDescription);

    int DriverCount() const override;
    QString DriverName(int index) const override;
    QString DriverIdentity(int index) const override;
    int DriverIndex() const override;
    [[nodiscard]] Result<void> setDriverIndex(int index) override;
    [[nodiscard]] Result<void> connectAtStart() override;
    bool isConnected() const override;
    bool DriverPresent(int index) const override { return isPresent(index); }

    [[nodiscard]] Result<void> removeNetworkCamera(int index) override;
    std::optional<NetworkCamera> networkCamera(int index) const override;

    bool HasSourceDialog() const override;
    bool HasFormatDialog() const override;
    bool HasDisplayDialog() const override;

    QList<VideoFormat> videoFormats() const override;
    int videoFormatIndex() const override;
    [[nodiscard]] Result<void> setVideoFormatIndex(int index) override;

    QList<CaptureControl> controls() const override;
    void setControl(const QString& name, int value) override;

    void setPreview(bool on) override;
    bool Preview() const override;
    void setPictureShown(bool shown) override;

    [[nodiscard]] Result<void> CaptureMovie() override;
    void StartCaptureNow() override;
    void AbortCapture() override;
    void StopCapture() override;
    void abandonMovie() override;
    bool isCapturing() const override;

    [[nodiscard]] Result<QImage> GrabFrame() override;
    void requestStill(QObject* context, std::function<void(const CaptureStill&)> done) override;

    int width() const override;
    int height() const override;

    void setCamerasInUse(const QStringList& identities) override;
    void requestStillOf(const QString& camera, QObject* context,
                        std::function<void(const CaptureStill&)> done) override;
    CaptureComponent* cameraFeed(const QString& camera) override;
    // The camera this component has taken (connecting, running or waiting for its return), which
    // the registry must not open again; empty for none.
    QString heldIdentity() const;
    // The format and settings the program has for a camera: those of the last time a person used
    // it as the program's camera, or nothing remembered (the camera's start format).
    CameraChoice rememberedCamera(const QString& identity) const;

protected:
    CameraChoice chosenCamera() const override { return m_chosen; }
    void restoreCamera(const CameraChoice& choice) override { m_chosen = choice; }
    QList<CameraChoice> usedCameras() const override { return m_usedCameras.values(); }
    void restoreUsedCameras(const QList<CameraChoice>& cameras) override;
    Result<void> listNetworkCamera(const NetworkCamera& camera) override;

private:
    enum class Link { None, Starting, Running, Stalled, Lost };
    // Why a connection is made: what its success records and what its failure does.
    enum class Purpose {
        Choice,    // a person chose it: recorded when it works, the previous driver back if not
        Start,     // the program's start or the chosen camera's return: recorded as nothing
        Reconnect, // the same driver again (after a movie, a loss or a stall)
    };
    // The driver that worked before a person's choice, to go back to when the choice fails.
    struct Previous
    {
        int driver = -1;
        int format = -1;
        QMap<QString, int> controls;
    };
    // What both kinds of component start with: the worker, the driver list's signals, movies,
    // the watchdog and the stills.
    void setUp();
    // Connecting; fails at once when the pipeline cannot be built, and leaves the driver as it was.
    Result<void> connectDriver(int index, int formatIndex, Purpose purpose);
    // Connects the same driver again; a failure to do so loses it.
    void reconnect();
    // A pipeline for the driver whose messages and frames come back tagged with id.
    Result<std::shared_ptr<CapturePipeline>> makePipeline(int index, const VideoFormat* format,
                                                          const PipelineBuilder::Movie* movie, quint64 id);
    void install(std::shared_ptr<CapturePipeline> pipeline, quint64 id, bool movie);
    // Changes the pipeline's state on the worker; reached runs on this thread with the result, the
    // failure saying why when the pipeline knows and otherwise. Not when another pipeline has
    // taken its place by then.
    void runState(GstState state, const QString& otherwise, std::function<void(const Result<void>&)> reached);
    void stopPipeline();
    void onMessage(quint64 id, GstMessage* message);
    void onFirstBuffer(quint64 id);
    void onDecoded(quint64 id);
    void connectionFailed(const QString& reason);
    void lose(const QString& reason, bool retry);
    void watch();
    void retry();
    void driverAppeared(int index);
    void driverGone(int index);
    void driverRemoved(int index);
    // Why the pipeline's error message ended the picture, as a reason for stills and the status.
    QString failureReason(GstMessage* message) const;
    bool isNetworkCamera() const;
    void recordChoice();
    void updateDecoding();
    void updateStatus();
    QString cameraName() const;
    const VideoFormat* currentFormat() const;
    // The index of format among the driver's formats, or its start format.
    int formatFor(int index, const std::optional<VideoFormat>& format) const;
    bool isPresent(int index) const;
    // Whether a still can be had now: not without a driver, nor from a lost camera.
    Result<void> stillAvailable() const;

    // MovieRecorder::Host
    Result<void> prepareMoviePipeline(const PipelineBuilder::Movie& movie) override;
    void playMoviePipeline() override;
    void endMovieStream() override;
    void closeMoviePipeline(std::function<bool()> fileWork) override;

    QString m_workFolder;
    Limits m_limits;
    std::unique_ptr<PipelineWorker> m_worker;
    std::shared_ptr<UiMailbox> m_mailbox;
    std::shared_ptr<DriverList> m_drivers;
    MovieRecorder* m_movie;
    bool m_follows = false;                    // a camera of the registry
    std::unique_ptr<CameraRegistry> m_cameras; // the program's component: the other cameras in use
    QMap<QString, CameraChoice> m_usedCameras; // what each camera was last used with
    static constexpr int kMaxUsedCameras = 32;

    int m_driver = -1;
    QList<VideoFormat> m_formats;
    int m_formatIndex = -1;
    QMap<QString, int> m_controlValues;
    Link m_link = Link::None;
    Purpose m_purpose = Purpose::Start;
    Previous m_previous;
    QString m_lostReason;
    bool m_moviePipeline = false; // the current pipeline records a movie
    bool m_destroying = false;
    std::shared_ptr<CapturePipeline> m_pipeline;
    quint64 m_pipelineId = 0;
    quint64 m_lastPipelineId = 0;
    FrameHandoff::Clock::time_point m_started{};
    QTimer m_watchdog;
    QTimer m_retry;
    int m_retryMs = 0;
    QString m_status;

    CameraChoice m_chosen; // identity, name, format, controls of the chosen camera
    bool m_preview = true;
    bool m_pictureShown = false;

    StillQueue* m_stills;
};
