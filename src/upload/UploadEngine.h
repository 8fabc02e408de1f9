#pragma once

#include "upload/FtpTimeouts.h"
#include "upload/UploadScheduler.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AccountBook;
class FtpLog;
class FtpStage;
class CaptureComponent;
class GstSoundOutput;
class ProgramOptions;
class Prompter;
class Regedit;
class UploadCycle;
class UploadMonitor;
class TimelapseService;
class UploadStatus;
class UploaderLock;

// The program's core, wired once in main and handed to whatever shows it: the settings store,
// the options, the accounts, the capture component, the FTP log and stage, the upload cycle and
// the scheduler. The windowed program and the headless runs share it, and end it through stop().
//
// Only one program uploads with a store: the engine takes the store's uploader lock (UploaderLock)
// and, when another program holds it, refuses every upload (UploadScheduler::refuseUploads) and
// says so in the status and the FTP log. Whoever runs it tells the user (isUploader()).
class UploadEngine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadEngine)

public:
    struct Settings
    {
        QString storePath;
        QString workDir;
        // The program uses the defaults; tests shorten them.
        FtpTimeouts timeouts{};
        UploadScheduler::Backoff backoff{};
    };

    // capture is the program's capture component (the GStreamer one; tests may pass another).
    UploadEngine(const Settings& settings, Prompter& prompter, UploadStatus& status,
                 std::function<void()> beep, std::unique_ptr<CaptureComponent> capture);
    ~UploadEngine() override;

    // Connects the remembered camera, or the first driver when it is absent, and starts what runs
    // with it: the accounts' other cameras and the daily timelapse movies. False without drivers
    // or when the camera cannot be connected.
    bool connectCapture();

    // Whether this program uploads: false when another program uploads with the same store.
    bool isUploader() const;
    static inline const QString kAnotherUploader =
        QStringLiteral("Not uploading: another Velmora program uploads with this settings store");

    // Ends what runs, for the end of the program: no upload starts any more and waiting requests
    // are dropped; a running transfer is cancelled with cancelRunning, otherwise it finishes within
    // its time limits. A movie that records is finalised, so the file plays; one that waits to
    // start is abandoned. stopped() follows once nothing runs (before this returns when nothing
    // does). Calling it again with cancelRunning cancels what the first call let finish.
    // endBy: when the program will end; what a cancelled transfer left on the server is removed
    // in the time left until then.
    void stop(bool cancelRunning, QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever));
    // The end cannot wait any longer: the transfer is cancelled and a movie that is still being
    // finalised is dropped (its component removes the unfinished file).
    void stopNow();
    bool isStopping() const { return m_stopping; }
    // stopped() has been sent.
    bool isStopped() const { return m_stoppedEmitted; }

    const Settings& settings() const { return m_settings; }
    Regedit& store() { return *m_store; }
    ProgramOptions& options() { return *m_options; }
    AccountBook& accounts() { return *m_accounts; }
    CaptureComponent& capture() { return *m_capture; }
    FtpLog& log() { return *m_log; }
    FtpStage& ftp() { return *m_ftp; }
    UploadCycle& cycle() { return *m_cycle; }
    UploadScheduler& scheduler() { return *m_scheduler; }
    UploadMonitor& monitor() { return *m_monitor; }
    TimelapseService& timelapse() { return *m_timelapse; }

signals:
    void stopped();

private:
    enum class Movie { Idle, PreRolling, Recording };

    void checkStopped();
    // Tells the capture component the cameras the ticked accounts name.
    void useAccountCameras();

    Settings m_settings;
    std::unique_ptr<Regedit> m_store;
    std::unique_ptr<UploaderLock> m_uploaderLock;
    std::unique_ptr<ProgramOptions> m_options;
    std::unique_ptr<AccountBook> m_accounts;
    std::unique_ptr<CaptureComponent> m_capture;
    std::unique_ptr<GstSoundOutput> m_sound;
    std::unique_ptr<FtpLog> m_log;
    std::unique_ptr<FtpStage> m_ftp;
    std::unique_ptr<UploadCycle> m_cycle;
    std::unique_ptr<UploadScheduler> m_scheduler;
    std::unique_ptr<UploadMonitor> m_monitor;
    std::unique_ptr<TimelapseService> m_timelapse;
    Movie m_movie = Movie::Idle;
    bool m_stopping = false;
    bool m_camerasStarted = false;
    QString m_loadedCamera; // the loaded account's camera when the cameras in use were last told
    bool m_uploadsStopped = false;
    bool m_stoppedEmitted = false;
};
