#pragma once

#include "upload/FtpTimeouts.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

// A small upload client over libcurl: log in once, store files over that one connection, say
// goodbye. Plain FTP (active or passive), FTP with explicit TLS, or SFTP. Blocking; one object is
// used by one thread at a time, except cancel(), which any thread may call meanwhile.
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
        // The TLS certificate of the server was not trusted (failureText() says why).
        CertificateRefused = 12045,
        // The SSH host key of the server is not in known_hosts or differs from it.
        HostKeyRefused = 12046,
        // cancel() ended the call.
        Cancelled = 12017,
        // The server refused the request with a status, not a reply line (SFTP): reason() has
        // libcurl's words for it.
        Refused = 5,
    };

    enum class Protocol { Ftp, Ftps, Sftp };
    enum class HostKeyProblem { None, Unknown, Changed };

    struct Settings
    {
        Protocol protocol = Protocol::Ftp;
        bool passive = false;   // FTP/FTPS: the client opens the data connections
        bool verifyPeer = true; // FTPS: certificate and name checked against the trust store
        QString caFile;         // FTPS: trust these certificates instead of the system's store
        QString keyFile;        // SFTP: private key for the login; the password is its passphrase
        QString knownHostsFile; // SFTP: empty means ~/.ssh/known_hosts
        QString addHostKey;     // SFTP: an unknown host key with this fingerprint is added
    };

    struct Endpoint
    {
        QString host; // without brackets
        int port = 21;
        bool hasPort = false; // the text named the port
    };

    explicit FtpClient(const FtpTimeouts& timeouts = {});
    FtpClient(const FtpTimeouts& timeouts, const Settings& settings);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Connects and logs in; true once the server accepted the login.
    bool connect(const QString& host, const QString& user, const QString& password);
    // Stores a whole local file under the remote path, replacing an existing file. A path starting
    // with "/" is absolute, any other is relative to the login folder. Binary (image) mode unless
    // textMode asks for ASCII, where the server may change line ends.
    bool put(const QString& localPath, const QString& remotePath, bool textMode = false);
    // The size the server reports for a remote file: SIZE, else the size fact of MLST, else a
    // LIST of that one file (FTP); the file's attributes (SFTP). Absent when none of them can say
    // or the request failed (lastError() tells which: None for "cannot say").
    std::optional<qint64> remoteSize(const QString& remotePath);
    // Renames a remote file over an existing one (RNFR/RNTO; for SFTP the target is removed first,
    // since OpenSSH's server refuses to rename onto an existing file).
    bool rename(const QString& fromPath, const QString& toPath);
    // Deletes a remote file.
    bool remove(const QString& remotePath);
    // The names of the files in a remote folder ("" is the login folder), without the folder;
    // absent when the server refuses to list it (lastError() tells why).
    std::optional<QStringList> list(const QString& remoteFolder);
    // Says goodbye (QUIT) on a live connection and drops it. A server that does not answer within
    // the time limit for the goodbye is cut off.
    void close();
    // Ends the running call and every later one at once (Error::Cancelled) and drops the
    // connection without a goodbye. Safe to call from any thread while another uses the client.
    void cancel();
    bool isCancelled() const { return m_cancelled.load(); }

    // The last put got as far as asking the server to store (the remote file may exist, whole or
    // not, also when the put failed).
    bool storeStarted() const { return m_storeStarted; }

    bool isConnected() const { return m_connected; }
    Error lastError() const { return m_lastError; }
    // The server's last complete reply of the last call, all its lines separated by CR LF, cut at
    // kMaxReplyLength characters; each line made safe to show (see OutsideText).
    QString lastReply() const;
    // libcurl's own words on the last failure (certificate problems, SFTP status), one safe line,
    // or empty.
    QString failureText() const;
    // Why the last call failed, as far as the client knows it, in one line for the log ("Timed
    // out after 60 s waiting for the server"); empty when the server's reply says it or the call
    // was cancelled.
    QString reason() const { return m_reason; }
    // SFTP: what was wrong with the server's host key, and its SHA256 fingerprint as OpenSSH
    // prints it ("SHA256:..."), after a connect that refused it.
    HostKeyProblem hostKeyProblem() const { return m_hostKeyProblem; }
    QString hostKeyFingerprint() const { return m_hostKeyFingerprint; }
    const Settings& settings() const { return m_settings; }
    // Control connections opened so far; 1 after a login and any number of puts on it.
    long connectionCount() const { return m_connectionCount; }

    // "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6 address; absent when not usable.
    static std::optional<Endpoint> parseHost(const QString& text);
    // The URL path for a remote path: every byte that is not unreserved is percent-encoded.
    static QByteArray encodePath(const QString& remotePath);

    // The path of a remote file in the URL: relative paths start in the login folder.
    QByteArray urlFor(const QString& remotePath) const;
    // OpenSSH's fingerprint form of a raw public key blob.
    static QString sha256Fingerprint(const QByteArray& keyBlob);
    static QString defaultKnownHostsFile();

    static constexpr qsizetype kMaxReplyLength = 2048;

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
    static int onOpenSocket(void* self, int purpose, void* address);
    static int onCloseSocket(void* self, int socket);
    // Shuts every socket of the client down, so whatever waits on one returns at once.
    void cutSockets();
    static int onHostKey(void* handle, const void* knownKey, const void* foundKey, int match, void* self);
    void takeReplyLine(const QByteArray& line);
    // One request; limit: the call's whole time, cut to what is left of the stage; silence: how
    // long the server may say nothing.
    bool perform(std::chrono::milliseconds limit, std::chrono::milliseconds silence);
    // Sets lastError() and reason() from what ended a request.
    void explainFailure(int code, bool stageLimited, std::chrono::milliseconds silence);
    void fail(Error error, const QString& reason);
    // Runs quote commands on the open connection with a body-less request.
    bool quote(const QList<QByteArray>& commands);
    // The size fact of MLST, or what a LIST of that one file shows.
    std::optional<qint64> mlstSize(const QString& remotePath);
    std::optional<qint64> listedSize(const QString& remotePath);
    static size_t onListing(char* data, size_t size, size_t count, void* self);
    bool checkConnected();
    bool checkRemotePath(const QString& remotePath);
    std::chrono::milliseconds remaining() const;
    bool isSftp() const { return m_settings.protocol == Protocol::Sftp; }

    FtpTimeouts m_timeouts;
    Settings m_settings;
    // The multi handle outlives the easy handle: it keeps the connection between requests.
    std::unique_ptr<void, MultiDeleter> m_multi;
    std::unique_ptr<void, CurlDeleter> m_curl;
    char m_errorBuffer[256] = {};
    QString m_failureText;
    HostKeyProblem m_hostKeyProblem = HostKeyProblem::None;
    QString m_hostKeyFingerprint;
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
    QByteArray m_listing; // what a LIST sent on its data connection
};
