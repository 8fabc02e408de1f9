#pragma once

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
class UploadScheduler;
class UploadStatus;

// The program's core, wired once in main and handed to whatever shows it: the settings store,
// the options, the accounts, the capture component, the FTP log and stage, the upload cycle and
// the scheduler. The windowed program and the headless runs share it.
class UploadEngine final
{
public:
    struct Settings
    {
        QString storePath;
        QString workDir;
    };

    // capture is the program's capture component (the GStreamer one; tests may pass another).
    UploadEngine(const Settings& settings, Prompter& prompter, UploadStatus& status,
                 std::function<void()> beep, std::unique_ptr<CaptureComponent> capture);
    ~UploadEngine();
    UploadEngine(const UploadEngine&) = delete;
    UploadEngine& operator=(const UploadEngine&) = delete;

    // Connects the remembered camera, or the first driver when it is absent. False without
    // drivers or when it cannot be connected.
    bool connectCapture();

    const Settings& settings() const { return m_settings; }
    Regedit& store() { return *m_store; }
    ProgramOptions& options() { return *m_options; }
    AccountBook& accounts() { return *m_accounts; }
    CaptureComponent& capture() { return *m_capture; }
    FtpLog& log() { return *m_log; }
    FtpStage& ftp() { return *m_ftp; }
    UploadCycle& cycle() { return *m_cycle; }
    UploadScheduler& scheduler() { return *m_scheduler; }

private:
    Settings m_settings;
    std::unique_ptr<Regedit> m_store;
    std::unique_ptr<ProgramOptions> m_options;
    std::unique_ptr<AccountBook> m_accounts;
    std::unique_ptr<CaptureComponent> m_capture;
    std::unique_ptr<GstSoundOutput> m_sound;
    std::unique_ptr<FtpLog> m_log;
    std::unique_ptr<FtpStage> m_ftp;
    std::unique_ptr<UploadCycle> m_cycle;
    std::unique_ptr<UploadScheduler> m_scheduler;
};
