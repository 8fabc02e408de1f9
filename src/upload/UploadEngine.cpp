#include "upload/UploadEngine.h"

#include "capture/CaptureComponent.h"
#include "capture/GstSoundOutput.h"
#include "options/ProgramOptions.h"
#include "settings/AccountBook.h"
#include "settings/Regedit.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"
#include "upload/UploadCycle.h"
#include "upload/UploadScheduler.h"

#include <QDir>

UploadEngine::UploadEngine(const Settings& settings, Prompter& prompter, UploadStatus& status,
                           std::function<void()> beep, std::unique_ptr<CaptureComponent> capture)
    : m_settings(settings), m_capture(std::move(capture))
{
    QDir().mkpath(m_settings.workDir);
    m_store = std::make_unique<Regedit>(m_settings.storePath);
    m_options = std::make_unique<ProgramOptions>(*m_store);
    m_capture->rememberSettingsIn(*m_store);
    m_accounts = std::make_unique<AccountBook>(*m_store, prompter);
    m_sound = std::make_unique<GstSoundOutput>(std::move(beep));
    m_log = std::make_unique<FtpLog>();
    m_ftp = std::make_unique<FtpStage>(*m_log, prompter);
    m_cycle = std::make_unique<UploadCycle>(UploadCycle::Dependencies{
        *m_accounts, *m_options, m_capture.get(), *m_ftp, prompter, status, *m_sound, m_settings.workDir});
    m_scheduler = std::make_unique<UploadScheduler>(*m_accounts, *m_cycle, status, prompter);
}

UploadEngine::~UploadEngine()
{
    // The scheduler and the cycle go before what they use.
    m_scheduler.reset();
    m_cycle.reset();
}

bool UploadEngine::connectCapture()
{
    return m_capture->connectAtStart();
}
