#pragma once

#include "ChildProcess.h"

#include <QString>
#include <QTemporaryDir>

// A real SFTP server on the loopback interface for tests: OpenSSH's sshd started on a free port
// with its own host key and configuration, serving the current user with sftp. A client key pair
// made for the test is authorised; password logins are allowed too. Killed with the object.
class SshServer final
{
public:
    SshServer() = default;
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    // Makes the keys, starts sshd and waits (a few seconds at most) until it listens.
    bool start();
    void stop();

    QString hostField() const;
    QString user() const;
    // The authorised private key; its public half is beside it with ".pub".
    QString clientKeyFile() const { return m_dir.filePath(QStringLiteral("client_key")); }
    // An RSA key pair (3072 bits, OpenSSH's format) that is authorised too; the server keeps
    // OpenSSH's default accepted algorithms, which leave out SHA-1 signatures (ssh-rsa).
    QString rsaKeyFile() const { return m_dir.filePath(QStringLiteral("rsa_key")); }
    // A second key pair that the server does not know.
    QString strangerKeyFile() const { return m_dir.filePath(QStringLiteral("stranger_key")); }
    // The server's host key in OpenSSH's "SHA256:..." form.
    QString hostKeyFingerprint() const { return m_fingerprint; }
    // A known_hosts line for this server's host key (or for another key of the same type).
    QString knownHostsLine() const { return knownHostsLine(m_dir.filePath(QStringLiteral("host_key.pub"))); }
    QString foreignKnownHostsLine() const
    {
        return knownHostsLine(strangerKeyFile() + QStringLiteral(".pub"));
    }
    // A folder the test may upload into, by absolute path.
    QString remoteFolder() const { return m_remote.path(); }
    const QString& startError() const { return m_startError; }

private:
    QString knownHostsLine(const QString& publicKeyFile) const;

    QTemporaryDir m_dir;
    QTemporaryDir m_remote;
    ChildProcess m_process;
    int m_port = 0;
    QString m_fingerprint;
    QString m_startError;
};
