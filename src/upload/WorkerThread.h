#pragma once

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One thread for blocking work (network calls), fed one task at a time in the order posted. A task
// runs on the worker and returns what happens next on the owner's thread: that continuation runs
// there from the event loop, never inside post(). Nothing on the owner's thread waits for a task.
//
// Tasks and continuations change hands under a mutex, so whatever a task wrote is seen whole by its
// continuation. The worker wakes the owner through an event file the owner's event loop watches:
// the worker thread itself never calls into Qt.
class QSocketNotifier;

class WorkerThread final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WorkerThread)

public:
    using Continuation = std::function<void()>;
    using Task = std::function<Continuation()>;

    explicit WorkerThread(QObject* parent = nullptr);
    // Drops the tasks that have not started, waits for the running one and drops the continuations
    // that have not run: whoever owns this cancels a running task first, so the wait is short.
    ~WorkerThread() override;

    void post(Task task);
    // Tasks posted whose continuation has not run yet.
    int busy() const { return m_busy; }

private:
    void work();
    Q_INVOKABLE void runContinuations();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Task> m_tasks;
    std::deque<Continuation> m_done;
    bool m_quit = false;
    int m_busy = 0; // the owner's thread only
    int m_wakeOwner = -1;
    QSocketNotifier* m_notifier = nullptr;
    std::thread m_thread;
};
