#pragma once

#include "upload/FtpTimeouts.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <memory>
#include <optional>

// A small FTP client over libcurl: log in once, store files over that one control connection, say
// goodbye. Blocking; one object is used by one thread at a time.
class FtpClient final
{
public:
    // Error codes in the numbering the FTP log's error report knows; ServerReply means the server
    // answered with an error reply, which lastReply() then holds.
    enum class Error : quint32 {
        None = 0,
        FileNotFound = 2,
        InvalidParameter = 87,
        Timeout = 12002,
        ServerReply = 12003,
        Internal = 12004,
        InvalidUrl = 12005,
        NameNotResolved = 12007,
        CannotConnect = 12029,
        ConnectionAborted = 12030,
        NotConnected = 12111,
    };

    struct Endpoint
    {
        QString host; // without brackets
        int port = 21;
    };

    explicit FtpClient(const FtpTimeouts& timeouts = {}, bool passive = false);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Connects and logs in; true once the server accepted the login.
    bool connect(const QString& host, const QString& user, const QString& password);
    // Stores a whole local file under the remote path, replacing an existing file. A path starting
    // with "/" is absolute, any other is relative to the login folder. Binary (image) mode unless
    // textMode asks for ASCII, where the server may change line ends.
    bool put(const QString& localPath, const QString& remotePath, bool textMode = false);
    // Says goodbye (QUIT) on a live connection and drops it.
    void close();

    bool isConnected() const { return m_connected; }
    Error lastError() const { return m_lastError; }
    // The server's last complete reply of the last call, all its lines, as text.
    QString lastReply() const;
    // Control connections opened so far; 1 after a login and any number of puts on it.
    long connectionCount() const { return m_connectionCount; }

    // "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address; absent when not usable.
    static std::optional<Endpoint> parseHost(const QString& text);
    // The URL path for a remote path: every byte that is not unreserved is percent-encoded.
    static QByteArray encodePath(const QString& remotePath);

    static constexpr qsizetype kMaxReplyLength = 2048;

private:
    struct CurlDeleter
    {
        void operator()(void* handle) const;
    };

    static int onDebug(void* handle, int type, char* data, size_t size, void* self);
    void takeReplyLine(const QByteArray& line);
    bool perform(std::chrono::milliseconds limit);
    std::chrono::milliseconds remaining() const;

    FtpTimeouts m_timeouts;
    bool m_passive;
    std::unique_ptr<void, CurlDeleter> m_curl;
    QByteArray m_baseUrl;
    bool m_connected = false;
    bool m_gaveUp = false;
    std::chrono::steady_clock::time_point m_deadline;
    Error m_lastError = Error::None;
    long m_connectionCount = 0;

    QByteArray m_partialReply;
    QByteArray m_replyCode;
    QByteArray m_lastReply;
    int m_lastReplyCode = 0;
};
