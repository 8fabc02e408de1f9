#include "SshServer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QString kSshd = QStringLiteral("/usr/sbin/sshd");

bool makeKey(const QString& path, QString& error, const QString& type = QStringLiteral("ed25519"))
{
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".pub"));
    QByteArray output;
    if (ChildProcess::run(QStringLiteral("ssh-keygen"),
                          {QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"), QString(),
                           QStringLiteral("-f"), path},
                          10000, &output) != 0) {
        error = QStringLiteral("ssh-keygen failed: ") + QString::fromLocal8Bit(output);
        return false;
    }
    return true;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A port nobody listens on right now (the kernel's choice for a bound socket).
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}
} // namespace

SshServer::~SshServer()
{
    stop();
}

QString SshServer::user() const
{
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

QString SshServer::hostField() const
{
    return QStringLiteral("127.0.0.1:") + QString::number(m_port);
}

QString SshServer::knownHostsLine(const QString& publicKeyFile) const
{
    const QList<QByteArray> fields = readAll(publicKeyFile).split(' ');
    return QStringLiteral("[127.0.0.1]:%1 %2 %3\n")
        .arg(m_port)
        .arg(QString::fromLatin1(fields.value(0)), QString::fromLatin1(fields.value(1)));
}

bool SshServer::start()
{
    stop();
    m_startError.clear();
    if (!QFile::exists(kSshd)) {
        m_startError = kSshd + QStringLiteral(" is not installed");
        return false;
    }
    const QString hostKey = m_dir.filePath(QStringLiteral("host_key"));
    if (!makeKey(hostKey, m_startError) || !makeKey(clientKeyFile(), m_startError) ||
        !makeKey(strangerKeyFile(), m_startError) ||
        !makeKey(rsaKeyFile(), m_startError, QStringLiteral("rsa")))
        return false;
    const QList<QByteArray> hostFields = readAll(hostKey + QStringLiteral(".pub")).split(' ');
    m_fingerprint = QStringLiteral("SHA256:") +
                    QString::fromLatin1(QCryptographicHash::hash(QByteArray::fromBase64(hostFields.value(1)),
                                                                 QCryptographicHash::Sha256)
                                            .toBase64(QByteArray::OmitTrailingEquals));

    const QString authorized = m_dir.filePath(QStringLiteral("authorized_keys"));
    QFile::remove(authorized);
    QFile keys(authorized);
    if (!keys.open(QIODevice::WriteOnly) || keys.write(readAll(clientKeyFile() + QStringLiteral(".pub")) +
                                                       readAll(rsaKeyFile() + QStringLiteral(".pub"))) <= 0) {
        m_startError = QStringLiteral("cannot write ") + authorized;
        return false;
    }
    keys.close();
    QFile::setPermissions(authorized, QFile::ReadOwner | QFile::WriteOwner);

    // Run as root, sshd wants its privilege separation folder, which a container may lack.
    if (::geteuid() == 0 && !QFileInfo::exists(QStringLiteral("/run/sshd")))
        QDir().mkpath(QStringLiteral("/run/sshd"));

    m_port = freePort();
    const QString config = m_dir.filePath(QStringLiteral("sshd_config"));
    QFile file(config);
    if (m_port == 0 || !file.open(QIODevice::WriteOnly)) {
        m_startError = QStringLiteral("no port or no config file");
        return false;
    }
    file.write(QStringLiteral("Port %1\n"
                              "ListenAddress 127.0.0.1\n"
                              "HostKey %2\n"
                              "PidFile none\n"
                              "AuthorizedKeysFile %3\n"
                              "StrictModes no\n"
                              "PermitRootLogin yes\n"
                              "PasswordAuthentication yes\n"
                              "KbdInteractiveAuthentication no\n"
                              "UsePAM no\n"
                              "Subsystem sftp internal-sftp\n")
                   .arg(m_port)
                   .arg(hostKey, authorized)
                   .toLocal8Bit());
    file.close();

    if (!m_process.start(kSshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), config},
                         true)) {
        m_startError = m_process.error();
        return false;
    }
    const QByteArray output = m_process.readUntil("Server listening", 10000);
    if (output.contains("Server listening"))
        return true;
    m_startError = QStringLiteral("sshd did not start: ") + QString::fromLocal8Bit(output).trimmed();
    stop();
    return false;
}

void SshServer::stop()
{
    m_process.kill();
}
