#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QObject;
class UiMailboxPump;

// Hands work from GStreamer's threads to a QObject's thread for as long as that object wants it:
// after close() nothing more is posted, so a pipeline that outlives its owner by a moment posts
// into nothing instead of into a destroyed object. The work travels through a queue under our own
// lock, and the receiving thread is woken through an event file its event loop watches: the
// posting threads never call into Qt, so no object of Qt's (such as the event of a queued call)
// is made on them and handed over under Qt's locks, which a race detector cannot see.
class UiMailbox final
{
public:
    // Call on the receiver's thread, before anything is posted.
    static std::shared_ptr<UiMailbox> create(QObject* receiver);

    // Runs work later on the receiver's thread; nothing when closed.
    void post(std::function<void()> work);
    void close();
    // Runs what is queued now; the wake-up calls it on the receiver's thread.
    void runQueued();

private:
    UiMailbox() = default;

    std::mutex m_mutex;
    UiMailboxPump* m_pump = nullptr; // a child of the receiver; null once closed
    std::deque<std::function<void()>> m_work;
};
