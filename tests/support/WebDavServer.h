#pragma once

#include "ChildProcess.h"
#include "HttpRequestLog.h"
#include "TestCertificates.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A real WebDAV server on the loopback interface for tests: Apache httpd with mod_dav, a private
// instance with its own configuration, logs and a fresh home folder served at baseUrl() (".../dav/")
// to user "cam" with password "secret", by Basic or Digest authentication. Its folders:
//   ro/     read-only: PUT, MOVE into it, DELETE and MKCOL get 403 Forbidden
//   full/   PUT gets 507 Insufficient Storage
//   slow/   a PUT is stored, and answered Options::slowMs late (for a transfer cut short by Exit)
//   short/  a PUT stores all but the last byte, yet gets 201 (for the size check)
//   hostile/huge/, hostile/laughs/, hostile/junk/  a PROPFIND gets a listing of 24 MiB, one with
//           entities that would grow it a billionfold, or bytes that are no XML
// Killed with the object, with every process it forked. Run as root (as in CI), Apache's workers
// serve as "nobody", who owns the home folder.
class WebDavServer final
{
public:
    enum class Auth { Basic, Digest };

    struct Options
    {
        Auth auth = Auth::Basic;
        bool https = false;       // TLS with a certificate of a CA made for the test: caFile()
        int slowMs = 20000;       // how late PUTs into slow/ are answered
        int keepAliveSeconds = 5; // how long an idle connection is kept; 0: none is kept
    };

    static inline const QString kUser = QStringLiteral("cam");
    static inline const QString kPassword = QStringLiteral("secret");
    static inline const QString kRealm = QStringLiteral("velmora");

    WebDavServer() = default;
    ~WebDavServer();
    WebDavServer(const WebDavServer&) = delete;
    WebDavServer& operator=(const WebDavServer&) = delete;

    // Writes the configuration, starts Apache and waits (a few seconds at most) until it listens.
    bool start(const Options& options);
    bool start();
    void stop();
    bool isRunning() { return m_process.isRunning(); }

    // "http://127.0.0.1:<port>/dav/" or "https://...": the base address an account names.
    QString baseUrl() const;
    // baseUrl() with relative appended ("a.jpg", "ro/a.jpg").
    QString url(const QString& relative) const { return baseUrl() + relative; }
    int port() const { return m_port; }
    // The folder baseUrl() serves, and a file in it.
    QString home() const { return m_home.path(); }
    QString homeFile(const QString& relative) const { return m_home.filePath(relative); }
    // Puts a file (and the folders above it) into the home folder, owned by the server's user so
    // that it may replace or remove it; false when it could not.
    bool putFile(const QString& relative, const QByteArray& content) const;
    // The CA that signed the HTTPS server's certificate (with Options::https).
    QString caFile() const { return m_certificates.caFile(); }
    // Every request since the start, in order. Headers noted: Content-Type, Cache-Control,
    // Content-Length, Overwrite, Destination, Depth.
    QList<HttpRequestLog::Entry> requests() const { return log().entries(); }
    HttpRequestLog log() const { return HttpRequestLog(m_scratch.filePath(QStringLiteral("requests.log"))); }
    // Apache's error log (authentication failures, refusals), for failure messages.
    QString errorLog() const;
    const QString& startError() const { return m_startError; }

private:
    bool prepare();
    bool launch();
    QString configuration() const;
    bool giveToServer(const QString& path) const;

    QTemporaryDir m_home;
    QTemporaryDir m_scratch;
    ChildProcess m_process;
    TestCertificates m_certificates;
    Options m_options;
    int m_port = 0;
    unsigned m_uid = 0;
    unsigned m_gid = 0;
    QString m_startError;
};
