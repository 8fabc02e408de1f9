#include "capture/UiMailbox.h"

#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>

#include <sys/eventfd.h>
#include <unistd.h>

// Lives on the receiver's thread as its child and owns the event file that wakes it. Without an
// event file (the process ran out of descriptors) the wake-up is a queued call of runQueued.
class UiMailboxPump final : public QObject
{
    Q_OBJECT

public:
    UiMailboxPump(std::weak_ptr<UiMailbox> mailbox, QObject* receiver)
        : QObject(receiver), m_mailbox(std::move(mailbox)), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        if (m_wake >= 0) {
            auto* notifier = new QSocketNotifier(m_wake, QSocketNotifier::Read, this);
            connect(notifier, &QSocketNotifier::activated, this, &UiMailboxPump::runQueued);
        }
    }

    ~UiMailboxPump() override
    {
        // Nothing writes to the event file once the mailbox is closed.
        if (const std::shared_ptr<UiMailbox> mailbox = m_mailbox.lock())
            mailbox->close();
        if (m_wake >= 0)
            ::close(m_wake);
    }

    // Under the mailbox's lock.
    void wake()
    {
        if (m_wake >= 0) {
            const quint64 one = 1;
            [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
        } else {
            QMetaObject::invokeMethod(this, "runQueued", Qt::QueuedConnection);
        }
    }

    Q_INVOKABLE void runQueued()
    {
        if (m_wake >= 0) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wake, &count, sizeof count);
        }
        if (const std::shared_ptr<UiMailbox> mailbox = m_mailbox.lock())
            mailbox->runQueued();
    }

private:
    std::weak_ptr<UiMailbox> m_mailbox;
    int m_wake;
};

std::shared_ptr<UiMailbox> UiMailbox::create(QObject* receiver)
{
    std::shared_ptr<UiMailbox> mailbox(new UiMailbox);
    mailbox->m_pump = new UiMailboxPump(mailbox, receiver);
    return mailbox;
}

void UiMailbox::post(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    if (!m_pump)
        return;
    m_work.push_back(std::move(work));
    // One wake-up per batch: the receiver runs whatever is queued when it gets there.
    if (m_work.size() == 1)
        m_pump->wake();
}

void UiMailbox::close()
{
    std::lock_guard lock(m_mutex);
    m_pump = nullptr;
    m_work.clear();
}

void UiMailbox::runQueued()
{
    std::deque<std::function<void()>> work;
    {
        std::lock_guard lock(m_mutex);
        work.swap(m_work);
    }
    for (auto& item : work)
        item();
}

#include "UiMailbox.moc"
