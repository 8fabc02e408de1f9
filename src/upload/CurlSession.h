#pragma once

#include "upload/DestinationSession.h"
#include "upload/FtpTimeouts.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

// What every session over libcurl shares: the easy and multi handles that keep one connection
// between requests, a request driven to its end within the call's and the stage's time limits,
// cancel() from any thread (the wait woken, every socket cut), the goodbye with its own limit,
// the server's reply lines and the log's words for a failure. Each protocol family adds its
// options, its URLs and the commands libcurl has no request for.
class CurlSession : public DestinationSession
{
public:
    struct Endpoint
    {
        QString host; // without brackets
        int port = 21;
        bool hasPort = false; // the text named the port
    };

    ~CurlSession() override;
    Q_DISABLE_COPY_MOVE(CurlSession)

    Result<void> connect(const QString& host, const QString& user, const QString& password) override;
    Result<void> put(const QString& localPath, const QString& remotePath, Transfer transfer,
                     const QString& contentType) override;
    Result<std::optional<qint64>> remoteSize(const QString& remotePath) override;
    Result<QStringList> list(const QString& remoteFolder) override;
    void restartStageLimit() final;
    void close() final;
    void cancel() final;
    bool isCancelled() const final { return m_cancelled.load(); }
    bool isConnected() const final { return m_connected; }
    bool storeStarted() const final { return m_storeStarted; }
    QString lastReply() const final;
    QString failureText() const final;
    QString reason() const final { return m_reason; }
    HostKeyProblem hostKeyProblem() const override { return HostKeyProblem::None; }
    QString hostKeyFingerprint() const override { return QString(); }
    const Settings& settings() const final { return m_settings; }
    long connectionCount() const final { return m_connectionCount; }

    // "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address; absent when not usable.
    static std::optional<Endpoint> parseHost(const QString& text);
    // Whether the text holds a line break or another control character, which no command, header,
    // path or name in an answer may carry.
    static bool hasControlCharacter(const QString& text);
    // The URL path for a remote path: every byte that is not unreserved is percent-encoded.
    static QByteArray encodePath(const QString& remotePath);

protected:
    CurlSession(const FtpTimeouts& timeouts, const Settings& settings);

    // The URL scheme, also the one protocol libcurl may speak for this session.
    virtual QByteArray scheme() const = 0;
    virtual int defaultPort() const = 0;
    // False, after fail(), when the login cannot even be tried (a key file that is not there).
    virtual bool readyToLogIn() { return true; }
    // Whether connectionCount() counts logins rather than libcurl's new connections: a protocol
    // whose data travels on connections of their own (FTP's passive mode) counts only the one that
    // logs in.
    virtual bool countsConnectionsByLogin() const { return false; }
    // The protocol's options on the easy handle: the login, encryption, host keys.
    virtual void configure(void* curl, const QString& user, const QString& password) = 0;
    // The URL of the login folder, for requests that name no file.
    virtual QByteArray loginFolderUrl() const = 0;
    // The base of every URL ("ftp://host:21/") for the host field; absent, after fail(), when the
    // field names nothing usable. Called before configure(), so scheme() may depend on it.
    virtual std::optional<QByteArray> baseUrlFor(const QString& host);
    // The login on the new handle, the base URL set: a body-less request on the login folder.
    virtual bool logIn();
    // The path of a remote file in the URL.
    virtual QByteArray urlFor(const QString& remotePath) const;
    // After a size request that brought no length: what else the server can say. Absent, without
    // a failure, when it cannot say.
    virtual Result<std::optional<qint64>> sizeOtherwise(const QString& remotePath) = 0;
    // The protocol's own words for a failed request, where it has any: before the server's reply
    // is looked at, then before the common causes. True when they set the failure.
    virtual bool explainBeforeReply() { return false; }
    virtual bool explainProtocolFailure(int curlCode, const QString& detail);

    // One request; limit: the call's whole time, cut to what is left of the stage; silence: how
    // long the server may say nothing.
    bool perform(std::chrono::milliseconds limit, std::chrono::milliseconds silence);
    // Runs quote commands on the open connection with a body-less request.
    bool quote(const QList<QByteArray>& commands);
    bool checkConnected();
    bool checkRemotePath(const QString& remotePath);
    void fail(Error error, const QString& reason);
    // What the last call came to, as its answer.
    Result<void> outcome(bool ok) const;
    Error lastError() const { return m_lastError; }
    // Forgets the last failure: the call found that the server cannot say, which is no failure.
    void clearFailure();
    bool gaveUp() const { return m_gaveUp; }

    // Takes one line the server sent (a reply line, a response header); this one keeps FTP's
    // replies ("ddd text", or "ddd-" lines up to "ddd ").
    virtual void takeReplyLine(const QByteArray& line);
    // Sets the reply lastReply() shows and its code.
    void setReply(const QByteArray& reply, int code);

    void* handle() const { return m_curl.get(); }
    const FtpTimeouts& timeouts() const { return m_timeouts; }
    const QByteArray& baseUrl() const { return m_baseUrl; }
    const QByteArray& rawReply() const { return m_lastReply; }
    int lastReplyCode() const { return m_lastReplyCode; }

    // A time limit in the whole seconds libcurl takes for some; a short one never rounds down to
    // "no limit".
    static long wholeSeconds(std::chrono::milliseconds limit);
    // Throws away what the server sends as data or headers.
    static size_t discard(char* data, size_t size, size_t count, void* self);

private:
    struct CurlDeleter
    {
        void operator()(void* handle) const;
    };
    struct MultiDeleter
    {
        void operator()(void* handle) const;
    };
    struct SlistDeleter
    {
        void operator()(void* list) const;
    };

    static int onDebug(void* handle, int type, char* data, size_t size, void* self);
    static size_t onRead(char* buffer, size_t size, size_t count, void* self);
    static int onSeek(void* self, std::int64_t offset, int origin);
    static int onOpenSocket(void* self, int purpose, void* address);
    static int onCloseSocket(void* self, int socket);
    // Shuts every socket of the session down, so whatever waits on one returns at once.
    void cutSockets();
    // Sets lastError() and reason() from what ended a request.
    void explainFailure(int code, bool stageLimited, std::chrono::milliseconds silence);
    std::chrono::milliseconds remaining() const;

    FtpTimeouts m_timeouts;
    Settings m_settings;
    // The multi handle outlives the easy handle: it keeps the connection between requests.
    std::unique_ptr<void, MultiDeleter> m_multi;
    std::unique_ptr<void, CurlDeleter> m_curl;
    char m_errorBuffer[256] = {};
    QString m_failureText;
    QByteArray m_baseUrl;
    bool m_connected = false;
    bool m_gaveUp = false;
    std::chrono::steady_clock::time_point m_deadline;
    Error m_lastError = Error::None;
    long m_connectionCount = 0;

    std::FILE* m_upload = nullptr; // the file the running put reads
    bool m_storeStarted = false;

    // What cancel() reaches from another thread: the flag, the multi handle of a running call (to
    // wake its wait) and the open sockets (to cut them).
    std::atomic<bool> m_cancelled{false};
    std::mutex m_cancelMutex;
    void* m_waitingMulti = nullptr;
    std::set<int> m_sockets;

    QByteArray m_partialReply;
    QByteArray m_replyCode;
    QByteArray m_lastReply;
    int m_lastReplyCode = 0;
    QString m_host;        // the host field as the account gives it, for the log
    int m_passivePort = 0; // the data port the server's last 227 or 229 reply named
    QString m_reason;
};
