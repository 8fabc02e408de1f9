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
        name.contains(QLatin1Char('/')) || CurlSession::hasControlCharacter(name))
        return std::nullopt;
    return name;
}

Failure listingFailure(const QString& sentence)
{
    return DestinationSession::failureOf(DestinationSession::Error::Internal, sentence);
}
} // namespace

WebDavSession::WebDavSession(const FtpTimeouts& timeouts, const Settings& settings)
    : HttpSession(timeouts, settings)
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
    setScheme(scheme.toLatin1());
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
    configureTls(curl);
}

QString WebDavSession::refusedPathWords(bool folder) const
{
    return folder ? QStringLiteral("Not a folder below the WebDAV address: ")
                  : QStringLiteral("Not a path below the WebDAV address: ");
}

QString WebDavSession::refusal(int code, const QByteArray&, const QString& remotePath)
{
    if (code == 401)
        return m_user.isEmpty()
                   ? QStringLiteral("Login refused: the server asks for a user name and password")
                   : QStringLiteral("Login refused for the user \"%1\": check the user name and "
                                    "password")
                         .arg(OutsideText::line(m_user));
    if (code >= 300 && code < 400)
        return QStringLiteral("The server sends the request to another address, which is not followed: "
                              "check the WebDAV address");
    if (code == 409 && !remotePath.isEmpty())
        return QStringLiteral("A folder on the way to %1 does not exist on the server")
            .arg(OutsideText::line(remotePath));
    return QString();
}

bool WebDavSession::logIn()
{
    if (request("PROPFIND", baseUrl(), {"Depth: 0", kXmlType}, timeouts().connect, nullptr, kPropfindBody))
        return true;
    // A server that is there but has no WebDAV folder at the address says so in its own way.
    const int code = lastReplyCode();
    if (lastError() == Error::ServerReply && (code == 404 || code == 405 || code == 501))
        fail(Error::ServerReply, QStringLiteral("No WebDAV folder at this address"));
    return false;
}

Result<void> WebDavSession::put(const QString& localPath, const QString& remotePath, Transfer,
                                const QString& contentType)
{
    return putWith(localPath, remotePath, {"Expect:"}, contentType);
}

Result<QStringList> WebDavSession::list(const QString& remoteFolder)
{
    if (!checkConnected())
        return outcome(false).failure();
    const std::optional<QStringList> segments = folderSegments(remoteFolder);
    if (!segments)
        return outcome(false).failure();
    const QByteArray url = segments->isEmpty() ? baseUrl() : urlFor(remoteFolder) + '/';
    Body listing;
    listing.limit = kMaxListing;
    const bool ok =
        request("PROPFIND", url, {"Depth: 1", kXmlType}, timeouts().stage, &listing, kPropfindBody);
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
    return outcome(request("DELETE", urlFor(remotePath), {}, timeouts().response));
}

Result<void> WebDavSession::rename(const QString& fromPath, const QString& toPath)
{
    if (!checkConnected() || !checkPath(fromPath) || !checkPath(toPath))
        return outcome(false);
    if (request("MOVE", urlFor(fromPath), {"Destination: " + urlFor(toPath), "Overwrite: T"},
                timeouts().response))
        return outcome(true);
    if (lastError() == Error::ServerReply && lastReplyCode() == 409)
        fail(Error::ServerReply, QStringLiteral("A folder on the way to %1 does not exist on the server")
                                     .arg(OutsideText::line(toPath)));
    return outcome(false);
}
