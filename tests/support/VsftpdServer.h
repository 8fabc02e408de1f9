#pragma once

#include "ChildProcess.h"
#include "TestCertificates.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real vsftpd on the loopback interface for tests: a private instance with its own configuration
// and log, serving the local user kUser (password kPassword; a system account without a shell that
// start() creates once on the machine) chrooted into a fresh home folder, with a read-only
// subfolder "ro"; passive and active data connections. Its log shows every login, so that tests
// can count how often a client logged in. Needs root, as vsftpd does for local users (CI runs as
// root). Killed with the object, with every session process it forked.
class VsftpdServer final
{
public:
    struct Options
    {
        bool tls = false;              // explicit TLS required for logins and data, with a certificate
                                       // of a CA made for the test: caFile()
        int idleSeconds = 300;         // an idle session is closed after this long (421)
        bool delayFailedLogin = false; // vsftpd's pause of a second after a wrong password
    };

    static inline const QString kUser = QStringLiteral("velmora-ftp");
    static inline const QString kPassword = QStringLiteral("secret");

    VsftpdServer() = default;
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    // Starts vsftpd and waits (a few seconds at most) until it listens.
    bool start(const Options& options);
    bool start();
    void stop();
    bool isRunning() { return m_process.isRunning(); }

    // The account's host field for this server: "127.0.0.1:port".
    QString hostField() const { return QStringLiteral("127.0.0.1:") + QString::number(m_port); }
    int port() const { return m_port; }
    // The session's root folder ("/" of the FTP session), and a file in it.
    QString home() const { return m_home.path(); }
    QString homeFile(const QString& relative) const { return m_home.filePath(relative); }
    QString caFile() const { return m_certificates.caFile(); }

    // Since the start: successful and refused logins, connections accepted, and every command
    // received ("PASS <password>" as vsftpd logs it), in order.
    int logins() const { return count(" OK LOGIN: "); }
    int failedLogins() const { return count(" FAIL LOGIN: "); }
    int connections() const { return count(" CONNECT: "); }
    QStringList commands() const;
    // vsftpd's log as it stands, for failure messages.
    QString log() const;
    const QString& startError() const { return m_startError; }

private:
    bool ensureUser();
    QString configuration() const;
    int count(const char* marker) const;

    QTemporaryDir m_home;
    QTemporaryDir m_scratch;
    ChildProcess m_process;
    TestCertificates m_certificates;
    Options m_options;
    int m_port = 0;
    QString m_startError;
};
