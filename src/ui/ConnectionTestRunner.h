#pragma once

#include <QObject>
#include <QString>

#include <memory>

struct Account;
class DestinationSession;
class Prompter;
class WorkerThread;

// "&Test" of the Upload Settings window: logs in with an account's settings on a worker, writes and
// removes a small file, and says in one message box what worked. An SFTP server whose host key is
// not known yet is trusted only when the person says so, and the test then runs again.
class ConnectionTestRunner final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConnectionTestRunner)

public:
    explicit ConnectionTestRunner(Prompter& prompter, QObject* parent = nullptr);
    // A test that still talks to its server is cut off rather than waited for.
    ~ConnectionTestRunner() override;

    // Where host keys are looked for and added; empty for ~/.ssh/known_hosts.
    void setKnownHostsFile(const QString& path) { m_knownHostsFile = path; }

    void start(const Account& account);
    bool isRunning() const { return m_session != nullptr; }

signals:
    // The test has ended; its report follows at once (none when the person declined to trust the
    // host key).
    void finished();

private:
    void run(const Account& account, const QString& trustedKey);

    Prompter& m_prompter;
    QString m_knownHostsFile;
    std::unique_ptr<WorkerThread> m_worker;        // made for the first test
    std::shared_ptr<DestinationSession> m_session; // the running test's connection
};
