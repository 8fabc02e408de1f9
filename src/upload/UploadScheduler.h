#pragma once

#include <QObject>

#include <deque>

class AccountBook;
class Prompter;
class TimerSet;
class UploadCycle;
class UploadStatus;

// When uploads run: one repeating timer per flagged account (its row number, from 1, is the
// timer's id) and the Upload Now command for every flagged account in list order.
//
// One cycle runs at a time. A tick or an Upload Now that arrives while a cycle runs (the cycle
// processes events while it waits and while the FTP transfer runs) is remembered and run once
// afterwards: at most one pending run per account, and one pending Upload Now.
class UploadScheduler final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadScheduler)

public:
    struct UploadNowResult
    {
        int flagged = 0;   // accounts that took part
        int delivered = 0; // of those, the ones whose picture arrived (or was saved locally only)
        bool deferred = false;
    };

    UploadScheduler(AccountBook& accounts, UploadCycle& cycle, UploadStatus& status, Prompter& prompter,
                    QObject* parent = nullptr);
    ~UploadScheduler() override;

    void StartTimer();
    void StopTimer();
    void TimerProc(int id);
    void Timers(int id);
    UploadNowResult mnuupload_now_Click();

    TimerSet& timers() { return *m_timers; }
    bool isCycleRunning() const { return m_running; }
    int pendingCount() const { return static_cast<int>(m_pending.size()); }

signals:
    // A run of cycles (a tick's, an Upload Now's, and what was deferred meanwhile) has ended.
    void idle();

private:
    struct Request
    {
        int timerId; // 0 for Upload Now
    };

    void defer(int timerId);
    void runPending();
    UploadNowResult uploadAllFlagged();
    void runTimed(int id);

    AccountBook& m_accounts;
    UploadCycle& m_cycle;
    UploadStatus& m_status;
    Prompter& m_prompter;
    TimerSet* m_timers;
    bool m_running = false;
    bool m_ended = false;
    std::deque<Request> m_pending;
};
