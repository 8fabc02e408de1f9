#pragma once

#include "upload/UploadStatus.h"

#include <QObject>
#include <QString>

class UploadEngine;

// The program without windows: "--upload-now" runs the Upload Now command once, "--headless" runs
// the account timers until SIGINT or SIGTERM. The FTP log goes to standard output as it grows.
class HeadlessRun final : public QObject, public UploadStatus
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessRun)

public:
    explicit HeadlessRun(QObject* parent = nullptr);

    // Wires the log and the close-after option; call once the engine exists.
    void attach(UploadEngine& engine);

    // 0 when every flagged account's picture was delivered, 1 otherwise.
    int uploadNow();
    // Runs until a termination signal; a running cycle is finished first. Returns 0.
    int runScheduler();

    QString uploadState() const override { return m_state; }
    void setUploadState(const QString& text) override;

private:
    void stopWhenIdle();

    UploadEngine* m_engine = nullptr;
    QString m_state;
    bool m_stopping = false;
};
