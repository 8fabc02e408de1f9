#pragma once

#include "upload/FtpJob.h"
#include "upload/FtpTimeouts.h"

#include <QString>
#include <QtGlobal>

#include <memory>

class FtpClient;
class FtpLog;
class Prompter;

// The FTP stage of an upload cycle: connects to the account's server, puts the picture and the time
// file, disconnects, and writes every step to the FTP log. The network calls run on a worker thread
// one at a time; the log lines and message boxes happen on the calling thread between them.
class FtpStage final
{
public:
    // Transfer types and connect flags in the numbering the fields use.
    static constexpr quint32 kTransferAscii = 1;
    static constexpr quint32 kTransferBinary = 2;
    static constexpr quint32 kFlagPassive = 0x08000000;

    FtpStage(FtpLog& log, Prompter& prompter, const FtpTimeouts& timeouts = {});
    ~FtpStage();
    FtpStage(const FtpStage&) = delete;
    FtpStage& operator=(const FtpStage&) = delete;

    FtpResult run(const FtpJob& job);

    // Adds the server's last reply to the log when code says the server answered with an error.
    void LogInternetError(quint32 code, const QString& operation);

    // Non-zero while the network library is ready; the stage's connects fail while it is 0.
    quintptr hSession = 0;
    // The connection of the running stage; 0 whenever none is open.
    quintptr hConnection = 0;
    // Both files go in binary mode, so the picture arrives byte for byte.
    quint32 transferType = kTransferBinary;
    // No passive flag: the server connects back for the data (active mode).
    quint32 connectFlags = 0;

private:
    void closeConnection();
    // Puts one file and makes sure it arrived whole under its final name: size check, and the
    // rename of a safe replace. Logs the new steps' lines; false when the file did not arrive.
    bool send(const FtpJob& job, const QString& local, const QString& remote);
    void logConnectProblem(const FtpClient& client);

    FtpLog& m_log;
    Prompter& m_prompter;
    FtpTimeouts m_timeouts;
    std::unique_ptr<FtpClient> m_client;
    // The client of a connect that failed, kept for a moment to log why.
    std::unique_ptr<FtpClient> m_refusedClient;
    quint32 m_sendError = 0;
    QString m_lastResponse;
    quintptr m_nextHandle = 1;
};
