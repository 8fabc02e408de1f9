#include "upload/S3Session.h"

#include "common/OutsideText.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QUrl>
#include <QXmlStreamReader>

#include <curl/curl.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace {
using std::chrono::milliseconds;

// The SHA-256 of an empty body: every request without one says so in its signed payload hash.
const QByteArray kEmptyHash =
    QByteArrayLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
const QByteArray kHashHeader = QByteArrayLiteral("x-amz-content-sha256: ");
const QString kDefaultRegion = QStringLiteral("us-east-1");
// S3's own words are kept short in the log.
constexpr qsizetype kMaxMessage = 300;

bool onlyOf(const QString& text, const char* others, bool upperCase)
{
    return std::all_of(text.begin(), text.end(), [others, upperCase](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || (upperCase && u >= 'A' && u <= 'Z') ||
               (u < 0x80 && std::strchr(others, static_cast<char>(u)) != nullptr);
    });
}

// A bucket name the addressing can carry: in the path almost any of S3's older names, in a host
// name only what a host name may hold.
bool usableBucket(const QString& bucket, bool pathStyle)
{
    if (bucket.isEmpty() || bucket.size() > 255)
        return false;
    if (pathStyle)
        return onlyOf(bucket, "._-", true);
    return bucket.size() <= 63 && onlyOf(bucket, ".-", false) && !bucket.startsWith(QLatin1Char('.')) &&
           !bucket.endsWith(QLatin1Char('.')) && !bucket.startsWith(QLatin1Char('-')) &&
           !bucket.endsWith(QLatin1Char('-')) && !bucket.contains(QStringLiteral(".."));
}

// A query value as the signature's canonical form has it: every byte but the unreserved ones
// percent-encoded, in capitals.
QByteArray queryValue(const QString& text)
{
    return QUrl::toPercentEncoding(text);
}

bool isAddress(const QString& host)
{
    const QByteArray text = host.toLatin1();
    in6_addr v6{};
    in_addr v4{};
    return inet_pton(AF_INET6, text.constData(), &v6) == 1 || inet_pton(AF_INET, text.constData(), &v4) == 1;
}

Failure listingFailure(const QString& sentence)
{
    return DestinationSession::failureOf(DestinationSession::Error::Internal, sentence);
}

// S3's error code and message in an error answer's body; empty when it holds none.
std::pair<QString, QString> errorIn(const QByteArray& body)
{
    QXmlStreamReader xml(body);
    QString code;
    QString message;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD)
            return {};
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("Code") && code.isEmpty())
            code = xml.readElementText(QXmlStreamReader::SkipChildElements);
        else if (xml.name() == QLatin1String("Message") && message.isEmpty())
            message = xml.readElementText(QXmlStreamReader::SkipChildElements);
    }
    return {OutsideText::line(code).left(kMaxMessage), OutsideText::line(message).left(kMaxMessage)};
}
} // namespace

S3Session::S3Session(const FtpTimeouts& timeouts, const Settings& settings) : HttpSession(timeouts, settings)
{
}

S3Session::~S3Session()
{
    close();
}

Result<void> S3Session::connect(const QString& host, const QString& user, const QString& password)
{
    // An own copy: the session ends on the worker.
    m_accessKey = QString(user.constData(), user.size());
    if (user.isEmpty() || password.isEmpty()) {
        close();
        fail(Error::InvalidParameter, QStringLiteral("S3 needs the access key in the user field and the "
                                                     "secret key in the password field"));
        return outcome(false);
    }
    return CurlSession::connect(host, user, password);
}

std::optional<QByteArray> S3Session::baseUrlFor(const QString& host)
{
    // The text itself is never repeated: a typed address may hold a secret.
    QString text = host.trimmed();
    if (!text.contains(QStringLiteral("://")))
        text.prepend(QStringLiteral("https://"));
    const QString scheme = text.left(text.indexOf(QStringLiteral("://"))).toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        fail(Error::InvalidUrl, QStringLiteral("Not an S3 endpoint: it starts with http:// or https://"));
        return std::nullopt;
    }
    const QUrl url(text, QUrl::TolerantMode);
    if (hasControlCharacter(text) || !url.isValid() || url.host().isEmpty()) {
        fail(Error::InvalidUrl, QStringLiteral("Not a usable S3 endpoint"));
        return std::nullopt;
    }
    if (!url.userInfo().isEmpty()) {
        fail(Error::InvalidUrl,
             QStringLiteral("The S3 endpoint holds a user name or password: put the access "
                            "key and secret key into the user and password fields instead"));
        return std::nullopt;
    }
    if (url.hasQuery() || url.hasFragment() || (!url.path().isEmpty() && url.path() != QLatin1String("/"))) {
        fail(Error::InvalidUrl, QStringLiteral("The S3 endpoint is an address without a path: the bucket has "
                                               "a field of its own"));
        return std::nullopt;
    }
    const QString bucket = settings().bucket.trimmed();
    if (bucket.isEmpty()) {
        fail(Error::InvalidParameter, QStringLiteral("No bucket given: S3 needs the name of the bucket"));
        return std::nullopt;
    }
    if (!usableBucket(bucket, settings().pathStyle)) {
        fail(Error::InvalidParameter,
             QStringLiteral("Not a usable bucket name%1: %2")
                 .arg(settings().pathStyle ? QString() : QStringLiteral(" for virtual-hosted addressing"),
                      OutsideText::line(bucket)));
        return std::nullopt;
    }
    const QString region =
        settings().region.trimmed().isEmpty() ? kDefaultRegion : settings().region.trimmed();
    if (!onlyOf(region, "-_", true)) {
        fail(Error::InvalidParameter, QStringLiteral("Not a usable region: ") + OutsideText::line(region));
        return std::nullopt;
    }
    const bool address = isAddress(url.host());
    if (!settings().pathStyle && address) {
        fail(Error::InvalidParameter, QStringLiteral("Virtual-hosted addressing needs a host name, not an "
                                                     "address: choose path-style addressing"));
        return std::nullopt;
    }
    setScheme(scheme.toLatin1());
    QByteArray authority = url.host(QUrl::FullyEncoded).toUtf8();
    if (authority.contains(':'))
        authority = '[' + authority + ']';
    if (url.port() > 0)
        authority += ':' + QByteArray::number(url.port());
    const QByteArray origin = this->scheme() + "://";
    if (settings().pathStyle) {
        m_bucketUrl = origin + authority + '/' + QUrl::toPercentEncoding(bucket);
        return m_bucketUrl + '/';
    }
    m_bucketUrl = origin + bucket.toLatin1() + '.' + authority + '/';
    return m_bucketUrl;
}

void S3Session::configure(void* curl, const QString& user, const QString& password)
{
    const QString region =
        settings().region.trimmed().isEmpty() ? kDefaultRegion : settings().region.trimmed();
    // libcurl signs each request with the secret; it never goes into a header or a URL itself.
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.toUtf8().constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, ("aws:amz:" + region.toLatin1() + ":s3").constData());
    // A redirection (a bucket in another region) is reported, not followed.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    configureTls(curl);
}

QString S3Session::keyOf(const QString& remotePath)
{
    return remotePath.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

void S3Session::takeReplyLine(const QByteArray& line)
{
    // The ETag of the answer, for the check of a put; a new status line begins a new answer.
    if (line.size() > 5 && line.left(5).toLower() == "etag:") {
        m_etag = line.mid(5).trimmed().left(kMaxReplyLength);
        return;
    }
    if (line.startsWith("HTTP/"))
        m_etag.clear();
    HttpSession::takeReplyLine(line);
}

QList<QByteArray> S3Session::commonHeaders() const
{
    return {kHashHeader + kEmptyHash};
}

QString S3Session::refusedPathWords(bool folder) const
{
    return folder ? QStringLiteral("Not a folder in the bucket: ")
                  : QStringLiteral("Not a key in the bucket: ");
}

QString S3Session::refusal(int code, const QByteArray& answer, const QString&)
{
    const auto [s3Code, message] = errorIn(answer);
    if (!s3Code.isEmpty())
        setReply(rawReply() + "\r\n" + s3Code.toUtf8() + (message.isEmpty() ? "" : ": " + message.toUtf8()),
                 code);
    const QString key = OutsideText::line(m_accessKey);
    if (code == 403) {
        QString sentence = QStringLiteral("Access refused for the access key \"%1\"").arg(key);
        if (s3Code == QLatin1String("SignatureDoesNotMatch") || s3Code == QLatin1String("InvalidAccessKeyId"))
            sentence += QStringLiteral(": check the access key and the secret key");
        else if (s3Code == QLatin1String("RequestTimeTooSkewed"))
            sentence += QStringLiteral(": this computer's clock is more than 15 minutes off");
        else if (s3Code == QLatin1String("AccessDenied"))
            sentence += QStringLiteral(": the bucket's permissions do not allow this");
        return sentence;
    }
    if (code == 404 && s3Code == QLatin1String("NoSuchBucket"))
        return QStringLiteral("No bucket \"%1\" at this endpoint").arg(OutsideText::line(settings().bucket));
    if ((code >= 300 && code < 400) || s3Code == QLatin1String("PermanentRedirect"))
        return QStringLiteral("The endpoint sends the request to another address, which is not followed: "
                              "check the endpoint, the region and the addressing");
    if (s3Code == QLatin1String("AuthorizationHeaderMalformed") &&
        message.contains(QLatin1String("region"), Qt::CaseInsensitive))
        return QStringLiteral("The bucket is not in the region \"%1\": check the region")
            .arg(OutsideText::line(settings().region));
    return QString();
}

bool S3Session::logIn()
{
    // A listing of one key: the signature, the bucket and the permission to list it (which the
    // archive clean-up needs) all checked at once. A HEAD would answer a refusal without S3's reason.
    Body answer;
    return request("GET", m_bucketUrl + "?list-type=2&max-keys=1", {}, timeouts().connect, &answer);
}

Result<void> S3Session::put(const QString& localPath, const QString& remotePath, Transfer,
                            const QString& contentType)
{
    // The signature covers the SHA-256 of the body, so the server stores only the bytes sent; the
    // MD5 is what the answer's ETag says of the bytes stored.
    QByteArray hash = kEmptyHash;
    QByteArray md5;
    {
        QFile file(localPath);
        QCryptographicHash sha(QCryptographicHash::Sha256);
        QCryptographicHash digest(QCryptographicHash::Md5);
        if (file.open(QIODevice::ReadOnly)) {
            bool whole = true;
            while (!file.atEnd() && whole) {
                const QByteArray chunk = file.read(64 * 1024);
                whole = !chunk.isEmpty();
                sha.addData(chunk);
                digest.addData(chunk);
            }
            if (whole) {
                hash = sha.result().toHex();
                md5 = digest.result().toHex();
            }
        }
    }
    QList<QByteArray> headers{kHashHeader + hash};
    if (settings().publicRead)
        headers << "x-amz-acl: public-read";
    Body answer;
    if (const Result<void> sent = putWith(localPath, remotePath, headers, contentType, &answer); !sent)
        return sent;
    // A store that answers with the MD5 of other bytes kept something else (an ETag of any other
    // shape, as after an encrypted or multipart store, says nothing about the bytes).
    const QByteArray etag = m_etag.trimmed().toLower();
    static const QRegularExpression md5Shape(QStringLiteral("^\"?[0-9a-f]{32}\"?$"));
    if (!md5.isEmpty() && md5Shape.match(QString::fromLatin1(etag)).hasMatch() && !etag.contains(md5)) {
        fail(Error::Internal, QStringLiteral("The server stored other bytes than were sent: its ETag is %1, "
                                             "the MD5 of the file %2")
                                  .arg(QString::fromLatin1(etag), QString::fromLatin1(md5)));
        return outcome(false);
    }
    return outcome(true);
}

Result<QStringList> S3Session::list(const QString& remoteFolder)
{
    if (!checkConnected())
        return outcome(false).failure();
    const std::optional<QStringList> segments = folderSegments(remoteFolder);
    if (!segments)
        return outcome(false).failure();
    const QString prefix =
        segments->isEmpty() ? QString() : segments->join(QLatin1Char('/')) + QLatin1Char('/');
    QStringList names;
    QString token;
    qsizetype read = 0;
    // Page after page; the total is bounded, and a server that names the same page again stops it.
    do {
        // The parameters in the signature's canonical order.
        QByteArray query;
        if (!token.isEmpty())
            query += "continuation-token=" + queryValue(token) + '&';
        query += "delimiter=%2F&list-type=2&max-keys=" + QByteArray::number(m_pageSize) +
                 "&prefix=" + queryValue(prefix);
        Body body;
        body.limit = kMaxListing - read;
        const bool ok = request("GET", m_bucketUrl + '?' + query, {}, timeouts().stage, &body);
        if (body.tooLarge) {
            fail(Error::Internal,
                 QStringLiteral("The server's listing of the folder is larger than %1 MiB and "
                                "was not read")
                     .arg(kMaxListing / (1024 * 1024)));
            return outcome(false).failure();
        }
        if (!ok)
            return outcome(false).failure();
        read += body.data.size();
        Result<Page> page = pageIn(body.data, prefix);
        if (!page) {
            fail(errorOf(page.failure()), page.failure().sentence);
            return page.failure();
        }
        names << page->names;
        if (!page->nextToken.isEmpty() && page->nextToken == token) {
            fail(Error::Internal, QStringLiteral("The server's listing names the same page again"));
            return outcome(false).failure();
        }
        token = page->nextToken;
    } while (!token.isEmpty());
    return names;
}

Result<S3Session::Page> S3Session::pageIn(const QByteArray& listing, const QString& prefix)
{
    QXmlStreamReader xml(listing);
    Page page;
    bool resultSeen = false;
    bool truncated = false;
    int depth = 0;
    bool inContents = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            return listingFailure(QStringLiteral("The server's folder listing declares a document type, "
                                                 "which is not read"));
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                resultSeen = xml.name() == QLatin1String("ListBucketResult");
            } else if (depth == 2 && xml.name() == QLatin1String("Contents")) {
                inContents = true;
            } else if (depth == 2 && xml.name() == QLatin1String("IsTruncated")) {
                truncated = xml.readElementText().trimmed() == QLatin1String("true");
                --depth;
            } else if (depth == 2 && xml.name() == QLatin1String("NextContinuationToken")) {
                page.nextToken = xml.readElementText();
                --depth;
            } else if (depth == 3 && inContents && xml.name() == QLatin1String("Key")) {
                const QString key = xml.readElementText(QXmlStreamReader::SkipChildElements);
                --depth;
                const QString name = key.startsWith(prefix) ? key.mid(prefix.size()) : QString();
                if (!name.isEmpty() && !name.contains(QLatin1Char('/')) && !hasControlCharacter(name))
                    page.names << name;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2)
                inContents = false;
            --depth;
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return listingFailure(QStringLiteral("The server's folder listing is not readable: ") +
                              OutsideText::line(xml.errorString()));
    if (!resultSeen)
        return listingFailure(QStringLiteral("The server's answer is not an S3 listing"));
    if (!truncated)
        page.nextToken.clear();
    else if (page.nextToken.isEmpty() || hasControlCharacter(page.nextToken))
        return listingFailure(QStringLiteral("The server's listing goes on but names no next page"));
    return page;
}

Result<void> S3Session::remove(const QString& remotePath)
{
    if (!checkConnected() || !checkPath(remotePath))
        return outcome(false);
    Body answer;
    return outcome(request("DELETE", urlFor(remotePath), {}, timeouts().response, &answer));
}

Result<void> S3Session::rename(const QString& fromPath, const QString& toPath)
{
    if (!checkConnected() || !checkPath(fromPath) || !checkPath(toPath))
        return outcome(false);
    if (keyOf(fromPath) == keyOf(toPath))
        return outcome(true);
    // The copy keeps the type and cache headers of the original; the ACL is the account's.
    QList<QByteArray> headers{"x-amz-copy-source: /" + QUrl::toPercentEncoding(settings().bucket.trimmed()) +
                              urlFor(fromPath).mid(baseUrl().size() - 1)};
    if (settings().publicRead)
        headers << "x-amz-acl: public-read";
    Body body;
    if (!request("PUT", urlFor(toPath), headers, timeouts().response, &body))
        return outcome(false);
    // A copy may fail after its 200 has gone out: the body then holds the error.
    if (const auto [code, message] = errorIn(body.data); !code.isEmpty()) {
        setReply(rawReply() + "\r\n" + code.toUtf8() + (message.isEmpty() ? "" : ": " + message.toUtf8()),
                 lastReplyCode());
        fail(Error::ServerReply, QString());
        return outcome(false);
    }
    Body removed;
    return outcome(request("DELETE", urlFor(fromPath), {}, timeouts().response, &removed));
}
