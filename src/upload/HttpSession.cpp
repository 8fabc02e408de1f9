#include "upload/HttpSession.h"

#include "common/OutsideText.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace {
using std::chrono::milliseconds;

struct HeaderListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

HeaderList headerList(const QList<QByteArray>& headers)
{
    HeaderList list;
    for (const QByteArray& header : headers)
        list.reset(curl_slist_append(list.release(), header.constData()));
    return list;
}
} // namespace

HttpSession::HttpSession(const FtpTimeouts& timeouts, const Settings& settings)
    : CurlSession(timeouts, settings)
{
}

void HttpSession::configureTls(void* curl) const
{
    if (m_scheme != "https")
        return;
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, settings().verifyPeer ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, settings().verifyPeer ? 2L : 0L);
    if (!settings().caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(settings().caFile).constData());
}

QByteArray HttpSession::urlFor(const QString& remotePath) const
{
    QByteArray url = baseUrl();
    const QStringList segments = remotePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (i > 0)
            url += '/';
        url += QUrl::toPercentEncoding(segments[i]);
    }
    return url;
}

void HttpSession::takeReplyLine(const QByteArray& line)
{
    if (!line.startsWith("HTTP/"))
        return;
    const qsizetype space = line.indexOf(' ');
    if (space < 0)
        return;
    const QByteArray status = line.mid(space + 1).trimmed();
    bool ok = false;
    const int code = status.left(3).toInt(&ok);
    if (!ok || code < 100 || code > 599 || (status.size() > 3 && status.at(3) != ' '))
        return;
    setReply(status.left(kMaxReplyLength), code);
}

bool HttpSession::checkPath(const QString& remotePath)
{
    if (!checkRemotePath(remotePath))
        return false;
    for (const QString& segment : remotePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String(".") || segment == QLatin1String("..")) {
            fail(Error::InvalidUrl, refusedPathWords(false) + OutsideText::line(remotePath));
            return false;
        }
    }
    return true;
}

std::optional<QStringList> HttpSession::folderSegments(const QString& remoteFolder)
{
    const QStringList segments = remoteFolder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (hasControlCharacter(remoteFolder) || segments.contains(QStringLiteral(".")) ||
        segments.contains(QStringLiteral(".."))) {
        fail(Error::InvalidUrl, refusedPathWords(true) + OutsideText::line(remoteFolder));
        return std::nullopt;
    }
    return segments;
}

bool HttpSession::answeredWithSuccess(const QByteArray& answer, const QString& remotePath)
{
    const int code = lastReplyCode();
    if (code >= 200 && code < 300)
        return true;
    if (code == 0) {
        fail(Error::ConnectionAborted, QStringLiteral("The server sent no HTTP answer"));
        return false;
    }
    fail(Error::ServerReply, refusal(code, answer, remotePath));
    return false;
}

size_t HttpSession::collect(char* data, size_t size, size_t count, void* body)
{
    auto* into = static_cast<Body*>(body);
    const size_t bytes = size * count;
    if (into->data.size() + static_cast<qsizetype>(bytes) > into->limit) {
        into->tooLarge = true;
        return 0;
    }
    into->data.append(data, static_cast<qsizetype>(bytes));
    return bytes;
}

bool HttpSession::request(const QByteArray& method, const QByteArray& url, const QList<QByteArray>& headers,
                          milliseconds limit, Body* answer, const QByteArray& body)
{
    void* curl = handle();
    const HeaderList list = headerList(commonHeaders() + headers);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    // HEAD is the one request whose answer has no body to wait for.
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (method == "PUT" && body.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(0));
    } else if (method != "GET") {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.constData());
    }
    if (!body.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    if (answer) {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpSession::collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, answer);
    }
    const milliseconds silence = std::min(limit, timeouts().response);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, wholeSeconds(silence));

    const bool performed = perform(limit, silence);

    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlSession::discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    return performed && answeredWithSuccess(answer ? answer->data : QByteArray(), QString());
}

Result<void> HttpSession::putWith(const QString& localPath, const QString& remotePath,
                                  QList<QByteArray> headers, const QString& contentType, Body* answer)
{
    if (!checkConnected() || !checkPath(remotePath))
        return outcome(false);
    headers << "Cache-Control: no-cache";
    if (!contentType.isEmpty() && !hasControlCharacter(contentType))
        headers << "Content-Type: " + contentType.toUtf8();
    void* curl = handle();
    const HeaderList list = headerList(headers);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    if (answer) {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpSession::collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, answer);
    }
    // HTTP has no text transfers: the file goes byte for byte, its type says what it is.
    const Result<void> sent = CurlSession::put(localPath, remotePath, Transfer::Binary, contentType);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlSession::discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    if (!sent)
        return sent;
    return outcome(answeredWithSuccess(answer ? answer->data : QByteArray(), remotePath));
}

Result<std::optional<qint64>> HttpSession::remoteSize(const QString& remotePath)
{
    if (!checkConnected() || !checkPath(remotePath))
        return outcome(false).failure();
    Body answer;
    if (!request("HEAD", urlFor(remotePath), {}, timeouts().response, &answer))
        return outcome(false).failure();
    curl_off_t length = -1;
    if (curl_easy_getinfo(handle(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
        return std::optional<qint64>(static_cast<qint64>(length));
    return sizeOtherwise(remotePath);
}

Result<std::optional<qint64>> HttpSession::sizeOtherwise(const QString&)
{
    return std::optional<qint64>();
}
