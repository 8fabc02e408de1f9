#pragma once

#include <QString>

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
    bool textFile = false;       // also send the time file
    bool successMessage = false; // confirm an uploaded picture with a message box
    bool scheduled = false;      // started by an account's timer (no connect-failure box then)

    // The remote path as the account's folder and file name give it: no separator is added.
    static QString remotePath(const QString& folder, const QString& name) { return folder + name; }
};

// What came of it, for callers that report without windows.
struct FtpResult
{
    bool connected = false;
    bool pictureUploaded = false;
    bool textFileUploaded = false;
};
