#pragma once

#include "ChildProcess.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One run of the curl command line, as a person would check a server by hand.
struct CurlResult
{
    int exitCode = -1; // curl's: 0, or 7 refused, 22 HTTP error with --fail, 28 time-out, 60 certificate...
    int status = 0;    // the last answer's HTTP status or FTP reply code
    int connects = 0;  // new connections curl made
    QByteArray body;   // what the (last) answer carried
    QByteArray headers;
    QByteArray errors; // curl's own messages
    qint64 elapsedMs = 0;

    // A header of the last answer ("ETag"), empty when absent.
    QByteArray header(const QByteArray& name) const
    {
        QByteArray value;
        for (const QByteArray& line : headers.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
                value = line.mid(colon + 1).trimmed();
        }
        return value;
    }
};

inline CurlResult runCurl(const QStringList& arguments, int limitMs = 20000)
{
    QTemporaryDir dir;
    const QString bodyFile = dir.filePath(QStringLiteral("body"));
    const QString headerFile = dir.filePath(QStringLiteral("headers"));
    QByteArray output;
    QElapsedTimer timer;
    timer.start();
    CurlResult result;
    result.exitCode = ChildProcess::run(
        QStringLiteral("curl"),
        QStringList{QStringLiteral("--silent"), QStringLiteral("--show-error"), QStringLiteral("--max-time"),
                    QString::number(limitMs / 1000 - 1), QStringLiteral("--output"), bodyFile,
                    QStringLiteral("--dump-header"), headerFile, QStringLiteral("--write-out"),
                    QStringLiteral("\\nCURL-RESULT %{response_code} %{num_connects}\\n")} +
            arguments,
        limitMs, &output);
    result.elapsedMs = timer.elapsed();
    const qsizetype at = output.lastIndexOf("CURL-RESULT ");
    if (at >= 0) {
        const QList<QByteArray> fields = output.mid(at + 12).trimmed().split(' ');
        result.status = fields.value(0).toInt();
        result.connects = fields.value(1).toInt();
    }
    result.errors = output.left(at >= 0 ? at : output.size()).trimmed();
    QFile body(bodyFile);
    if (body.open(QIODevice::ReadOnly))
        result.body = body.readAll();
    QFile headers(headerFile);
    if (headers.open(QIODevice::ReadOnly)) {
        // Only the last answer's block (after 100 Continue or a 401 challenge).
        const QByteArray all = headers.readAll();
        const qsizetype last = all.lastIndexOf("HTTP/", all.size() - 2);
        result.headers = last >= 0 ? all.mid(last) : all;
    }
    return result;
}

// A file with content in dir, for curl's --upload-file.
inline QString fileWith(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return file.fileName();
}

inline QString sha256Hex(const QByteArray& content)
{
    return QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}
