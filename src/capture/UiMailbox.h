#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

// Hands work from GStreamer's threads to a QObject's thread for as long as that object wants it:
// after close() nothing more is posted, so a pipeline that outlives its owner by a moment posts
// into nothing instead of into a destroyed object.
class UiMailbox final
{
public:
    explicit UiMailbox(QObject* receiver) : m_receiver(receiver) {}

    static std::shared_ptr<UiMailbox> create(QObject* receiver)
    {
        return std::make_shared<UiMailbox>(receiver);
    }

    // Runs work later on the receiver's thread; nothing when closed.
    void post(std::function<void()> work)
    {
        std::lock_guard lock(m_mutex);
        if (m_receiver)
            QMetaObject::invokeMethod(m_receiver, std::move(work), Qt::QueuedConnection);
    }
    void close()
    {
        std::lock_guard lock(m_mutex);
        m_receiver = nullptr;
    }

private:
    std::mutex m_mutex;
    QObject* m_receiver;
};
