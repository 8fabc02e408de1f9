#include "VsftpdServer.h"

#include "ServerLaunch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace {
const QString kVsftpd = QStringLiteral("/usr/sbin/vsftpd");
} // namespace

VsftpdServer::~VsftpdServer()
{
    stop();
}

bool VsftpdServer::start()
{
    return start(Options());
}

bool VsftpdServer::ensureUser()
{
    if (::getpwnam(kUser.toLocal8Bit().constData()))
        return true;
    QByteArray hash;
    if (ChildProcess::run(QStringLiteral("openssl"),
                          {QStringLiteral("passwd"), QStringLiteral("-6"), kPassword}, 10000, &hash) != 0) {
        m_startError = QStringLiteral("openssl passwd: ") + QString::fromLocal8Bit(hash);
        return false;
    }
    // Home "/" because vsftpd enters the home folder before the configured root; no shell, and no
    // PAM service of its own: PAM's "other" checks the password alone.
    QByteArray output;
    const int status = ChildProcess::run(
        QStringLiteral("useradd"),
        {QStringLiteral("--system"), QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"),
         QStringLiteral("/"), QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
         QStringLiteral("--password"), QString::fromLatin1(hash.trimmed()), kUser},
        20000, &output);
    // A test running beside this one may have made the account meanwhile.
    if (status == 0 || ::getpwnam(kUser.toLocal8Bit().constData()))
        return true;
    m_startError = QStringLiteral("useradd failed: ") + QString::fromLocal8Bit(output).trimmed();
    return false;
}

bool VsftpdServer::start(const Options& options)
{
    stop();
    m_options = options;
    m_startError.clear();
    if (!QFileInfo::exists(kVsftpd)) {
        m_startError = kVsftpd + QStringLiteral(" is not installed (scripts/setup.sh installs vsftpd)");
        return false;
    }
    if (::geteuid() != 0) {
        m_startError = QStringLiteral("vsftpd serves local users only when started as root");
        return false;
    }
    if (!m_home.isValid() || !m_scratch.isValid() || !ensureUser())
        return false;
    const passwd* user = ::getpwnam(kUser.toLocal8Bit().constData());
    // The session runs as the user, chrooted into the home folder; "ro" stays root's.
    if (!user || ::chown(QFile::encodeName(home()).constData(), user->pw_uid, user->pw_gid) != 0 ||
        !QDir(home()).mkpath(QStringLiteral("ro")) ||
        !QDir(m_scratch.path()).mkpath(QStringLiteral("empty"))) {
        m_startError = QStringLiteral("cannot prepare the home folder");
        return false;
    }
    if (m_options.tls && !QFileInfo::exists(m_certificates.caFile()) &&
        !m_certificates.make(m_scratch.path())) {
        m_startError = m_certificates.error();
        return false;
    }
    QFile::remove(m_scratch.filePath(QStringLiteral("vsftpd.log")));

    const QString configFile = m_scratch.filePath(QStringLiteral("vsftpd.conf"));
    // The port is free when chosen but may be taken before vsftpd binds it: then another one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = ServerLaunch::freePort();
        QFile config(configFile);
        if (m_port == 0 || !config.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            config.write(configuration().toUtf8()) <= 0) {
            m_startError = QStringLiteral("no free port or cannot write ") + configFile;
            return false;
        }
        config.close();
        const QStringList command = ServerLaunch::contained(kVsftpd, {configFile});
        if (!m_process.start(command.first(), command.mid(1), true)) {
            m_startError = m_process.error();
            return false;
        }
        if (ServerLaunch::waitForListener(m_port, m_process, 10000))
            return true;
        const QByteArray output = m_process.isRunning() ? QByteArray() : m_process.readUntil({}, 1000);
        m_startError = QStringLiteral("vsftpd did not start: ") + QString::fromLocal8Bit(output).trimmed();
        stop();
        if (!output.contains("could not bind"))
            return false;
    }
    return false;
}

QString VsftpdServer::configuration() const
{
    // No seccomp sandbox and no namespaces of vsftpd's own: containers refuse them. The log has
    // every command and reply (log_ftp_protocol) and a line per login.
    QString text = QStringLiteral("listen=YES\n"
                                  "listen_ipv6=NO\n"
                                  "listen_address=127.0.0.1\n"
                                  "listen_port=%1\n"
                                  "background=NO\n"
                                  "anonymous_enable=NO\n"
                                  "local_enable=YES\n"
                                  "write_enable=YES\n"
                                  "local_umask=022\n"
                                  "local_root=%2\n"
                                  "chroot_local_user=YES\n"
                                  "allow_writeable_chroot=YES\n"
                                  "pam_service_name=velmora-test-ftp\n"
                                  "secure_chroot_dir=%3/empty\n"
                                  "seccomp_sandbox=NO\n"
                                  "isolate=NO\n"
                                  "isolate_network=NO\n"
                                  "connect_from_port_20=NO\n"
                                  "pasv_enable=YES\n"
                                  "port_enable=YES\n"
                                  "xferlog_enable=YES\n"
                                  "xferlog_std_format=NO\n"
                                  "vsftpd_log_file=%3/vsftpd.log\n"
                                  "log_ftp_protocol=YES\n"
                                  "userlist_enable=NO\n"
                                  "tcp_wrappers=NO\n"
                                  "idle_session_timeout=%4\n"
                                  "data_connection_timeout=60\n"
                                  "delay_failed_login=%5\n")
                       .arg(m_port)
                       .arg(home(), m_scratch.path())
                       .arg(m_options.idleSeconds)
                       .arg(m_options.delayFailedLogin ? 1 : 0);
    if (m_options.tls)
        text += QStringLiteral("ssl_enable=YES\n"
                               "rsa_cert_file=%1\n"
                               "rsa_private_key_file=%1\n"
                               "force_local_logins_ssl=YES\n"
                               "force_local_data_ssl=YES\n"
                               "require_ssl_reuse=NO\n"
                               "ssl_ciphers=HIGH\n")
                    .arg(m_certificates.pemFile());
    return text;
}

void VsftpdServer::stop()
{
    m_process.kill();
}

QString VsftpdServer::log() const
{
    return QString::fromLocal8Bit(ServerLaunch::readFile(m_scratch.filePath(QStringLiteral("vsftpd.log"))));
}

int VsftpdServer::count(const char* marker) const
{
    return static_cast<int>(
        ServerLaunch::readFile(m_scratch.filePath(QStringLiteral("vsftpd.log"))).count(marker));
}

QStringList VsftpdServer::commands() const
{
    // Lines read: ... [pid 12] [user] FTP command: Client "127.0.0.1", "STOR a.jpg"
    QStringList commands;
    const QString marker = QStringLiteral("FTP command: Client \"");
    for (const QString& line : log().split(QLatin1Char('\n'))) {
        const qsizetype at = line.indexOf(marker);
        const qsizetype start = line.indexOf(QStringLiteral(", \""), at);
        if (at >= 0 && start > at && line.endsWith(QLatin1Char('"')))
            commands << line.mid(start + 3, line.size() - start - 4);
    }
    return commands;
}
