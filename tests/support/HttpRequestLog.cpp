#include "HttpRequestLog.h"

#include "ServerLaunch.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

QList<HttpRequestLog::Entry> HttpRequestLog::entries() const
{
    QList<Entry> entries;
    const QList<QByteArray> lines = ServerLaunch::readFile(m_path).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 4)
            continue;
        Entry entry{QString::fromUtf8(fields[0]),
                    QString::fromUtf8(fields[1]),
                    fields[2].toInt(),
                    fields[3].toInt(),
                    {}};
        for (qsizetype i = 4; i < fields.size(); ++i) {
            const qsizetype equals = fields[i].indexOf('=');
            const QByteArray value = fields[i].mid(equals + 1);
            // Apache writes "-" for a header that was not sent.
            if (equals > 0 && value != "-")
                entry.fields.insert(QString::fromUtf8(fields[i].left(equals)), QString::fromUtf8(value));
        }
        entries.append(entry);
    }
    return entries;
}

QList<HttpRequestLog::Entry> HttpRequestLog::waitFor(qsizetype count, int limitMs,
                                                     const std::function<bool(const Entry&)>& match) const
{
    const QDeadlineTimer deadline(limitMs);
    for (;;) {
        const QList<Entry> found = entries();
        const qsizetype matching = match ? std::count_if(found.begin(), found.end(), match) : found.size();
        if (matching >= count || deadline.hasExpired())
            return found;
        QThread::msleep(10);
    }
}

int HttpRequestLog::connections(const QList<Entry>& entries)
{
    int count = 0;
    for (const Entry& entry : entries)
        count += entry.reuse == 0 ? 1 : 0;
    return count;
}
