#pragma once

#include "common/Clock.h"
#include "upload/UploadCycle.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>

class AccountBook;
class FtpDial;
class FtpLog;
class Prompter;
class TimerSet;
class UploadStatus;

// How long an account whose server cannot be reached waits before its next timed try: at least
// first or its own interval, doubling with each further failure up to longest (or its interval).
// The program uses the defaults; tests shorten them.
struct UploadBackoff
{
    std::chrono::milliseconds first{60'000};
    std::chrono::milliseconds longest{15 * 60'000};
};

// When uploads run: one repeating timer per flagged account (its row number, from 1, is the
// timer's id) and the Upload Now command for every flagged account in list order.
//
// One cycle runs at a time, and turns are fair. A tick only marks its account as due (at most once)
// and the cycles run from the event loop, never inside a tick. Each round gives every due account
// one turn in row order, the "Constantly" accounts (always due) after the others, so a slow account
// never holds the others back for more than its own turn, and "Constantly" yields to every account
// that ticked meanwhile. A tick that comes while the account's own cycle runs is spent: that cycle
// is its upload, and a second one right after it would send the same picture again (or fail again
// for the same reason). An account that is due connects and logs in ahead, on a thread of its own,
// and joins a round once that is done: a server that is slow to answer or dead holds up nobody
// else. A connection made ahead that its turn did not use (an unchanged picture) is kept for the
// account's next turn while it is young. Upload Now waits for the running cycle at most.
//
// An account whose server cannot be reached (no connection or no login) is held back: its next
// timed try waits at least a minute or its own interval, whichever is longer, and the wait doubles
// with each further failure up to a quarter of an hour. The FTP log says when the next try is due,
// and the try comes then: a timer of its own wakes the account at that time, whatever its interval.
// A cycle that gets connected, Upload Now, or a change to the account's settings ends the wait.
//
// An account uploading every kKeepIdle or more often ("Constantly" included) keeps its connection
// between timed turns: one login serves them all while the uploads go well. A connection that
// waited kKeepIdle unused says goodbye; one made ahead that waited kKeepConnection goes too.
//
// A "Constantly" account outside its date range or time window rests for kRest before it is
// looked at again, so that it does not run empty cycles back to back all night.
class UploadScheduler final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadScheduler)

public:
    using Backoff = UploadBackoff;
    static constexpr std::chrono::milliseconds kRest{1000};
    // How long a connection made ahead may wait for its turn, or be kept for the next one, before
    // it is made anew: well below the minutes a server lets a connection idle, and the whole-upload
    // limit of its client runs from the login.
    static constexpr std::chrono::milliseconds kKeepConnection{60'000};
    // An account whose next upload is due within this time keeps its connection logged in after an
    // upload that went well, and goes on with it; one that idles this long says goodbye.
    static constexpr std::chrono::milliseconds kKeepIdle{30'000};

    UploadScheduler(AccountBook& accounts, UploadCycle& cycle, UploadStatus& status, Prompter& prompter,
                    FtpLog& log, const Backoff& backoff = {}, QObject* parent = nullptr);
    ~UploadScheduler() override;

    void StartTimer();
    void StopTimer();
    void TimerProc(int id);
    void Timers(int id);
    // Upload Now: one cycle for every flagged account in list order, once the running cycle (if
    // any) has ended; uploadNowFinished() says how it went.
    void mnuupload_now_Click();

    // For a program that must not upload (another one uploads with the same store): uploading ends
    // for good as with stop(), the FTP log says why, StartTimer shows why in the status instead
    // of arming timers, and Upload Now says it in the log again.
    void refuseUploads(const QString& reason);
    const QString& refusal() const { return m_refusal; }

    // Ends uploading for good: the timers and every waiting request go and no cycle starts any more.
    // With cancelRunning the running cycle is stopped too, otherwise it finishes. stopped() follows
    // once no cycle runs (before this returns when none does). endBy: when the program ends (see
    // FtpStage::cancel).
    void stop(bool cancelRunning, QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever));
    bool isStopped() const { return m_stopped; }

    // The clock of the back-off: when an account is held back until, and the "Next try at" of the
    // log. The system's unless a test sets another; clock must outlive the scheduler.
    void setClock(const Clock& clock) { m_clock = &clock; }

    // How long a connection waits for the account's next upload (kKeepIdle unless a test or a
    // benchmark shortens it); 0 keeps none.
    void setKeepIdle(std::chrono::milliseconds idle);

    TimerSet& timers() { return *m_timers; }
    bool isCycleRunning() const { return m_running; }
    // Requests waiting for a turn: accounts that are due, and an Upload Now.
    int pendingCount() const;
    // When the account's next timed try is due after failed connections; absent when it is not
    // held back.
    std::optional<QDateTime> nextTry(const QString& account) const;

    // The soonest timed upload to come: when, for which account, and whether it is a "Constantly"
    // account (due whenever nothing else runs). Absent while no timer runs.
    struct Due
    {
        QDateTime at;
        QString account;
        bool constantly = false;
    };
    std::optional<Due> nextDue() const;

signals:
    // Nothing runs and nothing waits for a turn.
    void idle();
    // The timers were set or stopped, or an account's wait changed: nextDue() may differ.
    void timersChanged();
    void stopped();
    // flagged: the accounts flagged when the command began; delivered: how many of them arrived.
    void uploadNowFinished(int flagged, int delivered);
    // The cycle of the account in row (from 0) has ended.
    void cycleFinished(int row, UploadCycle::Outcome outcome);

private:
    struct HeldBack
    {
        int failures = 0;
        QDateTime at;       // the next try, on the scheduler's clock
        bool woken = false; // its timer fired: the wait is over, the failures still count
        QString settings;   // what the account looked like when it failed
        std::unique_ptr<QTimer> wake;
    };
    struct UploadNowRun
    {
        bool active = false;
        int nextRow = 0;
        int flagged = 0;
        int delivered = 0;
    };

    void schedulePick();
    void pickNext();
    bool continueUploadNow();
    void finishUploadNow();
    void extendRound();
    bool mayRunTimed(int id) const;
    // Begins connecting ahead where the account's turn will need it; true when it is ready now.
    bool makeReady(int id);
    bool isReady(int id) const;
    void onDialed(int id);
    // Whether a timed turn of the account keeps its connection for the next one.
    bool keepsConnection(int id) const;
    // Says goodbye on the connections that waited too long for their turn.
    void hangUpIdle();
    Account accountAt(int row);
    void runCycle(int row, bool scheduled);
    void onCycleFinished(const UploadCycle::Result& result);
    void holdBack(const QString& name, int id);
    void release(const QString& name);
    void onWake(const QString& name);
    void checkSettingsChange();
    bool isHeldBack(const QString& name) const;
    void emitStoppedOnce();
    void logRefusal();

    AccountBook& m_accounts;
    UploadCycle& m_cycle;
    UploadStatus& m_status;
    Prompter& m_prompter;
    FtpLog& m_log;
    Backoff m_backoff;
    SystemClock m_systemClock;
    const Clock* m_clock = &m_systemClock;
    TimerSet* m_timers;

    bool m_running = false;
    int m_runningRow = -1;
    bool m_runningUploadNow = false;
    QString m_runningName;
    QString m_runningSettings;
    bool m_stopped = false;
    bool m_stoppedEmitted = false;
    QString m_refusal;
    QTimer m_pick;                                     // the next turn, from the event loop
    std::set<int> m_due;                               // timer ids that ticked and wait for their turn
    std::map<int, std::unique_ptr<FtpDial>> m_dials;   // connections made ahead or kept, by timer id
    std::vector<std::unique_ptr<FtpDial>> m_hangingUp; // saying goodbye after waiting too long
    QTimer m_idleCheck;
    std::chrono::milliseconds m_keepIdle = kKeepIdle;
    std::deque<int> m_round;
    bool m_uploadNowWaiting = false;
    UploadNowRun m_uploadNow;
    std::map<QString, HeldBack> m_heldBack;  // by account name
    std::map<int, QDeadlineTimer> m_resting; // "Constantly" timer ids outside their hours or days
    QTimer m_restWake;
};
