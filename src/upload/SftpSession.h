#pragma once

#include "upload/CurlSession.h"

// SFTP over libcurl's libssh2: a password or key login, the server's host key checked against
// known_hosts (an unknown one added only when the user agreed to its fingerprint), sizes from the
// file's attributes, renames and removals as SFTP commands. There are no reply lines: the
// server's status comes in the network library's words.
class SftpSession final : public CurlSession
{
public:
    SftpSession(const FtpTimeouts& timeouts, const Settings& settings);
    ~SftpSession() override;
    Q_DISABLE_COPY_MOVE(SftpSession)

    Result<void> connect(const QString& host, const QString& user, const QString& password) override;
    Result<void> remove(const QString& remotePath) override;
    // The target is removed first, since OpenSSH's server refuses to rename onto an existing file.
    Result<void> rename(const QString& fromPath, const QString& toPath) override;
    bool renamesOntoFreeNamesOnly() const override { return false; }
    HostKeyProblem hostKeyProblem() const override { return m_hostKeyProblem; }
    QString hostKeyFingerprint() const override { return m_hostKeyFingerprint; }

    // OpenSSH's fingerprint form of a raw public key blob.
    static QString sha256Fingerprint(const QByteArray& keyBlob);
    static QString defaultKnownHostsFile();

protected:
    QByteArray scheme() const override { return "sftp"; }
    int defaultPort() const override { return 22; }
    bool readyToLogIn() override;
    void configure(void* curl, const QString& user, const QString& password) override;
    // "/~/" starts a path in the login (home) folder, like FTP's relative paths.
    QByteArray loginFolderUrl() const override { return baseUrl() + "~/"; }
    QByteArray urlFor(const QString& remotePath) const override;
    Result<std::optional<qint64>> sizeOtherwise(const QString& remotePath) override;
    bool explainBeforeReply() override;
    bool explainProtocolFailure(int curlCode, const QString& detail) override;

private:
    static int onHostKey(void* handle, const void* knownKey, const void* foundKey, int match, void* self);

    HostKeyProblem m_hostKeyProblem = HostKeyProblem::None;
    QString m_hostKeyFingerprint;
};
