#include "upload/FtpStage.h"

#include "common/DateTimeText.h"
#include "common/OutsideText.h"
#include "common/Prompter.h"
#include "upload/ArchiveName.h"
#include "upload/DestinationSessions.h"
#include "upload/FilePut.h"
#include "upload/FtpDial.h"
#include "upload/FtpLog.h"
#include "upload/WorkerThread.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace {
const QString kLineEnd = QStringLiteral("\r\n");
const QString kPictureType = QStringLiteral("image/jpeg");
const QString kTextType = QStringLiteral("text/plain");
using Error = DestinationSession::Error;
// Refusals in a row after which the removal of old archive copies stops.
constexpr int kMostRefusedRemovals = 3;
// Removing a leftover is tried however little time is left, and its goodbye is kept short.
constexpr std::chrono::milliseconds kShortestCleanup{100};
constexpr std::chrono::milliseconds kLongestCleanupGoodbye{200};
} // namespace

struct FtpStage::Removal
{
    int removed = 0;
    int refused = 0;
    int untried = 0;    // left when the refusals in a row stopped the removal
    CallResult refusal; // the last refusal: the server's reply or the session's reason
};

FtpStage::FtpStage(FtpLog& log, Prompter& prompter, const FtpTimeouts& timeouts, QObject* parent)
    : QObject(parent), m_log(log), m_prompter(prompter), m_timeouts(timeouts),
      m_worker(std::make_unique<WorkerThread>())
{
    if (DestinationSessions::setUpNetwork())
        hSession = m_nextHandle++;
    else
        LogInternetError(static_cast<quint32>(Error::Internal), QStringLiteral("InternetOpen"));
}

FtpStage::~FtpStage()
{
    m_dial.reset();
    m_kept.reset();
    if (m_session)
        m_session->cancel();
    if (m_cleaner)
        m_cleaner->cancel();
    m_worker.reset();
    m_session.reset();
    m_cleaner.reset();
    if (hSession != 0)
        DestinationSessions::releaseNetwork();
}

void FtpStage::log(const QString& line)
{
    m_log.append(kLineEnd + line);
}

void FtpStage::LogInternetError(quint32 code, const QString&)
{
    if (code != static_cast<quint32>(Error::ServerReply))
        return;
    const QStringList lines = OutsideText::marked(QStringLiteral("Server: "), m_lastResponse);
    if (!lines.isEmpty())
        log(lines.join(kLineEnd));
}

QStringList FtpStage::logProblem(const CallResult& call, const QString& operation)
{
    m_lastResponse = call.reply;
    LogInternetError(static_cast<quint32>(call.error), operation);
    QStringList lines;
    if (call.error == Error::ServerReply)
        lines = OutsideText::marked(QStringLiteral("Server: "), call.reply);
    if (!call.reason.isEmpty()) {
        lines << OutsideText::line(call.reason);
        log(lines.last());
    }
    return lines;
}

DestinationSession::Settings FtpStage::settingsOf(const FtpJob& job) const
{
    DestinationSession::Settings settings = job.connection;
    settings.passive = settings.passive || (connectFlags & kFlagPassive) != 0;
    return settings;
}

DestinationSession::Transfer FtpStage::transfer() const
{
    return transferType == kTransferAscii ? DestinationSession::Transfer::Text
                                          : DestinationSession::Transfer::Binary;
}

std::unique_ptr<FtpDial> FtpStage::dialAhead(const FtpJob& job) const
{
    if (hSession == 0)
        return nullptr;
    return std::make_unique<FtpDial>(m_timeouts, settingsOf(job), job.host, job.user, job.password);
}

bool FtpStage::start(const FtpJob& job, std::unique_ptr<FtpDial> dial)
{
    if (isRunning())
        return false;
    m_job = job;
    m_result = FtpResult();
    m_cancelled = false;
    m_endBy = QDeadlineTimer(QDeadlineTimer::Forever);
    m_closeWhenDone = false;
    m_reused = false;
    m_anyFailure = false;
    m_kept.reset();
    m_step = Step::Connecting;
    const QString header = kLineEnd + kLineEnd + QStringLiteral("---[") +
                           generalDateTimeText(m_clock->now()) + QStringLiteral("]---") + kLineEnd;

    // A connection made ahead or kept for another server or login is of no use.
    if (dial && !dial->isFor(settingsOf(job), job.host, job.user, job.password))
        dial.reset();
    if (hSession != 0 && dial && dial->isKept() && dial->isDone() && dial->outcome().ok) {
        m_session = dial->takeSession();
        dial.reset();
        if (m_session && m_session->isConnected() && !m_session->isCancelled()) {
            m_reused = true;
            m_connectsAtReuse = m_session->connectionCount();
            m_session->restartStageLimit();
            m_log.append(header + QStringLiteral("Reusing the connection to ") +
                         DestinationSession::shownHost(m_job.host));
            CallResult reused;
            reused.ok = true;
            onConnected(reused);
            return true;
        }
        m_session.reset();
    }
    m_log.append(header + QStringLiteral("Connecting..."));

    if (hSession == 0) {
        CallResult notReady;
        notReady.error = Error::NotConnected;
        onConnected(notReady);
        return true;
    }
    beginDial(dial ? std::move(dial) : dialAhead(job));
    return true;
}

void FtpStage::beginDial(std::unique_ptr<FtpDial> dial)
{
    m_dial = std::move(dial);
    if (m_dial->isDone())
        onDialed();
    else
        connect(m_dial.get(), &FtpDial::finished, this, &FtpStage::onDialed);
}

void FtpStage::redial()
{
    // Said, not counted: the server may close a connection that waited, and a new one mends it.
    log(QStringLiteral("The server had closed the kept connection; connecting again"));
    m_reused = false;
    m_session.reset();
    m_step = Step::Connecting;
    beginDial(dialAhead(m_job));
}

bool FtpStage::droppedWhileKept(const CallResult& call) const
{
    if (!m_reused || m_cancelled || call.cancelled())
        return false;
    switch (call.error) {
    case Error::ConnectionAborted:
    case Error::NotConnected:
    case Error::CannotConnect:
        return true;
    case Error::ServerReply:
        // "421 Timeout.": the server ends the idle session as the next command arrives.
        return call.reply.startsWith(QLatin1String("421"));
    default:
        return false;
    }
}

void FtpStage::onDialed()
{
    const FtpDial::Outcome outcome = m_dial->outcome();
    m_session = m_dial->takeSession();
    m_dial.reset();
    onConnected(CallResult(outcome));
}

void FtpStage::cancel(QDeadlineTimer endBy)
{
    if (!isRunning() || m_cancelled)
        return;
    m_cancelled = true;
    m_endBy = endBy;
    if (m_dial)
        m_dial->cancel();
    if (m_session)
        m_session->cancel();
}

void FtpStage::onConnected(const CallResult& call)
{
    if (!call.ok) {
        // The session of a failed connect holds no connection; it goes here and now.
        m_session.reset();
        log(QStringLiteral("Couldn't connect to server"));
        QStringList why;
        if (m_cancelled || call.cancelled()) {
            m_result.cancelled = true;
            log(QStringLiteral("Cancelled"));
        } else {
            why = logProblem(call, QStringLiteral("InternetConnect"));
        }
        log(QStringLiteral("No picture uploaded"));
        m_result.failure =
            (QStringList(QStringLiteral("Couldn't connect to server")) + why).join(QLatin1Char('\n'));
        // The box says why, as the log does: a refused login is not a server out of reach.
        if (!m_job.scheduled && !m_result.cancelled)
            m_prompter.message(
                QStringLiteral("Couldn't connect to server. Make sure you are connected and check "
                               "your FTP settings, username and password.") +
                    (why.isEmpty() ? QString() : QStringLiteral("\n\n") + why.join(QLatin1Char('\n'))),
                Prompter::Icon::Critical);
        finish();
        return;
    }
    hConnection = m_nextHandle++;
    m_result.connected = true;
    if (!m_reused)
        log(QStringLiteral("Connected to ") + DestinationSession::shownHost(m_job.host));
    if (m_cancelled) {
        m_result.cancelled = true;
        log(QStringLiteral("Cancelled"));
        closeConnection();
        return;
    }
    log(QStringLiteral("Uploading..."));
    send(File::Picture);
}

void FtpStage::send(File file)
{
    m_step = Step::Sending;
    const bool picture = file == File::Picture;
    // A file that could not be made here is not sent: an older one under its name is not this
    // cycle's.
    const QString problem = picture ? m_job.pictureProblem : m_job.timeFileProblem;
    if (!problem.isEmpty()) {
        CallResult notMade;
        notMade.error = Error::FileNotFound;
        notMade.reason = problem;
        onSent(file, notMade);
        return;
    }
    m_worker->post(
        [this, file, session = m_session, local = picture ? m_job.localPicturePath : m_job.localTimePath,
         remote = picture ? m_job.remotePicturePath : m_job.remoteTimePath, safeReplace = m_job.safeReplace,
         transfer = transfer(), contentType = picture ? kPictureType : kTextType] {
            CallResult result;
            FilePut::send(*session, local, remote, safeReplace, transfer, contentType, result);
            return [this, file, result] { onSent(file, result); };
        });
}

void FtpStage::onSent(File file, const CallResult& call)
{
    const bool picture = file == File::Picture;
    if (picture && !call.ok && droppedWhileKept(call)) {
        redial();
        return;
    }
    if (picture && m_reused && m_session && m_session->connectionCount() > m_connectsAtReuse) {
        // The network library found the kept connection closed and made a new one by itself.
        log(QStringLiteral("The server had closed the kept connection; connected again"));
        m_connectsAtReuse = m_session->connectionCount();
    }
    if (!call.ok)
        m_anyFailure = true;
    if (call.sizeNotChecked)
        log(QStringLiteral("Size not checked"));
    if (call.sizeMismatch)
        log(QStringLiteral("Size mismatch: %1 bytes sent, %2 bytes on the server")
                .arg(call.sizeMismatch->first)
                .arg(call.sizeMismatch->second));
    if (call.renaming)
        log(QStringLiteral("Renaming..."));
    if (call.renameFailed)
        log(QStringLiteral("Couldn't rename"));
    // Said once per server and folder in a run: it is how that server works, not news each time.
    if (call.replacedByRemoving &&
        m_saidReplacedByRemoving.insert(m_job.host + QChar(0) + m_job.remotePicturePath).second)
        log(QStringLiteral("The server does not rename onto an existing file: the old file was removed "
                           "first, then the new one renamed"));

    if (call.ok) {
        if (picture) {
            m_result.pictureUploaded = true;
            log(QStringLiteral("Picture uploaded!"));
            if (m_job.successMessage && !m_cancelled)
                m_prompter.message(QStringLiteral("Picture uploaded successfully"),
                                   Prompter::Icon::Information);
        } else {
            m_result.textFileUploaded = true;
            log(QStringLiteral("Textfile uploaded"));
        }
    } else {
        const QString failed =
            picture ? QStringLiteral("Couldn't upload") : QStringLiteral("Couldn't upload Textfile");
        log(failed);
        QStringList why;
        if (!call.cancelled())
            why = logProblem(call, QStringLiteral("FtpPutFile"));
        if (picture) {
            if (call.sizeMismatch)
                why.prepend(QStringLiteral("Size mismatch: %1 bytes sent, %2 bytes on the server")
                                .arg(call.sizeMismatch->first)
                                .arg(call.sizeMismatch->second));
            m_result.failure = (QStringList(failed) + why).join(QLatin1Char('\n'));
        }
    }

    // A cancel ends the stage here: the time file is not tried any more.
    if (m_cancelled || call.cancelled()) {
        endCancelled(call, !call.ok || (picture && m_job.textFile));
        return;
    }
    // The time file is tried whether or not the picture arrived.
    if (picture && m_job.textFile) {
        log(QStringLiteral("Uploading Textfile"));
        send(File::TimeFile);
        return;
    }
    if (m_job.archive && m_result.pictureUploaded) {
        sendArchive();
        return;
    }
    closeConnection();
}

void FtpStage::endCancelled(const CallResult& call, bool somethingLeftUndone)
{
    if (somethingLeftUndone) {
        m_result.cancelled = true;
        log(QStringLiteral("Cancelled"));
    }
    if (!call.leftover.isEmpty())
        removeLeftover(call.leftover);
    else
        closeConnection();
}

void FtpStage::removeLeftover(const QString& remotePath)
{
    m_step = Step::Removing;
    // All of it, the goodbye included, within the time that is left: a server that is slow to
    // greet may need most of it just to let us in.
    using std::chrono::milliseconds;
    const milliseconds budget = m_endBy.isForever()
                                    ? m_timeouts.cleanup
                                    : std::max(milliseconds(m_endBy.remainingTime()), kShortestCleanup);
    FtpTimeouts quick;
    quick.quit = std::min(budget / 4, kLongestCleanupGoodbye);
    quick.connect = quick.response = quick.stage = budget - quick.quit;
    m_cleaner = DestinationSessions::create(quick, m_session->settings());
    m_worker->post([this, cleaner = m_cleaner, host = m_job.host, user = m_job.user,
                    password = m_job.password, remotePath] {
        if (cleaner->connect(host, user, password))
            static_cast<void>(cleaner->remove(remotePath));
        cleaner->close();
        return [this] {
            m_cleaner.reset();
            closeConnection();
        };
    });
}

void FtpStage::closeConnection()
{
    if (m_job.keepConnection && !m_closeWhenDone && !m_cancelled && !m_anyFailure &&
        m_result.pictureUploaded && m_session && m_session->isConnected() && !m_session->isCancelled()) {
        log(QStringLiteral("Connection kept for the next upload"));
        m_kept = FtpDial::keep(std::move(m_session), m_job.host, m_job.user, m_job.password);
        hConnection = 0;
        finish();
        return;
    }
    log(QStringLiteral("Disconnecting..."));
    m_step = Step::Closing;
    m_worker->post([this, session = m_session] {
        session->close();
        return [this] {
            m_session.reset();
            hConnection = 0;
            log(QStringLiteral("Disconnected"));
            finish();
        };
    });
}

void FtpStage::finish()
{
    m_step = Step::Idle;
    emit finished(m_result);
}

void FtpStage::sendArchive()
{
    m_step = Step::Sending;
    log(QStringLiteral("Uploading archive copy"));
    m_worker->post([this, session = m_session, local = m_job.localPicturePath,
                    remote = m_job.archive->remotePath, transfer = transfer()] {
        CallResult result;
        // A new name each time: nothing to replace, so no temporary name either.
        FilePut::send(*session, local, remote, false, transfer, kPictureType, result);
        return [this, result] { onArchiveSent(result); };
    });
}

void FtpStage::onArchiveSent(const CallResult& call)
{
    if (call.sizeMismatch)
        log(QStringLiteral("Size mismatch: %1 bytes sent, %2 bytes on the server")
                .arg(call.sizeMismatch->first)
                .arg(call.sizeMismatch->second));
    if (call.ok) {
        m_result.archiveUploaded = true;
        log(QStringLiteral("Archive copy uploaded"));
    } else {
        m_anyFailure = true;
        log(QStringLiteral("Couldn't upload archive copy"));
        if (!call.cancelled()) {
            m_lastResponse = call.reply;
            LogInternetError(static_cast<quint32>(call.error), QStringLiteral("FtpPutFile"));
        }
    }
    if (m_cancelled || call.cancelled()) {
        endCancelled(call, !call.ok);
        return;
    }
    if (m_job.archive->days > 0) {
        removeOldArchiveCopies();
        return;
    }
    closeConnection();
}

void FtpStage::removeOldArchiveCopies()
{
    m_step = Step::Removing;
    log(QStringLiteral("Removing old archive copies"));
    m_worker->post([this, session = m_session, archive = *m_job.archive] {
        CallResult result;
        Removal removal;
        // The copies are where they were written: the account's folder and the copy's name joined
        // as they are, so a folder without its "/" ("www") puts them beside it ("wwwcam-....jpg").
        const qsizetype slash = archive.folder.lastIndexOf(QLatin1Char('/'));
        const QString listed = archive.folder.left(slash + 1);
        const QString prefix = archive.folder.mid(slash + 1);
        // Only what the listing names and the pattern could have named goes; a folder that cannot
        // be listed keeps everything.
        const Result<QStringList> names = session->list(listed);
        std::optional<Failure> lastFailure; // of the last call, when it failed
        if (names) {
            result.ok = true;
            QStringList ours;
            for (const QString& name : *names) {
                if (name.startsWith(prefix))
                    ours << name.mid(prefix.size());
            }
            const QStringList old = ArchiveName(archive.pattern).olderThan(ours, archive.now, archive.days);
            int refusedInARow = 0;
            for (qsizetype n = 0; n < old.size(); ++n) {
                const Result<void> removed = session->remove(listed + prefix + old[n]);
                if (removed) {
                    lastFailure.reset();
                    ++removal.removed;
                    refusedInARow = 0;
                    continue;
                }
                lastFailure = removed.failure();
                if (DestinationSession::errorOf(removed.failure()) == Error::Cancelled)
                    break;
                // A server that refuses one name will likely refuse the rest: a few tries, then the
                // others wait for the next clean-up.
                ++removal.refused;
                removal.refusal.takeFailure(removed.failure(), *session);
                if (++refusedInARow >= kMostRefusedRemovals) {
                    removal.untried = static_cast<int>(old.size() - n - 1);
                    break;
                }
            }
        } else {
            lastFailure = names.failure();
        }
        if (lastFailure && (!result.ok || DestinationSession::errorOf(*lastFailure) == Error::Cancelled))
            result.takeFailure(*lastFailure, *session);
        return [this, result, removal] { onOldArchiveCopiesRemoved(result, removal); };
    });
}

void FtpStage::onOldArchiveCopiesRemoved(const CallResult& call, const Removal& removal)
{
    if (!call.ok) {
        m_anyFailure = true;
        log(QStringLiteral("Couldn't list the folder, old archive copies kept"));
        if (!call.cancelled()) {
            m_lastResponse = call.reply;
            LogInternetError(static_cast<quint32>(call.error), QStringLiteral("FtpFindFirstFile"));
        }
    } else {
        m_result.archiveRemoved = removal.removed;
        log(QStringLiteral("Removed %1 old archive copies").arg(removal.removed));
        if (removal.refused > 0) {
            // One line for them all, with the server's reason for the last refusal.
            log(removal.untried > 0
                    ? QStringLiteral("Couldn't remove %1 old archive copies, %2 more left for "
                                     "the next clean-up")
                          .arg(removal.refused)
                          .arg(removal.untried)
                    : QStringLiteral("Couldn't remove %1 old archive copies").arg(removal.refused));
            logProblem(removal.refusal, QStringLiteral("FtpDeleteFile"));
        }
    }
    if (m_cancelled || call.cancelled())
        log(QStringLiteral("Cancelled"));
    closeConnection();
}
