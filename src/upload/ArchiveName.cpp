#include "upload/ArchiveName.h"

#include "settings/DestinationName.h"

#include <QDate>
#include <QTime>

#include <algorithm>

namespace {
const QString kFields = QStringLiteral("YymdHMS");
} // namespace

ArchiveName::ArchiveName(const QString& pattern) : m_pattern(pattern)
{
    if (pattern.trimmed().isEmpty()) {
        m_problem = QStringLiteral("Please give the archive copies a name.");
        return;
    }
    // The rule of the account's other file names, and no ".." anywhere in the pattern.
    if (const QString problem = DestinationName::problem(pattern); !problem.isEmpty()) {
        m_problem = QStringLiteral("The archive name ") + problem +
                    QStringLiteral(": copies stay in the picture's folder.");
        return;
    }
    if (pattern.contains(QStringLiteral(".."))) {
        m_problem = QStringLiteral("The archive name contains \"..\": copies stay in the picture's folder.");
        return;
    }

    QString shape = QStringLiteral("^");
    QString literal;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != QLatin1Char('%')) {
            literal += pattern[i];
            continue;
        }
        const QChar field = i + 1 < pattern.size() ? pattern[i + 1] : QChar();
        ++i;
        if (field == QLatin1Char('%')) {
            literal += field;
            continue;
        }
        if (field.isNull() || !kFields.contains(field)) {
            m_problem = QStringLiteral("The archive name has an unknown field %%1. Use %Y, %y, %m, %d, %H, "
                                       "%M, %S or %% for a percent sign.")
                            .arg(field);
            return;
        }
        shape += QRegularExpression::escape(literal);
        literal.clear();
        shape += field == QLatin1Char('Y') ? QStringLiteral("(\\d{4})") : QStringLiteral("(\\d{2})");
        m_fields << field;
    }
    if (m_fields.isEmpty()) {
        m_problem = QStringLiteral("The archive name needs a date or time field (such as %Y%m%d-%H%M%S), or "
                                   "every copy would have the same name.");
        return;
    }
    shape += QRegularExpression::escape(literal) + QStringLiteral("$");
    m_shape.setPattern(shape);
    const auto has = [this](char field) { return m_fields.contains(QLatin1Char(field)); };
    m_dated = (has('Y') || has('y')) && has('m') && has('d');
}

QString ArchiveName::nameAt(const QDateTime& time) const
{
    if (!isValid())
        return {};
    QString name;
    for (qsizetype i = 0; i < m_pattern.size(); ++i) {
        if (m_pattern[i] != QLatin1Char('%')) {
            name += m_pattern[i];
            continue;
        }
        switch (m_pattern[++i].toLatin1()) {
        case 'Y':
            name += time.toString(QStringLiteral("yyyy"));
            break;
        case 'y':
            name += time.toString(QStringLiteral("yy"));
            break;
        case 'm':
            name += time.toString(QStringLiteral("MM"));
            break;
        case 'd':
            name += time.toString(QStringLiteral("dd"));
            break;
        case 'H':
            name += time.toString(QStringLiteral("HH"));
            break;
        case 'M':
            name += time.toString(QStringLiteral("mm"));
            break;
        case 'S':
            name += time.toString(QStringLiteral("ss"));
            break;
        default:
            name += QLatin1Char('%');
            break;
        }
    }
    return name;
}

bool ArchiveName::matches(const QString& name) const
{
    return isValid() && m_shape.match(name).hasMatch();
}

QDateTime ArchiveName::timeOf(const QString& name) const
{
    if (!m_dated)
        return {};
    const QRegularExpressionMatch match = m_shape.match(name);
    if (!isValid() || !match.hasMatch())
        return {};
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    for (qsizetype group = 0; group < m_fields.size(); ++group) {
        const int value = match.captured(int(group) + 1).toInt();
        switch (m_fields[group].toLatin1()) {
        case 'Y':
            year = value;
            break;
        case 'y':
            year = 2000 + value;
            break;
        case 'm':
            month = value;
            break;
        case 'd':
            day = value;
            break;
        case 'H':
            hour = value;
            break;
        case 'M':
            minute = value;
            break;
        case 'S':
            second = value;
            break;
        }
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

QStringList ArchiveName::olderThan(const QStringList& names, const QDateTime& now, int days) const
{
    QStringList old;
    if (days <= 0 || !m_dated)
        return old;
    const QDateTime limit = now.addDays(-days);
    for (const QString& name : names) {
        const QDateTime time = timeOf(name);
        if (time.isValid() && time < limit)
            old << name;
    }
    return old;
}

QStringList ArchiveName::beyondNewest(const std::vector<std::pair<QString, QDateTime>>& files, int keep) const
{
    std::vector<std::pair<QDateTime, QString>> copies;
    for (const auto& [name, modified] : files) {
        if (!matches(name))
            continue;
        const QDateTime named = timeOf(name);
        copies.emplace_back(named.isValid() ? named : modified, name);
    }
    QStringList surplus;
    if (keep <= 0 || copies.size() <= size_t(keep))
        return surplus;
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) { return a > b; });
    for (size_t i = size_t(keep); i < copies.size(); ++i)
        surplus << copies[i].second;
    return surplus;
}
