#pragma once

#include "common/Clock.h"
#include "upload/DestinationSession.h"
#include "upload/FilePut.h"
#include "upload/FtpDial.h"
#include "upload/FtpJob.h"
#include "upload/FtpTimeouts.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <memory>
#include <set>

class FtpLog;
class Prompter;
class WorkerThread;

// The FTP stage of an upload cycle, as a job: start() connects to the account's server, puts the
// picture and the time file, disconnects and writes every step to the FTP log; finished() says what
// came of it. The network calls run on a worker thread one after the other; the log lines and the
// message boxes happen on the stage's own thread between them, in the order of the steps, and
// nothing there waits for the network.
//
// A job that asks for it keeps its connection when everything went well: the stage ends without the
// goodbye and takeKeptConnection() hands the session over, for a later start() to go on with
// ("Reusing the connection to ..." instead of the connect and login lines). A kept connection the
// server has closed meanwhile is made anew once, which is no failure.
//
// cancel() ends the running call at once and drops the connection. A file that was on its way is
// removed again on a short connection of its own, so nothing partial stays under its name; with a
// safe replace only the temporary file goes and the old file stays. When the program is ending, the
// removal gets the time that is left until the end; otherwise the cleanup time limit.
class FtpStage final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FtpStage)

public:
    // Transfer types and connect flags in the numbering the fields use.
    static constexpr quint32 kTransferAscii = 1;
    static constexpr quint32 kTransferBinary = 2;
    static constexpr quint32 kFlagPassive = 0x08000000;

    FtpStage(FtpLog& log, Prompter& prompter, const FtpTimeouts& timeouts = {}, QObject* parent = nullptr);
    // Cancels what runs and waits for the worker, which the cancel has already freed.
    ~FtpStage() override;

    // Starts the stage; finished() follows (before start() returns when the network library is not
    // ready or a dial made ahead has already failed). False, and nothing happens, while a stage
    // runs. A dial made ahead (see dialAhead()) for the job's server and login is taken over;
    // another one is dropped and the stage dials itself.
    bool start(const FtpJob& job, std::unique_ptr<FtpDial> dial = nullptr);
    // Connects and logs in for a job that is yet to start, with the stage's time limits.
    std::unique_ptr<FtpDial> dialAhead(const FtpJob& job) const;
    // endBy: when the program ends; removing what a cancelled put left must be done by then.
    void cancel(QDeadlineTimer endBy = QDeadlineTimer(QDeadlineTimer::Forever));
    bool isRunning() const { return m_step != Step::Idle; }
    // The running stage says goodbye at its end, whatever its job asked for.
    void closeWhenDone() { m_closeWhenDone = true; }
    // The connection the last stage kept, once; nothing when it kept none.
    std::unique_ptr<FtpDial> takeKeptConnection() { return std::move(m_kept); }

    // Adds the server's last reply to the log when code says the server answered with an error:
    // every line of it marked "Server: ", so none can pass for one of the stage's own lines.
    void LogInternetError(quint32 code, const QString& operation);

    // The clock of the log's entry headers; the system's unless a test sets another.
    void setClock(const Clock& clock) { m_clock = &clock; }

    // Non-zero while the network library is ready; the stage's connects fail while it is 0.
    quintptr hSession = 0;
    // The connection of the running stage; 0 whenever none is open.
    quintptr hConnection = 0;
    // Both files go in binary mode, so the picture arrives byte for byte.
    quint32 transferType = kTransferBinary;
    // No passive flag: the server connects back for the data (active mode).
    quint32 connectFlags = 0;

signals:
    void finished(const FtpResult& result);

private:
    enum class Step { Idle, Connecting, Sending, Removing, Closing };
    enum class File { Picture, TimeFile };

    DestinationSession::Settings settingsOf(const FtpJob& job) const;
    DestinationSession::Transfer transfer() const;
    // Goes on once the dial is done (at once when it is).
    void beginDial(std::unique_ptr<FtpDial> dial);
    void onDialed();
    // Whether a failed call on a kept connection found it closed by the server, which a new
    // connection mends.
    bool droppedWhileKept(const CallResult& call) const;
    void redial();
    void onConnected(const CallResult& call);
    void send(File file);
    void onSent(File file, const CallResult& call);
    // After a cancel: says so when it cut something short, removes what a put may have left, and
    // closes the connection.
    void endCancelled(const CallResult& call, bool somethingLeftUndone);
    void removeLeftover(const QString& remotePath);
    // The archive copy of the picture and the removal of old copies, after the picture.
    void sendArchive();
    void onArchiveSent(const CallResult& call);
    // What became of the old archive copies.
    struct Removal;
    void removeOldArchiveCopies();
    void onOldArchiveCopiesRemoved(const CallResult& call, const Removal& removal);
    void closeConnection();
    void finish();
    void log(const QString& line);
    // After "Couldn't ...": the server's reply, and the reason the session knows; returns the lines.
    QStringList logProblem(const CallResult& call, const QString& operation);

    FtpLog& m_log;
    Prompter& m_prompter;
    SystemClock m_systemClock;
    const Clock* m_clock = &m_systemClock;
    FtpTimeouts m_timeouts;
    Step m_step = Step::Idle;
    FtpJob m_job;
    FtpResult m_result;
    bool m_cancelled = false;
    bool m_closeWhenDone = false;
    bool m_reused = false;      // the stage goes on with a kept connection
    long m_connectsAtReuse = 0; // the kept session's connection count when the stage took it
    bool m_anyFailure = false;  // a call of the stage failed: the connection is not kept
    std::unique_ptr<FtpDial> m_kept;
    QDeadlineTimer m_endBy{QDeadlineTimer::Forever};
    std::unique_ptr<FtpDial> m_dial;
    std::shared_ptr<DestinationSession> m_session;
    std::shared_ptr<DestinationSession> m_cleaner; // removes what a cancelled put left
    QString m_lastResponse;
    std::set<QString> m_saidReplacedByRemoving; // servers and files whose old file goes first
    quintptr m_nextHandle = 1;
    std::unique_ptr<WorkerThread> m_worker;
};
