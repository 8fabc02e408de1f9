#pragma once

#include "common/Clock.h"
#include "upload/UploadCycle.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <map>
#include <optional>

class AccountBook;
class UploadScheduler;

// What the status bar and the notification area tell of the uploads: the last upload (time,
// account, result), the next one due, whether uploads are paused, and whether some account is
// failing and why. It follows the scheduler and the cycle; the windows only show it.
//
// An account that fails kFailuresToNotice times in a row gives one notice, and one more when it
// works again; nothing more for the same run of failures.
class UploadMonitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadMonitor)

public:
    enum class State { Normal, Uploading, Failing };
    static constexpr int kFailuresToNotice = 3;
    static inline const QString kPaused = QStringLiteral("Uploads paused while Upload Settings is open");

    UploadMonitor(UploadScheduler& scheduler, UploadCycle& cycle, AccountBook& accounts,
                  QObject* parent = nullptr);

    // The clock the texts read "now" from; the system's unless a test sets another. clock must
    // outlive the monitor.
    void setClock(const Clock& clock) { m_clock = &clock; }

    // Upload Settings is open: the timers stand still until it is closed.
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }

    State state() const;
    // The first status panel: the last upload and the next one due.
    QString statusText() const;
    // The notification icon's tooltip: the program's name, the last upload or the failure and its
    // reason, the next one due.
    QString toolTip() const;

signals:
    void changed();
    // An account failed kFailuresToNotice times in a row (failing) or works again (not failing).
    void notice(const QString& title, const QString& text, bool failing);

private:
    struct Last
    {
        QString account;
        QDateTime at;
        UploadCycle::Outcome outcome = UploadCycle::Outcome::Delivered;
        QString failure;
    };
    struct Record
    {
        int failuresInARow = 0;
        bool noticed = false; // the run of failures was told
        QString failure;
    };

    void onStarted(const QString& account);
    void onFinished(const UploadCycle::Result& result);
    void forgetRemovedAccounts();
    QString timeText(const QDateTime& at) const;
    QString lastText() const;
    QString nextText() const;

    UploadScheduler& m_scheduler;
    AccountBook& m_accounts;
    SystemClock m_systemClock;
    const Clock* m_clock = &m_systemClock;
    bool m_paused = false;
    QString m_uploading; // the account whose cycle runs, or empty
    std::optional<Last> m_last;
    std::map<QString, Record> m_records; // by account name
};
