#pragma once

#include "capture/BmpWriter.h"
#include "capture/CaptureComponent.h"
#include "capture/GstPtr.h"

#include <gst/app/gstappsink.h>

#include <QMap>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class QEventLoop;
class QTimer;

// The capture component on GStreamer: camera drivers from the device monitor plus, on request,
// a moving test pattern. One pipeline runs per connected driver; the newest frame is kept for
// SaveFrame and, with Preview on, handed to the GUI thread as a QImage.
class GstCaptureComponent final : public CaptureComponent
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GstCaptureComponent)

public:
    // workFolder receives "capture.avi" when a movie has no CaptureFile. With testPattern a
    // "Test pattern" driver is listed after the cameras.
    GstCaptureComponent(const QString& workFolder, bool testPattern, QObject* parent = nullptr);
    ~GstCaptureComponent() override;

    // True when the environment asks for the test pattern (VELMORA_TEST_PATTERN=1).
    static bool testPatternRequestedByEnvironment();
    static QString testPatternDriverName();

    // Adds a driver made of a gst-launch source description (an IP camera, a file), listed
    // before the test pattern.
    void addLaunchDriver(const QString& name, const QString& sourceDescription);

    int DriverCount() const override;
    QString DriverName(int index) const override;
    int DriverIndex() const override;
    void setDriverIndex(int index) override;
    bool isConnected() const override;

    bool HasSourceDialog() const override;
    bool HasFormatDialog() const override;
    bool HasDisplayDialog() const override;

    QList<VideoFormat> videoFormats() const override;
    int videoFormatIndex() const override;
    void setVideoFormatIndex(int index) override;

    QList<CaptureControl> controls() const override;
    void setControl(const QString& name, int value) override;

    MovieCompression movieCompression() const override;
    void setMovieCompression(const MovieCompression& settings) override;
    AudioFormat audioFormat() const override;
    void setAudioFormat(const AudioFormat& format) override;

    void setPreview(bool on) override;
    bool Preview() const override;

    void setCaptureAudio(bool on) override;
    bool CaptureAudio() const override;
    void setCaptureFrameRate(int framesPerSecond) override;
    int CaptureFrameRate() const override;
    void setCaptureFile(const QString& path) override;
    QString CaptureFile() const override;

    void CaptureMovie() override;
    void StartCaptureNow() override;
    void AbortCapture() override;
    void StopCapture() override;
    bool isCapturing() const override;

    void SaveFrame(const QString& path) override;
    QImage GrabFrame() override;

    int width() const override;
    int height() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Driver
    {
        enum class Kind { Device, TestPattern, Launch };
        Kind kind = Kind::Device;
        QString name;
        GstPtr<GstDevice> device;
        QString launch;
    };
    struct MovieSetup
    {
        QString partPath;
        bool withAudio = false;
    };
    enum class MovieState { Idle, PreRolling, Recording, Stopping };
    enum class PreRollAnswer { None, Start, Abort };

    void listDevices();
    QList<VideoFormat> formatsOf(const Driver& driver) const;
    QList<CaptureControl> testPatternControls() const;
    QList<CaptureControl> colourBalanceControls() const;

    // Builds the pipeline of a driver at a format; with movie set, the recording branch too.
    GstPtr<GstElement> buildPipeline(int driverIndex, const QList<VideoFormat>& formats, int formatIndex,
                                     const MovieSetup* movie, QString* error);
    GstElement* createSource(const Driver& driver, QString* error) const;
    void adoptPipeline(GstPtr<GstElement> pipeline);
    void stopPipeline();
    // Runs a built pipeline until its first frame; false with the reason when it fails.
    bool startPreview(QString* error);
    void connectDriver(int driverIndex, int formatIndex);
    void reconnectAfterMovie();
    void applyControlValues();

    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer context);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self);
    void handleBusMessage(quint64 generation, GstMessage* message);
    void deliverFrame();
    GstPtr<GstSample> waitForFrame(int timeoutMs, QString* error);
    void quitLoop();
    template <typename Use> auto withNewestFrame(Use use);

    QString m_workFolder;
    std::vector<Driver> m_drivers;
    int m_connected = -1;
    QList<VideoFormat> m_formats;
    int m_formatIndex = -1;
    QMap<QString, int> m_controlValues;
    MovieCompression m_compression;
    AudioFormat m_audioFormat;
    bool m_captureAudio = true;
    int m_captureFrameRate = 30;
    QString m_captureFile;
    BmpWriter m_bmpWriter;

    GstPtr<GstElement> m_pipeline;
    GstElement* m_source = nullptr; // owned by m_pipeline
    std::atomic<quint64> m_generation{0};

    // Shared with the streaming threads.
    mutable std::mutex m_frameMutex;
    std::condition_variable m_frameCondition;
    GstPtr<GstSample> m_newest;
    quint64 m_frameCount = 0;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    bool m_failed = false;
    QString m_failure;
    std::atomic<bool> m_preview{true};
    std::atomic<bool> m_deliveryPending{false};

    MovieState m_movieState = MovieState::Idle;
    PreRollAnswer m_preRollAnswer = PreRollAnswer::None;
    bool m_stopRequested = false;
    bool m_eosSeen = false;
    QString m_movieError;
    QEventLoop* m_loop = nullptr;
};
