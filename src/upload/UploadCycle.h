#pragma once

#include "capture/CaptureStill.h"
#include "common/Clock.h"
#include "common/FileWriter.h"
#include "settings/Account.h"
#include "upload/ChangeDetector.h"
#include "upload/FtpDial.h"
#include "upload/FtpJob.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>

class AccountBook;
class CaptureComponent;
class FtpLog;
class FtpStage;
class ProgramOptions;
class Prompter;
class SoundOutput;
class UploadStatus;
struct FtpResult;

// One upload for the loaded account: question, sound and delay, the frame, the time stamp band,
// the JPEG, the time text file, the local copy, the FTP stage, the cleanup, the count and the
// close-after option. A sequence of steps on the UI thread: the delay is a timer, the still comes
// from the capture component when it has one, and the transfer is the FTP stage's job on its
// worker; between them the program goes on serving its windows. finished() ends every cycle.
class UploadCycle final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadCycle)

public:
    // Working files in the working folder: the JPEG and the time file. The frame, strip and
    // picture bitmaps of earlier versions are no longer written and are removed at start.
    static inline const QString kFrameFile = QStringLiteral("ic.bmp");
    static inline const QString kStripFile = QStringLiteral("pu.bmp");
    static inline const QString kPictureFile = QStringLiteral("pic.bmp");
    static inline const QString kJpegFile = QStringLiteral("webcam.jpg");
    static inline const QString kTimeFile = QStringLiteral("time.txt");

    struct Dependencies
    {
        AccountBook& accounts;
        ProgramOptions& options;
        CaptureComponent* capture; // null when the program has no capture component
        FtpStage& ftp;
        Prompter& prompter;
        UploadStatus& status;
        SoundOutput& sound;
        QString workDir;
        FtpLog* log = nullptr; // where a cycle that sends nothing says so
    };

    enum class Outcome {
        Cancelled, // the question was answered with Cancel
        OutsideDateRange,
        OutsideTimeWindow,
        Failed,       // a step failed: nothing (or not everything) was delivered
        NotConnected, // the server could not be reached or refused the login
        Delivered,    // uploaded, or saved locally where the account asks only for that
        Unchanged,    // the picture differed too little from the one last uploaded: nothing sent
        Stopped,      // stop() ended the cycle before its end steps
        ProgramEnded  // the close-after option ended the program
    };

    struct Result
    {
        Outcome outcome = Outcome::Failed;
        bool connected = false; // the FTP stage logged in
        QString failure;        // why nothing (or not everything) was delivered, in the log's words
        QString account;        // whose cycle it was
        QDateTime at;           // when its picture was taken (the stamp's time)
    };

    // The line a cycle logs instead of a login when no password is at hand.
    static inline const QString kNoPassword =
        QStringLiteral("No password: type it in Upload Settings (it is kept until the program ends) or "
                       "store it there; 'Remember my password' is off");
    // Whether an upload of account would log in without a password that the person never gave:
    // "Remember my password" is off and none was typed since the start. A key login (SFTP) and an
    // anonymous login need none.
    static bool lacksPassword(const Account& account);

    explicit UploadCycle(const Dependencies& dependencies, QObject* parent = nullptr);
    ~UploadCycle() override;

    // Starts one cycle for the loaded account; finished() follows, at once when the question is
    // answered with Cancel or now is outside the date range or the time window. False, and nothing
    // happens, while a cycle runs. dial: the connection dialAhead() began, or the last cycle kept,
    // for this account, if any. keepConnection: the account's next upload is near, so a transfer
    // that goes well keeps its connection for it (see takeUnusedDial()).
    bool upload_now(bool scheduled, std::unique_ptr<FtpDial> dial = nullptr, bool keepConnection = false);
    // For a timed cycle of account that is yet to come: begins connecting and logging in now, when
    // that cycle may need the connection (it uploads by FTP and is in its date range and time
    // window), so that a slow or dead server holds up no other account, whatever this one's
    // options; null otherwise.
    std::unique_ptr<FtpDial> dialAhead(const Account& account) const;
    // The logged-in connection made ahead that the cycle that just ended did not come to use (the
    // picture was unchanged, the question was answered with Cancel), or the one its transfer kept;
    // only while finished() is being sent, afterwards it is dropped. The next turn of the same
    // account may go on with it.
    std::unique_ptr<FtpDial> takeUnusedDial() { return std::move(m_unusedDial); }
    // The running cycle's transfer says goodbye at its end instead of keeping its connection.
    void closeConnectionWhenDone();
    // Ends the running cycle soon: the delay and the wait for the still are cut short, a transfer
    // is cancelled; finished() with Stopped follows. A message box that is open stays until it is
    // answered (or the program's event loop ends), and nothing more happens after it. endBy: when
    // the program ends (see FtpStage::cancel).
    void stop(QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever));
    bool isRunning() const { return m_running; }

    // The clock of the stamp, the time file, the date range and the log's entry headers; the
    // system's unless a test sets another. clock must outlive the cycle.
    void setClock(const Clock& clock);
    // How the cycle writes its files (the JPEG, the time file, the local copies); tests put in
    // one that fails as a full disk would.
    void setFileWriter(const FileWriter& writer) { m_writer = writer; }

    // Cycles that reached the end steps since start. Wider than the program ever needed, so it
    // never wraps in a program that runs for months.
    qint64 uploadCount() const { return m_uploadCount; }

signals:
    // The cycle of account has begun taking and sending its picture (past the question, if any).
    void started(const QString& account);
    void finished(const UploadCycle::Result& result);
    // The close-after option asks the program to end now, without its closing steps.
    void quitRequested();

private:
    enum class Wait { None, Delay, Still, Transfer };

    QString workFile(const QString& name) const;
    FtpJob jobFor(const Account& account, bool scheduled) const;
    bool isOutsideDateRange(const Account& account) const;
    bool isOutsideTimeWindow(const Account& account) const;
    // A timed cycle of an account that sends only changed pictures: whether this frame differs
    // too little from the last one sent (and says so in the log). Remembers the frame's grey copy
    // to keep once it has been delivered.
    bool isUnchanged(const QImage& frame);
    ::Result<void> copyReplacing(const QString& from, const QString& to) const;
    // A line of the cycle's own in the FTP log; the first one of a cycle opens its entry.
    void logNote(const QString& line);
    // Stored values of the account that cannot be used, with what stands in for them: one line
    // for each when it is first seen and again after it changed.
    void noteUnusableValues();
    // Writes the cycle's JPEG and time file; what could not be made is said in the job, so the
    // stage logs it and never sends an older file under its name.
    void writeWorkFiles(const QImage& picture, FtpJob& job);
    void copyLocally(const FtpJob& job, bool* pictureCopied);
    // The dated copy in the local folder, and the removal of the copies beyond the newest kept.
    void saveLocalArchiveCopy();
    // The dated copy on the server, for the FTP stage; absent when the account asks for none.
    std::optional<FtpJob::Archive> serverArchive();
    void removeWorkFile(const QString& name) const;
    void takeStill();
    void onStill(const CaptureStill& still);
    void onTransferFinished(const FtpResult& result);
    void removeCycleFiles() const;
    // failure: why the cycle delivers nothing, logged as an entry of its own; only Upload Now shows it
    // in a box as well, since a timed cycle must never wait for someone to answer.
    enum class Logged { No, Already };
    void endSteps(Outcome outcome, const QString& failure = QString(), Logged logged = Logged::No);
    // The prompter for what goes wrong in this cycle: the program's for Upload Now, a silent one
    // for timed cycles (the failure goes to the log, the status and the tray instead).
    Prompter& failurePrompter();
    void finishStopped();
    void finish(Outcome outcome);
    void switchPreviewBack();

    Dependencies m_deps;
    SystemClock m_systemClock;
    const Clock* m_clock = &m_systemClock;
    FileWriter m_writer;
    qint64 m_uploadCount = 0;

    bool m_running = false;
    bool m_stopRequested = false;
    Wait m_wait = Wait::None;
    int m_stillRequest = 0; // answers to an older request are not this cycle's picture
    QTimer m_delay;
    bool m_scheduled = false;
    Account m_account;
    QString m_accountName;
    // The grey copy of the picture last delivered, per account name, for "Only when changed";
    // kept in memory only, so the first cycle after a start always uploads.
    std::map<QString, ChangeDetector::Thumbnail> m_lastDelivered;
    std::optional<ChangeDetector::Thumbnail> m_candidate; // this cycle's, kept once it is delivered
    // When each account may next look for old archive copies on its server: listing a folder of
    // thousands of copies on every upload would cost more than the upload.
    std::map<QString, QDeadlineTimer> m_nextArchiveCleanup;
    // The lines noteUnusableValues() last gave for each account name.
    std::map<QString, QStringList> m_notedValues;
    bool m_noted = false; // this cycle's own entry in the log has begun
    QDateTime m_start;
    QString m_savedStatus;
    bool m_switchedPreviewOn = false;
    bool m_connected = false;
    QString m_failure;
    QString m_localCopyProblem; // why the picture was not saved in the local folder
    std::unique_ptr<FtpDial> m_dial;
    bool m_keepConnection = false;
    std::unique_ptr<Prompter> m_silent;
    std::unique_ptr<FtpDial> m_unusedDial;
};
