#include "upload/FtpDial.h"

#include "upload/WorkerThread.h"

namespace {
bool sameSettings(const FtpClient::Settings& a, const FtpClient::Settings& b)
{
    return a.protocol == b.protocol && a.passive == b.passive && a.verifyPeer == b.verifyPeer &&
           a.caFile == b.caFile && a.keyFile == b.keyFile && a.knownHostsFile == b.knownHostsFile &&
           a.addHostKey == b.addHostKey;
}
} // namespace

FtpDial::FtpDial(const FtpTimeouts& timeouts, const FtpClient::Settings& settings, const QString& host,
                 const QString& user, const QString& password, QObject* parent)
    : QObject(parent), m_settings(settings), m_host(host), m_user(user), m_password(password),
      m_client(std::make_shared<FtpClient>(timeouts, settings)), m_worker(std::make_unique<WorkerThread>())
{
    m_age.start();
    m_worker->post([this, client = m_client, host, user, password] {
        Outcome outcome;
        outcome.ok = client->connect(host, user, password);
        outcome.error = client->lastError();
        outcome.reply = client->lastReply();
        outcome.hostKeyProblem = client->hostKeyProblem();
        outcome.hostKeyFingerprint = client->hostKeyFingerprint();
        outcome.failureText = client->failureText();
        outcome.reason = client->reason();
        return [this, outcome] {
            m_outcome = outcome;
            m_done = true;
            // A client whose connect failed holds no connection.
            if (!outcome.ok)
                m_client.reset();
            emit finished();
        };
    });
}

FtpDial::~FtpDial()
{
    cancel();
    m_worker.reset();
}

bool FtpDial::isFor(const FtpClient::Settings& settings, const QString& host, const QString& user,
                    const QString& password) const
{
    return sameSettings(settings, m_settings) && host == m_host && user == m_user && password == m_password;
}

std::shared_ptr<FtpClient> FtpDial::takeClient()
{
    return std::move(m_client);
}

void FtpDial::cancel()
{
    if (m_client)
        m_client->cancel();
}
