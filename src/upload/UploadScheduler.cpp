#include "upload/UploadScheduler.h"

#include "common/Prompter.h"
#include "settings/AccountBook.h"
#include "settings/IntervalTable.h"
#include "upload/TimerSet.h"
#include "upload/UploadCycle.h"
#include "upload/UploadStatus.h"

#include <algorithm>

namespace {
const QString kClickToUpload = QStringLiteral("Click 'Upload now' to upload");

// Marks a cycle as running for as long as it lives, also when the cycle leaves by an exception.
class RunningFlag final
{
public:
    explicit RunningFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& m_flag;
};
} // namespace

UploadScheduler::UploadScheduler(AccountBook& accounts, UploadCycle& cycle, UploadStatus& status,
                                 Prompter& prompter, QObject* parent)
    : QObject(parent), m_accounts(accounts), m_cycle(cycle), m_status(status), m_prompter(prompter),
      m_timers(new TimerSet(this))
{
    connect(m_timers, &TimerSet::tick, this, &UploadScheduler::TimerProc);
    // Once the close-after option has ended the program, nothing more is uploaded.
    connect(&m_cycle, &UploadCycle::quitRequested, this, [this] {
        m_ended = true;
        m_timers->killAll();
        m_pending.clear();
    });
}

UploadScheduler::~UploadScheduler() = default;

void UploadScheduler::StartTimer()
{
    m_status.setUploadState(kClickToUpload);
    bool loadedAny = false;
    for (int row = 0; row < m_accounts.rowCount(); ++row) {
        if (!m_accounts.isChecked(row))
            continue;
        // Each flagged row is made current and loaded; the rows' detail columns are refreshed
        // once at the end rather than once per account.
        m_accounts.loadRowOnly(row);
        loadedAny = true;
        const Account& account = m_accounts.loaded();

        bool isNumber = false;
        const qint64 seconds = account.seconds.trimmed().toLongLong(&isNumber);
        // "Never" has no seconds, and an interval beyond what a timer holds sets no timer.
        if (isNumber && seconds >= 0 && seconds <= TimerSet::kMaxIntervalMs / 1000)
            m_timers->set(row + 1, seconds * 1000);

        if (!IntervalTable::isValidPosition(account.intervalItem))
            continue;
        const IntervalTable::Item& item = IntervalTable::item(account.intervalItem);
        if (item.data == IntervalTable::kCustomMarker)
            m_status.setUploadState(QStringLiteral("Upload every ") + account.seconds +
                                    QStringLiteral(" second(s)"));
        else if (item.data == IntervalTable::kNeverMarker)
            m_status.setUploadState(kClickToUpload);
        else if (item.data == 0)
            m_status.setUploadState(QStringLiteral("Upload constantly"));
        else
            m_status.setUploadState(QStringLiteral("Upload every ") + item.text);
    }
    if (loadedAny)
        m_accounts.refreshRows();
}

void UploadScheduler::StopTimer()
{
    for (int row = 0; row < m_accounts.rowCount(); ++row)
        m_timers->kill(row + 1);
}

void UploadScheduler::TimerProc(int id)
{
    Timers(id);
}

void UploadScheduler::Timers(int id)
{
    if (m_ended)
        return;
    const int row = id - 1;
    if (row < 0 || row >= m_accounts.rowCount() || !m_accounts.isChecked(row))
        return;
    if (m_running) {
        defer(id);
        return;
    }
    runTimed(id);
    runPending();
}

void UploadScheduler::runTimed(int id)
{
    const int row = id - 1;
    // The row may have gone or lost its tick while the request waited.
    if (row < 0 || row >= m_accounts.rowCount() || !m_accounts.isChecked(row))
        return;
    RunningFlag running(m_running);
    m_accounts.selectRow(row);
    m_cycle.upload_now(true);
}

UploadScheduler::UploadNowResult UploadScheduler::mnuupload_now_Click()
{
    if (m_ended)
        return {};
    if (m_running) {
        defer(0);
        UploadNowResult result;
        result.deferred = true;
        return result;
    }
    const UploadNowResult result = uploadAllFlagged();
    runPending();
    return result;
}

UploadScheduler::UploadNowResult UploadScheduler::uploadAllFlagged()
{
    UploadNowResult result;
    {
        RunningFlag running(m_running);
        for (int row = 0; row < m_accounts.rowCount(); ++row) {
            if (!m_accounts.isChecked(row))
                continue;
            ++result.flagged;
            m_accounts.selectRow(row);
            const UploadCycle::Outcome outcome = m_cycle.upload_now(false);
            if (outcome == UploadCycle::Outcome::Delivered)
                ++result.delivered;
            if (m_ended)
                return result;
        }
    }
    if (result.flagged == 0)
        m_prompter.message(QStringLiteral("No FTP accounts selected"), Prompter::Icon::Information);
    return result;
}

void UploadScheduler::defer(int timerId)
{
    const bool alreadyPending = std::any_of(m_pending.begin(), m_pending.end(),
                                            [timerId](const Request& r) { return r.timerId == timerId; });
    if (!alreadyPending)
        m_pending.push_back({timerId});
}

void UploadScheduler::runPending()
{
    while (!m_pending.empty() && !m_ended) {
        const Request next = m_pending.front();
        m_pending.pop_front();
        if (next.timerId == 0)
            uploadAllFlagged();
        else
            runTimed(next.timerId);
    }
    emit idle();
}
