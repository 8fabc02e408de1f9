#include "S3Server.h"

#include "ScriptServer.h"
#include "ServerLaunch.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {
const QString kS3rver =
    QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/s3/node_modules/s3rver/bin/s3rver.js");
const QString kObjectSuffix = QStringLiteral("._S3rver_object");

// The port a child announced on its first lines ("<marker><port>"), 0 when it did not.
int announcedPort(ChildProcess& process, const QByteArray& marker, QString* output)
{
    const QByteArray text = process.readUntil(marker, 10000);
    const qsizetype at = text.indexOf(marker);
    const qsizetype end = text.indexOf('\n', at);
    if (at >= 0 && end > at)
        return text.mid(at + marker.size(), end - at - marker.size()).trimmed().toInt();
    *output = QString::fromLocal8Bit(text).trimmed();
    return 0;
}
} // namespace

S3Server::~S3Server()
{
    stop();
}

bool S3Server::start()
{
    return start(Options());
}

bool S3Server::start(const Options& options)
{
    stop();
    m_options = options;
    m_startError.clear();
    m_port = 0;
    m_storePort = 0;
    if (!QFileInfo::exists(kS3rver)) {
        m_startError =
            QStringLiteral("s3rver is not installed (scripts/setup.sh runs npm ci in tests/support/s3)");
        return false;
    }
    if (!m_data.isValid() || !m_scratch.isValid()) {
        m_startError = QStringLiteral("no temporary folder");
        return false;
    }
    if (m_options.https && !QFileInfo::exists(m_certificates.caFile()) &&
        !m_certificates.make(m_scratch.path())) {
        m_startError = m_certificates.error();
        return false;
    }
    QFile::remove(m_scratch.filePath(QStringLiteral("requests.log")));

    QString output;
    // s3rver makes its listing continuation tokens with DES, which OpenSSL 3 keeps in its legacy
    // provider: without it every listing that goes on to a next page fails with InternalError.
    if (!m_store.start(QStringLiteral("node"),
                       {QStringLiteral("--openssl-legacy-provider"), kS3rver, QStringLiteral("--directory"),
                        m_data.path(), QStringLiteral("--address"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--silent"),
                        QStringLiteral("--no-vhost-buckets"), QStringLiteral("--configure-bucket"), kBucket},
                       true)) {
        m_startError = QStringLiteral("node: ") + m_store.error();
        return false;
    }
    m_storePort = announcedPort(m_store, "S3rver listening on 127.0.0.1:", &output);
    if (m_storePort <= 0) {
        m_startError = QStringLiteral("s3rver did not start: ") + output;
        stop();
        return false;
    }

    QStringList arguments{QStringLiteral(VELMORA_SOURCE_DIR "/tests/support/s3_front.py"),
                          QStringLiteral("--upstream"),
                          QString::number(m_storePort),
                          QStringLiteral("--access-key"),
                          kAccessKey,
                          QStringLiteral("--secret-key"),
                          kSecretKey,
                          QStringLiteral("--region"),
                          kRegion,
                          QStringLiteral("--slow-ms"),
                          QString::number(m_options.slowMs),
                          QStringLiteral("--idle-seconds"),
                          QString::number(m_options.keepAliveSeconds),
                          QStringLiteral("--request-log"),
                          m_scratch.filePath(QStringLiteral("requests.log"))};
    if (m_options.https)
        arguments << QStringLiteral("--tls") << m_certificates.pemFile();
    // Its error output goes to the test's: a pipe nobody reads would fill and stop it.
    if (!m_front.start(ScriptServer::python(), arguments)) {
        m_startError = m_front.error();
        stop();
        return false;
    }
    m_port = announcedPort(m_front, "PORT ", &output);
    if (m_port <= 0) {
        m_startError = QStringLiteral("the S3 front did not start (its error output is above): ") + output;
        stop();
        return false;
    }
    return true;
}

void S3Server::stop()
{
    m_front.kill();
    m_store.kill();
}

QString S3Server::endpoint() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_options.https ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(m_port);
}

QString S3Server::virtualHostEndpoint() const
{
    return QStringLiteral("%1://%2.localhost:%3")
        .arg(m_options.https ? QStringLiteral("https") : QStringLiteral("http"), kBucket)
        .arg(m_port);
}

QString S3Server::objectFile(const QString& key) const
{
    return m_data.filePath(kBucket + QLatin1Char('/') + key + kObjectSuffix);
}

QByteArray S3Server::object(const QString& key) const
{
    return ServerLaunch::readFile(objectFile(key));
}

bool S3Server::hasObject(const QString& key) const
{
    return QFileInfo::exists(objectFile(key));
}

QStringList S3Server::keys() const
{
    const QString bucket = m_data.filePath(kBucket) + QLatin1Char('/');
    QStringList keys;
    QDirIterator it(bucket, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(kObjectSuffix))
            keys << path.mid(bucket.size(), path.size() - bucket.size() - kObjectSuffix.size());
    }
    keys.sort();
    return keys;
}

bool S3Server::putObject(const QString& key, const QByteArray& content, QString* error) const
{
    // Straight to s3rver, which takes unsigned requests, so that the front's log holds only what
    // the test's client sent.
    const QString file = m_scratch.filePath(QStringLiteral("upload-body"));
    QFile body(file);
    if (!body.open(QIODevice::WriteOnly | QIODevice::Truncate) || body.write(content) != content.size()) {
        if (error)
            *error = QStringLiteral("cannot write ") + file;
        return false;
    }
    body.close();
    QByteArray output;
    const int status = ChildProcess::run(
        QStringLiteral("curl"),
        {QStringLiteral("--silent"), QStringLiteral("--show-error"), QStringLiteral("--fail"),
         QStringLiteral("--max-time"), QStringLiteral("10"), QStringLiteral("--upload-file"), file,
         QStringLiteral("http://127.0.0.1:%1/%2/%3")
             .arg(m_storePort)
             .arg(kBucket, QString::fromLatin1(QUrl::toPercentEncoding(key, "/")))},
        15000, &output);
    if (status != 0 && error)
        *error = QStringLiteral("curl: ") + QString::fromLocal8Bit(output).trimmed();
    return status == 0;
}
