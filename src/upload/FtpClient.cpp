#include "upload/FtpClient.h"

#include <QFile>
#include <QFileInfo>

#include <curl/curl.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>

namespace {
using std::chrono::milliseconds;

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool isIpv6Address(const QString& text)
{
    in6_addr address{};
    return inet_pton(AF_INET6, text.toLatin1().constData(), &address) == 1;
}

bool hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

// libcurl takes whole seconds for these; never round a short limit down to "no limit".
long wholeSeconds(milliseconds limit)
{
    return std::max<long>(1, static_cast<long>((limit.count() + 999) / 1000));
}

FtpClient::Error errorOf(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return FtpClient::Error::None;
    case CURLE_COULDNT_RESOLVE_HOST:
        return FtpClient::Error::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return FtpClient::Error::CannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return FtpClient::Error::Timeout;
    case CURLE_URL_MALFORMAT:
        return FtpClient::Error::InvalidUrl;
    case CURLE_READ_ERROR:
        return FtpClient::Error::FileNotFound;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_PORT_FAILED:
        return FtpClient::Error::ConnectionAborted;
    default:
        return FtpClient::Error::Internal;
    }
}
} // namespace

void FtpClient::CurlDeleter::operator()(void* handle) const
{
    curl_easy_cleanup(handle);
}

FtpClient::FtpClient(const FtpTimeouts& timeouts, bool passive) : m_timeouts(timeouts), m_passive(passive) {}

FtpClient::~FtpClient()
{
    close();
}

std::optional<FtpClient::Endpoint> FtpClient::parseHost(const QString& text)
{
    const QString trimmed = text.trimmed();
    Endpoint endpoint;
    QString portText;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype end = trimmed.indexOf(QLatin1Char(']'));
        if (end < 0)
            return std::nullopt;
        endpoint.host = trimmed.mid(1, end - 1);
        const QString rest = trimmed.mid(end + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return std::nullopt;
            portText = rest.mid(1);
        }
        if (!isIpv6Address(endpoint.host))
            return std::nullopt;
    } else if (trimmed.count(QLatin1Char(':')) > 1) {
        endpoint.host = trimmed; // a bare IPv6 address has no port
        if (!isIpv6Address(endpoint.host))
            return std::nullopt;
    } else {
        const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
        endpoint.host = colon < 0 ? trimmed : trimmed.left(colon);
        if (colon >= 0)
            portText = trimmed.mid(colon + 1);
        // Only a host name or address: nothing that would change the meaning of the URL.
        for (QChar c : endpoint.host) {
            if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-') ||
                  c == QLatin1Char('_')))
                return std::nullopt;
        }
    }
    if (endpoint.host.isEmpty())
        return std::nullopt;
    if (!portText.isNull()) {
        bool ok = false;
        const int port = portText.toInt(&ok);
        if (!ok || port < 1 || port > 65535 || !portText.front().isDigit())
            return std::nullopt;
        endpoint.port = port;
    }
    return endpoint;
}

QByteArray FtpClient::encodePath(const QString& remotePath)
{
    // Percent-encoding "/" too keeps the path one piece; the server gets it byte for byte.
    return remotePath.toUtf8().toPercentEncoding();
}

QString FtpClient::lastReply() const
{
    QByteArray reply = m_lastReply;
    while (reply.endsWith('\n') || reply.endsWith('\r'))
        reply.chop(1);
    QString text = QString::fromUtf8(reply);
    // Shown as plain text; control characters other than line ends and tabs are not passed on.
    for (QChar& c : text) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\r') && c != QLatin1Char('\n') &&
             c != QLatin1Char('\t')) ||
            c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    }
    if (text.size() > kMaxReplyLength)
        text.truncate(kMaxReplyLength);
    return text;
}

int FtpClient::onDebug(void*, int type, char* data, size_t size, void* self)
{
    if (type == CURLINFO_HEADER_IN)
        static_cast<FtpClient*>(self)->takeReplyLine(QByteArray(data, static_cast<qsizetype>(size)));
    return 0;
}

void FtpClient::takeReplyLine(const QByteArray& line)
{
    // A reply is "ddd text", or "ddd-" lines up to the line that starts with the same "ddd ".
    const bool hasCode = line.size() >= 3 && std::all_of(line.begin(), line.begin() + 3,
                                                         [](char c) { return c >= '0' && c <= '9'; });
    const char mark = line.size() > 3 ? line.at(3) : ' ';
    if (m_partialReply.isEmpty()) {
        m_partialReply = line;
        m_replyCode = hasCode ? line.left(3) : QByteArray();
        if (hasCode && mark == '-')
            return;
    } else {
        if (m_partialReply.size() < 4 * kMaxReplyLength)
            m_partialReply += line;
        if (!(line.startsWith(m_replyCode) && mark != '-'))
            return;
    }
    m_lastReply = m_partialReply;
    m_lastReplyCode = m_replyCode.toInt();
    m_partialReply.clear();
    m_replyCode.clear();
}

std::chrono::milliseconds FtpClient::remaining() const
{
    return std::chrono::duration_cast<milliseconds>(m_deadline - std::chrono::steady_clock::now());
}

bool FtpClient::perform(milliseconds limit)
{
    m_lastReply.clear();
    m_lastReplyCode = 0;
    m_partialReply.clear();
    m_replyCode.clear();

    limit = std::min(limit, remaining());
    if (limit <= milliseconds::zero()) {
        m_lastError = Error::Timeout;
        return false;
    }
    CURL* curl = m_curl.get();
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.count()));
    const CURLcode code = curl_easy_perform(curl);
    long connects = 0;
    if (curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK)
        m_connectionCount += connects;
    if (code == CURLE_OK) {
        m_lastError = Error::None;
        return true;
    }
    m_lastError = (m_lastReplyCode >= 400 && m_lastReplyCode < 600) ? Error::ServerReply : errorOf(code);
    if (code == CURLE_OPERATION_TIMEDOUT || code == CURLE_FTP_ACCEPT_TIMEOUT)
        m_gaveUp = true; // a silent server is not asked again in this stage
    return false;
}

bool FtpClient::connect(const QString& host, const QString& user, const QString& password)
{
    close();
    m_gaveUp = false;
    m_lastReply.clear();
    m_lastReplyCode = 0;
    m_deadline = std::chrono::steady_clock::now() + m_timeouts.stage;

    const std::optional<Endpoint> endpoint = parseHost(host);
    if (!endpoint) {
        m_lastError = Error::InvalidUrl;
        return false;
    }
    // Line ends in the login would end the command early and start another.
    if (hasControlCharacter(user) || hasControlCharacter(password)) {
        m_lastError = Error::InvalidParameter;
        return false;
    }
    m_curl.reset(curl_easy_init());
    CURL* curl = m_curl.get();
    if (!curl) {
        m_lastError = Error::Internal;
        return false;
    }
    const bool v6 = endpoint->host.contains(QLatin1Char(':'));
    m_baseUrl = "ftp://" + (v6 ? '[' + endpoint->host.toUtf8() + ']' : endpoint->host.toUtf8()) + ':' +
                QByteArray::number(endpoint->port) + '/';

    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L); // the debug callback sees the replies only then
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &FtpClient::onDebug);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.toUtf8().constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.toUtf8().constData());
    // Active mode: the server connects back to the address of our end of the control connection.
    curl_easy_setopt(curl, CURLOPT_FTPPORT, m_passive ? nullptr : "-");
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeouts.connect.count()));
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, wholeSeconds(m_timeouts.connect));

    // Log in without a transfer: a body-less request on the login folder.
    curl_easy_setopt(curl, CURLOPT_URL, m_baseUrl.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    if (!perform(m_timeouts.connect)) {
        m_curl.reset();
        return false;
    }
    m_connected = true;
    return true;
}

bool FtpClient::put(const QString& localPath, const QString& remotePath, bool textMode)
{
    m_lastReply.clear();
    m_lastReplyCode = 0;
    CURL* curl = m_curl.get();
    if (!m_connected || !curl) {
        m_lastError = Error::NotConnected;
        return false;
    }
    if (m_gaveUp) {
        m_lastError = Error::Timeout;
        return false;
    }
    if (remotePath.isEmpty() || remotePath.endsWith(QLatin1Char('/')) || hasControlCharacter(remotePath)) {
        m_lastError = Error::InvalidUrl;
        return false;
    }
    const std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(QFile::encodeName(localPath).constData(), "rb"));
    const QFileInfo info(localPath);
    if (!file || !info.isFile()) {
        m_lastError = Error::FileNotFound;
        return false;
    }
    const QByteArray url = m_baseUrl + encodePath(remotePath);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, textMode ? 1L : 0L);
    curl_easy_setopt(curl, CURLOPT_READDATA, file.get());
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.size()));
    const long silent = wholeSeconds(m_timeouts.response);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, silent);
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(m_timeouts.response.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, silent);
    // A connection lost after an earlier failure is opened again with the same login.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeouts.connect.count()));

    const bool ok = perform(m_timeouts.stage);
    curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    return ok;
}

void FtpClient::close()
{
    // Cleaning up the handle says QUIT on the connection it keeps, if that is still alive.
    m_curl.reset();
    m_connected = false;
}
