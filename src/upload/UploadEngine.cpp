#include "upload/UploadEngine.h"

#include "capture/CaptureComponent.h"
#include "capture/GstSoundOutput.h"
#include "common/AppPaths.h"
#include "common/Clock.h"
#include "options/ProgramOptions.h"
#include "settings/AccountBook.h"
#include "settings/Regedit.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"
#include "upload/TimelapseService.h"
#include "upload/UploadCycle.h"
#include "upload/UploadMonitor.h"
#include "upload/UploadScheduler.h"
#include "upload/UploaderLock.h"

#include <utility>

UploadEngine::UploadEngine(const Settings& settings, Prompter& prompter, UploadStatus& status,
                           std::function<void()> beep, std::unique_ptr<CaptureComponent> capture)
    : m_settings(settings), m_capture(std::move(capture))
{
    AppPaths::makePrivateFolder(m_settings.workDir);
    m_store = std::make_unique<Regedit>(m_settings.storePath);
    // Taken once the store file exists (the store makes it on a first start).
    m_uploaderLock = std::make_unique<UploaderLock>(m_settings.storePath);
    const bool uploader = m_uploaderLock->acquire();
    m_options = std::make_unique<ProgramOptions>(*m_store);
    m_capture->rememberSettingsIn(*m_store);
    m_accounts = std::make_unique<AccountBook>(*m_store, prompter);
    m_sound = std::make_unique<GstSoundOutput>(std::move(beep));
    m_log = std::make_unique<FtpLog>();
    m_ftp = std::make_unique<FtpStage>(*m_log, prompter, m_settings.timeouts);
    m_cycle = std::make_unique<UploadCycle>(
        UploadCycle::Dependencies{*m_accounts, *m_options, m_capture.get(), *m_ftp, prompter, status,
                                  *m_sound, m_settings.workDir, m_log.get()});
    m_scheduler = std::make_unique<UploadScheduler>(*m_accounts, *m_cycle, status, prompter, *m_log,
                                                    m_settings.backoff);
    m_monitor = std::make_unique<UploadMonitor>(*m_scheduler, *m_cycle, *m_accounts);
    static const SystemClock systemClock;
    m_timelapse = std::make_unique<TimelapseService>(*m_accounts, *m_log, m_settings.timeouts, systemClock);
    connect(m_timelapse.get(), &TimelapseService::stopped, this, &UploadEngine::checkStopped);
    // An upload writes its log entry as it goes: the movie's lines wait for its end.
    m_timelapse->setLogBusy([this] { return m_cycle->isRunning(); });
    connect(m_cycle.get(), &UploadCycle::finished, m_timelapse.get(), &TimelapseService::flushLog);
    connect(m_scheduler.get(), &UploadScheduler::stopped, this, [this] {
        m_uploadsStopped = true;
        checkStopped();
    });
    if (!uploader)
        m_scheduler->refuseUploads(kAnotherUploader);

    connect(m_accounts.get(), &AccountBook::rowsChanged, this, &UploadEngine::useAccountCameras);
    // Edits change the loaded account one field at a time: only a change of its camera can change
    // the cameras in use, so the other accounts are not read again at every key typed.
    connect(m_accounts.get(), &AccountBook::loadedChanged, this, [this] {
        if (std::exchange(m_loadedCamera, m_accounts->loaded().camera) != m_accounts->loaded().camera)
            useAccountCameras();
    });

    // Where a movie stands, from the component's own reports, so the end knows how to end it.
    connect(m_capture.get(), &CaptureComponent::PreRoll, this, [this] { m_movie = Movie::PreRolling; });
    connect(m_capture.get(), &CaptureComponent::StatusChanged, this, [this](int number, const QString&) {
        if (number == CaptureComponent::StatusCaptureStarted)
            m_movie = Movie::Recording;
    });
    connect(m_capture.get(), &CaptureComponent::movieFinished, this, [this] {
        m_movie = Movie::Idle;
        checkStopped();
    });
}

UploadEngine::~UploadEngine()
{
    // The scheduler and the cycle go before what they use; the stage cancels what still runs.
    m_timelapse.reset();
    m_monitor.reset();
    m_scheduler.reset();
    m_cycle.reset();
    m_ftp.reset();
}

bool UploadEngine::isUploader() const
{
    return m_scheduler->refusal().isEmpty();
}

bool UploadEngine::connectCapture()
{
    const bool connected = m_capture->connectAtStart().ok();
    // The accounts' other cameras open once the program's camera has taken its own.
    m_camerasStarted = true;
    useAccountCameras();
    if (isUploader())
        m_timelapse->startTimer();
    return connected;
}

void UploadEngine::useAccountCameras()
{
    // Only the program that uploads runs the accounts' cameras.
    if (m_camerasStarted && isUploader())
        m_capture->setCamerasInUse(m_accounts->camerasInUse());
}

void UploadEngine::stop(bool cancelRunning, QDeadlineTimer endBy)
{
    const bool first = !m_stopping;
    m_stopping = true;
    if (first && (m_movie != Movie::Idle || m_capture->isCapturing())) {
        if (m_movie == Movie::PreRolling)
            m_capture->AbortCapture();
        else
            m_capture->StopCapture();
    }
    m_scheduler->stop(cancelRunning, endBy);
    m_timelapse->stop();
    checkStopped();
}

void UploadEngine::stopNow()
{
    m_stopping = true;
    m_scheduler->stop(true);
    m_timelapse->stop();
    if (m_movie != Movie::Idle || m_capture->isCapturing())
        m_capture->abandonMovie();
}

void UploadEngine::checkStopped()
{
    if (!m_stopping || m_stoppedEmitted || !m_uploadsStopped || m_movie != Movie::Idle ||
        m_capture->isCapturing() || m_timelapse->isBusy())
        return;
    m_stoppedEmitted = true;
    emit stopped();
}
