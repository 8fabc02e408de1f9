#include "capture/UiMailbox.h"

#include <QMetaObject>
#include <QObject>

// Lives on the receiver's thread as its child; a queued call of its slot by name carries nothing
// but the wake-up.
class UiMailboxPump final : public QObject
{
    Q_OBJECT

public:
    UiMailboxPump(std::weak_ptr<UiMailbox> mailbox, QObject* receiver)
        : QObject(receiver), m_mailbox(std::move(mailbox))
    {
    }

    Q_INVOKABLE void runQueued()
    {
        if (const std::shared_ptr<UiMailbox> mailbox = m_mailbox.lock())
            mailbox->runQueued();
    }

private:
    std::weak_ptr<UiMailbox> m_mailbox;
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
        QMetaObject::invokeMethod(m_pump, "runQueued", Qt::QueuedConnection);
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
