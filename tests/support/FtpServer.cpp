#include "FtpServer.h"

#include <QDeadlineTimer>
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
    QString python = qEnvironmentVariable("VELMORA_PYTHON");
    if (python.isEmpty())
        python = QStringLiteral("/usr/bin/python3"); // the one that has pyftpdlib

    QStringList arguments{QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/ftp_server.py"),
                          QStringLiteral("--host"),
                          options.address,
                          QStringLiteral("--home"),
                          m_home.path(),
                          QStringLiteral("--command-log"),
                          m_scratch.filePath(QStringLiteral("commands.log"))};
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

    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(python, arguments);
    if (!m_process.waitForStarted(5000)) {
        m_startError = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    QByteArray output;
    while (!deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        output += m_process.readAllStandardOutput();
        const qsizetype at = output.indexOf("PORT ");
        const qsizetype end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            m_port = output.mid(at + 5, end - at - 5).trimmed().toInt();
            return m_port > 0;
        }
    }
    m_startError = QString::fromLocal8Bit(output + m_process.readAllStandardError());
    stop();
    return false;
}

QString FtpServer::makeCertificate(const QString& folder, QString* error)
{
    const QString key = folder + QStringLiteral("/server.key");
    const QString certificate = folder + QStringLiteral("/server.crt");
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), key,
                   QStringLiteral("-out"), certificate, QStringLiteral("-days"), QStringLiteral("2"),
                   QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1")});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(openssl.readAllStandardError()) + openssl.errorString();
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
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
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
