#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <functional>

// The request log of the HTTP test servers (WebDavServer, S3Server): one line per request with
// the method, the target as sent, the status of the answer, the number of requests that came
// before it on the same connection (0 for a new connection: kept connections show as more), then
// name=value for the headers the server notes and, from the S3 front, error=<S3 error code>.
class HttpRequestLog final
{
public:
    struct Entry
    {
        QString method;
        QString target;
        int status = 0;
        int reuse = 0;
        QMap<QString, QString> fields; // header names as the server spells them; absent when not sent
    };

    explicit HttpRequestLog(const QString& path) : m_path(path) {}

    QList<Entry> entries() const;
    // The entries once at least count of them (of those that match, when given) are there, or
    // what there is when limitMs passed: Apache writes a request's line after it sent the answer.
    QList<Entry> waitFor(qsizetype count, int limitMs,
                         const std::function<bool(const Entry&)>& match = {}) const;
    // How many connections the requests came on.
    static int connections(const QList<Entry>& entries);

private:
    QString m_path;
};
