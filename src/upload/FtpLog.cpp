#include "upload/FtpLog.h"

FtpLog::FtpLog(QObject* parent) : FtpLog(kDefaultLimit, parent) {}

FtpLog::FtpLog(qsizetype limit, QObject* parent) : QObject(parent), m_limit(limit) {}

void FtpLog::append(const QString& addition)
{
    if (addition.isEmpty())
        return;
    m_text += addition;
    trim();
    emit appended(addition);
    emit changed();
}

void FtpLog::reset()
{
    m_text.clear();
    emit changed();
}

void FtpLog::trim()
{
    if (m_text.size() <= m_limit)
        return;
    // Keep the newest whole entries that fit.
    qsizetype cut = m_text.indexOf(kEntryStart, m_text.size() - m_limit);
    if (cut < 0) {
        // One entry alone is past the limit (text appended without entry headers): keep its newest
        // whole lines.
        cut = m_text.indexOf(QStringLiteral("\r\n"), m_text.size() - m_limit);
        if (cut < 0)
            cut = m_text.size() - m_limit;
    }
    m_text.remove(0, cut);
}
