#pragma once

#include "upload/DestinationSession.h"
#include "upload/FtpTimeouts.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class WorkerThread;

// Connecting and logging in, on a thread of its own. The FTP stage dials for every transfer, and
// the scheduler dials ahead for an account whose timed turn is coming, so that a server that is
// slow to answer, or never does, holds up no account but its own. The stage takes the session over
// once it is logged in. A stage that ends with its connection still logged in may hand it back as a
// kept dial (keep()), which the account's next turn takes over without connecting again.
class FtpDial final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpDial)

public:
    struct Outcome
    {
        bool ok = false;
        DestinationSession::Error error = DestinationSession::Error::None;
        QString reply;
        DestinationSession::HostKeyProblem hostKeyProblem = DestinationSession::HostKeyProblem::None;
        QString hostKeyFingerprint;
        QString failureText;
        QString reason; // the session's words on a failure (the Failure's sentence)
    };

    FtpDial(const FtpTimeouts& timeouts, const DestinationSession::Settings& settings, const QString& host,
            const QString& user, const QString& password, QObject* parent = nullptr);
    // Cancels a dial that still runs; a connection nobody took over is dropped without a goodbye.
    ~FtpDial() override;

    // A dial that is done: the logged-in session of a finished stage, kept for the next one.
    static std::unique_ptr<FtpDial> keep(std::shared_ptr<DestinationSession> session, const QString& host,
                                         const QString& user, const QString& password);

    bool isDone() const { return m_done; }
    // Milliseconds since the dial began, or since the connection was kept: a connection kept too
    // long may have been dropped by the server, and its session's time limit for the whole upload
    // runs from the dial.
    qint64 age() const { return m_age.elapsed(); }
    // A connection a stage used and kept (keep()), not one made ahead.
    bool isKept() const { return m_kept; }
    const Outcome& outcome() const { return m_outcome; }
    // Whether this dial reaches the given server with the given login and connection settings.
    bool isFor(const DestinationSession::Settings& settings, const QString& host, const QString& user,
               const QString& password) const;
    // The logged-in session, to go on with; the dial holds nothing afterwards.
    std::shared_ptr<DestinationSession> takeSession();
    void cancel();
    // Says goodbye on the connection nobody took over, on the dial's thread; hungUp() follows.
    void hangUp();
    // From hangUp() until hungUp().
    bool isHangingUp() const { return m_hangingUp; }

signals:
    void finished();
    void hungUp();

private:
    FtpDial() = default;

    DestinationSession::Settings m_settings;
    QString m_host;
    QString m_user;
    QString m_password;
    std::shared_ptr<DestinationSession> m_session;
    Outcome m_outcome;
    bool m_done = false;
    bool m_kept = false;
    bool m_hangingUp = false;
    QElapsedTimer m_age;
    std::unique_ptr<WorkerThread> m_worker;
};
