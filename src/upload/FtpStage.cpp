#include "upload/FtpStage.h"

#include "common/DateTimeText.h"
#include "common/Prompter.h"
#include "upload/FtpClient.h"
#include "upload/FtpLog.h"
#include "upload/WorkerCall.h"

#include <QDateTime>

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
        auto client = std::make_unique<FtpClient>(m_timeouts, (connectFlags & kFlagPassive) != 0);
        const bool connected =
            WorkerCall::run([&client, &job] { return client->connect(job.host, job.user, job.password); });
        lastError = static_cast<quint32>(client->lastError());
        m_lastResponse = client->lastReply();
        if (connected) {
            m_client = std::move(client);
            hConnection = m_nextHandle++;
        }
    }

    if (hConnection == 0) {
        m_log.append(kLineEnd + QStringLiteral("Couldn't connect to server"));
        LogInternetError(lastError, QStringLiteral("InternetConnect"));
        m_log.append(kLineEnd + QStringLiteral("No picture uploaded"));
        if (!job.scheduled)
            m_prompter.message(
                QStringLiteral("Couldn't connect to server. Make sure you are connected and check "
                               "your FTP settings, username and password."),
                Prompter::Icon::Critical);
        return result;
    }
    result.connected = true;

    FtpClient* client = m_client.get();
    const bool textMode = transferType == kTransferAscii;
    const auto put = [this, client, textMode](const QString& local, const QString& remote) {
        const bool ok = WorkerCall::run(
            [client, &local, &remote, textMode] { return client->put(local, remote, textMode); });
        m_lastResponse = client->lastReply();
        return ok;
    };

    m_log.append(kLineEnd + QStringLiteral("Connected to ") + job.host);
    m_log.append(kLineEnd + QStringLiteral("Uploading..."));
    if (put(job.localPicturePath, job.remotePicturePath)) {
        result.pictureUploaded = true;
        m_log.append(kLineEnd + QStringLiteral("Picture uploaded!"));
        if (job.successMessage)
            m_prompter.message(QStringLiteral("Picture uploaded successfully"), Prompter::Icon::Information);
    } else {
        m_log.append(kLineEnd + QStringLiteral("Couldn't upload"));
        LogInternetError(static_cast<quint32>(client->lastError()), QStringLiteral("FtpPutFile"));
    }

    if (job.textFile) {
        m_log.append(kLineEnd + QStringLiteral("Uploading Textfile"));
        if (put(job.localTimePath, job.remoteTimePath)) {
            result.textFileUploaded = true;
            m_log.append(kLineEnd + QStringLiteral("Textfile uploaded"));
        } else {
            m_log.append(kLineEnd + QStringLiteral("Couldn't upload Textfile"));
            LogInternetError(static_cast<quint32>(client->lastError()), QStringLiteral("FtpPutFile"));
        }
    }

    m_log.append(kLineEnd + QStringLiteral("Disconnecting..."));
    closeConnection();
    m_log.append(kLineEnd + QStringLiteral("Disconnected"));
    return result;
}
