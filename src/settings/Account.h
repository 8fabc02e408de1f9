#pragma once

#include <QColor>
#include <QDate>
#include <QString>
#include <QTime>

#include <vector>

// Colours are kept as the store writes them: red + 256 * green + 65536 * blue.
inline QColor colorFromStored(quint32 value)
{
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

inline quint32 storedFromColor(const QColor& color)
{
    return static_cast<quint32>(color.red()) + 256u * static_cast<quint32>(color.green()) +
           65536u * static_cast<quint32>(color.blue());
}

// A stored value that the load could not read, and what stands in for it.
struct UnusableValue
{
    QString name;   // the value name
    QString stored; // the text as stored
    QString why;    // what it is not: "is not a time"
    QString used;   // the default that stands in for it, as a stored text
};

// The loaded account: what ValdItem fills from the current account's key and what the Upload
// Settings window shows and the upload engine reads. The stored value of each field, its default
// and how its text is read are in AccountFields.
struct Account
{
    // How the upload reaches the server.
    enum class Protocol { Ftp, Ftps, Sftp, WebDav, S3 };

    Account(); // every field at its default

    QString host;
    QString user;
    QString password;
    QString folder;
    QString fileName; // without ".jpg"
    bool rememberPassword = false;
    int intervalItem = -1; // a position in IntervalTable; -1 none yet
    QString seconds;       // the seconds field: preset seconds, or "Custom" for the Custom item
    bool between = false;
    QDate dateFrom;
    QDate dateTo;
    bool timestamp = false;
    bool textTime = false;
    quint32 backColor = 0;
    quint32 foreColor = 0;
    bool fontBold = false;
    bool fontItalic = false;
    QString fontName;
    double fontSize = 0; // points
    bool locally = false;
    bool onlyLocally = false;
    QString localFolder;
    Protocol protocol = Protocol::Ftp;
    bool passive = false;
    bool verifyCertificate = false;
    QString keyFile; // SFTP
    // S3: the bucket, the region a request is signed for, how the bucket is addressed (in the
    // path, or as part of the host name) and whether new objects are readable by anyone. The
    // endpoint is the host field, the access key the user and the secret key the password.
    QString bucket;
    QString region;
    bool pathStyle = true;
    bool publicRead = false;
    bool safeReplace = false;
    // The camera the account uploads from, by its identity; empty: the program's camera.
    QString camera;
    // Timed uploads only when the picture changed: at least this share of it, in percent, differs
    // from the picture last uploaded for the account (see ChangeDetector).
    bool onlyChanged = false;
    int changeThreshold = 0;
    // Timed uploads only between two times of day, both minutes included; the window may cross
    // midnight (see TimeWindow).
    bool betweenTimes = false;
    QTime timeFrom;
    QTime timeTo;
    // Dated copies besides the picture under its fixed name: on the server (beside it), in the
    // local folder, or both. The name comes from a pattern (see ArchiveName).
    bool archiveServer = false;
    bool archiveLocal = false;
    QString archivePattern;
    int archiveKeep = 0; // local copies kept, the newest; 0 keeps all
    int archiveDays = 0; // server copies older than this many days are removed; 0 keeps all
    // Once a day at timelapseTime, a movie of the previous day's local archive copies, named by
    // timelapsePattern (the archive names' rules), at timelapseRate pictures a second; the newest
    // timelapseKeep movies stay in the local folder (0 keeps all).
    bool timelapse = false;
    QTime timelapseTime;
    int timelapseRate = 0;
    QString timelapsePattern;
    int timelapseKeep = 0;

    // The stored values of this account that the last load replaced by their defaults.
    std::vector<UnusableValue> unusable;

    static QString protocolText(Protocol protocol)
    {
        switch (protocol) {
        case Protocol::Ftps:
            return QStringLiteral("FTPS");
        case Protocol::Sftp:
            return QStringLiteral("SFTP");
        case Protocol::WebDav:
            return QStringLiteral("WebDAV");
        case Protocol::S3:
            return QStringLiteral("S3");
        case Protocol::Ftp:
            break;
        }
        return QStringLiteral("FTP");
    }
    // Anything that is not "FTPS", "SFTP", "WebDAV" or "S3" (in any letter case) is plain FTP.
    static Protocol protocolOf(const QString& text)
    {
        const QString upper = text.trimmed().toUpper();
        if (upper == QLatin1String("FTPS"))
            return Protocol::Ftps;
        if (upper == QLatin1String("SFTP"))
            return Protocol::Sftp;
        if (upper == QLatin1String("WEBDAV"))
            return Protocol::WebDav;
        if (upper == QLatin1String("S3"))
            return Protocol::S3;
        return Protocol::Ftp;
    }

    QColor backQColor() const { return colorFromStored(backColor); }
    QColor foreQColor() const { return colorFromStored(foreColor); }
};
