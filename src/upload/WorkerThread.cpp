#include "upload/WorkerThread.h"

#include <QPointer>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

WorkerThread::WorkerThread(QObject* parent) : QObject(parent)
{
    m_wakeOwner = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeOwner >= 0) {
        m_notifier = new QSocketNotifier(m_wakeOwner, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &WorkerThread::runContinuations);
    }
    m_thread = std::thread(&WorkerThread::work, this);
}

WorkerThread::~WorkerThread()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_tasks.clear();
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_wakeOwner >= 0)
        ::close(m_wakeOwner);
}

void WorkerThread::post(Task task)
{
    ++m_busy;
    {
        const std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_wake.notify_one();
}

void WorkerThread::work()
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_tasks.empty(); });
            if (m_quit)
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        Continuation next = task();
        {
            const std::lock_guard lock(m_mutex);
            if (m_quit)
                return;
            m_done.push_back(std::move(next));
        }
        if (m_wakeOwner >= 0) {
            const quint64 one = 1;
            [[maybe_unused]] const ssize_t written = ::write(m_wakeOwner, &one, sizeof one);
        } else {
            // Without an event file (the process ran out of them) the call is queued inside Qt.
            QMetaObject::invokeMethod(this, "runContinuations", Qt::QueuedConnection);
        }
    }
}

void WorkerThread::runContinuations()
{
    if (m_wakeOwner >= 0) {
        quint64 count = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wakeOwner, &count, sizeof count);
    }
    const QPointer<WorkerThread> self(this);
    for (;;) {
        Continuation next;
        {
            const std::lock_guard lock(m_mutex);
            if (m_done.empty())
                return;
            next = std::move(m_done.front());
            m_done.pop_front();
        }
        --m_busy;
        // A continuation may post the next task, open a message box, or end this object's owner.
        if (next)
            next();
        if (!self)
            return;
    }
}
