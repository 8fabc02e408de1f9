#include "WebDavServer.h"

#include "ServerLaunch.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {
const QString kApache = QStringLiteral("/usr/sbin/apache2");
const QString kModules = QStringLiteral("/usr/lib/apache2/modules/");

bool writeFile(const QString& path, const QByteArray& content, QFile::Permissions permissions)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() &&
           file.setPermissions(permissions);
}

const QFile::Permissions kReadable =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther;
const QFile::Permissions kRunnable =
    kReadable | QFile::ExeOwner | QFile::ExeUser | QFile::ExeGroup | QFile::ExeOther;
} // namespace

WebDavServer::~WebDavServer()
{
    stop();
}

bool WebDavServer::start()
{
    return start(Options());
}

bool WebDavServer::start(const Options& options)
{
    stop();
    m_options = options;
    m_startError.clear();
    if (!QFileInfo::exists(kApache)) {
        m_startError = kApache + QStringLiteral(" is not installed (scripts/setup.sh installs apache2)");
        return false;
    }
    if (!m_home.isValid() || !m_scratch.isValid()) {
        m_startError = QStringLiteral("no temporary folder");
        return false;
    }
    return prepare() && launch();
}

bool WebDavServer::giveToServer(const QString& path) const
{
    return ::geteuid() != 0 || ::chown(QFile::encodeName(path).constData(), m_uid, m_gid) == 0;
}

bool WebDavServer::prepare()
{
    // Apache will not serve as root: its workers change to "nobody", which must reach the home
    // folder, the lock database, the password files and the CGI in the scratch folder.
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) {
            m_startError = QStringLiteral("no user \"nobody\" for Apache's workers");
            return false;
        }
        const group* nogroup = ::getgrnam("nogroup");
        m_uid = nobody->pw_uid;
        m_gid = nogroup ? nogroup->gr_gid : nobody->pw_gid;
    }
    const QString scratch = m_scratch.path();
    QFile::setPermissions(scratch, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup |
                                       QFile::ExeOther);
    QFile::remove(m_scratch.filePath(QStringLiteral("requests.log")));
    QFile::remove(m_scratch.filePath(QStringLiteral("error.log")));
    const QDir scratchDir(scratch);
    const QDir homeDir(home());
    bool made = giveToServer(home());
    for (const char* folder : {"ro", "full", "slow", "short"})
        made = made && homeDir.mkpath(QString::fromLatin1(folder)) &&
               giveToServer(homeFile(QString::fromLatin1(folder)));
    for (const char* folder : {"locks", "cgi", "run", "empty", "certs"})
        made = made && scratchDir.mkpath(QString::fromLatin1(folder));
    made = made && giveToServer(m_scratch.filePath(QStringLiteral("locks")));
    if (!made) {
        m_startError = QStringLiteral("cannot make the server's folders");
        return false;
    }

    // The CGI runs as the server's user, who may not reach an interpreter below a person's home
    // folder: the system's, named on its first line.
    const QByteArray fault =
        ServerLaunch::readFile(QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/webdav_fault.py"));
    if (fault.isEmpty() || !writeFile(m_scratch.filePath(QStringLiteral("cgi/fault.py")),
                                      "#!/usr/bin/python3\n" + fault, kRunnable)) {
        m_startError = QStringLiteral("cannot install the CGI for slow/, short/ and hostile/");
        return false;
    }

    // htpasswd makes the Basic file; htdigest only reads a password from a terminal, so the Digest
    // file's one line (user:realm:MD5 of user:realm:password) is written here.
    const QString basicFile = m_scratch.filePath(QStringLiteral("htpasswd"));
    QByteArray output;
    if (ChildProcess::run(QStringLiteral("htpasswd"),
                          {QStringLiteral("-c"), QStringLiteral("-b"), basicFile, kUser, kPassword}, 10000,
                          &output) != 0 ||
        !QFile::setPermissions(basicFile, kReadable)) {
        m_startError = QStringLiteral("htpasswd failed: ") + QString::fromLocal8Bit(output).trimmed();
        return false;
    }
    const QByteArray scope = (kUser + QLatin1Char(':') + kRealm).toUtf8();
    if (!writeFile(
            m_scratch.filePath(QStringLiteral("htdigest")),
            scope + ':' +
                QCryptographicHash::hash(scope + ':' + kPassword.toUtf8(), QCryptographicHash::Md5).toHex() +
                '\n',
            kReadable)) {
        m_startError = QStringLiteral("cannot write the Digest password file");
        return false;
    }
    if (m_options.https && !QFileInfo::exists(m_certificates.caFile()) &&
        !m_certificates.make(m_scratch.filePath(QStringLiteral("certs")))) {
        m_startError = m_certificates.error();
        return false;
    }
    return true;
}

bool WebDavServer::launch()
{
    const QString configFile = m_scratch.filePath(QStringLiteral("httpd.conf"));
    // The port is free when chosen but may be taken before Apache binds it: then another one.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = ServerLaunch::freePort();
        if (m_port == 0 || !writeFile(configFile, configuration().toUtf8(), kReadable)) {
            m_startError = QStringLiteral("no free port or cannot write ") + configFile;
            return false;
        }
        const QStringList command = ServerLaunch::contained(
            kApache, {QStringLiteral("-f"), configFile, QStringLiteral("-DFOREGROUND")});
        if (!m_process.start(command.first(), command.mid(1), true)) {
            m_startError = m_process.error();
            return false;
        }
        if (ServerLaunch::waitForListener(m_port, m_process, 10000))
            return true;
        const QString output =
            QString::fromLocal8Bit(m_process.isRunning() ? QByteArray() : m_process.readUntil({}, 1000));
        m_startError = QStringLiteral("Apache did not start: ") + (output + errorLog()).trimmed();
        stop();
        if (!m_startError.contains(QStringLiteral("Address already in use")))
            return false;
    }
    return false;
}

QString WebDavServer::configuration() const
{
    const QString scratch = m_scratch.path();
    QString modules;
    for (const char* module :
         {"mpm_event", "authn_core", "authn_file", "authz_core", "authz_user", "auth_basic", "auth_digest",
          "dav", "dav_fs", "alias", "rewrite", "cgi", "env", "mime"})
        modules +=
            QStringLiteral("LoadModule %1_module %2mod_%1.so\n").arg(QString::fromLatin1(module), kModules);
    if (m_options.https)
        modules += QStringLiteral("LoadModule socache_shmcb_module %1mod_socache_shmcb.so\n"
                                  "LoadModule ssl_module %1mod_ssl.so\n")
                       .arg(kModules);

    QString auth;
    if (m_options.auth == Auth::Basic)
        auth = QStringLiteral("  AuthType Basic\n  AuthBasicProvider file\n  AuthUserFile \"%1/htpasswd\"\n")
                   .arg(scratch);
    else
        auth =
            QStringLiteral("  AuthType Digest\n  AuthDigestProvider file\n  AuthUserFile \"%1/htdigest\"\n")
                .arg(scratch);
    auth += QStringLiteral("  AuthName \"%1\"\n").arg(kRealm);

    QString text = QStringLiteral("ServerRoot \"%1\"\n"
                                  "ServerName 127.0.0.1\n"
                                  "Listen 127.0.0.1:%2\n"
                                  "PidFile \"%1/run/httpd.pid\"\n"
                                  "DefaultRuntimeDir \"%1/run\"\n"
                                  "ErrorLog \"%1/error.log\"\n"
                                  "LogLevel warn\n")
                       .arg(scratch)
                       .arg(m_port);
    if (::geteuid() == 0)
        text += QStringLiteral("User #%1\nGroup #%2\n").arg(m_uid).arg(m_gid);
    text += modules;
    // One worker process with threads enough for the tests' parallel connections.
    text += QStringLiteral("StartServers 1\nServerLimit 1\nThreadLimit 16\nThreadsPerChild 16\n"
                           "MaxRequestWorkers 16\nMinSpareThreads 1\nMaxSpareThreads 16\n"
                           "Timeout 30\n");
    text += m_options.keepAliveSeconds > 0
                ? QStringLiteral("KeepAlive On\nKeepAliveTimeout %1\n").arg(m_options.keepAliveSeconds)
                : QStringLiteral("KeepAlive Off\n");
    if (m_options.https)
        text += QStringLiteral("SSLEngine on\n"
                               "SSLCertificateFile \"%1\"\n"
                               "SSLCertificateKeyFile \"%2\"\n"
                               "SSLSessionCache \"shmcb:%3/run/ssl_cache(512000)\"\n")
                    .arg(m_certificates.certificateFile(), m_certificates.keyFile(), scratch);
    // The request's own path is kept for the log before the PUTs for slow/ and short/ are
    // rewritten to the CGI.
    text += QStringLiteral(
                "TypesConfig /etc/mime.types\n"
                "LogFormat \"%m\\t%{VELMORA_TARGET}e%q\\t%>s\\t%k\\tContent-Type=%{Content-Type}i"
                "\\tCache-Control=%{Cache-Control}i\\tContent-Length=%{Content-Length}i"
                "\\tOverwrite=%{Overwrite}i\\tDestination=%{Destination}i\\tDepth=%{Depth}i\" velmora\n"
                "CustomLog \"%1/requests.log\" velmora\n"
                "DavLockDB \"%1/locks/lock\"\n"
                "DocumentRoot \"%1/empty\"\n"
                "Alias /dav \"%2\"\n"
                "ScriptAlias /fault-cgi/ \"%1/cgi/\"\n"
                "RewriteEngine On\n"
                "RewriteRule ^ - [E=VELMORA_TARGET:%{REQUEST_URI}]\n"
                "RewriteCond %{REQUEST_METHOD} =PUT\n"
                "RewriteRule ^/dav/((slow|short)/.*)$ /fault-cgi/fault.py/$1 [PT]\n"
                "RewriteCond %{REQUEST_METHOD} =PROPFIND\n"
                "RewriteRule ^/dav/(hostile/.*)$ /fault-cgi/fault.py/$1 [PT]\n"
                "<Directory \"%2\">\n"
                "  Dav On\n"
                "  Options None\n"
                "  AllowOverride None\n"
                "%3"
                "  Require valid-user\n"
                "</Directory>\n"
                "<Directory \"%2/ro\">\n"
                "  <RequireAll>\n"
                "    Require valid-user\n"
                "    Require method GET HEAD OPTIONS PROPFIND\n"
                "  </RequireAll>\n"
                "</Directory>\n"
                "<Directory \"%2/full\">\n"
                "  Options +SymLinksIfOwnerMatch\n"
                "  RewriteEngine On\n"
                "  RewriteCond %{REQUEST_METHOD} =PUT\n"
                "  RewriteRule ^ - [R=507]\n"
                "</Directory>\n"
                "<Directory \"%1/cgi\">\n"
                "  Options +ExecCGI\n"
                "%3"
                "  Require valid-user\n"
                "  SetEnv VELMORA_DAV_HOME \"%2\"\n"
                "  SetEnv VELMORA_SLOW_MS %4\n"
                "</Directory>\n")
                .arg(scratch, home(), auth)
                .arg(m_options.slowMs);
    return text;
}

void WebDavServer::stop()
{
    m_process.kill();
}

QString WebDavServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2/dav/")
        .arg(m_options.https ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_port);
}

bool WebDavServer::putFile(const QString& relative, const QByteArray& content) const
{
    const QString path = homeFile(relative);
    const QString parent = QFileInfo(path).path();
    // Each folder made on the way belongs to the server's user too.
    QStringList missing;
    for (QString folder = parent; !QFileInfo::exists(folder) && folder.startsWith(home());
         folder = QFileInfo(folder).path())
        missing.prepend(folder);
    for (const QString& folder : missing) {
        if (!QDir().mkdir(folder) || !giveToServer(folder))
            return false;
    }
    return writeFile(path, content, kReadable) && giveToServer(path);
}

QString WebDavServer::errorLog() const
{
    return QString::fromLocal8Bit(ServerLaunch::readFile(m_scratch.filePath(QStringLiteral("error.log"))));
}
