#include "upload/ConnectionTest.h"

#include "common/OutsideText.h"
#include "settings/Account.h"
#include "upload/DestinationSessions.h"
#include "upload/FtpJob.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace {
const QString kProbeType = QStringLiteral("text/plain");

QString withReply(const QString& line, const DestinationSession& session)
{
    // The server's lines, each marked as its own, then what the session knows.
    QStringList lines{line};
    lines << OutsideText::marked(QStringLiteral("Server: "), session.lastReply());
    if (!session.reason().isEmpty())
        lines << session.reason();
    else if (session.lastReply().isEmpty() && !session.failureText().isEmpty())
        lines << session.failureText();
    return lines.join(QLatin1Char('\n'));
}
// With "Safe replace" every upload ends in a rename onto the old file: the test does the same with
// its file, so a server that refuses it is found now rather than at every upload. False when the
// uploads would fail; lines says what was found.
bool checkRename(DestinationSession& session, const QString& local, const QString& remote, QStringList& lines)
{
    const QString temporary = FtpJob::temporaryPath(remote);
    if (!session.put(local, temporary, DestinationSession::Transfer::Binary, kProbeType)) {
        lines << withReply(QStringLiteral("Couldn't write a second test file for \"Safe replace\"."),
                           session);
        return false;
    }
    if (session.rename(temporary, remote)) {
        lines << QStringLiteral("Replaced it by a rename, as \"Safe replace\" does.");
        return true;
    }
    const QString refusal = withReply(QStringLiteral("Couldn't rename a file in the folder: uploads with "
                                                     "\"Safe replace\" will fail; clear it for this server."),
                                      session);
    // Some servers rename only onto a name that is free; the uploads then move the old file aside.
    const QString aside = FtpJob::asidePath(remote);
    if (session.rename(remote, aside)) {
        if (session.rename(temporary, remote)) {
            static_cast<void>(session.remove(aside));
            lines << QStringLiteral(
                "The server does not rename onto an existing file: \"Safe replace\" moves "
                "the old picture aside first, so a web page may find none for a moment.");
            return true;
        }
        static_cast<void>(session.rename(aside, remote));
    }
    static_cast<void>(session.remove(temporary));
    lines << refusal;
    return false;
}
} // namespace

DestinationSession::Settings ConnectionTest::settingsFor(const Account& account, const QString& addHostKey,
                                                         const QString& knownHostsFile)
{
    DestinationSession::Settings settings = DestinationSessions::settingsOf(account);
    settings.addHostKey = addHostKey;
    settings.knownHostsFile = knownHostsFile;
    return settings;
}

ConnectionTest::Report ConnectionTest::run(DestinationSession& session, const Account& account)
{
    Report report;
    QStringList lines;
    if (const Result<void> connected = session.connect(account.host, account.user, account.password);
        !connected) {
        if (DestinationSession::errorOf(connected.failure()) == DestinationSession::Error::HostKeyRefused) {
            report.hostKeyFingerprint = session.hostKeyFingerprint();
            report.unknownHostKey = session.hostKeyProblem() == DestinationSession::HostKeyProblem::Unknown;
            lines << (report.unknownHostKey ? QStringLiteral("Unknown host key: ")
                                            : QStringLiteral("Host key changed (not in known_hosts): ")) +
                         session.hostKeyFingerprint();
        } else {
            lines << withReply(QStringLiteral("Couldn't connect to ") +
                                   DestinationSession::shownHost(account.host),
                               session);
        }
        report.text = lines.join(QLatin1Char('\n'));
        return report;
    }
    lines << QStringLiteral("Connected to ") + DestinationSession::shownHost(account.host) +
                 QStringLiteral(" and logged in.");

    QTemporaryDir scratch;
    const QString local = scratch.filePath(QStringLiteral("probe.txt"));
    {
        QFile file(local);
        if (file.open(QIODevice::WriteOnly))
            file.write("Velmora connection test\r\n");
    }
    const QString remote = FtpJob::remotePath(account.folder, kProbeName);
    bool passed = false;
    if (!session.put(local, remote, DestinationSession::Transfer::Binary, kProbeType)) {
        lines << withReply(QStringLiteral("Couldn't write a file into the folder \"") + account.folder +
                               QStringLiteral("\"."),
                           session);
    } else {
        if (account.safeReplace && session.putIsAtomic())
            lines << QStringLiteral("The server replaces a file whole at each upload: \"Safe replace\" "
                                    "needs no rename here.");
        const bool renames =
            !account.safeReplace || session.putIsAtomic() || checkRename(session, local, remote, lines);
        if (!session.remove(remote)) {
            lines.insert(1, QStringLiteral("Wrote a test file into the folder."));
            lines << withReply(QStringLiteral("Couldn't remove the test file ") + remote + QLatin1Char('.'),
                               session);
        } else {
            lines.insert(1, QStringLiteral("Wrote and removed a test file in the folder."));
            passed = renames;
        }
    }
    session.close();
    report.passed = passed;
    report.text = lines.join(QLatin1Char('\n'));
    return report;
}
