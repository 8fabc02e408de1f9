#pragma once

#include "upload/CurlSession.h"

#include <QList>

#include <chrono>

// What the sessions over libcurl's HTTP share (WebDAV, S3): the http or https scheme the address
// chose, the certificate check, status lines as replies ("507 Insufficient Storage"), paths as
// percent-encoded segments below the base address with "." and ".." refused, one request with
// its method, headers and body, a put with headers of its own, sizes from HEAD, and answer bodies
// kept up to a limit. Every status that is not a success fails the call with Error::ServerReply;
// each protocol adds its sentence for it (refusal()).
class HttpSession : public CurlSession
{
public:
    Result<std::optional<qint64>> remoteSize(const QString& remotePath) override;

protected:
    HttpSession(const FtpTimeouts& timeouts, const Settings& settings);

    // An answer's body, kept up to limit; an answer that is longer fails its request.
    struct Body
    {
        QByteArray data;
        qsizetype limit = 64 * 1024;
        bool tooLarge = false;
    };

    QByteArray scheme() const override { return m_scheme; }
    int defaultPort() const override { return m_scheme == "https" ? 443 : 80; }
    // The scheme of the base address ("http" or "https"), set by baseUrlFor().
    void setScheme(const QByteArray& scheme) { m_scheme = scheme; }
    // Over https: the server's certificate and name checked as the settings say.
    void configureTls(void* curl) const;
    QByteArray urlFor(const QString& remotePath) const override;
    // An answer without Content-Length: the server cannot say.
    Result<std::optional<qint64>> sizeOtherwise(const QString& remotePath) override;
    // Only status lines count, without their version; interim answers (100 Continue, the
    // challenge before a login) are replaced by the final one.
    void takeReplyLine(const QByteArray& line) override;

    // A remote file's path as this session takes it: a file name, nothing above the base.
    bool checkPath(const QString& remotePath);
    // The segments of a remote folder; absent, with the failure set, for one it cannot take.
    std::optional<QStringList> folderSegments(const QString& remoteFolder);
    // The beginning of the sentence for a path (or folder) the session cannot take, up to the
    // path itself ("Not a key in the bucket: ").
    virtual QString refusedPathWords(bool folder) const = 0;

    // Headers every request() carries besides its own.
    virtual QList<QByteArray> commonHeaders() const { return {}; }
    // One request with its method, headers and body (PUT without a body sends an empty one, as S3
    // wants for a copy); the answer's body goes into answer, or is thrown away without one. True
    // when the server answered with a success status.
    bool request(const QByteArray& method, const QByteArray& url, const QList<QByteArray>& headers,
                 std::chrono::milliseconds limit, Body* answer = nullptr, const QByteArray& body = {});
    // Puts a local file with these headers (and the content type, where it is one); the answer's
    // body goes into answer, when given.
    Result<void> putWith(const QString& localPath, const QString& remotePath, QList<QByteArray> headers,
                         const QString& contentType, Body* answer = nullptr);
    // Whether the last answer's status is a success; sets the failure, with refusal()'s sentence,
    // when it is not.
    bool answeredWithSuccess(const QByteArray& answer, const QString& remotePath);
    // The sentence for a refusal with this status and answer body (may add to the reply).
    virtual QString refusal(int code, const QByteArray& answer, const QString& remotePath) = 0;

private:
    static size_t collect(char* data, size_t size, size_t count, void* body);

    QByteArray m_scheme = "https";
};
