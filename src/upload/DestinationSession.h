#pragma once

#include "common/Result.h"
#include "settings/Account.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

// One login at an upload destination: connect, put files, check and list them, rename and remove,
// say goodbye. Each protocol family has its own implementation; DestinationSessions makes the one
// an account asks for, so the stage, Test and the archive clean-up never name a protocol.
//
// Blocking; one object is used by one thread at a time, except cancel(), which any thread may call
// meanwhile. Every call is bounded by the time limits the session was made with (FtpTimeouts),
// the whole stage's limit counted from connect().
//
// A failed call answers with a Failure: its kind, the sentence the log shows (empty when the
// server's reply, lastReply(), says it all, and for a cancel) and as its code the Error below.
class DestinationSession
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
        // The server refused the request with a status, not a reply line (SFTP): the sentence has
        // the network library's words for it.
        Refused = 5,
    };

    enum class HostKeyProblem { None, Unknown, Changed };

    // How a file travels: byte for byte, or as text whose line ends the server may change.
    enum class Transfer { Binary, Text };

    struct Settings
    {
        Account::Protocol protocol = Account::Protocol::Ftp;
        bool passive = false;    // FTP/FTPS: the client opens the data connections
        bool verifyPeer = true;  // FTPS, WebDAV over https: certificate and name checked
        QString caFile;          // FTPS, WebDAV: trust these certificates instead of the system's store
        QString keyFile;         // SFTP: private key for the login; the password is its passphrase
        QString knownHostsFile;  // SFTP: empty means ~/.ssh/known_hosts
        QString addHostKey;      // SFTP: an unknown host key with this fingerprint is added
        QString bucket;          // S3: the bucket every path is in
        QString region;          // S3: the region requests are signed for
        bool pathStyle = true;   // S3: the bucket in the path, not in the host name
        bool publicRead = false; // S3: new objects readable by anyone ("public-read")

        bool operator==(const Settings&) const = default;
    };

    virtual ~DestinationSession() = default;

    // Connects and logs in. host: "host", "host:port", "[v6]", "[v6]:port" or a bare IPv6
    // address; without a port the protocol's own. WebDAV takes the base address instead
    // ("https://host/path/").
    [[nodiscard]] virtual Result<void> connect(const QString& host, const QString& user,
                                               const QString& password) = 0;
    // Stores a whole local file under the remote path, replacing an existing file. A path starting
    // with "/" is absolute, any other is relative to the login folder. contentType names what the
    // file is ("image/jpeg") for protocols that send it along.
    [[nodiscard]] virtual Result<void> put(const QString& localPath, const QString& remotePath,
                                           Transfer transfer = Transfer::Binary,
                                           const QString& contentType = QString()) = 0;
    // The size the server reports for a remote file; absent when the server cannot say.
    [[nodiscard]] virtual Result<std::optional<qint64>> remoteSize(const QString& remotePath) = 0;
    // The names of the files in a remote folder ("" is the login folder), without the folder.
    [[nodiscard]] virtual Result<QStringList> list(const QString& remoteFolder) = 0;
    // Deletes a remote file.
    [[nodiscard]] virtual Result<void> remove(const QString& remotePath) = 0;
    // Renames a remote file, over an existing one where the server allows it.
    [[nodiscard]] virtual Result<void> rename(const QString& fromPath, const QString& toPath) = 0;
    // Whether a refused rename onto an existing file is worth trying again after the old file
    // stepped aside: some servers rename only onto a free name. False where rename() already
    // clears the name itself.
    virtual bool renamesOntoFreeNamesOnly() const = 0;
    // Whether put() replaces a file all at once: a reader finds the old file or the whole new one,
    // never a part, and a put that fails or is cancelled leaves the old one (S3). "Safe replace"
    // then needs no temporary name and no rename, and a cancelled put leaves nothing to remove.
    virtual bool putIsAtomic() const { return false; }
    // A kept connection begins another stage: the whole-stage limit counts again from now.
    virtual void restartStageLimit() = 0;
    // Says goodbye on a live connection and drops it. A server that does not answer within the
    // time limit for the goodbye is cut off.
    virtual void close() = 0;
    // Ends the running call and every later one at once (Error::Cancelled) and drops the
    // connection without a goodbye. Safe to call from any thread while another uses the session.
    virtual void cancel() = 0;
    virtual bool isCancelled() const = 0;
    virtual bool isConnected() const = 0;

    // The last put got as far as asking the server to store (the remote file may exist, whole or
    // not, also when the put failed).
    virtual bool storeStarted() const = 0;
    // The server's last complete reply of the last call, all its lines separated by CR LF, cut at
    // kMaxReplyLength characters; each line made safe to show (see OutsideText).
    virtual QString lastReply() const = 0;
    // The network library's own words on the last failure (certificate problems, SFTP status), one
    // safe line, or empty.
    virtual QString failureText() const = 0;
    // The last failure's sentence; empty after a success.
    virtual QString reason() const = 0;
    // SFTP: what was wrong with the server's host key, and its SHA256 fingerprint as OpenSSH
    // prints it ("SHA256:..."), after a connect that refused it.
    virtual HostKeyProblem hostKeyProblem() const = 0;
    virtual QString hostKeyFingerprint() const = 0;
    virtual const Settings& settings() const = 0;
    // Connections opened so far; 1 after a login and any number of puts on it.
    virtual long connectionCount() const = 0;

    static constexpr qsizetype kMaxReplyLength = 2048;

    // A host field as a log line may show it: one safe line, without the user name and password
    // an address may carry before "@" ("https://anna:pw@host/" shows as "https://host/").
    static QString shownHost(const QString& host);

    // The Failure of an error: its kind, and the error as its code.
    static Failure failureOf(Error error, const QString& sentence);
    // The error a failure of a session carries.
    static Error errorOf(const Failure& failure) { return static_cast<Error>(failure.code); }

protected:
    DestinationSession() = default;
    Q_DISABLE_COPY_MOVE(DestinationSession)
};
