#include "upload/UploadMonitor.h"

#include "common/DateTimeText.h"
#include "common/OutsideText.h"
#include "settings/AccountBook.h"
#include "upload/UploadScheduler.h"
#include "upload/UploadStatus.h"

namespace {
using Outcome = UploadCycle::Outcome;

bool isFailure(Outcome outcome)
{
    return outcome == Outcome::Failed || outcome == Outcome::NotConnected;
}

// Whether an outcome says something about how uploads go (an answered question or a window of
// hours says nothing).
bool counts(Outcome outcome)
{
    return isFailure(outcome) || outcome == Outcome::Delivered || outcome == Outcome::Unchanged;
}

// The failure in one line: what failed and, where there is one, the first reason after it.
QString summary(const QString& failure)
{
    const QStringList lines = OutsideText::lines(failure);
    if (lines.isEmpty())
        return QStringLiteral("failed");
    return lines.size() > 1 ? lines[0] + QStringLiteral(": ") + lines[1] : lines[0];
}
} // namespace

UploadMonitor::UploadMonitor(UploadScheduler& scheduler, UploadCycle& cycle, AccountBook& accounts,
                             QObject* parent)
    : QObject(parent), m_scheduler(scheduler), m_accounts(accounts)
{
    connect(&cycle, &UploadCycle::started, this, &UploadMonitor::onStarted);
    connect(&cycle, &UploadCycle::finished, this, &UploadMonitor::onFinished);
    connect(&scheduler, &UploadScheduler::timersChanged, this, [this] {
        forgetRemovedAccounts();
        emit changed();
    });
}

void UploadMonitor::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    emit changed();
}

void UploadMonitor::onStarted(const QString& account)
{
    m_uploading = account;
    emit changed();
}

void UploadMonitor::onFinished(const UploadCycle::Result& result)
{
    m_uploading.clear();
    if (counts(result.outcome) && !result.account.isEmpty()) {
        m_last = Last{result.account, result.at, result.outcome, result.failure};
        Record& record = m_records[result.account];
        if (isFailure(result.outcome)) {
            ++record.failuresInARow;
            record.failure = result.failure;
            if (record.failuresInARow == kFailuresToNotice && !record.noticed) {
                record.noticed = true;
                emit notice(QStringLiteral("Uploads to %1 fail").arg(result.account),
                            QStringLiteral("%1 times in a row: %2")
                                .arg(kFailuresToNotice)
                                .arg(summary(result.failure)),
                            true);
            }
        } else {
            const bool wasNoticed = record.noticed;
            record = Record();
            if (wasNoticed)
                emit notice(QStringLiteral("Uploads to %1 work again").arg(result.account),
                            QStringLiteral("The picture was uploaded at %1").arg(timeText(result.at)), false);
        }
    }
    emit changed();
}

void UploadMonitor::forgetRemovedAccounts()
{
    // An account that was removed or no longer uploads fails no more.
    for (auto it = m_records.begin(); it != m_records.end();) {
        bool flagged = false;
        for (int row = 0; row < m_accounts.rowCount() && !flagged; ++row)
            flagged = m_accounts.rowName(row) == it->first && m_accounts.isChecked(row);
        it = flagged ? std::next(it) : m_records.erase(it);
    }
}

UploadMonitor::State UploadMonitor::state() const
{
    if (!m_uploading.isEmpty())
        return State::Uploading;
    for (const auto& [account, record] : m_records) {
        if (record.failuresInARow > 0)
            return State::Failing;
    }
    return State::Normal;
}

QString UploadMonitor::timeText(const QDateTime& at) const
{
    if (at.date() == m_clock->today())
        return at.toString(QStringLiteral("HH:mm:ss"));
    return generalDateTimeText(at);
}

QString UploadMonitor::lastText() const
{
    if (!m_last)
        return {};
    const QString head = QStringLiteral("Last upload %1 (%2)").arg(timeText(m_last->at), m_last->account);
    if (isFailure(m_last->outcome))
        return head + QStringLiteral(" failed: ") + summary(m_last->failure);
    if (m_last->outcome == Outcome::Unchanged)
        return head + QStringLiteral(": picture unchanged, not uploaded");
    return head + QStringLiteral(": uploaded");
}

QString UploadMonitor::nextText() const
{
    const std::optional<UploadScheduler::Due> due = m_scheduler.nextDue();
    if (!due)
        return {};
    if (due->constantly)
        return QStringLiteral("uploading constantly (%1)").arg(due->account);
    const auto found = m_records.find(due->account);
    const bool retry = found != m_records.end() && found->second.failuresInARow > 0;
    return QStringLiteral("%1 %2 (%3)")
        .arg(retry ? QStringLiteral("next try") : QStringLiteral("next upload"), timeText(due->at),
             due->account);
}

QString UploadMonitor::statusText() const
{
    // Another program uploads with this store: nothing here will.
    if (!m_scheduler.refusal().isEmpty())
        return m_scheduler.refusal();
    if (m_paused)
        return kPaused;
    if (!m_uploading.isEmpty())
        return QStringLiteral("Uploading... (%1)").arg(m_uploading);
    const QString last = lastText();
    QString next = nextText();
    if (last.isEmpty() && next.isEmpty())
        return UploadStatus::kClickToUpload;
    if (last.isEmpty()) {
        next[0] = next[0].toUpper();
        return next;
    }
    return next.isEmpty() ? last : last + QStringLiteral("; ") + next;
}

QString UploadMonitor::toolTip() const
{
    QStringList lines{QStringLiteral("Velmora")};
    if (!m_scheduler.refusal().isEmpty()) {
        lines << m_scheduler.refusal();
        return lines.join(QLatin1Char('\n'));
    }
    if (m_paused) {
        lines << kPaused;
        return lines.join(QLatin1Char('\n'));
    }
    if (!m_uploading.isEmpty())
        lines << QStringLiteral("Uploading to %1...").arg(m_uploading);
    for (const auto& [account, record] : m_records) {
        if (record.failuresInARow > 0)
            lines << QStringLiteral("%1 failed (%2 in a row): %3")
                         .arg(account)
                         .arg(record.failuresInARow)
                         .arg(summary(record.failure));
    }
    if (m_last && !isFailure(m_last->outcome))
        lines << lastText();
    QString next = nextText();
    if (!next.isEmpty()) {
        next[0] = next[0].toUpper();
        lines << next;
    }
    if (lines.size() == 1)
        lines << UploadStatus::kClickToUpload;
    return lines.join(QLatin1Char('\n'));
}
