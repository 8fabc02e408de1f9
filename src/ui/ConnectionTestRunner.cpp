#include "ui/ConnectionTestRunner.h"

#include "common/Prompter.h"
#include "settings/Account.h"
#include "upload/ConnectionTest.h"
#include "upload/DestinationSessions.h"
#include "upload/WorkerThread.h"

ConnectionTestRunner::ConnectionTestRunner(Prompter& prompter, QObject* parent)
    : QObject(parent), m_prompter(prompter)
{
}

ConnectionTestRunner::~ConnectionTestRunner()
{
    if (m_session)
        m_session->cancel();
}

void ConnectionTestRunner::start(const Account& account)
{
    if (!m_worker)
        m_worker = std::make_unique<WorkerThread>();
    run(account, QString());
}

void ConnectionTestRunner::run(const Account& account, const QString& trustedKey)
{
    // The test talks to the server on a worker; the window stays responsive and reports after.
    m_session = DestinationSessions::create(
        FtpTimeouts(), ConnectionTest::settingsFor(account, trustedKey, m_knownHostsFile));
    m_worker->post([this, session = m_session, account, trustedKey] {
        const ConnectionTest::Report report = ConnectionTest::run(*session, account);
        return [this, account, trustedKey, report] {
            m_session.reset();
            if (report.unknownHostKey && trustedKey.isEmpty()) {
                const Prompter::Answer trust = m_prompter.message(
                    QStringLiteral("The server's host key is not known yet. Its fingerprint is\n") +
                        report.hostKeyFingerprint +
                        QStringLiteral("\nTrust this key only if it is the fingerprint of your server. Trust "
                                       "it and go on?"),
                    Prompter::Icon::Question, Prompter::Buttons::YesNo, kProgramTitle, Prompter::Answer::No);
                if (trust == Prompter::Answer::Yes) {
                    run(account, report.hostKeyFingerprint);
                    return;
                }
                emit finished();
                return;
            }
            // The button comes back as the report shows, not only once it is read.
            emit finished();
            m_prompter.message(report.text,
                               report.passed ? Prompter::Icon::Information : Prompter::Icon::Critical);
        };
    });
}
