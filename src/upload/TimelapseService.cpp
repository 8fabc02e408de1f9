#include "upload/TimelapseService.h"

#include "common/Clock.h"
#include "common/DateTimeText.h"
#include "common/OutsideText.h"
#include "settings/AccountBook.h"
#include "upload/ArchiveName.h"
#include "upload/DestinationSession.h"
#include "upload/DestinationSessions.h"
#include "upload/FilePut.h"
#include "upload/FtpJob.h"
#include "upload/FtpLog.h"
#include "upload/WorkerThread.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {
constexpr int kCheckMs = 60'000;

// A failed call in one line: the program's sentence, else the server's reply.
QString reasonOf(const CallResult& call)
{
    if (call.sizeMismatch)
        return QStringLiteral("The server stored %1 bytes of %2")
            .arg(call.sizeMismatch->second)
            .arg(call.sizeMismatch->first);
    if (!call.reason.isEmpty())
        return call.reason;
    const QStringList reply = OutsideText::lines(call.reply);
    return reply.isEmpty() ? QStringLiteral("the server refused it") : reply.front();
}

// Sends the movie as the uploads send their picture: under a temporary name renamed when it
// arrived whole, so the web page never gets half a movie.
Result<void> sendMovie(DestinationSession& session, const Account& account, const QString& movie,
                       const QString& remote, QStringList& lines)
{
    lines << QStringLiteral("Connecting to %1...").arg(DestinationSession::shownHost(account.host));
    CallResult call;
    if (const Result<void> connected = session.connect(account.host, account.user, account.password);
        !connected) {
        call.takeFailure(connected.failure(), session);
        return DestinationSession::failureOf(call.error, reasonOf(call));
    }
    lines << QStringLiteral("Sending %1...").arg(OutsideText::line(remote));
    FilePut::send(session, movie, remote, true, DestinationSession::Transfer::Binary,
                  QStringLiteral("video/webm"), call);
    if (!call.ok)
        return DestinationSession::failureOf(call.error, reasonOf(call));
    session.close();
    return {};
}
} // namespace

TimelapseService::TimelapseService(AccountBook& accounts, FtpLog& log, const FtpTimeouts& timeouts,
                                   const Clock& clock, QObject* parent)
    : QObject(parent), m_accounts(accounts), m_log(log), m_timeouts(timeouts), m_clock(clock),
      m_maker(new TimelapseMaker(this)), m_worker(new WorkerThread(this))
{
    m_networkReady = DestinationSessions::setUpNetwork();
    m_timer.setInterval(kCheckMs);
    connect(&m_timer, &QTimer::timeout, this, &TimelapseService::check);
    // The account list may be read after the timer started (a headless run reads it then): a
    // movie due at start is made at once rather than a minute later.
    connect(&m_accounts, &AccountBook::rowsChanged, this, [this] {
        if (m_timer.isActive())
            check();
    });
    connect(m_maker, &TimelapseMaker::finished, this, &TimelapseService::onMade);
    connect(m_maker, &TimelapseMaker::progress, this, [this](int done, int total) {
        if (!m_current)
            return;
        emit progress(m_current->name, done, total);
        // The log follows in quarters.
        const int quarter = total > 0 ? done * 4 / total : 0;
        if (quarter > m_loggedQuarter && quarter < 4)
            logLine(
                QStringLiteral("Timelapse: %1 % (%2 of %3 pictures)").arg(quarter * 25).arg(done).arg(total));
        m_loggedQuarter = std::max(m_loggedQuarter, quarter);
    });
}

TimelapseService::~TimelapseService()
{
    if (m_session)
        m_session->cancel();
    // The sending worker ends before the network library is let go.
    delete m_worker;
    if (m_networkReady)
        DestinationSessions::releaseNetwork();
}

void TimelapseService::startTimer()
{
    if (m_stopping)
        return;
    m_timer.start();
    check();
}

void TimelapseService::stopTimer()
{
    m_timer.stop();
}

QString TimelapseService::whyNot(const Account& account)
{
    if (!account.archiveLocal)
        return QStringLiteral(
            "A timelapse is made of the local archive copies: tick \"Keep dated copies in the "
            "local folder\" on the Archive tab");
    if (account.localFolder.isEmpty())
        return QStringLiteral("A timelapse needs the local folder (\"Save picture locally to:\" on the "
                              "Destination tab)");
    if (const ArchiveName archive(account.archivePattern); !archive.isValid() || !archive.isDated())
        return QStringLiteral("The archive name must hold the date (%Y, %m and %d) for the pictures of a day "
                              "to be found");
    const ArchiveName movie(account.timelapsePattern);
    if (!movie.isValid())
        return QStringLiteral("The timelapse name cannot be used: ") + movie.problem();
    if (!movie.isDated())
        return QStringLiteral("The timelapse name must hold the date (%Y, %m and %d)");
    // Each keeps its newest files by its own name: names that one could take for the other's would
    // let the movies' keep limit remove pictures, or the other way round.
    const QDateTime sample(QDate(2026, 12, 6), QTime(12, 34, 56));
    if (const ArchiveName archive(account.archivePattern);
        archive.matches(movie.nameAt(sample)) || movie.matches(archive.nameAt(sample)))
        return QStringLiteral("The timelapse name must differ from the archive name");
    if (account.timelapseRate < TimelapseMaker::kMinRate || account.timelapseRate > TimelapseMaker::kMaxRate)
        return QStringLiteral("The timelapse rate must be %1 to %2 pictures a second")
            .arg(TimelapseMaker::kMinRate)
            .arg(TimelapseMaker::kMaxRate);
    return {};
}

QString TimelapseService::movieName(const Account& account, const QDate& day)
{
    return ArchiveName(account.timelapsePattern).nameAt(QDateTime(day, QTime(0, 0)));
}

bool TimelapseService::queued(const QString& name, const QDate& day) const
{
    if (m_current && m_current->name == name && m_current->day == day)
        return true;
    return std::any_of(m_queue.begin(), m_queue.end(),
                       [&](const Request& r) { return r.name == name && r.day == day; });
}

void TimelapseService::check()
{
    const QDateTime now = m_clock.now();
    const QDate yesterday = now.date().addDays(-1);
    for (int row = 0; row < m_accounts.rowCount(); ++row) {
        if (!m_accounts.isChecked(row))
            continue;
        const QString name = m_accounts.rowName(row);
        const Account account = m_accounts.accountNamed(name);
        if (!account.timelapse || now.time() < account.timelapseTime || m_done.value(name) == yesterday ||
            queued(name, yesterday))
            continue;
        // Made before (this run or an earlier one): the movie is in the local folder.
        if (whyNot(account).isEmpty() &&
            QFileInfo::exists(QDir(account.localFolder).filePath(movieName(account, yesterday)))) {
            m_done[name] = yesterday;
            continue;
        }
        m_queue.push_back({name, yesterday});
    }
    next();
}

Result<void> TimelapseService::makeNow(const QString& name, const QDate& day)
{
    if (m_stopping)
        return Failure::of(Failure::Kind::Refused, QStringLiteral("The program is ending"));
    if (const QString why = whyNot(m_accounts.accountNamed(name)); !why.isEmpty())
        return Failure::of(Failure::Kind::Invalid, why);
    if (queued(name, day))
        return Failure::of(Failure::Kind::Refused, QStringLiteral("This movie is being made"));
    m_queue.push_back({name, day});
    next();
    return {};
}

void TimelapseService::next()
{
    while (!m_current && !m_queue.empty() && !m_stopping) {
        m_current = m_queue.front();
        m_queue.pop_front();
        m_account = m_accounts.accountNamed(m_current->name);
        m_loggedQuarter = 0;
        logEntry(QStringLiteral("Timelapse of \"%1\" for %2")
                     .arg(m_current->name, m_current->day.toString(Qt::ISODate)));
        if (const QString why = whyNot(m_account); !why.isEmpty()) {
            end(false, why);
            continue;
        }
        const ArchiveName archive(m_account.archivePattern);
        const QDir folder(m_account.localFolder);
        QStringList pictures;
        for (const QString& file : folder.entryList(QDir::Files, QDir::Name))
            if (archive.matches(file) && archive.timeOf(file).date() == m_current->day)
                pictures << folder.filePath(file);
        if (pictures.isEmpty()) {
            end(false, QStringLiteral("No pictures that day, no movie"));
            continue;
        }
        logLine(
            QStringLiteral("%1 pictures at %2 a second").arg(pictures.size()).arg(m_account.timelapseRate));
        m_movie = folder.filePath(movieName(m_account, m_current->day));
        if (const Result<void> started = m_maker->start({pictures, m_account.timelapseRate, m_movie});
            !started)
            end(false, started.failure().sentence);
    }
}

void TimelapseService::onMade(const TimelapseMaker::Outcome& outcome)
{
    if (!m_current)
        return;
    if (!outcome.made) {
        end(false, outcome.error == QLatin1String("stopped")
                       ? QStringLiteral("Timelapse stopped; no movie")
                       : QStringLiteral("Couldn't make the timelapse: ") + outcome.error);
        return;
    }
    QString made = QStringLiteral("Timelapse made: %1 (%2 pictures, %3 x %4, %5 s)")
                       .arg(QFileInfo(m_movie).fileName())
                       .arg(outcome.frames)
                       .arg(outcome.size.width())
                       .arg(outcome.size.height())
                       .arg(double(outcome.frames) / m_account.timelapseRate, 0, 'f', 1);
    if (outcome.skipped > 0)
        made += outcome.skipped == 1
                    ? QStringLiteral("; 1 file was no readable picture")
                    : QStringLiteral("; %1 files were no readable picture").arg(outcome.skipped);
    logLine(made);
    // The newest movies stay in the local folder.
    const QDir folder(m_account.localFolder);
    std::vector<std::pair<QString, QDateTime>> files;
    for (const QFileInfo& file : folder.entryInfoList(QDir::Files))
        files.emplace_back(file.fileName(), file.lastModified());
    for (const QString& old :
         ArchiveName(m_account.timelapsePattern).beyondNewest(files, m_account.timelapseKeep))
        if (folder.filePath(old) != m_movie && QFile::remove(folder.filePath(old)))
            logLine(QStringLiteral("Removed the older movie ") + old);
    if (m_account.locally && m_account.onlyLocally) {
        end(true, QStringLiteral("Timelapse saved locally"));
        return;
    }
    send(m_movie);
}

void TimelapseService::send(const QString& movie)
{
    m_session = std::shared_ptr<DestinationSession>(
        DestinationSessions::create(m_timeouts, DestinationSessions::settingsOf(m_account)));
    const QString remote = FtpJob::remotePath(m_account.folder, QFileInfo(movie).fileName());
    m_worker->post(
        [this, session = m_session, account = m_account, movie, remote]() -> WorkerThread::Continuation {
            auto lines = std::make_shared<QStringList>();
            const Result<void> sent = sendMovie(*session, account, movie, remote, *lines);
            return [this, lines, sent] {
                m_session.reset();
                for (const QString& line : *lines)
                    logLine(line);
                if (sent)
                    end(true, QStringLiteral("Timelapse sent"));
                else
                    end(false, QStringLiteral("Couldn't send the timelapse: ") + sent.failure().sentence);
            };
        });
}

void TimelapseService::end(bool sent, const QString& text)
{
    logLine(text);
    const Request done = *m_current;
    m_current.reset();
    // A day that failed is not tried again in this run by the timer; "Make timelapse now" can.
    m_done[done.name] = std::max(m_done.value(done.name), done.day);
    emit finished(done.name, sent, text);
    if (m_stopping && !isBusy()) {
        emit stopped();
        return;
    }
    next();
}

void TimelapseService::stop()
{
    const bool first = !m_stopping;
    m_stopping = true;
    m_timer.stop();
    m_queue.clear();
    if (m_maker->isRunning())
        m_maker->stop();
    if (m_session)
        m_session->cancel();
    if (first && !isBusy())
        emit stopped();
}

void TimelapseService::logEntry(const QString& firstLine)
{
    m_logTitle = firstLine;
    m_logEnd = -1;
    logLine(firstLine);
}

void TimelapseService::logLine(const QString& line)
{
    m_logPending << line;
    flushLog();
}

void TimelapseService::flushLog()
{
    if (m_logPending.isEmpty() || (m_logBusy && m_logBusy()))
        return;
    QString text;
    if (m_log.text().size() != m_logEnd) {
        // A new entry: the movie's first, or one after another writer's lines.
        text = FtpLog::kEntryStart + generalDateTimeText(m_clock.now()) + QStringLiteral("]---");
        if (m_logPending.front() != m_logTitle)
            text += QStringLiteral("\r\n") + m_logTitle;
    }
    for (const QString& line : std::as_const(m_logPending))
        text += QStringLiteral("\r\n") + line;
    m_logPending.clear();
    m_log.append(text);
    m_logEnd = m_log.text().size();
}
