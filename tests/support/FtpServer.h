#pragma once

#include "ChildProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real FTP server on the loopback interface for tests: pyftpdlib in a child process, user "cam"
// with password "secret", a fresh home folder with a read-only subfolder "ro". The process is
// killed with the object.
class FtpServer final
{
public:
    enum class DataMode { Both, ActiveOnly, PassiveOnly };

    struct Options
    {
        QString address = QStringLiteral("127.0.0.1"); // or "::1"
        DataMode dataMode = DataMode::Both;
        QString loginDir{};            // folder below home the session starts in; home when empty
        int readLimit = 0;             // data bytes per second the server reads; 0 = no limit
        bool stallAfterUpload = false; // takes a file and never sends the final reply
        int errorLines = 1;            // error replies come in this many lines
        bool mute = false;             // accepts TCP connections and never answers
        QString tlsCertificate{};      // PEM with certificate and key: explicit TLS required
        bool truncateStored = false;   // every stored file loses its last byte
        bool noSize = false;           // SIZE is an unknown command
        bool refuseRename = false;     // RNTO is refused
        bool refuseRenameOver = false; // RNTO onto an existing name is refused
        bool refuseList = false;       // LIST, NLST and MLSD are refused
        QString stallAt{};             // this command is taken and never answered ("STOR", "QUIT")
        bool noDataConnection = false; // active mode is agreed to, but the server never connects
        int slowStorMs = 0;            // the final reply of each STOR comes this late
        bool noMlst = false;           // MLST is an unknown command
        bool noList = false;           // LIST is an unknown command
        int keepBytes = 0;             // every stored file keeps only its first bytes, yet 226
        QString storReply{};           // every STOR is answered with this (Python escapes)
        bool closedPassive = false;    // PASV and EPSV name a port where nobody listens
        int slowGreetingMs = 0;        // each connection is greeted this late
        int trickleMs = 0;             // the data is read 1 KB at a time, this many ms apart
        int growStored = 0;            // every stored file gets this many bytes more, yet 226
        bool refuseDele = false;       // DELE is refused
    };

    static inline const QString kUser = QStringLiteral("cam");
    static inline const QString kPassword = QStringLiteral("secret");

    FtpServer() = default;
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    // Starts the server and waits (a few seconds at most) until it listens.
    bool start(const Options& options);
    bool start();
    void stop();
    bool isRunning() { return m_process.isRunning(); }

    // The account's host field for this server: "127.0.0.1:port" or "[::1]:port".
    QString hostField() const;
    // The server's root folder ("/" of the FTP session).
    QString home() const { return m_home.path(); }
    QString homeFile(const QString& relative) const { return m_home.filePath(relative); }
    // Every command line the server received since it was last started, in order; a mute server
    // logs "CONNECT" for each connection it accepted.
    QStringList commands() const;
    // Makes a self-signed certificate for 127.0.0.1 with openssl into folder; returns the PEM file
    // holding certificate and key (empty on failure, error says why). commonName: the subject's
    // name; without the address as an alternative name unless it is the address itself.
    static QString makeCertificate(const QString& folder, QString* error = nullptr,
                                   const QString& commonName = QStringLiteral("127.0.0.1"));
    // What went wrong when start() failed.
    const QString& startError() const { return m_startError; }

private:
    QTemporaryDir m_home;
    QTemporaryDir m_scratch;
    ChildProcess m_process;
    Options m_options;
    int m_port = 0;
    QString m_startError;
};
