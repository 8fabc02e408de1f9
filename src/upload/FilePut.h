#pragma once

#include "common/Result.h"
#include "upload/DestinationSession.h"
#include "upload/FtpDial.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <utility>

// What one network call on the worker reports back: a copy, so the thread that asked never reads
// the session while the worker uses it. Connecting reports what a dial does.
struct CallResult : FtpDial::Outcome
{
    CallResult() = default;
    explicit CallResult(const FtpDial::Outcome& dialed) : FtpDial::Outcome(dialed) {}

    // Sending: the steps after the put, for their log lines, and what a cancel left behind.
    std::optional<std::pair<qint64, qint64>> sizeMismatch; // bytes sent, bytes on the server
    bool sizeNotChecked = false;                           // the server could not tell the size
    bool renaming = false;
    bool renameFailed = false;
    bool replacedByRemoving = false; // the old file was removed before the rename
    QString leftover;                // the remote file a cancelled put may have left, or empty

    bool cancelled() const { return error == DestinationSession::Error::Cancelled; }
    void takeFailure(const Failure& failure, const DestinationSession& session)
    {
        error = DestinationSession::errorOf(failure);
        reply = session.lastReply();
        reason = failure.sentence;
    }
};

// One file put on a session so that it arrives whole under its final name, or the name keeps what
// it had: the picture and the time file of an upload, an archive copy, a timelapse movie.
class FilePut
{
public:
    FilePut() = delete;

    // Puts the file and checks the size the server stored; with safeReplace, under a temporary
    // name renamed at the end (not where the destination's put is atomic). Runs on a worker.
    static void send(DestinationSession& session, const QString& local, const QString& remote,
                     bool safeReplace, DestinationSession::Transfer transfer, const QString& contentType,
                     CallResult& result);

private:
    // After a refused rename of a safe replace: moves the old file aside and renames again. The
    // failure of the last step when that did not work either.
    static Result<void> replaceByRemoving(DestinationSession& session, const QString& target,
                                          const QString& remote, const Failure& refusal, CallResult& result);
};
