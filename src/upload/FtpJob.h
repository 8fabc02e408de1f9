#pragma once

#include "upload/DestinationSession.h"

#include <QDateTime>
#include <QString>

#include <optional>

// What one FTP stage of an upload cycle sends, and to where.
struct FtpJob
{
    QString host; // "host", "host:port" or "[IPv6]:port"
    QString user;
    QString password;
    QString remotePicturePath; // folder + file name + ".jpg", joined as they are
    QString remoteTimePath;    // folder + time file name
    QString localPicturePath;
    QString localTimePath;
    // Why a file cannot be sent although it is asked for (it could not be written here, or its
    // name is no name); the stage logs it in place of the put and never sends an older file.
    QString pictureProblem;
    QString timeFileProblem;
    bool textFile = false;       // also send the time file
    bool successMessage = false; // confirm an uploaded picture with a message box
    bool scheduled = false;      // started by an account's timer (no connect-failure box then)
    // The account's next upload is near: a stage that went well keeps its connection logged in
    // for it instead of saying goodbye (FtpStage::takeKeptConnection).
    bool keepConnection = false;
    // Protocol, passive mode, certificate and host-key checks, key file. The defaults are the
    // plain active FTP of an account without these values (DestinationSessions::settingsOf).
    DestinationSession::Settings connection;
    // Each file goes up under a temporary name beside its final one and is renamed over it once
    // it arrived whole, so a reader never sees half a file.
    bool safeReplace = false;
    // A dated copy of the picture, put on the same connection after the picture (and the time
    // file) once the picture arrived; then, where asked, old copies are removed from its folder.
    struct Archive
    {
        QString remotePath; // folder + the copy's name
        QString folder;
        QString pattern; // the ArchiveName pattern that tells the copies from other files
        int days = 0;    // copies named more than this many days before `now` go; 0: none go
        QDateTime now;
    };
    std::optional<Archive> archive;

    // The remote path as the account's folder and file name give it: no separator is added.
    static QString remotePath(const QString& folder, const QString& name) { return folder + name; }
    // The temporary name of a safe replace: "." + name + ".part" in the same folder.
    static QString temporaryPath(const QString& remote)
    {
        const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
        return remote.left(slash + 1) + QLatin1Char('.') + remote.mid(slash + 1) + QStringLiteral(".part");
    }
    // Where the old file steps aside on a server that does not rename onto an existing file.
    static QString asidePath(const QString& remote)
    {
        const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
        return remote.left(slash + 1) + QLatin1Char('.') + remote.mid(slash + 1) + QStringLiteral(".old");
    }
};

// What came of it.
struct FtpResult
{
    bool connected = false; // logged in: the server is reachable, whatever became of the files
    bool pictureUploaded = false;
    bool textFileUploaded = false;
    bool cancelled = false; // cancel() cut the stage short
    bool archiveUploaded = false;
    int archiveRemoved = 0; // old archive copies removed from the server
    // Why the picture did not arrive, in the log's words (first line what failed, then the
    // server's reply and the reason): for the status, the tray and a message box.
    QString failure;
};
