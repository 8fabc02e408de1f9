#include "upload/FilePut.h"

#include "upload/FtpJob.h"

#include <QFileInfo>

namespace {
using Error = DestinationSession::Error;
} // namespace

void FilePut::send(DestinationSession& session, const QString& local, const QString& remote, bool safeReplace,
                   DestinationSession::Transfer transfer, const QString& contentType, CallResult& result)
{
    // Where a put replaces the file all at once, the old one stays until the new one is whole:
    // that is what the temporary name and the rename are for elsewhere, and a cancelled put leaves
    // nothing behind.
    const bool atomic = session.putIsAtomic();
    safeReplace = safeReplace && !atomic;
    const QString target = safeReplace ? FtpJob::temporaryPath(remote) : remote;
    const qint64 localSize = QFileInfo(local).size();
    const auto fail = [&session, &result, &target, safeReplace, atomic](const Failure& failure) {
        result.takeFailure(failure, session);
        if (result.cancelled() && !atomic)
            result.leftover = target;
        else if (safeReplace) // the final name keeps the old file; the temporary one goes, quietly
            static_cast<void>(session.remove(target));
    };

    if (const Result<void> put = session.put(local, target, transfer, contentType); !put) {
        const bool started = session.storeStarted();
        fail(put.failure());
        // Before the server was asked to store, nothing of this file is there to remove.
        if (!started)
            result.leftover.clear();
        return;
    }
    // A text-mode transfer may change line ends, and with them the size.
    if (transfer == DestinationSession::Transfer::Binary) {
        const Result<std::optional<qint64>> size = session.remoteSize(target);
        const bool cancelled = !size && DestinationSession::errorOf(size.failure()) == Error::Cancelled;
        // The server confirmed the whole file; a cancel during the check leaves it as it is, but
        // a safe replace that cannot rename any more leaves the old file and removes the new one.
        if (cancelled && !safeReplace) {
            result.ok = true;
            return;
        }
        if (!size)
            return fail(size.failure());
        const std::optional<qint64>& bytes = size.value();
        result.sizeNotChecked = !bytes;
        if (bytes && *bytes != localSize) {
            result.sizeMismatch = {localSize, *bytes};
            fail(DestinationSession::failureOf(Error::ConnectionAborted, QString()));
            // The mismatch line says it all.
            result.error = Error::ConnectionAborted;
            result.reply.clear();
            result.reason.clear();
            return;
        }
    }
    if (safeReplace) {
        result.renaming = true;
        if (const Result<void> renamed = session.rename(target, remote); !renamed) {
            CallResult refused;
            refused.takeFailure(renamed.failure(), session);
            const Result<void> replaced =
                replaceByRemoving(session, target, remote, renamed.failure(), result);
            if (!replaced) {
                result.renameFailed = true;
                fail(replaced.failure());
                // The refusal of the rename says why; the answers of the steps after it would hide it.
                if (!result.cancelled()) {
                    result.error = refused.error;
                    result.reply = refused.reply;
                    result.reason = refused.reason;
                }
                return;
            }
        }
    }
    result.ok = true;
}

Result<void> FilePut::replaceByRemoving(DestinationSession& session, const QString& target,
                                        const QString& remote, const Failure& refusal, CallResult& result)
{
    // Some FTP servers refuse to rename onto an existing file. The old file then steps aside
    // under a name of its own, the new one takes its place and the old one goes: a web page may
    // find no picture for a moment, never half of one, and where the new one cannot take its
    // place either the old one comes back.
    if (!session.renamesOntoFreeNamesOnly() || DestinationSession::errorOf(refusal) != Error::ServerReply)
        return refusal;
    const QString aside = FtpJob::asidePath(remote);
    if (Result<void> movedAside = session.rename(remote, aside); !movedAside)
        return movedAside;
    if (Result<void> renamed = session.rename(target, remote); !renamed) {
        if (Result<void> back = session.rename(aside, remote); !back)
            return back;
        return renamed;
    }
    static_cast<void>(session.remove(aside));
    result.replacedByRemoving = true;
    return Result<void>::success();
}
