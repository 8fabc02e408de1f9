#pragma once

#include "CaptureWait.h"
#include "FakeCapture.h"
#include "FtpServer.h"
#include "ScriptedPrompter.h"
#include "SignalWait.h"
#include "TempDir.h"
#include "imaging/StampComposer.h"

#include "capture/GstCaptureComponent.h"
#include "common/SoundOutput.h"
#include "options/ProgramOptions.h"
#include "settings/AccountBook.h"
#include "settings/Regedit.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"
#include "upload/UploadCycle.h"
#include "upload/UploadScheduler.h"
#include "upload/UploadStatus.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

// The upload state texts as the status bar would show them.
class RecordingStatus final : public UploadStatus
{
public:
    QString uploadState() const override { return m_current; }
    void setUploadState(const QString& text) override
    {
        // A second cycle starting while one uploads would set "Uploading..." twice in a row.
        if (text == QLatin1String("Uploading...") && m_current == text)
            ++overlaps;
        m_current = text;
        history << text;
    }

    QStringList history;
    int overlaps = 0;

private:
    QString m_current;
};

class CountingSound final : public SoundOutput
{
public:
    void playFile(const QString& path) override { played << path; }
    void beep() override { ++beeps; }

    QStringList played;
    int beeps = 0;
};

// Everything an upload needs, wired as the program wires it, on a real store file, a capture
// component (the test double unless a test needs the real pipeline) and (when started) a real FTP
// server on the loopback interface. Time limits are short, so a dead server costs seconds.
class UploadRig
{
public:
    static inline const QString kProductKey = QStringLiteral("Software\\Velmora");

    enum class Camera { None, Fake, TestPattern };

    static FtpTimeouts shortTimeouts()
    {
        FtpTimeouts timeouts;
        timeouts.connect = std::chrono::milliseconds(3000);
        timeouts.response = std::chrono::milliseconds(3000);
        timeouts.stage = std::chrono::milliseconds(20000);
        timeouts.quit = std::chrono::milliseconds(1000);
        timeouts.cleanup = std::chrono::milliseconds(800);
        return timeouts;
    }

    explicit UploadRig(Camera camera = Camera::Fake, const FtpTimeouts& timeouts = shortTimeouts(),
                       const UploadBackoff& backoff = {})
    {
        if (camera == Camera::Fake) {
            auto fakeCapture = std::make_unique<FakeCapture>();
            fake = fakeCapture.get();
            capture = std::move(fakeCapture);
        } else if (camera == Camera::TestPattern) {
            capture = std::make_unique<GstCaptureComponent>(work.path(), true);
        }
        if (capture) {
            EXPECT_TRUE(succeeded(capture->setDriverIndex(capture->DriverCount() - 1)));
            // The pipeline connects on its own time; the rig is ready once pictures flow.
            if (camera == Camera::TestPattern && !waitForPicture(*capture))
                ADD_FAILURE() << "the test pattern sends no picture";
        }
        ftp = std::make_unique<FtpStage>(log, prompter, timeouts);
        cycle = std::make_unique<UploadCycle>(UploadCycle::Dependencies{
            accounts, options, capture.get(), *ftp, prompter, status, sound, work.path(), &log});
        scheduler = std::make_unique<UploadScheduler>(accounts, *cycle, status, prompter, log, backoff);
    }

    // Runs one cycle for the loaded account to its end, serving events meanwhile.
    UploadCycle::Outcome runCycle(bool scheduled, int limitMs = 30000)
    {
        const std::optional<UploadCycle::Result> result = untilSignal<UploadCycle::Result>(
            cycle.get(), &UploadCycle::finished, [this, scheduled] { cycle->upload_now(scheduled); },
            limitMs);
        if (!result)
            ADD_FAILURE() << "the cycle did not end";
        return result ? result->outcome : UploadCycle::Outcome::Stopped;
    }

    void saveOption(const QString& name, const QString& text)
    {
        store.SaveString(HKEY_LOCAL_MACHINE, kProductKey, name, text);
    }
    void saveAccount(const QString& account, const QString& name, const QString& text)
    {
        store.SaveString(HKEY_LOCAL_MACHINE, kProductKey + QLatin1Char('\\') + account, name, text);
    }

    // Points an account (the default one unless named) at the server; load() reads the list.
    // Active mode and a plain put, as accounts stored before passive mode and safe replace were
    // the defaults of new accounts.
    void useServer(const FtpServer& server, const QString& folder = QString(),
                   const QString& account = AccountBook::kDefaultAccount)
    {
        saveAccount(account, QStringLiteral("Passive"), QStringLiteral("0"));
        saveAccount(account, QStringLiteral("Safe replace"), QStringLiteral("0"));
        saveAccount(account, QStringLiteral("Host Name/Adress:"), server.hostField());
        saveAccount(account, QStringLiteral("User ID:"), FtpServer::kUser);
        saveAccount(account, QStringLiteral("Password:"), FtpServer::kPassword);
        saveAccount(account, QStringLiteral("Remember password"), QStringLiteral("1"));
        saveAccount(account, QStringLiteral("Initial Remote Site Folder:"), folder);
    }

    void load() { accounts.loadList(); }
    QString workFile(const QString& name) const { return work.file(name); }

    TempDir dir;
    TempDir work;
    Regedit store{dir.file(QStringLiteral("velmora.db"))};
    ScriptedPrompter prompter;
    AccountBook accounts{store, prompter};
    ProgramOptions options{store};
    RecordingStatus status;
    CountingSound sound;
    FtpLog log;
    std::unique_ptr<CaptureComponent> capture;
    FakeCapture* fake = nullptr; // the capture component when it is the test double
    std::unique_ptr<FtpStage> ftp;
    std::unique_ptr<UploadCycle> cycle;
    std::unique_ptr<UploadScheduler> scheduler;
};
