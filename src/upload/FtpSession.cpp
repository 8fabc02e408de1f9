#include "upload/FtpSession.h"

#include <QFile>

#include <curl/curl.h>

namespace {
// The size fact of an MLST reply: its fact line is " fact=value;fact=value; name".
std::optional<qint64> mlstSizeOf(const QByteArray& reply)
{
    for (const QByteArray& line : reply.split('\n')) {
        if (!line.startsWith(' '))
            continue;
        const QByteArray facts = line.mid(1, line.indexOf(' ', 1) - 1);
        for (const QByteArray& fact : facts.split(';')) {
            const qsizetype equals = fact.indexOf('=');
            if (equals < 0 || fact.left(equals).toLower() != "size")
                continue;
            bool ok = false;
            const qint64 size = fact.mid(equals + 1).toLongLong(&ok);
            if (ok && size >= 0)
                return size;
        }
    }
    return std::nullopt;
}

// The size in a listing of one regular file, in the Unix form ("-rw-r--r-- 1 owner group 4000
// Dec 06 18:27 name") or the MS-DOS form ("12-06-24 06:27PM 4000 name").
std::optional<qint64> listedSizeOf(const QByteArray& listing)
{
    QList<QByteArray> lines;
    for (const QByteArray& line : listing.split('\n')) {
        if (!line.trimmed().isEmpty())
            lines << line.simplified();
    }
    if (lines.size() != 1)
        return std::nullopt;
    const QList<QByteArray> fields = lines.front().split(' ');
    bool ok = false;
    qint64 size = -1;
    if (fields.front().startsWith('-')) {
        static const QList<QByteArray> months{"jan", "feb", "mar", "apr", "may", "jun",
                                              "jul", "aug", "sep", "oct", "nov", "dec"};
        for (qsizetype i = 2; i + 2 < fields.size() && !ok; ++i) {
            if (months.contains(fields[i].toLower()))
                size = fields[i - 1].toLongLong(&ok);
        }
    } else if (fields.size() >= 4 && fields[0].contains('-') && fields[1].contains(':')) {
        size = fields[2].toLongLong(&ok);
    }
    return ok && size >= 0 ? std::optional<qint64>(size) : std::nullopt;
}
} // namespace

FtpSession::FtpSession(const FtpTimeouts& timeouts, const Settings& settings, Security security)
    : CurlSession(timeouts, settings), m_security(security)
{
}

FtpSession::~FtpSession()
{
    // The goodbye, while the whole session still exists.
    close();
}

void FtpSession::configure(void* curl, const QString& user, const QString& password)
{
    // Without a user name the login is anonymous.
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.toUtf8().constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    }
    // Active mode: the server connects back to the address of our end of the control
    // connection. Passive: we connect to the address the server names. libcurl before 8.0
    // sends the data of an active-mode FTPS transfer without TLS, so FTPS is passive there.
    const bool tls = m_security == Security::ExplicitTls;
    const bool tlsActiveBroken = tls && curl_version_info(CURLVERSION_NOW)->version_num < 0x080000;
    const bool passive = settings().passive || tlsActiveBroken;
    curl_easy_setopt(curl, CURLOPT_FTPPORT, passive ? nullptr : "-");
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    if (tls) {
        curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, settings().verifyPeer ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, settings().verifyPeer ? 2L : 0L);
        if (!settings().caFile.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, QFile::encodeName(settings().caFile).constData());
    }
}

Result<std::optional<qint64>> FtpSession::sizeOtherwise(const QString& remotePath)
{
    // A server without SIZE may still tell: MLST's size fact, then a listing of the one file. A
    // server that cannot do either stays "cannot say"; one that stopped answering does not.
    for (const auto ask : {&FtpSession::mlstSize, &FtpSession::listedSize}) {
        const std::optional<qint64> size = (this->*ask)(remotePath);
        if (size)
            return size;
        if (lastError() == Error::Cancelled || gaveUp())
            return outcome(false).failure();
    }
    clearFailure();
    return std::optional<qint64>();
}

std::optional<qint64> FtpSession::mlstSize(const QString& remotePath)
{
    if (!checkConnected() || !quote({"MLST " + remotePath.toUtf8()}))
        return std::nullopt;
    return mlstSizeOf(rawReply());
}

size_t FtpSession::onListing(char* data, size_t size, size_t count, void* self)
{
    auto* session = static_cast<FtpSession*>(self);
    // One file's line; a server that sends on and on is not listened to.
    if (session->m_listing.size() > 64 * 1024)
        return 0;
    const size_t bytes = size * count;
    session->m_listing.append(data, static_cast<qsizetype>(bytes));
    return bytes;
}

std::optional<qint64> FtpSession::listedSize(const QString& remotePath)
{
    if (!checkConnected())
        return std::nullopt;
    void* curl = handle();
    // A listing request on the login folder, whose command names the file: "LIST /www/cam1.jpg".
    const QByteArray command = "LIST " + remotePath.toUtf8();
    m_listing.clear();
    curl_easy_setopt(curl, CURLOPT_URL, baseUrl().constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &FtpSession::onListing);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(timeouts().response.count()));
    const bool ok = perform(timeouts().response, timeouts().response);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlSession::discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    return ok ? listedSizeOf(m_listing) : std::nullopt;
}

Result<void> FtpSession::rename(const QString& fromPath, const QString& toPath)
{
    if (!checkConnected() || !checkRemotePath(fromPath) || !checkRemotePath(toPath))
        return outcome(false);
    return outcome(quote({"RNFR " + fromPath.toUtf8(), "RNTO " + toPath.toUtf8()}));
}

Result<void> FtpSession::remove(const QString& remotePath)
{
    if (!checkConnected() || !checkRemotePath(remotePath))
        return outcome(false);
    // "*": libcurl takes a refused quote command for a connection it can no longer trust and drops
    // it, so the next call would log in again; a refused DELE leaves the connection as good as it
    // was. Its reply says whether the file went.
    if (!quote({"*DELE " + remotePath.toUtf8()}))
        return outcome(false);
    if (lastReplyCode() >= 200 && lastReplyCode() < 300)
        return outcome(true);
    fail(Error::ServerReply, QString());
    return outcome(false);
}
