#include "upload/ConnectionTest.h"

#include "common/OutsideText.h"
#include "settings/Account.h"
#include "upload/FtpJob.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace {
QString withReply(const QString& line, const FtpClient& client)
{
    // The server's lines, each marked as its own, then what the client knows.
    QStringList lines{line};
    lines << OutsideText::marked(QStringLiteral("Server: "), client.lastReply());
    if (!client.reason().isEmpty())
        lines << client.reason();
    else if (client.lastReply().isEmpty() && !client.failureText().isEmpty())
        lines << client.failureText();
    return lines.join(QLatin1Char('\n'));
}
// With "Safe replace" every upload ends in a rename onto the old file: the test does the same with
// its file, so a server that refuses it is found now rather than at every upload. False when the
// uploads would fail; lines says what was found.
bool checkRename(FtpClient& client, const QString& local, const QString& remote, QStringList& lines)
{
    const QString temporary = FtpJob::temporaryPath(remote);
    if (!client.put(local, temporary)) {
        lines << withReply(QStringLiteral("Couldn't write a second test file for \"Safe replace\"."), client);
        return false;
    }
    if (client.rename(temporary, remote)) {
        lines << QStringLiteral("Replaced it by a rename, as \"Safe replace\" does.");
        return true;
    }
    const QString refusal = withReply(QStringLiteral("Couldn't rename a file in the folder: uploads with "
                                                     "\"Safe replace\" will fail; clear it for this server."),
                                      client);
    // Some servers rename only onto a name that is free; the uploads then move the old file aside.
    const QString aside = FtpJob::asidePath(remote);
    if (client.rename(remote, aside)) {
        if (client.rename(temporary, remote)) {
            client.remove(aside);
            lines << QStringLiteral(
                "The server does not rename onto an existing file: \"Safe replace\" moves "
                "the old picture aside first, so a web page may find none for a moment.");
            return true;
        }
        client.rename(aside, remote);
    }
    client.remove(temporary);
    lines << refusal;
    return false;
}
} // namespace

FtpClient::Settings ConnectionTest::settingsFor(const Account& account, const QString& addHostKey,
                                                const QString& knownHostsFile)
{
    FtpClient::Settings settings = FtpJob::connectionOf(account);
    settings.addHostKey = addHostKey;
    settings.knownHostsFile = knownHostsFile;
    return settings;
}

ConnectionTest::Report ConnectionTest::run(FtpClient& client, const Account& account)
{
    Report report;
    QStringList lines;
    if (!client.connect(account.host, account.user, account.password)) {
        if (client.lastError() == FtpClient::Error::HostKeyRefused) {
            report.hostKeyFingerprint = client.hostKeyFingerprint();
            report.unknownHostKey = client.hostKeyProblem() == FtpClient::HostKeyProblem::Unknown;
            lines << (report.unknownHostKey ? QStringLiteral("Unknown host key: ")
                                            : QStringLiteral("Host key changed (not in known_hosts): ")) +
                         client.hostKeyFingerprint();
        } else {
            lines << withReply(QStringLiteral("Couldn't connect to ") + account.host, client);
        }
        report.text = lines.join(QLatin1Char('\n'));
        return report;
    }
    lines << QStringLiteral("Connected to ") + account.host + QStringLiteral(" and logged in.");

    QTemporaryDir scratch;
    const QString local = scratch.filePath(QStringLiteral("probe.txt"));
    {
        QFile file(local);
        if (file.open(QIODevice::WriteOnly))
            file.write("Velmora connection test\r\n");
    }
    const QString remote = FtpJob::remotePath(account.folder, kProbeName);
    bool passed = false;
    if (!client.put(local, remote)) {
        lines << withReply(QStringLiteral("Couldn't write a file into the folder \"") + account.folder +
                               QStringLiteral("\"."),
                           client);
    } else {
        const bool renames = !account.safeReplace || checkRename(client, local, remote, lines);
        if (!client.remove(remote)) {
            lines.insert(1, QStringLiteral("Wrote a test file into the folder."));
            lines << withReply(QStringLiteral("Couldn't remove the test file ") + remote + QLatin1Char('.'),
                               client);
        } else {
            lines.insert(1, QStringLiteral("Wrote and removed a test file in the folder."));
            passed = renames;
        }
    }
    client.close();
    report.passed = passed;
    report.text = lines.join(QLatin1Char('\n'));
    return report;
}
