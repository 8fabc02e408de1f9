#include "upload/FtpDial.h"

#include "upload/DestinationSessions.h"
#include "upload/WorkerThread.h"

FtpDial::FtpDial(const FtpTimeouts& timeouts, const DestinationSession::Settings& settings,
                 const QString& host, const QString& user, const QString& password, QObject* parent)
    : QObject(parent), m_settings(settings), m_host(host), m_user(user), m_password(password),
      m_session(DestinationSessions::create(timeouts, settings)), m_worker(std::make_unique<WorkerThread>())
{
    m_age.start();
    m_worker->post([this, session = m_session, host, user, password] {
        Outcome outcome;
        const Result<void> connected = session->connect(host, user, password);
        outcome.ok = connected.ok();
        if (!connected)
            outcome.error = DestinationSession::errorOf(connected.failure());
        outcome.reply = session->lastReply();
        outcome.hostKeyProblem = session->hostKeyProblem();
        outcome.hostKeyFingerprint = session->hostKeyFingerprint();
        outcome.failureText = session->failureText();
        outcome.reason = connected ? QString() : connected.failure().sentence;
        return [this, outcome] {
            m_outcome = outcome;
            m_done = true;
            // A session whose connect failed holds no connection.
            if (!outcome.ok)
                m_session.reset();
            emit finished();
        };
    });
}

std::unique_ptr<FtpDial> FtpDial::keep(std::shared_ptr<DestinationSession> session, const QString& host,
                                       const QString& user, const QString& password)
{
    std::unique_ptr<FtpDial> dial(new FtpDial());
    dial->m_settings = session->settings();
    dial->m_host = host;
    dial->m_user = user;
    dial->m_password = password;
    dial->m_session = std::move(session);
    dial->m_outcome.ok = true;
    dial->m_done = true;
    dial->m_kept = true;
    dial->m_age.start();
    return dial;
}

FtpDial::~FtpDial()
{
    cancel();
    m_worker.reset();
}

bool FtpDial::isFor(const DestinationSession::Settings& settings, const QString& host, const QString& user,
                    const QString& password) const
{
    return settings == m_settings && host == m_host && user == m_user && password == m_password;
}

std::shared_ptr<DestinationSession> FtpDial::takeSession()
{
    return std::move(m_session);
}

void FtpDial::hangUp()
{
    // The session stays the dial's too, so that the destructor can cut a goodbye that takes long.
    const std::shared_ptr<DestinationSession> session = m_session;
    if (!m_done || !session) {
        emit hungUp();
        return;
    }
    m_hangingUp = true;
    if (!m_worker)
        m_worker = std::make_unique<WorkerThread>();
    m_worker->post([this, session] {
        session->close();
        return [this] {
            m_hangingUp = false;
            emit hungUp();
        };
    });
}

void FtpDial::cancel()
{
    if (m_session)
        m_session->cancel();
}
