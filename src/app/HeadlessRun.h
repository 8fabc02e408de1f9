#pragma once

#include "upload/UploadStatus.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class TerminationSignals;
class UploadEngine;

// The program without windows: "--upload-now" runs the Upload Now command once, "--headless" runs
// the account timers until SIGINT, SIGTERM or SIGHUP. The FTP log goes to standard output as it
// grows.
//
// The first of these signals drops every waiting request and lets the running transfer finish
// within its time limits; a second one cancels it at once, and the program ends within two
// seconds, having removed what the cancelled transfer left on the server in that time.
class HeadlessRun final : public QObject, public UploadStatus
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessRun)

public:
    explicit HeadlessRun(QObject* parent = nullptr);
    ~HeadlessRun() override;

    // Wires the log, the close-after option and the signals; call once the engine exists.
    void attach(UploadEngine& engine);

    // 0 when every flagged account's picture was delivered, 1 otherwise.
    int uploadNow();
    // Runs until a termination signal or the close-after option. Returns 0.
    int runScheduler();

    QString uploadState() const override { return m_state; }
    void setUploadState(const QString& text) override;

private:
    // After a second signal: removing what the cancelled transfer left is over by then, which
    // leaves room to end within two seconds.
    static constexpr std::chrono::milliseconds kCleanupWithin{1400};

    bool catchSignals();
    void onSignal();
    int runEventLoop();

    UploadEngine* m_engine = nullptr;
    QString m_state;
    QString m_printedState;
    std::unique_ptr<TerminationSignals> m_signals;
    int m_signalCount = 0;
    int m_exitCode = 0;
};
