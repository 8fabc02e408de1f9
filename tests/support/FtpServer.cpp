#include "FtpServer.h"

#include "ScriptServer.h"

#include <QFile>

FtpServer::~FtpServer()
{
    stop();
}

bool FtpServer::start()
{
    return start(Options());
}

bool FtpServer::start(const Options& options)
{
    stop();
    m_options = options;
    m_port = 0;
    m_startError.clear();
    QFile::remove(m_scratch.filePath(QStringLiteral("commands.log")));
    QStringList arguments{
        QStringLiteral("--host"),        options.address,
        QStringLiteral("--home"),        m_home.path(),
        QStringLiteral("--command-log"), m_scratch.filePath(QStringLiteral("commands.log"))};
    const auto add = [&arguments](bool wanted, const char* flag, const QString& value = QString()) {
        if (wanted)
            arguments << QString::fromLatin1(flag);
        if (wanted && !value.isEmpty())
            arguments << value;
    };
    add(options.dataMode == DataMode::ActiveOnly, "--data", QStringLiteral("active"));
    add(options.dataMode == DataMode::PassiveOnly, "--data", QStringLiteral("passive"));
    add(!options.loginDir.isEmpty(), "--login-dir", options.loginDir);
    add(options.readLimit > 0, "--read-limit", QString::number(options.readLimit));
    add(options.stallAfterUpload, "--stall-after-upload");
    add(options.errorLines > 1, "--error-lines", QString::number(options.errorLines));
    add(options.mute, "--mute");
    add(!options.tlsCertificate.isEmpty(), "--tls", options.tlsCertificate);
    add(options.truncateStored, "--truncate-stored");
    add(options.noSize, "--no-size");
    add(options.refuseRename, "--refuse-rename");
    add(options.refuseRenameOver, "--refuse-rename-over");
    add(options.refuseList, "--refuse-list");
    add(!options.stallAt.isEmpty(), "--stall-at", options.stallAt);
    add(options.noDataConnection, "--no-data-connection");
    add(options.slowStorMs > 0, "--slow-stor", QString::number(options.slowStorMs));
    add(options.noMlst, "--no-mlst");
    add(options.noList, "--no-list");
    add(options.keepBytes > 0, "--keep-bytes", QString::number(options.keepBytes));
    add(!options.storReply.isEmpty(), "--stor-reply", options.storReply);
    add(options.closedPassive, "--closed-passive");
    add(options.slowGreetingMs > 0, "--slow-greeting", QString::number(options.slowGreetingMs));
    add(options.trickleMs > 0, "--trickle", QString::number(options.trickleMs));
    add(options.growStored > 0, "--grow-stored", QString::number(options.growStored));
    add(options.refuseDele, "--refuse-dele");

    // Started with fork and exec, like ScriptServer's servers: see ChildProcess.
    if (!m_process.start(ScriptServer::python(),
                         QStringList{QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/ftp_server.py")} +
                             arguments)) {
        m_startError = m_process.error();
        return false;
    }
    const QByteArray output = m_process.readUntil("PORT ", 10000);
    const qsizetype at = output.indexOf("PORT ");
    const qsizetype end = output.indexOf('\n', at);
    if (at >= 0 && end > at) {
        m_port = output.mid(at + 5, end - at - 5).trimmed().toInt();
        if (m_port > 0)
            return true;
    }
    m_startError = QString::fromLocal8Bit(output) + QStringLiteral(" (no port from the server)");
    stop();
    return false;
}

QString FtpServer::makeCertificate(const QString& folder, QString* error, const QString& commonName)
{
    const QString key = folder + QStringLiteral("/server.key");
    const QString certificate = folder + QStringLiteral("/server.crt");
    QByteArray output;
    QStringList arguments{QStringLiteral("req"),
                          QStringLiteral("-x509"),
                          QStringLiteral("-newkey"),
                          QStringLiteral("rsa:2048"),
                          QStringLiteral("-nodes"),
                          QStringLiteral("-keyout"),
                          key,
                          QStringLiteral("-out"),
                          certificate,
                          QStringLiteral("-days"),
                          QStringLiteral("2"),
                          QStringLiteral("-utf8"),
                          QStringLiteral("-subj"),
                          QStringLiteral("/CN=") + commonName};
    if (commonName == QStringLiteral("127.0.0.1"))
        arguments << QStringLiteral("-addext") << QStringLiteral("subjectAltName=IP:127.0.0.1");
    const int status = ChildProcess::run(QStringLiteral("openssl"), arguments, 30000, &output);
    if (status != 0) {
        if (error)
            *error = QString::fromLocal8Bit(output);
        return {};
    }
    QFile keyFile(key);
    QFile certificateFile(certificate);
    QFile pem(folder + QStringLiteral("/server.pem"));
    if (!keyFile.open(QIODevice::ReadOnly) || !certificateFile.open(QIODevice::ReadOnly) ||
        !pem.open(QIODevice::WriteOnly))
        return {};
    pem.write(certificateFile.readAll() + keyFile.readAll());
    return pem.fileName();
}

void FtpServer::stop()
{
    m_process.kill();
}

QString FtpServer::hostField() const
{
    const QString host = m_options.address.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + m_options.address + QLatin1Char(']')
                             : m_options.address;
    return host + QLatin1Char(':') + QString::number(m_port);
}

QStringList FtpServer::commands() const
{
    QFile file(m_scratch.filePath(QStringLiteral("commands.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
