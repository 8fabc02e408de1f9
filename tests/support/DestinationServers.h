#pragma once

#include "EnvScope.h"
#include "FtpServer.h"
#include "S3Server.h"
#include "SshServer.h"
#include "TempDir.h"
#include "VsftpdServer.h"
#include "WebDavServer.h"

#include <QDir>
#include <QFile>

#include <array>
#include <functional>
#include <memory>

// One real server of each kind of upload destination on the loopback interface, each started when
// first used, and the account values that point an account at it: for the tests and benchmarks
// that run the same uploads against every protocol.
class DestinationServers
{
public:
    enum Kind { PyFtp, Vsftpd, VsftpdTls, Sftp, WebDav, S3, kKinds };
    static constexpr std::array kNames{"FTP (pyftpdlib)", "FTP (vsftpd)",    "FTPS (vsftpd)",
                                       "SFTP (sshd)",     "WebDAV (Apache)", "S3 (s3rver)"};
    // Stores one account value.
    using Set = std::function<void(const QString& name, const QString& value)>;

    // Starts the server (once) and stores the account values for it, the picture's name "webcam"
    // in the server's own folder; empty when ready, otherwise why not.
    QString use(Kind kind, const Set& set)
    {
        if (!m_started[kind]) {
            const QString problem = start(kind);
            if (!problem.isEmpty())
                return problem;
            m_started[kind] = true;
        }
        set("Destination filename:", "webcam");
        set("Passive", "1");
        set("Remember password", "1");
        switch (kind) {
        case PyFtp:
            set("Host Name/Adress:", pyFtp.hostField());
            set("User ID:", FtpServer::kUser);
            set("Password:", FtpServer::kPassword);
            break;
        case Vsftpd:
        case VsftpdTls:
            set("Protocol", kind == VsftpdTls ? "FTPS" : "FTP");
            set("Verify certificate", "0");
            set("Host Name/Adress:", vsftpd.hostField());
            set("User ID:", VsftpdServer::kUser);
            set("Password:", VsftpdServer::kPassword);
            break;
        case Sftp:
            set("Protocol", "SFTP");
            set("Host Name/Adress:", ssh.hostField());
            set("User ID:", ssh.user());
            set("Key file", ssh.clientKeyFile());
            set("Initial Remote Site Folder:", ssh.remoteFolder() + '/');
            break;
        case WebDav:
            set("Protocol", "WebDAV");
            set("Host Name/Adress:", webDav.baseUrl());
            set("User ID:", WebDavServer::kUser);
            set("Password:", WebDavServer::kPassword);
            set("Initial Remote Site Folder:", "/www/");
            break;
        case S3:
            set("Protocol", "S3");
            set("Host Name/Adress:", s3.endpoint());
            set("User ID:", S3Server::kAccessKey);
            set("Password:", S3Server::kSecretKey);
            set("Bucket", S3Server::kBucket);
            set("Region", S3Server::kRegion);
            set("Initial Remote Site Folder:", "/www/");
            break;
        case kKinds:
            break;
        }
        return QString();
    }

    // The picture as it arrived on the server.
    QByteArray picture(Kind kind) const
    {
        switch (kind) {
        case PyFtp:
            return readFile(pyFtp.homeFile("webcam.jpg"));
        case Vsftpd:
        case VsftpdTls:
            return readFile(vsftpd.homeFile("webcam.jpg"));
        case Sftp:
            return readFile(ssh.remoteFolder() + "/webcam.jpg");
        case WebDav:
            return readFile(webDav.homeFile("www/webcam.jpg"));
        case S3:
            return s3.object("www/webcam.jpg");
        case kKinds:
            break;
        }
        return {};
    }

    FtpServer pyFtp;
    VsftpdServer vsftpd;
    SshServer ssh;
    WebDavServer webDav;
    S3Server s3;

private:
    QString start(Kind kind)
    {
        switch (kind) {
        case PyFtp:
            return pyFtp.start() ? QString() : pyFtp.startError();
        case Vsftpd:
        case VsftpdTls:
            // One vsftpd, with TLS or without.
            if (vsftpd.isRunning())
                return QStringLiteral("vsftpd already runs for the other of FTP and FTPS");
            return vsftpd.start({.tls = kind == VsftpdTls}) ? QString() : vsftpd.startError();
        case Sftp:
            if (!ssh.start())
                return ssh.startError();
            return trustSsh();
        case WebDav:
            if (!webDav.start())
                return webDav.startError();
            return webDav.putFile("www/webcam.jpg", "the old picture") ? QString()
                                                                       : QString("no folder www/");
        case S3:
            return s3.start() ? QString() : s3.startError();
        case kKinds:
            break;
        }
        return QStringLiteral("no such destination");
    }

    // An account checks the host key against ~/.ssh/known_hosts: HOME is a folder of its own.
    QString trustSsh()
    {
        m_home = std::make_unique<EnvScope>("HOME", m_homeDir.path().toUtf8());
        QDir(m_homeDir.path()).mkpath(".ssh");
        QFile known(m_homeDir.file(".ssh/known_hosts"));
        if (!known.open(QIODevice::WriteOnly) || known.write(ssh.knownHostsLine().toLatin1() + '\n') < 0)
            return QStringLiteral("known_hosts not written");
        return QString();
    }

    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TempDir m_homeDir;
    std::unique_ptr<EnvScope> m_home;
    std::array<bool, kKinds> m_started{};
};
