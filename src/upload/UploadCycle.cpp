#include "upload/UploadCycle.h"

#include "capture/CaptureComponent.h"
#include "common/AppPaths.h"
#include "common/DateTimeText.h"
#include "common/OutsideText.h"
#include "common/Prompter.h"
#include "common/SoundOutput.h"
#include "imaging/StampComposer.h"
#include "imaging/StampFont.h"
#include "imaging/cDIBSection.h"
#include "options/ProgramOptions.h"
#include "settings/AccountBook.h"
#include "settings/DestinationName.h"
#include "upload/ArchiveName.h"
#include "upload/DestinationSessions.h"
#include "upload/FtpDial.h"
#include "upload/FtpJob.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"
#include "upload/JpegWriter.h"
#include "upload/TimeWindow.h"
#include "upload/UploadStatus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {
constexpr int kMaxSoundDelaySeconds = 10;
constexpr std::chrono::hours kArchiveCleanupEvery{1};

// Where the messages of a timed cycle go: nowhere. What went wrong reaches the log instead.
class SilentPrompter final : public Prompter
{
public:
    Answer message(const QString&, Icon, Buttons, const QString&, Answer defaultAnswer) override
    {
        return defaultAnswer;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
};
} // namespace

UploadCycle::UploadCycle(const Dependencies& dependencies, QObject* parent)
    : QObject(parent), m_deps(dependencies), m_silent(std::make_unique<SilentPrompter>())
{
    AppPaths::makePrivateFolder(m_deps.workDir);
    // Bitmaps that earlier versions left between cycles are removed once, not on every cycle.
    for (const QString& name : {kFrameFile, kStripFile, kPictureFile})
        removeWorkFile(name);
    // QTimer runs on the monotonic clock, so the delay lasts as long across midnight or a clock
    // change.
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, &UploadCycle::takeStill);
    connect(&m_deps.ftp, &FtpStage::finished, this, &UploadCycle::onTransferFinished);
}

UploadCycle::~UploadCycle() = default;

QString UploadCycle::workFile(const QString& name) const
{
    return m_deps.workDir + QLatin1Char('/') + name;
}

void UploadCycle::removeWorkFile(const QString& name) const
{
    QFile::remove(workFile(name));
}

void UploadCycle::setClock(const Clock& clock)
{
    m_clock = &clock;
    m_deps.ftp.setClock(clock);
}

::Result<void> UploadCycle::copyReplacing(const QString& from, const QString& to) const
{
    // Written beside the target and moved over it, so a web server that serves the local folder
    // never sees half a picture, and a failed copy leaves the one that was there. A link found
    // under the name is replaced, never written through: in a shared folder, with names anyone can
    // foresee, it may be someone else's, pointing at a file of ours.
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return FileWriter::failureAt(FileWriter::Step::Create, Failure::Kind::NotFound, source.errorString());
    const QByteArray data = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return FileWriter::failureAt(FileWriter::Step::Create, Failure::Kind::Io, source.errorString());
    return m_writer.write(to, data, FileWriter::Links::Replace);
}

void UploadCycle::logNote(const QString& line)
{
    if (!m_deps.log)
        return;
    // The cycle's own entry, before the FTP stage's, for what it has to say itself.
    if (!m_noted)
        m_deps.log->append(FtpLog::kEntryStart + generalDateTimeText(m_start) + QStringLiteral("]---"));
    m_noted = true;
    m_deps.log->append(QStringLiteral("\r\n") + line);
}

void UploadCycle::noteUnusableValues()
{
    // Each once while it stays as it is: an account that uploads every second must not say it
    // every second.
    const auto quoted = [](const QString& text) {
        constexpr qsizetype kLongest = 80;
        const QString line = OutsideText::line(text);
        return QLatin1Char('\'') +
               (line.size() > kLongest ? line.left(kLongest) + QStringLiteral("...") : line) +
               QLatin1Char('\'');
    };
    QStringList lines;
    for (const UnusableValue& value : m_account.unusable)
        lines << QStringLiteral("The stored '%1' value %2 %3; %4 is used")
                     .arg(value.name, quoted(value.stored), value.why,
                          value.used.isEmpty() ? QStringLiteral("nothing") : value.used);
    if (m_account.archiveServer || m_account.archiveLocal) {
        const ArchiveName name(m_account.archivePattern);
        if (!name.isValid())
            lines << QStringLiteral(
                         "The stored 'Archive name' value %1 cannot be used, no archive copies are "
                         "made: %2")
                         .arg(quoted(m_account.archivePattern), name.problem());
        else if (m_account.archiveServer && m_account.archiveDays > 0 && !name.isDated())
            lines << QStringLiteral(
                         "The stored 'Archive name' value %1 has no date in it; old archive copies "
                         "on the server are kept")
                         .arg(quoted(m_account.archivePattern));
    }
    QStringList& noted = m_notedValues[m_accountName];
    for (const QString& line : lines) {
        if (!noted.contains(line))
            logNote(line);
    }
    noted = lines;
}

void UploadCycle::saveLocalArchiveCopy()
{
    const ArchiveName name(m_account.archivePattern);
    if (!name.isValid())
        return;
    const QDir folder(m_account.localFolder);
    const QString copy = folder.filePath(name.nameAt(m_start));
    if (const ::Result<void> written = copyReplacing(workFile(kJpegFile), copy); !written) {
        logNote(QStringLiteral("Couldn't save the archive copy ") + OutsideText::line(copy) +
                QStringLiteral(": ") + written.failure().sentence);
        return;
    }
    std::vector<std::pair<QString, QDateTime>> files;
    for (const QFileInfo& file : folder.entryInfoList(QDir::Files))
        files.emplace_back(file.fileName(), file.lastModified());
    for (const QString& old : name.beyondNewest(files, m_account.archiveKeep))
        QFile::remove(folder.filePath(old));
}

std::optional<FtpJob::Archive> UploadCycle::serverArchive()
{
    const ArchiveName name(m_account.archivePattern);
    if (!m_account.archiveServer || !name.isValid())
        return std::nullopt;
    FtpJob::Archive archive;
    archive.folder = m_account.folder;
    archive.remotePath = FtpJob::remotePath(m_account.folder, name.nameAt(m_start));
    archive.pattern = m_account.archivePattern;
    archive.now = m_start;
    QDeadlineTimer& cleanup = m_nextArchiveCleanup[m_accountName];
    // Without a date in the names the age of a copy is unknown: none is removed.
    if (m_account.archiveDays > 0 && name.isDated() && cleanup.hasExpired()) {
        archive.days = m_account.archiveDays;
        cleanup.setRemainingTime(kArchiveCleanupEvery);
    }
    return archive;
}

FtpJob UploadCycle::jobFor(const Account& account, bool scheduled) const
{
    const ProgramOptions& options = m_deps.options;
    FtpJob job;
    job.host = account.host;
    job.user = account.user;
    job.password = account.password;
    job.remotePicturePath = FtpJob::remotePath(account.folder, account.fileName + QStringLiteral(".jpg"));
    job.remoteTimePath = FtpJob::remotePath(account.folder, options.timeFileName());
    job.localPicturePath = workFile(kJpegFile);
    job.localTimePath = workFile(kTimeFile);
    job.textFile = account.textTime;
    job.successMessage = options.suc();
    job.scheduled = scheduled;
    job.connection = DestinationSessions::settingsOf(account);
    job.safeReplace = account.safeReplace;
    return job;
}

bool UploadCycle::isOutsideDateRange(const Account& account) const
{
    const QDate today = m_clock->today();
    return account.between && (today < account.dateFrom || today > account.dateTo);
}

bool UploadCycle::isOutsideTimeWindow(const Account& account) const
{
    return account.betweenTimes &&
           !TimeWindow(account.timeFrom, account.timeTo).contains(m_clock->now().time());
}

bool UploadCycle::isUnchanged(const QImage& frame)
{
    m_candidate.reset();
    if (!m_account.onlyChanged)
        return false;
    m_candidate = ChangeDetector::thumbnail(frame);
    // Upload Now always sends; its picture is the one the next timed cycle compares with.
    const auto last = m_lastDelivered.find(m_accountName);
    if (!m_scheduled || last == m_lastDelivered.end() ||
        !ChangeDetector::isUnchanged(ChangeDetector::changedPercent(last->second, *m_candidate),
                                     m_account.changeThreshold))
        return false;
    logNote(QStringLiteral("Picture unchanged, not uploaded"));
    return true;
}

bool UploadCycle::lacksPassword(const Account& account)
{
    if (account.rememberPassword || !account.password.isEmpty())
        return false;
    // A key login needs no password (the key file is the protocol's own, where it has one).
    if (!DestinationSessions::settingsOf(account).keyFile.isEmpty())
        return false;
    const QString user = account.user.trimmed().toLower();
    return user != QLatin1String("anonymous") && user != QLatin1String("ftp");
}

Prompter& UploadCycle::failurePrompter()
{
    return m_scheduled ? *m_silent : m_deps.prompter;
}

std::unique_ptr<FtpDial> UploadCycle::dialAhead(const Account& account) const
{
    if ((account.locally && account.onlyLocally) || isOutsideDateRange(account) ||
        isOutsideTimeWindow(account) || lacksPassword(account))
        return nullptr;
    return m_deps.ftp.dialAhead(jobFor(account, true));
}

bool UploadCycle::upload_now(bool scheduled, std::unique_ptr<FtpDial> dial, bool keepConnection)
{
    if (m_running)
        return false;
    m_running = true;
    m_dial = std::move(dial);
    m_keepConnection = keepConnection;
    m_stopRequested = false;
    m_wait = Wait::None;
    m_scheduled = scheduled;
    m_connected = false;
    m_failure.clear();
    m_start = QDateTime();
    m_switchedPreviewOn = false;
    // The account as it is now: a tick or a click while this cycle runs may load another one.
    m_account = m_deps.accounts.loaded();
    m_accountName = m_deps.accounts.currentName();
    m_candidate.reset();
    ProgramOptions& options = m_deps.options;

    if (scheduled && options.ask()) {
        const auto answer = m_deps.prompter.message(QStringLiteral("Picture will now be uploaded to '") +
                                                        m_account.host + QLatin1Char('\''),
                                                    Prompter::Icon::Question, Prompter::Buttons::OkCancel);
        if (m_stopRequested || answer != Prompter::Answer::Ok) {
            finish(m_stopRequested ? Outcome::Stopped : Outcome::Cancelled);
            return true;
        }
    }

    m_savedStatus = m_deps.status.uploadState();
    m_deps.status.setUploadState(QStringLiteral("Uploading..."));
    m_start = m_clock->now();
    m_noted = false;
    noteUnusableValues();
    emit started(m_accountName);

    if (scheduled && isOutsideDateRange(m_account)) {
        m_deps.status.setUploadState(m_savedStatus);
        finish(Outcome::OutsideDateRange);
        return true;
    }
    if (scheduled && isOutsideTimeWindow(m_account)) {
        m_deps.status.setUploadState(m_savedStatus);
        finish(Outcome::OutsideTimeWindow);
        return true;
    }

    // Only a preview that this cycle switched on is switched off again afterwards; one the user
    // keeps running stays on.
    if (options.motion() && m_deps.capture && !m_deps.capture->Preview()) {
        m_deps.capture->setPreview(true);
        m_switchedPreviewOn = true;
    }

    if (scheduled && options.sound()) {
        if (options.soundSrc().isEmpty())
            m_deps.sound.beep();
        else
            m_deps.sound.playFile(options.soundSrc());
        bool isNumber = false;
        const int delay = std::clamp(options.soundSec().trimmed().toInt(&isNumber), 0, kMaxSoundDelaySeconds);
        if (isNumber && delay > 0) {
            m_wait = Wait::Delay;
            m_delay.start(delay * 1000);
            return true;
        }
    }
    takeStill();
    return true;
}

void UploadCycle::takeStill()
{
    if (!m_deps.capture) {
        endSteps(Outcome::Failed, QStringLiteral("Failed to save picture, no video capture device"));
        return;
    }
    m_wait = Wait::Still;
    const int request = ++m_stillRequest;
    m_deps.capture->requestStillOf(m_account.camera, this, [this, request](const CaptureStill& still) {
        if (request == m_stillRequest && m_wait == Wait::Still)
            onStill(still);
    });
}

void UploadCycle::onStill(const CaptureStill& still)
{
    m_wait = Wait::None;
    // Every frame that cannot be taken is reported.
    if (!still.ok()) {
        endSteps(Outcome::Failed, QStringLiteral("Failed to save picture, ") + still.failure().sentence);
        return;
    }
    const QImage& frame = *still;
    // Compared before anything is written: an unchanged picture leaves no file anywhere, and the
    // timer goes on as after an upload.
    if (isUnchanged(frame)) {
        endSteps(Outcome::Unchanged);
        return;
    }
    // The frame, the stamped picture and the pixel buffer stay in memory: only the JPEG and the
    // time file, which leave the program, are written to the working folder.
    const QImage picture =
        m_account.timestamp
            ? StampComposer::compose(
                  frame, generalDateTimeText(m_start),
                  StampComposer::Style{stampFont(m_account), m_account.backQColor(), m_account.foreQColor()})
            : frame;
    FtpJob job = jobFor(m_account, m_scheduled);
    job.keepConnection = m_keepConnection;
    writeWorkFiles(picture, job);
    if (m_stopRequested) {
        finishStopped();
        return;
    }

    bool savedLocally = false;
    copyLocally(job, &savedLocally);

    // Archive copies need the local folder, not the local copy under the fixed name, and a picture
    // of this cycle.
    if (m_account.archiveLocal && !m_account.localFolder.isEmpty() && job.pictureProblem.isEmpty())
        saveLocalArchiveCopy();

    if (m_account.locally && m_account.onlyLocally) {
        removeCycleFiles();
        if (savedLocally)
            endSteps(Outcome::Delivered);
        else if (!job.pictureProblem.isEmpty())
            endSteps(Outcome::Failed, job.pictureProblem);
        else
            endSteps(Outcome::Failed, m_localCopyProblem, Logged::Already);
        return;
    }

    // Without a password the login can only fail; one clear line says why instead.
    if (lacksPassword(m_account)) {
        removeCycleFiles();
        endSteps(Outcome::Failed, kNoPassword);
        return;
    }

    job.archive = serverArchive();
    m_wait = Wait::Transfer;
    if (!m_deps.ftp.start(job, std::move(m_dial))) {
        // Someone else's transfer holds the stage; this cycle delivers nothing.
        m_wait = Wait::None;
        removeCycleFiles();
        endSteps(Outcome::Failed);
    }
}

void UploadCycle::writeWorkFiles(const QImage& picture, FtpJob& job)
{
    ProgramOptions& options = m_deps.options;
    // The folder may have been removed since the last cycle.
    AppPaths::makePrivateFolder(m_deps.workDir);

    cDIBSection dib;
    const ::Result<void> converted = dib.fromImage32(picture);
    const ::Result<QByteArray> jpeg =
        converted ? EncodeJpeg(dib, options.jpegQuality()) : ::Result<QByteArray>(converted.failure());
    const ::Result<void> saved =
        jpeg ? WriteJpeg(*jpeg, workFile(kJpegFile), m_writer) : ::Result<void>(jpeg.failure());
    if (!saved) {
        job.pictureProblem = (jpeg ? QStringLiteral("Couldn't write ") + kJpegFile
                                   : QStringLiteral("No picture: it could not be made into a JPEG")) +
                             QStringLiteral(": ") + saved.failure().sentence;
        if (!m_stopRequested) {
            if (converted) // the encoder's or the writer's own box first, as for a still saved by hand
                ShowJpegError(saved.failure(), failurePrompter());
            failurePrompter().message(QStringLiteral("Failed to save JPEG file"), Prompter::Icon::Critical);
        }
    }

    if (m_account.textTime) {
        const ::Result<void> written = m_writer.write(
            workFile(kTimeFile), (generalDateTimeText(m_start) + QStringLiteral("\r\n")).toUtf8());
        if (!written)
            job.timeFileProblem = QStringLiteral("Couldn't write ") + kTimeFile + QStringLiteral(": ") +
                                  written.failure().sentence;
    } else {
        job.timeFileProblem = QStringLiteral("No time file in this cycle");
    }

    // A name with a folder in it would put the file outside the folder the user gave.
    const QString pictureName = DestinationName::problem(m_account.fileName);
    if (!pictureName.isEmpty())
        job.pictureProblem = QStringLiteral("Not sent: the destination file name ") + pictureName;
    const QString timeName = DestinationName::problem(options.timeFileName());
    if (!timeName.isEmpty() && job.timeFileProblem.isEmpty())
        job.timeFileProblem = QStringLiteral("Not sent: the time file name ") + timeName;
}

void UploadCycle::copyLocally(const FtpJob& job, bool* pictureCopied)
{
    // Without a local folder nothing is copied: an empty folder would put the files into the
    // file system's root. Only files of this cycle are copied: a failed write keeps the copy the
    // folder had.
    *pictureCopied = false;
    m_localCopyProblem.clear();
    if (!m_account.locally)
        return;
    // A note in the log says why; saving only locally, it is also the failure of the cycle.
    const auto tell = [this](const QString& problem) {
        m_localCopyProblem = problem;
        logNote(problem);
    };
    if (m_account.localFolder.isEmpty()) {
        tell(QStringLiteral("Not saved locally: no local folder is set"));
        return;
    }
    const QString folder = m_account.localFolder + QLatin1Char('/');
    if (job.pictureProblem.isEmpty()) {
        const QString copy = folder + m_account.fileName + QStringLiteral(".jpg");
        const ::Result<void> written = copyReplacing(workFile(kJpegFile), copy);
        *pictureCopied = written.ok();
        if (!written)
            tell(QStringLiteral("Couldn't save the local copy ") + OutsideText::line(copy) +
                 QStringLiteral(": ") + written.failure().sentence);
    }
    if (job.timeFileProblem.isEmpty()) {
        const QString copy = folder + m_deps.options.timeFileName();
        const ::Result<void> written = copyReplacing(workFile(kTimeFile), copy);
        if (!written)
            logNote(QStringLiteral("Couldn't save the local copy ") + OutsideText::line(copy) +
                    QStringLiteral(": ") + written.failure().sentence);
    }
}

void UploadCycle::onTransferFinished(const FtpResult& result)
{
    if (m_wait != Wait::Transfer)
        return;
    m_wait = Wait::None;
    m_connected = result.connected;
    removeCycleFiles();
    if (m_stopRequested || result.cancelled) {
        finishStopped();
        return;
    }
    // The stage has logged and (for Upload Now) shown its failure already.
    m_failure = result.failure;
    endSteps(result.pictureUploaded ? Outcome::Delivered
                                    : (result.connected ? Outcome::Failed : Outcome::NotConnected));
}

void UploadCycle::removeCycleFiles() const
{
    removeWorkFile(kTimeFile);
    if (!m_deps.options.keep())
        removeWorkFile(kJpegFile);
}

void UploadCycle::endSteps(Outcome outcome, const QString& failure, Logged logged)
{
    if (!failure.isEmpty() && !m_stopRequested) {
        m_failure = failure;
        if (logged == Logged::No)
            logNote(failure);
        failurePrompter().message(failure, Prompter::Icon::Critical);
    }
    if (m_stopRequested) {
        finishStopped();
        return;
    }
    switchPreviewBack();
    ++m_uploadCount;
    if (outcome == Outcome::Delivered && m_candidate)
        m_lastDelivered[m_accountName] = *m_candidate;

    bool isNumber = false;
    const qint64 closeAfter = m_deps.options.closeCount().trimmed().toLongLong(&isNumber);
    if (m_deps.options.close() && isNumber && closeAfter > 0 && m_uploadCount >= closeAfter) {
        // No further step: the status keeps "Uploading..." as the program ends.
        m_dial.reset();
        m_running = false;
        emit quitRequested();
        emit finished({Outcome::ProgramEnded, m_connected, m_failure, m_accountName, m_start});
        return;
    }
    m_deps.status.setUploadState(m_savedStatus);
    finish(outcome);
}

void UploadCycle::finishStopped()
{
    switchPreviewBack();
    m_deps.status.setUploadState(m_savedStatus);
    finish(Outcome::Stopped);
}

void UploadCycle::switchPreviewBack()
{
    if (m_switchedPreviewOn && m_deps.capture)
        m_deps.capture->setPreview(false);
    m_switchedPreviewOn = false;
}

void UploadCycle::finish(Outcome outcome)
{
    // A connection made ahead that the cycle did not come to use is offered to whoever receives
    // finished(), then goes.
    if (m_dial && m_dial->isDone() && m_dial->outcome().ok)
        m_unusedDial = std::move(m_dial);
    m_dial.reset();
    if (std::unique_ptr<FtpDial> kept = m_deps.ftp.takeKeptConnection())
        m_unusedDial = std::move(kept);
    m_running = false;
    m_wait = Wait::None;
    emit finished({outcome, m_connected, outcome == Outcome::Delivered ? QString() : m_failure, m_accountName,
                   m_start});
    m_unusedDial.reset();
}

void UploadCycle::closeConnectionWhenDone()
{
    m_keepConnection = false;
    m_deps.ftp.closeWhenDone();
}

void UploadCycle::stop(QDeadlineTimer endBy)
{
    if (!m_running || m_stopRequested)
        return;
    m_stopRequested = true;
    switch (m_wait) {
    case Wait::Delay:
        m_delay.stop();
        finishStopped();
        break;
    case Wait::Still:
        ++m_stillRequest;
        finishStopped();
        break;
    case Wait::Transfer:
        m_deps.ftp.cancel(endBy);
        break;
    case Wait::None:
        // A message box of this cycle is open; the step after it ends the cycle.
        break;
    }
}
