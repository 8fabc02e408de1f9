#pragma once

#include "capture/TimelapseMaker.h"
#include "common/Result.h"
#include "settings/Account.h"
#include "upload/FtpTimeouts.h"

#include <QDate>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class AccountBook;
class Clock;
class DestinationSession;
class FtpLog;
class WorkerThread;

// The day in a minute: once a day, at the time each ticked account with "Timelapse" chose, a movie
// of the previous day made of the account's local archive copies (those whose names give that
// day, in name order), kept in the account's local folder (the newest "Timelapse keep") and sent
// by the account's destination. The movie is made on TimelapseMaker's own low-priority thread and
// sent on a worker of its own, so it never holds up an upload. A day that has a movie in the local
// folder is not made again. The FTP log has one entry per movie, with its progress in steps.
class TimelapseService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimelapseService)

public:
    TimelapseService(AccountBook& accounts, FtpLog& log, const FtpTimeouts& timeouts, const Clock& clock,
                     QObject* parent = nullptr);
    ~TimelapseService() override;

    // Looks for movies that are due now and then every minute.
    void startTimer();
    void stopTimer();
    // Makes an account's movie of a day now (after the one being made, if any). Refused, with the
    // reason, when the account cannot make one (whyNot).
    [[nodiscard]] Result<void> makeNow(const QString& account, const QDate& day);
    // Why an account cannot make a movie (its local archive copies are off, it has no local folder,
    // its names cannot be read, its rate is out of range); empty when it can.
    static QString whyNot(const Account& account);
    // The movie's name for a day.
    static QString movieName(const Account& account, const QDate& day);

    bool isBusy() const { return m_current.has_value() || !m_queue.empty(); }
    // The FTP log is written by the uploads as they go, line by line: while busy says an upload is
    // in the middle of its entry, the movie's lines wait, and flushLog writes them once it ended.
    // Lines that follow another writer's entry start an entry of their own, under the movie's title.
    void setLogBusy(std::function<bool()> busy) { m_logBusy = std::move(busy); }
    void flushLog();
    // For the end of the program: nothing more starts, the movie being made stops after the picture
    // at hand and leaves nothing under its name, a sending is cancelled; stopped() follows (before
    // this returns when nothing runs).
    void stop();

signals:
    // The account's movie: done of total pictures.
    void progress(const QString& account, int done, int total);
    // The account's movie is made and sent, or not, and why (one line).
    void finished(const QString& account, bool sent, const QString& text);
    void stopped();

private:
    struct Request
    {
        QString name;
        QDate day;
    };
    void check();
    void next();
    void onMade(const TimelapseMaker::Outcome& outcome);
    void send(const QString& movie);
    void end(bool sent, const QString& text);
    void logEntry(const QString& firstLine);
    void logLine(const QString& line);
    bool queued(const QString& name, const QDate& day) const;

    AccountBook& m_accounts;
    FtpLog& m_log;
    FtpTimeouts m_timeouts;
    const Clock& m_clock;
    TimelapseMaker* m_maker;
    WorkerThread* m_worker;
    QTimer m_timer;
    std::deque<Request> m_queue;
    std::optional<Request> m_current;
    Account m_account; // of the current request, as it was when it began
    QString m_movie;   // its local path
    std::shared_ptr<DestinationSession> m_session;
    int m_loggedQuarter = 0;
    std::function<bool()> m_logBusy;
    QStringList m_logPending;
    QString m_logTitle;          // the current movie's first line
    qsizetype m_logEnd = -1;     // the log's length after the service's last lines
    QMap<QString, QDate> m_done; // the last day made (or found empty) per account in this run
    bool m_stopping = false;
    bool m_networkReady = false;
};
