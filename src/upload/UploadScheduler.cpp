#include "upload/UploadScheduler.h"

#include "common/DateTimeText.h"
#include "common/Prompter.h"
#include "settings/AccountBook.h"
#include "settings/IntervalTable.h"
#include "upload/FtpDial.h"
#include "upload/FtpLog.h"
#include "upload/TimerSet.h"
#include "upload/UploadStatus.h"

#include <QTimer>

#include <algorithm>

namespace {
// The values that decide whether and how an account reaches its server, and how often it tries.
QString settingsKey(const Account& account)
{
    return QStringList{account.host,
                       account.user,
                       account.password,
                       account.folder,
                       Account::protocolText(account.protocol),
                       QString::number(account.passive),
                       QString::number(account.verifyCertificate),
                       account.keyFile,
                       account.seconds,
                       QString::number(account.intervalItem)}
        .join(QChar(0));
}
} // namespace

namespace {
// How often the connections that wait are looked at: one idles at most this much beyond its time.
constexpr std::chrono::milliseconds kIdleCheck{5000};
} // namespace

UploadScheduler::UploadScheduler(AccountBook& accounts, UploadCycle& cycle, UploadStatus& status,
                                 Prompter& prompter, FtpLog& log, const Backoff& backoff, QObject* parent)
    : QObject(parent), m_accounts(accounts), m_cycle(cycle), m_status(status), m_prompter(prompter),
      m_log(log), m_backoff(backoff), m_timers(new TimerSet(this))
{
    connect(m_timers, &TimerSet::tick, this, &UploadScheduler::TimerProc);
    m_pick.setSingleShot(true);
    m_pick.setInterval(0);
    connect(&m_pick, &QTimer::timeout, this, &UploadScheduler::pickNext);
    m_restWake.setSingleShot(true);
    connect(&m_restWake, &QTimer::timeout, this, [this] {
        // Whoever rests longer is woken again at the end of its own rest.
        std::optional<qint64> next;
        for (const auto& [id, until] : m_resting) {
            if (!until.hasExpired())
                next = std::min(next.value_or(until.remainingTime()), until.remainingTime());
        }
        if (next)
            m_restWake.start(std::chrono::milliseconds(*next + 1));
        schedulePick();
    });
    m_idleCheck.setInterval(kIdleCheck);
    connect(&m_idleCheck, &QTimer::timeout, this, &UploadScheduler::hangUpIdle);
    connect(&m_cycle, &UploadCycle::finished, this, &UploadScheduler::onCycleFinished);
    // Once the close-after option has ended the program, nothing more is uploaded.
    connect(&m_cycle, &UploadCycle::quitRequested, this, [this] { stop(false); });
    connect(&m_accounts, &AccountBook::loadedChanged, this, &UploadScheduler::checkSettingsChange);
}

UploadScheduler::~UploadScheduler() = default;

void UploadScheduler::StartTimer()
{
    if (!m_refusal.isEmpty()) {
        m_status.setUploadState(m_refusal);
        return;
    }
    m_status.setUploadState(UploadStatus::kClickToUpload);
    if (m_stopped)
        return;
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
            m_status.setUploadState(UploadStatus::kClickToUpload);
        else if (item.data == 0)
            m_status.setUploadState(QStringLiteral("Upload constantly"));
        else
            m_status.setUploadState(QStringLiteral("Upload every ") + item.text);
    }
    if (loadedAny)
        m_accounts.refreshRows();
    emit timersChanged();
    // "Constantly" accounts are due at once.
    schedulePick();
}

void UploadScheduler::StopTimer()
{
    for (int row = 0; row < m_accounts.rowCount(); ++row)
        m_timers->kill(row + 1);
    // Timed requests go with their timers; a waiting Upload Now stays.
    m_due.clear();
    m_round.clear();
    m_dials.clear();
    m_resting.clear();
    emit timersChanged();
}

void UploadScheduler::TimerProc(int id)
{
    Timers(id);
}

void UploadScheduler::Timers(int id)
{
    if (m_stopped || !mayRunTimed(id))
        return;
    // The account's own cycle runs: it is this tick's upload.
    if (m_running && m_runningRow == id - 1)
        return;
    makeReady(id);
    m_due.insert(id);
    schedulePick();
}

bool UploadScheduler::isReady(int id) const
{
    const auto found = m_dials.find(id);
    return found == m_dials.end() || found->second->isDone();
}

bool UploadScheduler::makeReady(int id)
{
    const auto found = m_dials.find(id);
    if (found != m_dials.end()) {
        const FtpDial& dial = *found->second;
        const auto limit = dial.isKept() ? m_keepIdle : kKeepConnection;
        if (!dial.isDone() || dial.age() < limit.count())
            return dial.isDone();
        m_dials.erase(found);
    }
    std::unique_ptr<FtpDial> dial = m_cycle.dialAhead(accountAt(id - 1));
    if (!dial)
        return true;
    const bool done = dial->isDone();
    if (!done)
        connect(dial.get(), &FtpDial::finished, this, [this, id] { onDialed(id); });
    m_dials[id] = std::move(dial);
    if (!m_idleCheck.isActive())
        m_idleCheck.start();
    return done;
}

void UploadScheduler::onDialed(int)
{
    // The account waits in the round or among the due ones already.
    schedulePick();
}

void UploadScheduler::setKeepIdle(std::chrono::milliseconds idle)
{
    m_keepIdle = idle;
    m_idleCheck.setInterval(std::min(kIdleCheck, std::max(idle / 4, std::chrono::milliseconds(1))));
}

bool UploadScheduler::keepsConnection(int id) const
{
    return !m_stopped && m_keepIdle.count() > 0 && m_timers->has(id) &&
           m_timers->interval(id) <= m_keepIdle.count();
}

void UploadScheduler::hangUpIdle()
{
    for (auto it = m_dials.begin(); it != m_dials.end();) {
        FtpDial& dial = *it->second;
        const auto limit = dial.isKept() ? m_keepIdle : kKeepConnection;
        if (!dial.isDone() || dial.age() < limit.count()) {
            ++it;
            continue;
        }
        // The goodbye runs on the dial's own thread; the dial goes once it is said.
        connect(&dial, &FtpDial::hungUp, this, [this] {
            QTimer::singleShot(0, this, [this] {
                std::erase_if(m_hangingUp,
                              [](const std::unique_ptr<FtpDial>& done) { return !done->isHangingUp(); });
            });
        });
        m_hangingUp.push_back(std::move(it->second));
        it = m_dials.erase(it);
        m_hangingUp.back()->hangUp();
    }
    if (m_dials.empty())
        m_idleCheck.stop();
}

Account UploadScheduler::accountAt(int row)
{
    // Read without making the row current: the Upload Settings window shows the current one.
    const int current = m_accounts.currentRow();
    if (row == current)
        return m_accounts.loaded();
    m_accounts.loadRowOnly(row);
    const Account account = m_accounts.loaded();
    if (current >= 0)
        m_accounts.loadRowOnly(current);
    return account;
}

bool UploadScheduler::mayRunTimed(int id) const
{
    const int row = id - 1;
    const auto resting = m_resting.find(id);
    if (resting != m_resting.end() && !resting->second.hasExpired())
        return false;
    return row >= 0 && row < m_accounts.rowCount() && m_accounts.isChecked(row) &&
           !isHeldBack(m_accounts.rowName(row));
}

void UploadScheduler::mnuupload_now_Click()
{
    if (!m_refusal.isEmpty())
        logRefusal();
    if (m_stopped)
        return;
    m_uploadNowWaiting = true;
    schedulePick();
}

int UploadScheduler::pendingCount() const
{
    return static_cast<int>(m_due.size() + m_round.size()) + (m_uploadNowWaiting ? 1 : 0);
}

void UploadScheduler::schedulePick()
{
    if (m_stopped)
        return;
    // A timer, not a queued call: the event loop runs timers only once the events waiting before
    // them are done, so the account timers that fell due meanwhile tick first and "Constantly"
    // never starves them.
    if (!m_pick.isActive())
        m_pick.start();
}

void UploadScheduler::pickNext()
{
    if (m_running || m_stopped)
        return;
    if (m_uploadNow.active || m_uploadNowWaiting) {
        if (continueUploadNow() || m_running || m_stopped)
            return;
        if (m_uploadNowWaiting) {
            schedulePick();
            return;
        }
    }
    for (bool extended = false;; extended = true) {
        // The first account of the round that is ready; one still connecting keeps its place.
        for (auto it = m_round.begin(); it != m_round.end();) {
            const int id = *it;
            // The row may have gone, lost its tick or failed to connect while it waited.
            if (!mayRunTimed(id)) {
                m_dials.erase(id);
                it = m_round.erase(it);
                continue;
            }
            if (!isReady(id)) {
                ++it;
                continue;
            }
            m_round.erase(it);
            runCycle(id - 1, true);
            return;
        }
        if (extended)
            break;
        extendRound();
    }
    if (m_round.empty())
        emit idle();
}

void UploadScheduler::extendRound()
{
    // The accounts that ticked, in row order, then the always-due ones; none twice.
    const auto add = [this](int id) {
        if (std::find(m_round.begin(), m_round.end(), id) == m_round.end())
            m_round.push_back(id);
    };
    for (const int id : m_due) {
        if (m_timers->interval(id) != 0)
            add(id);
    }
    for (const int id : m_timers->alwaysDue()) {
        if (mayRunTimed(id)) {
            makeReady(id);
            add(id);
        }
    }
    m_due.clear();
}

bool UploadScheduler::continueUploadNow()
{
    if (!m_uploadNow.active) {
        m_uploadNowWaiting = false;
        m_uploadNow = UploadNowRun();
        m_uploadNow.active = true;
        for (int row = 0; row < m_accounts.rowCount(); ++row)
            m_uploadNow.flagged += m_accounts.isChecked(row) ? 1 : 0;
    }
    while (m_uploadNow.nextRow < m_accounts.rowCount()) {
        const int row = m_uploadNow.nextRow++;
        if (!m_accounts.isChecked(row))
            continue;
        // Upload Now tries at once, whatever held the account back.
        release(m_accounts.rowName(row));
        runCycle(row, false);
        return true;
    }
    if (m_uploadNow.flagged == 0)
        m_prompter.message(QStringLiteral("No FTP accounts selected"), Prompter::Icon::Information);
    finishUploadNow();
    return false;
}

void UploadScheduler::finishUploadNow()
{
    if (!m_uploadNow.active)
        return;
    m_uploadNow.active = false;
    emit uploadNowFinished(m_uploadNow.flagged, m_uploadNow.delivered);
}

void UploadScheduler::runCycle(int row, bool scheduled)
{
    // A timed turn goes on with the connection made ahead for it; Upload Now leaves that to the turn.
    std::unique_ptr<FtpDial> dial;
    const bool keep = scheduled && keepsConnection(row + 1);
    const auto found = m_dials.find(row + 1);
    if (scheduled && found != m_dials.end() && found->second->isDone()) {
        dial = std::move(found->second);
        m_dials.erase(found);
    }
    m_accounts.selectRow(row);
    m_running = true;
    m_runningRow = row;
    m_runningUploadNow = !scheduled;
    m_runningName = m_accounts.currentName();
    m_runningSettings = settingsKey(m_accounts.loaded());
    if (!m_cycle.upload_now(scheduled, std::move(dial), keep)) {
        // Someone else's cycle runs; this turn is lost rather than overlapped.
        m_running = false;
        schedulePick();
    }
}

void UploadScheduler::onCycleFinished(const UploadCycle::Result& result)
{
    // A cycle the scheduler did not start (tests run the cycle on its own) is none of its business.
    if (!m_running)
        return;
    m_running = false;
    const int row = m_runningRow;
    if (result.outcome == UploadCycle::Outcome::NotConnected)
        holdBack(m_runningName, row + 1);
    else if (result.connected)
        release(m_runningName);
    // A login its turn did not use serves the account's next turn, unless that is far off.
    // A connection its turn kept serves the next one while that is near.
    std::unique_ptr<FtpDial> unused = m_cycle.takeUnusedDial();
    const bool near = unused && (unused->isKept() ? keepsConnection(row + 1)
                                                  : m_timers->has(row + 1) && m_timers->interval(row + 1) <
                                                                                  kKeepConnection.count());
    if (near && !m_stopped && !m_runningUploadNow && !m_dials.count(row + 1)) {
        m_dials[row + 1] = std::move(unused);
        if (!m_idleCheck.isActive())
            m_idleCheck.start();
    }
    if (m_runningUploadNow && result.outcome == UploadCycle::Outcome::Delivered)
        ++m_uploadNow.delivered;
    const bool outsideTimes = result.outcome == UploadCycle::Outcome::OutsideDateRange ||
                              result.outcome == UploadCycle::Outcome::OutsideTimeWindow;
    if (outsideTimes && !m_runningUploadNow && m_timers->interval(row + 1) == 0) {
        m_resting[row + 1] = QDeadlineTimer(kRest);
        if (!m_restWake.isActive())
            m_restWake.start(kRest);
    }
    emit cycleFinished(row, result.outcome);

    if (m_stopped) {
        finishUploadNow();
        emitStoppedOnce();
        return;
    }
    schedulePick();
}

bool UploadScheduler::isHeldBack(const QString& name) const
{
    const auto found = m_heldBack.find(name);
    return found != m_heldBack.end() && !found->second.woken && m_clock->now() < found->second.at;
}

std::optional<QDateTime> UploadScheduler::nextTry(const QString& account) const
{
    if (!isHeldBack(account))
        return std::nullopt;
    return m_heldBack.at(account).at;
}

std::optional<UploadScheduler::Due> UploadScheduler::nextDue() const
{
    const QDateTime now = m_clock->now();
    std::optional<Due> soonest;
    for (int row = 0; row < m_accounts.rowCount(); ++row) {
        const qint64 remaining = m_timers->remaining(row + 1);
        if (remaining < 0 || !m_accounts.isChecked(row))
            continue;
        const QString name = m_accounts.rowName(row);
        // To the nearest second, as it is shown: a timer that has 59,998 ms to go is due in a minute.
        Due due{now.addMSecs((remaining + 500) / 1000 * 1000), name, m_timers->interval(row + 1) == 0};
        // An account held back after failed connections tries again at its own time.
        if (const std::optional<QDateTime> held = nextTry(name)) {
            due.at = *held;
            due.constantly = false;
        }
        if (!soonest || due.at < soonest->at)
            soonest = due;
    }
    return soonest;
}

void UploadScheduler::holdBack(const QString& name, int id)
{
    HeldBack& held = m_heldBack[name];
    held.failures = std::min(held.failures + 1, 30);
    held.settings = m_runningSettings;
    const std::chrono::milliseconds interval{std::max<qint64>(0, m_timers->interval(id))};
    const auto longest = std::max(m_backoff.longest, interval);
    auto wait = std::max(m_backoff.first, interval);
    for (int n = 1; n < held.failures && wait < longest; ++n)
        wait *= 2;
    wait = std::min(wait, longest);
    held.at = m_clock->now().addMSecs(wait.count());
    held.woken = false;
    if (!held.wake) {
        held.wake = std::make_unique<QTimer>();
        held.wake->setSingleShot(true);
        // A coarse timer may fire up to 5 % early: a quarter of an hour would end 45 s before the
        // time the log gives.
        held.wake->setTimerType(Qt::PreciseTimer);
        connect(held.wake.get(), &QTimer::timeout, this, [this, name] { onWake(name); });
    }
    held.wake->start(wait);
    if (m_timers->has(id))
        m_log.append(QStringLiteral("\r\nNext try at ") + generalDateTimeText(held.at));
    emit timersChanged();
}

void UploadScheduler::release(const QString& name)
{
    m_heldBack.erase(name);
}

void UploadScheduler::onWake(const QString& name)
{
    if (m_stopped)
        return;
    // The wait is over now, whatever the clock says (it may have been set back meanwhile); the
    // failures still count towards the next wait.
    const auto held = m_heldBack.find(name);
    if (held != m_heldBack.end())
        held->second.woken = true;
    for (int row = 0; row < m_accounts.rowCount(); ++row) {
        if (m_accounts.rowName(row) == name && m_timers->has(row + 1))
            Timers(row + 1);
    }
}

void UploadScheduler::checkSettingsChange()
{
    const auto found = m_heldBack.find(m_accounts.currentName());
    if (found != m_heldBack.end() && found->second.settings != settingsKey(m_accounts.loaded()))
        m_heldBack.erase(found);
}

void UploadScheduler::stop(bool cancelRunning, QDeadlineTimer endBy)
{
    if (!m_stopped) {
        m_stopped = true;
        m_timers->killAll();
        m_due.clear();
        m_round.clear();
        m_dials.clear();
        m_idleCheck.stop();
        m_uploadNowWaiting = false;
        m_heldBack.clear();
        m_resting.clear();
        m_restWake.stop();
        emit timersChanged();
    }
    if (m_running) {
        m_cycle.closeConnectionWhenDone();
        if (cancelRunning)
            m_cycle.stop(endBy);
        return;
    }
    finishUploadNow();
    emitStoppedOnce();
}

void UploadScheduler::refuseUploads(const QString& reason)
{
    m_refusal = reason;
    stop(false);
    m_status.setUploadState(m_refusal);
    logRefusal();
}

void UploadScheduler::logRefusal()
{
    m_log.append(QStringLiteral("\r\n\r\n---[") + generalDateTimeText(m_clock->now()) +
                 QStringLiteral("]---\r\n") + m_refusal);
}

void UploadScheduler::emitStoppedOnce()
{
    if (m_stoppedEmitted)
        return;
    m_stoppedEmitted = true;
    emit stopped();
}
