#pragma once

#include <QColor>
#include <QDate>
#include <QString>

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

// The loaded account: what ValdItem fills from the current account's key and what the Upload
// Settings window shows and the upload engine reads. Each field names the stored value it mirrors.
struct Account
{
    // How the upload reaches the server.
    enum class Protocol { Ftp, Ftps, Sftp };

    QString host;                                // "Host Name/Adress:"
    QString user;                                // "User ID:"
    QString password;                            // "Password:"
    QString folder;                              // "Initial Remote Site Folder:"
    QString fileName = QStringLiteral("webcam"); // "Destination filename:" (without ".jpg")
    bool rememberPassword = false;               // "Remember password"
    int intervalItem = -1; // "Upload image every:" as a position in IntervalTable; -1 none yet
    QString seconds;       // the seconds field: preset seconds, or "Custom" for the Custom item
    bool between = false;  // "Between"
    QDate dateFrom = QDate::currentDate();       // "DateFrom"
    QDate dateTo = QDate::currentDate();         // "DateTo"
    bool timestamp = false;                      // "Enable timestamp"
    bool textTime = false;                       // "TextTime"
    quint32 backColor = 0;                       // "Backcolor"
    quint32 foreColor = 0xFFFFFF;                // "Forecolor"
    bool fontBold = true;                        // "Font Bold"
    bool fontItalic = false;                     // "Font Italic"
    QString fontName = QStringLiteral("Tahoma"); // "Font Name"
    double fontSize = 10;                        // "Font Size" in points
    bool locally = false;                        // "Locally"
    bool onlyLocally = false;                    // "Only Locally"
    QString localFolder;                         // "LocallySource"
    Protocol protocol = Protocol::Ftp;           // "Protocol": "FTP", "FTPS" or "SFTP"
    bool passive = false;                        // "Passive"
    bool verifyCertificate = true;               // "Verify certificate"
    QString keyFile;                             // "Key file" (SFTP)
    bool safeReplace = false;                    // "Safe replace"

    static QString protocolText(Protocol protocol)
    {
        switch (protocol) {
        case Protocol::Ftps:
            return QStringLiteral("FTPS");
        case Protocol::Sftp:
            return QStringLiteral("SFTP");
        case Protocol::Ftp:
            break;
        }
        return QStringLiteral("FTP");
    }
    // Anything that is not "FTPS" or "SFTP" (in any letter case) is plain FTP.
    static Protocol protocolOf(const QString& text)
    {
        const QString upper = text.trimmed().toUpper();
        if (upper == QLatin1String("FTPS"))
            return Protocol::Ftps;
        if (upper == QLatin1String("SFTP"))
            return Protocol::Sftp;
        return Protocol::Ftp;
    }

    QColor backQColor() const { return colorFromStored(backColor); }
    QColor foreQColor() const { return colorFromStored(foreColor); }
};
