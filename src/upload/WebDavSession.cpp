#include "upload/WebDavSession.h"

#include "common/OutsideText.h"

#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <curl/curl.h>

#include <algorithm>

namespace {
using std::chrono::milliseconds;

// Asks for nothing but the kind of each resource: files and folders are told apart by it, and the
// reply stays small.
const QByteArray kPropfindBody = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                                   "<D:propfind xmlns:D=\"DAV:\"><D:prop><D:resourcetype/>"
                                                   "</D:prop></D:propfind>\n");
const QByteArray kXmlType = QByteArrayLiteral("Content-Type: application/xml; charset=utf-8");
const QString kDav = QStringLiteral("DAV:");

struct HeaderListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

long wholeSeconds(milliseconds limit)
{
    return std::max<long>(1, static_cast<long>((limit.count() + 999) / 1000));
}

// The file name an href names, decoded; absent for a folder ("/dav/archive/") and for what no
// file name can be.
std::optional<QString> fileNameOf(const QString& href)
{
    QString path = href.trimmed();
    const auto cut = std::find_if(path.cbegin(), path.cend(),
                                  [](QChar c) { return c == QLatin1Char('?') || c == QLatin1Char('#'); });
    path.truncate(cut - path.cbegin());
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return std::nullopt;
    const QString name = QUrl::fromPercentEncoding(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toUtf8());
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || hasControlCharacter(name))
        return std::nullopt;
    return name;
}

Failure listingFailure(const QString& sentence)
{
    return DestinationSession::failureOf(DestinationSession::Error::Internal, sentence);
}
} // namespace

WebDavSession::WebDavSession(const FtpTimeouts& timeouts, const Settings& settings)
    : CurlSession(timeouts, settings)
{
}

WebDavSession::~WebDavSession()
{
    close();
}

std::optional<QByteArray> WebDavSession::baseUrlFor(const QString& host)
{
    // The text itself is never repeated: a typed address may hold a password.
    const QString text = host.trimmed();
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    const QString scheme = schemeEnd < 0 ? QString() : text.left(schemeEnd).toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        fail(Error::InvalidUrl, QStringLiteral("Not a WebDAV address: it starts with http:// or https://"));
        return std::nullopt;
    }
    const QUrl url(text, QUrl::TolerantMode);
    if (hasControlCharacter(text) || !url.isValid() || url.host().isEmpty()) {
        fail(Error::InvalidUrl, QStringLiteral("Not a usable WebDAV address"));
        return std::nullopt;
    }
    if (!url.userInfo().isEmpty()) {
        fail(Error::InvalidUrl, QStringLiteral("The WebDAV address holds a user name or password: put them "
                                               "into the user and password fields instead"));
        return std::nullopt;
    }
    if (url.hasQuery() || url.hasFragment()) {
        fail(Error::InvalidUrl, QStringLiteral("The WebDAV address has a query (?) or fragment (#), which "
                                               "no folder address has"));
        return std::nullopt;
    }
    m_scheme = scheme.toLatin1();
    QByteArray base = url.adjusted(QUrl::NormalizePathSegments).toEncoded(QUrl::FullyEncoded);
    if (!base.endsWith('/'))
        base += '/';
    return base;
}

void WebDavSession::configure(void* curl, const QString& user, const QString& password)
{
    // An own copy: the session ends on the worker.
    m_user = QString(user.constData(), user.size());
    // Without a user name nothing is sent; with one, Basic or Digest, as the server asks.
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
    }
    // A redirection could take the login elsewhere: it is reported, not followed.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    if (m_scheme == "https") {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, settings().verifyPeer ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, settings().verifyPeer ? 2L : 0L);
        if (!settings().caFile.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(settings().caFile).constData());
    }
}

QByteArray WebDavSession::urlFor(const QString& remotePath) const
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

void WebDavSession::takeReplyLine(const QByteArray& line)
{
    // Only the status line counts: "HTTP/1.1 507 Insufficient Storage" is kept without its
    // version. Interim answers (100 Continue) and the challenge before a login are replaced by
    // the final one.
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

bool WebDavSession::answeredWithSuccess(const QString& remotePath)
{
    const int code = lastReplyCode();
    if (code >= 200 && code < 300)
        return true;
    QString sentence;
    if (code == 0)
        fail(Error::ConnectionAborted, QStringLiteral("The server sent no HTTP answer"));
    else if (code == 401)
        sentence = m_user.isEmpty()
                       ? QStringLiteral("Login refused: the server asks for a user name and password")
                       : QStringLiteral("Login refused for the user \"%1\": check the user name and "
                                        "password")
                             .arg(OutsideText::line(m_user));
    else if (code >= 300 && code < 400)
        sentence = QStringLiteral("The server sends the request to another address, which is not followed: "
                                  "check the WebDAV address");
    else if (code == 409 && !remotePath.isEmpty())
        sentence = QStringLiteral("A folder on the way to %1 does not exist on the server")
                       .arg(OutsideText::line(remotePath));
    if (code != 0)
        fail(Error::ServerReply, sentence);
    return false;
}

size_t WebDavSession::collect(char* data, size_t size, size_t count, void* listing)
{
    auto* into = static_cast<Listing*>(listing);
    const size_t bytes = size * count;
    if (into->data.size() + static_cast<qsizetype>(bytes) > kMaxListing) {
        into->tooLarge = true;
        return 0;
    }
    into->data.append(data, static_cast<qsizetype>(bytes));
    return bytes;
}

bool WebDavSession::request(const QByteArray& method, const QByteArray& url, const QList<QByteArray>& headers,
                            const QByteArray& body, milliseconds limit, Listing* listing)
{
    void* curl = handle();
    std::unique_ptr<curl_slist, HeaderListDeleter> list;
    for (const QByteArray& header : headers)
        list.reset(curl_slist_append(list.release(), header.constData()));
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    // HEAD is the one request whose answer has no body to wait for.
    if (method == "HEAD")
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    else
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.constData());
    if (!body.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    }
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    if (listing) {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WebDavSession::collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, listing);
    }
    const milliseconds silence = std::min(limit, timeouts().response);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, wholeSeconds(silence));

    const bool performed = perform(limit, silence);

    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlSession::discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    return performed && answeredWithSuccess(QString());
}

bool WebDavSession::logIn()
{
    if (request("PROPFIND", baseUrl(), {"Depth: 0", kXmlType}, kPropfindBody, timeouts().connect))
        return true;
    // A server that is there but has no WebDAV folder at the address says so in its own way.
    const int code = lastReplyCode();
    if (lastError() == Error::ServerReply && (code == 404 || code == 405 || code == 501))
        fail(Error::ServerReply, QStringLiteral("No WebDAV folder at this address"));
    return false;
}

bool WebDavSession::checkPath(const QString& remotePath)
{
    if (!checkRemotePath(remotePath))
        return false;
    for (const QString& segment : remotePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (segment == QLatin1String(".") || segment == QLatin1String("..")) {
            fail(Error::InvalidUrl,
                 QStringLiteral("Not a path below the WebDAV address: ") + OutsideText::line(remotePath));
            return false;
        }
    }
    return true;
}

Result<void> WebDavSession::put(const QString& localPath, const QString& remotePath, Transfer,
                                const QString& contentType)
{
    if (!checkConnected() || !checkPath(remotePath))
        return outcome(false);
    void* curl = handle();
    QList<QByteArray> headers{"Cache-Control: no-cache", "Expect:"};
    if (!contentType.isEmpty() && !hasControlCharacter(contentType))
        headers << "Content-Type: " + contentType.toUtf8();
    std::unique_ptr<curl_slist, HeaderListDeleter> list;
    for (const QByteArray& header : headers)
        list.reset(curl_slist_append(list.release(), header.constData()));
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    // HTTP has no text transfers: the file goes byte for byte, its type says what it is.
    const Result<void> sent = CurlSession::put(localPath, remotePath, Transfer::Binary, contentType);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    if (!sent)
        return sent;
    return outcome(answeredWithSuccess(remotePath));
}

Result<std::optional<qint64>> WebDavSession::remoteSize(const QString& remotePath)
{
    if (!checkConnected() || !checkPath(remotePath))
        return outcome(false).failure();
    if (!request("HEAD", urlFor(remotePath), {}, {}, timeouts().response))
        return outcome(false).failure();
    curl_off_t length = -1;
    if (curl_easy_getinfo(handle(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
        return std::optional<qint64>(static_cast<qint64>(length));
    return sizeOtherwise(remotePath);
}

Result<std::optional<qint64>> WebDavSession::sizeOtherwise(const QString&)
{
    // An answer without Content-Length: the server cannot say.
    return std::optional<qint64>();
}

Result<QStringList> WebDavSession::list(const QString& remoteFolder)
{
    if (!checkConnected())
        return outcome(false).failure();
    const QStringList segments = remoteFolder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (hasControlCharacter(remoteFolder) || segments.contains(QStringLiteral(".")) ||
        segments.contains(QStringLiteral(".."))) {
        fail(Error::InvalidUrl,
             QStringLiteral("Not a folder below the WebDAV address: ") + OutsideText::line(remoteFolder));
        return outcome(false).failure();
    }
    const QByteArray url = segments.isEmpty() ? baseUrl() : urlFor(remoteFolder) + '/';
    Listing listing;
    const bool ok =
        request("PROPFIND", url, {"Depth: 1", kXmlType}, kPropfindBody, timeouts().stage, &listing);
    if (listing.tooLarge) {
        fail(Error::Internal, QStringLiteral("The server's listing of the folder is larger than %1 MiB and "
                                             "was not read")
                                  .arg(kMaxListing / (1024 * 1024)));
        return outcome(false).failure();
    }
    if (!ok)
        return outcome(false).failure();
    Result<QStringList> names = namesIn(listing.data);
    if (!names)
        fail(errorOf(names.failure()), names.failure().sentence);
    return names;
}

Result<QStringList> WebDavSession::namesIn(const QByteArray& multistatus)
{
    QXmlStreamReader xml(multistatus);
    QStringList names;
    bool multistatusSeen = false;
    bool inResponse = false;
    QString href;
    bool folder = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            return listingFailure(QStringLiteral("The server's folder listing declares a document type, "
                                                 "which is not read"));
        case QXmlStreamReader::StartElement:
            if (xml.namespaceUri() != kDav)
                break;
            if (xml.name() == QLatin1String("multistatus")) {
                multistatusSeen = true;
            } else if (xml.name() == QLatin1String("response")) {
                inResponse = true;
                href.clear();
                folder = false;
            } else if (inResponse && xml.name() == QLatin1String("href") && href.isEmpty()) {
                href = xml.readElementText(QXmlStreamReader::SkipChildElements);
            } else if (inResponse && xml.name() == QLatin1String("collection")) {
                folder = true;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (inResponse && xml.namespaceUri() == kDav && xml.name() == QLatin1String("response")) {
                inResponse = false;
                if (const std::optional<QString> name = fileNameOf(href); name && !folder)
                    names << *name;
            }
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return listingFailure(QStringLiteral("The server's folder listing is not readable: ") +
                              OutsideText::line(xml.errorString()));
    if (!multistatusSeen)
        return listingFailure(QStringLiteral("The server's answer is not a WebDAV folder listing"));
    return names;
}

Result<void> WebDavSession::remove(const QString& remotePath)
{
    if (!checkConnected() || !checkPath(remotePath))
        return outcome(false);
    return outcome(request("DELETE", urlFor(remotePath), {}, {}, timeouts().response));
}

Result<void> WebDavSession::rename(const QString& fromPath, const QString& toPath)
{
    if (!checkConnected() || !checkPath(fromPath) || !checkPath(toPath))
        return outcome(false);
    if (request("MOVE", urlFor(fromPath), {"Destination: " + urlFor(toPath), "Overwrite: T"}, {},
                timeouts().response))
        return outcome(true);
    if (lastError() == Error::ServerReply && lastReplyCode() == 409)
        fail(Error::ServerReply, QStringLiteral("A folder on the way to %1 does not exist on the server")
                                     .arg(OutsideText::line(toPath)));
    return outcome(false);
}
