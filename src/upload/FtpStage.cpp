#include "upload/FtpStage.h"

#include "common/DateTimeText.h"
#include "common/Prompter.h"
#include "upload/FtpClient.h"
#include "upload/FtpLog.h"
#include "upload/WorkerCall.h"

#include <QDateTime>
#include <QFileInfo>

#include <curl/curl.h>

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
} // namespace

FtpStage::FtpStage(FtpLog& log, Prompter& prompter, const FtpTimeouts& timeouts)
    : m_log(log), m_prompter(prompter), m_timeouts(timeouts)
{
    if (curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK)
        hSession = m_nextHandle++;
    else
        LogInternetError(static_cast<quint32>(FtpClient::Error::Internal), QStringLiteral("InternetOpen"));
}

FtpStage::~FtpStage()
{
    closeConnection();
    if (hSession != 0)
        curl_global_cleanup();
}

void FtpStage::closeConnection()
{
    if (hConnection == 0)
        return;
    if (m_client)
        WorkerCall::run([client = m_client.get()] { client->close(); });
    m_client.reset();
    hConnection = 0;
}

void FtpStage::LogInternetError(quint32 code, const QString&)
{
    if (code == static_cast<quint32>(FtpClient::Error::ServerReply))
        m_log.append(kLineEnd + QStringLiteral("Server: ") + m_lastResponse);
}

FtpResult FtpStage::run(const FtpJob& job)
{
    FtpResult result;
    m_log.append(kLineEnd + kLineEnd + QStringLiteral("---[") +
                 generalDateTimeText(QDateTime::currentDateTime()) + QStringLiteral("]---") + kLineEnd +
                 QStringLiteral("Connecting..."));

    closeConnection();

    quint32 lastError = static_cast<quint32>(FtpClient::Error::NotConnected);
    if (hSession != 0) {
        FtpClient::Settings settings = job.connection;
        settings.passive = settings.passive || (connectFlags & kFlagPassive) != 0;
        auto client = std::make_unique<FtpClient>(m_timeouts, settings);
        const bool connected =
            WorkerCall::run([&client, &job] { return client->connect(job.host, job.user, job.password); });
        lastError = static_cast<quint32>(client->lastError());
        m_lastResponse = client->lastReply();
        if (connected) {
            m_client = std::move(client);
            hConnection = m_nextHandle++;
        } else {
            m_refusedClient = std::move(client);
        }
    }

    if (hConnection == 0) {
        m_log.append(kLineEnd + QStringLiteral("Couldn't connect to server"));
        LogInternetError(lastError, QStringLiteral("InternetConnect"));
        if (m_refusedClient)
            logConnectProblem(*m_refusedClient);
        m_refusedClient.reset();
        m_log.append(kLineEnd + QStringLiteral("No picture uploaded"));
        if (!job.scheduled)
            m_prompter.message(
                QStringLiteral("Couldn't connect to server. Make sure you are connected and check "
                               "your FTP settings, username and password."),
                Prompter::Icon::Critical);
        return result;
    }
    result.connected = true;

    m_log.append(kLineEnd + QStringLiteral("Connected to ") + job.host);
    m_log.append(kLineEnd + QStringLiteral("Uploading..."));
    if (send(job, job.localPicturePath, job.remotePicturePath)) {
        result.pictureUploaded = true;
        m_log.append(kLineEnd + QStringLiteral("Picture uploaded!"));
        if (job.successMessage)
            m_prompter.message(QStringLiteral("Picture uploaded successfully"), Prompter::Icon::Information);
    } else {
        m_log.append(kLineEnd + QStringLiteral("Couldn't upload"));
        LogInternetError(m_sendError, QStringLiteral("FtpPutFile"));
    }

    if (job.textFile) {
        m_log.append(kLineEnd + QStringLiteral("Uploading Textfile"));
        if (send(job, job.localTimePath, job.remoteTimePath)) {
            result.textFileUploaded = true;
            m_log.append(kLineEnd + QStringLiteral("Textfile uploaded"));
        } else {
            m_log.append(kLineEnd + QStringLiteral("Couldn't upload Textfile"));
            LogInternetError(m_sendError, QStringLiteral("FtpPutFile"));
        }
    }

    m_log.append(kLineEnd + QStringLiteral("Disconnecting..."));
    closeConnection();
    m_log.append(kLineEnd + QStringLiteral("Disconnected"));
    return result;
}

void FtpStage::logConnectProblem(const FtpClient& client)
{
    switch (client.lastError()) {
    case FtpClient::Error::HostKeyRefused:
        if (client.hostKeyProblem() == FtpClient::HostKeyProblem::Changed)
            m_log.append(kLineEnd + QStringLiteral("Host key changed: the server's key ") +
                         client.hostKeyFingerprint() + QStringLiteral(" differs from known_hosts"));
        else
            m_log.append(kLineEnd + QStringLiteral("Unknown host key: ") + client.hostKeyFingerprint() +
                         QStringLiteral(" is not in known_hosts (trust it with Test in Upload Settings)"));
        break;
    case FtpClient::Error::CertificateRefused:
        m_log.append(kLineEnd + QStringLiteral("Certificate refused: ") + client.failureText());
        break;
    default:
        break;
    }
}

bool FtpStage::send(const FtpJob& job, const QString& local, const QString& remote)
{
    FtpClient* client = m_client.get();
    const bool textMode = transferType == kTransferAscii;
    const QString target = job.safeReplace ? FtpJob::temporaryPath(remote) : remote;
    const qint64 localSize = QFileInfo(local).size();
    const auto fail = [this, client, &job, &target] {
        m_sendError = static_cast<quint32>(client->lastError());
        m_lastResponse = client->lastReply();
        // The final name keeps the old file; the temporary one goes, quietly.
        if (job.safeReplace)
            WorkerCall::run([client, &target] { client->remove(target); });
        return false;
    };

    if (!WorkerCall::run(
            [client, &local, &target, textMode] { return client->put(local, target, textMode); }))
        return fail();

    // A text-mode transfer may change line ends, and with them the size.
    if (!textMode) {
        const std::optional<qint64> size =
            WorkerCall::run([client, &target] { return client->remoteSize(target); });
        if (!size && client->lastError() != FtpClient::Error::None)
            return fail();
        if (size && *size != localSize) {
            m_log.append(kLineEnd + QStringLiteral("Size mismatch: %1 bytes sent, %2 bytes on the server")
                                        .arg(localSize)
                                        .arg(*size));
            fail();
            m_sendError = static_cast<quint32>(FtpClient::Error::ConnectionAborted);
            return false;
        }
    }

    if (job.safeReplace) {
        m_log.append(kLineEnd + QStringLiteral("Renaming..."));
        if (!WorkerCall::run([client, &target, &remote] { return client->rename(target, remote); })) {
            m_log.append(kLineEnd + QStringLiteral("Couldn't rename"));
            return fail();
        }
    }
    m_sendError = 0;
    return true;
}
