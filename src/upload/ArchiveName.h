#pragma once

#include <QDateTime>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// The names of an account's dated archive copies, from a pattern with these fields, as strftime
// writes them: %Y the year (4 digits), %y the year in its century (2), %m the month (2), %d the day
// (2), %H the hour (2), %M the minute (2), %S the second (2), %% a percent sign. Everything else is
// taken as it stands. A pattern that would make a path, or names that cannot be told apart, is
// refused: "/", "\", "..", control characters, an unknown field, or no field at all.
//
// The copies are told apart from other files by the pattern's shape alone, so only a file that
// the pattern could have named is ever removed, and its age is read from its name.
class ArchiveName final
{
public:
    explicit ArchiveName(const QString& pattern);

    // Why the pattern cannot name copies, in words for the Upload Settings window; empty when it can.
    const QString& problem() const { return m_problem; }
    bool isValid() const { return m_problem.isEmpty(); }
    // Year, month and day are fields of the pattern, so a copy's age can be read from its name.
    bool isDated() const { return m_dated; }

    QString nameAt(const QDateTime& time) const;
    // Whether the pattern could have made this file name.
    bool matches(const QString& name) const;
    // The time a copy's name gives (the time fields the pattern lacks count as 0); invalid when
    // the name does not match or the pattern is not dated.
    QDateTime timeOf(const QString& name) const;

    // Of the names in a folder, the copies named more than `days` days before now; none for 0 days
    // or a pattern without a date.
    QStringList olderThan(const QStringList& names, const QDateTime& now, int days) const;
    // Of the copies in a folder, with their modification times, those beyond the newest `keep`
    // (newest by the time in their name where the pattern is dated); none for 0.
    QStringList beyondNewest(const std::vector<std::pair<QString, QDateTime>>& files, int keep) const;

private:
    QString m_pattern;
    QString m_problem;
    bool m_dated = false;
    QRegularExpression m_shape;
    QList<QChar> m_fields; // in the order of the shape's groups
};
