#pragma once

#include <QObject>
#include <QString>

// The FTP log: plain text that the FTP stage appends to, one line per step of every upload. It lives
// for the run of the program and is never written to a file. Since the program may run for months,
// the text is kept below a limit by dropping whole oldest entries.
class FtpLog final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpLog)

public:
    // An entry starts with this; it is also where the oldest text is cut.
    static inline const QString kEntryStart = QStringLiteral("\r\n\r\n---[");
    static constexpr qsizetype kDefaultLimit = 1024 * 1024;

    explicit FtpLog(QObject* parent = nullptr);
    // A smaller limit for tests; the program uses the default.
    explicit FtpLog(qsizetype limit, QObject* parent = nullptr);

    void append(const QString& addition);
    void reset();
    const QString& text() const { return m_text; }
    qsizetype limit() const { return m_limit; }

signals:
    void changed();
    // Each addition as it arrives, for views that append rather than reread the whole text.
    void appended(const QString& addition);

private:
    void trim();

    QString m_text;
    qsizetype m_limit;
};
