#include "upload/CurlSession.h"

#include "common/OutsideText.h"

#include <QFile>
#include <QFileInfo>

#include <curl/curl.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>
#include <type_traits>

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

// A limit as the log says it: "60 s", "1.5 s".
QString secondsText(milliseconds limit)
{
    return QString::number(static_cast<double>(limit.count()) / 1000.0, 'g', 4) + QStringLiteral(" s");
}

// The data port of a 227 ("(h1,h2,h3,h4,p1,p2)") or 229 ("(|||port|)") reply, or 0.
int passivePortOf(int code, const QByteArray& reply)
{
    const qsizetype open = reply.indexOf('(');
    const qsizetype close = reply.indexOf(')', open);
    if (open < 0 || close < 0)
        return 0;
    const QByteArray inside = reply.mid(open + 1, close - open - 1);
    bool ok = false;
    int port = 0;
    if (code == 229) {
        const QList<QByteArray> parts = inside.split(inside.isEmpty() ? '|' : inside.front());
        port = parts.size() == 5 ? parts[3].toInt(&ok) : 0;
    } else {
        const QList<QByteArray> parts = inside.split(',');
        if (parts.size() == 6) {
            bool high = false;
            bool low = false;
            port = parts[4].trimmed().toInt(&high) * 256 + parts[5].trimmed().toInt(&low);
            ok = high && low;
        }
    }
    return ok && port > 0 && port < 65536 ? port : 0;
}

DestinationSession::Error errorOfCode(CURLcode code)
{
    using Error = DestinationSession::Error;
    switch (code) {
    case CURLE_OK:
        return Error::None;
    case CURLE_COULDNT_RESOLVE_HOST:
        return Error::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return Error::CannotConnect;
    case CURLE_ABORTED_BY_CALLBACK:
        return Error::Cancelled;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return Error::Timeout;
    case CURLE_URL_MALFORMAT:
        return Error::InvalidUrl;
    case CURLE_READ_ERROR:
        return Error::FileNotFound;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
        return Error::CertificateRefused;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_PORT_FAILED:
        return Error::ConnectionAborted;
    default:
        return Error::Internal;
    }
}

// A folder's names, up to a size no archive folder reaches; a server that sends more makes the
// listing fail rather than fill the memory.
size_t collect(char* data, size_t size, size_t count, void* buffer)
{
    constexpr qsizetype kMaxListing = 32 * 1024 * 1024;
    auto* listing = static_cast<QByteArray*>(buffer);
    const size_t bytes = size * count;
    if (listing->size() + static_cast<qsizetype>(bytes) > kMaxListing)
        return 0;
    listing->append(data, static_cast<qsizetype>(bytes));
    return bytes;
}
} // namespace

long CurlSession::wholeSeconds(milliseconds limit)
{
    return std::max<long>(1, static_cast<long>((limit.count() + 999) / 1000));
}

bool CurlSession::hasControlCharacter(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

void CurlSession::CurlDeleter::operator()(void* handle) const
{
    curl_easy_cleanup(handle);
}

void CurlSession::MultiDeleter::operator()(void* handle) const
{
    curl_multi_cleanup(handle);
}

void CurlSession::SlistDeleter::operator()(void* list) const
{
    curl_slist_free_all(static_cast<curl_slist*>(list));
}

CurlSession::CurlSession(const FtpTimeouts& timeouts, const Settings& settings)
    : m_timeouts(timeouts), m_settings(settings)
{
}

CurlSession::~CurlSession()
{
    close();
}

std::optional<CurlSession::Endpoint> CurlSession::parseHost(const QString& text)
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
        endpoint.hasPort = true;
    }
    return endpoint;
}

QByteArray CurlSession::encodePath(const QString& remotePath)
{
    // Percent-encoding "/" too keeps the path one piece; the server gets it byte for byte.
    return remotePath.toUtf8().toPercentEncoding();
}

QByteArray CurlSession::urlFor(const QString& remotePath) const
{
    return m_baseUrl + encodePath(remotePath);
}

// Nothing the server sends back as data or headers (the size and date lines libcurl makes up for a
// SIZE request) belongs on the program's standard output, which carries the FTP log in a
// headless run.
size_t CurlSession::discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

QString CurlSession::lastReply() const
{
    QByteArray reply = m_lastReply;
    while (reply.endsWith('\n') || reply.endsWith('\r'))
        reply.chop(1);
    QString text = QString::fromUtf8(reply);
    if (text.size() > kMaxReplyLength)
        text.truncate(kMaxReplyLength);
    return OutsideText::lines(text).join(QStringLiteral("\r\n"));
}

QString CurlSession::failureText() const
{
    return OutsideText::line(m_failureText);
}

int CurlSession::onDebug(void*, int type, char* data, size_t size, void* self)
{
    auto* session = static_cast<CurlSession*>(self);
    if (type == CURLINFO_HEADER_IN)
        session->takeReplyLine(QByteArray(data, static_cast<qsizetype>(size)));
    // The server creates (or empties) the file as soon as it has the command.
    else if (type == CURLINFO_HEADER_OUT && size >= 5 && qstrncmp(data, "STOR ", 5) == 0)
        session->m_storeStarted = true;
    else if (type == CURLINFO_HEADER_OUT && size >= 5 && qstrncmp(data, "USER ", 5) == 0 &&
             session->countsConnectionsByLogin())
        ++session->m_connectionCount;
    return 0;
}

size_t CurlSession::onRead(char* buffer, size_t size, size_t count, void* self)
{
    auto* session = static_cast<CurlSession*>(self);
    if (!session->m_upload)
        return 0;
    session->m_storeStarted = true;
    return std::fread(buffer, size, count, session->m_upload);
}

// A request sent again (HTTP's authentication answers a first try with a challenge) reads the file
// from its start again.
int CurlSession::onSeek(void* self, std::int64_t offset, int origin)
{
    static_assert(std::is_same_v<curl_off_t, std::int64_t>, "libcurl's seek callback takes a curl_off_t");
    auto* session = static_cast<CurlSession*>(self);
    if (!session->m_upload)
        return CURL_SEEKFUNC_CANTSEEK;
    return ::fseeko(session->m_upload, static_cast<off_t>(offset), origin) == 0 ? CURL_SEEKFUNC_OK
                                                                                : CURL_SEEKFUNC_FAIL;
}

int CurlSession::onOpenSocket(void* self, int, void* address)
{
    const auto* where = static_cast<const curl_sockaddr*>(address);
    const int fd = ::socket(where->family, where->socktype | SOCK_CLOEXEC, where->protocol);
    if (fd < 0)
        return CURL_SOCKET_BAD;
    auto* session = static_cast<CurlSession*>(self);
    const std::lock_guard lock(session->m_cancelMutex);
    session->m_sockets.insert(fd);
    // A socket opened after a cancel is cut at once as well.
    if (session->m_cancelled.load())
        ::shutdown(fd, SHUT_RDWR);
    return fd;
}

int CurlSession::onCloseSocket(void* self, int socket)
{
    auto* session = static_cast<CurlSession*>(self);
    // Closed under the lock, so cutSockets() never reaches a number already given to another file.
    const std::lock_guard lock(session->m_cancelMutex);
    session->m_sockets.erase(socket);
    return ::close(socket);
}

void CurlSession::cutSockets()
{
    const std::lock_guard lock(m_cancelMutex);
    for (const int fd : m_sockets)
        ::shutdown(fd, SHUT_RDWR);
}

void CurlSession::cancel()
{
    const std::lock_guard lock(m_cancelMutex);
    m_cancelled = true;
    if (m_waitingMulti)
        curl_multi_wakeup(m_waitingMulti);
    for (const int fd : m_sockets)
        ::shutdown(fd, SHUT_RDWR);
}

void CurlSession::takeReplyLine(const QByteArray& line)
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
    setReply(m_partialReply, m_replyCode.toInt());
    if (m_lastReplyCode == 227 || m_lastReplyCode == 229)
        m_passivePort = passivePortOf(m_lastReplyCode, m_lastReply);
    m_partialReply.clear();
    m_replyCode.clear();
}

void CurlSession::setReply(const QByteArray& reply, int code)
{
    m_lastReply = reply;
    m_lastReplyCode = code;
}

std::chrono::milliseconds CurlSession::remaining() const
{
    return std::chrono::duration_cast<milliseconds>(m_deadline - std::chrono::steady_clock::now());
}

bool CurlSession::perform(milliseconds limit, milliseconds silence)
{
    m_lastReply.clear();
    m_lastReplyCode = 0;
    m_partialReply.clear();
    m_replyCode.clear();
    m_failureText.clear();
    m_reason.clear();
    m_passivePort = 0;
    m_errorBuffer[0] = '\0';

    if (m_cancelled.load()) {
        m_lastError = Error::Cancelled;
        return false;
    }
    // The stage's own limit binds when less of it is left than this call may take.
    const bool stageLimited = remaining() < limit;
    limit = std::min(limit, remaining());
    if (limit <= milliseconds::zero()) {
        fail(Error::Timeout, QStringLiteral("Timed out after %1, the time limit for the whole upload")
                                 .arg(secondsText(m_timeouts.stage)));
        return false;
    }
    curl_easy_setopt(m_curl.get(), CURLOPT_SERVER_RESPONSE_TIMEOUT, wholeSeconds(silence));
    CURL* curl = m_curl.get();
    CURLM* multi = m_multi.get();
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.count()));

    // Driven through the multi interface rather than curl_easy_perform: libcurl 7.88 reads a fast
    // 227/229 reply in the same pass that sent PASV/EPSV, sets up the data connection without
    // opening its socket yet and then has nothing to wait on, so curl_easy_perform sleeps until
    // its next timer (200 ms of happy eyeballs, or its 1 s poll). With no socket to wait on we
    // poll again at once.
    CURLcode code = CURLE_OK;
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
        m_lastError = Error::Internal;
        return false;
    }
    {
        const std::lock_guard lock(m_cancelMutex);
        m_waitingMulti = multi;
    }
    for (bool done = false; !done;) {
        // Taking the handle out of the multi handle mid-way ends the request; libcurl then drops
        // the control connection rather than trusting it.
        if (m_cancelled.load()) {
            code = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == curl) {
                code = message->data.result;
                done = true;
            }
        }
        if (done || running == 0)
            break;
        long wait = -1;
        curl_multi_timeout(multi, &wait);
        fd_set readable, writable, failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        int maxFd = -1;
        curl_multi_fdset(multi, &readable, &writable, &failed, &maxFd);
        if (maxFd < 0)
            wait = 0;
        else if (wait < 0 || wait > 1000)
            wait = 1000;
        if (wait > 0)
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait), nullptr);
    }
    {
        const std::lock_guard lock(m_cancelMutex);
        m_waitingMulti = nullptr;
    }
    curl_multi_remove_handle(multi, curl);

    long connects = 0;
    if (!countsConnectionsByLogin() && curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK)
        m_connectionCount += connects;
    if (code == CURLE_OK) {
        m_lastError = Error::None;
        return true;
    }
    m_failureText = QString::fromUtf8(m_errorBuffer).trimmed();
    explainFailure(code, stageLimited, silence);
    return false;
}

void CurlSession::fail(Error error, const QString& reason)
{
    m_lastError = error;
    m_reason = reason;
}

void CurlSession::clearFailure()
{
    m_lastError = Error::None;
    m_reason.clear();
}

Result<void> CurlSession::outcome(bool ok) const
{
    if (ok)
        return Result<void>::success();
    return failureOf(m_lastError == Error::None ? Error::Internal : m_lastError, m_reason);
}

bool CurlSession::explainProtocolFailure(int, const QString&)
{
    return false;
}

void CurlSession::explainFailure(int curlCode, bool stageLimited, milliseconds silence)
{
    const auto code = static_cast<CURLcode>(curlCode);
    if (code == CURLE_ABORTED_BY_CALLBACK || m_cancelled.load()) {
        m_lastError = Error::Cancelled;
        m_lastReply.clear();
        return;
    }
    if (code == CURLE_OPERATION_TIMEDOUT || code == CURLE_FTP_ACCEPT_TIMEOUT)
        m_gaveUp = true; // a silent server is not asked again in this stage
    if (explainBeforeReply())
        return;
    // The server's error reply says it all; the log shows its lines.
    if (m_lastReplyCode >= 400 && m_lastReplyCode < 600) {
        fail(Error::ServerReply, QString());
        return;
    }
    const QString detail = failureText();
    if (explainProtocolFailure(curlCode, detail))
        return;
    const QString withDetail = detail.isEmpty() ? QString() : QStringLiteral(": ") + detail;
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        // Either the call's whole time ran out where the stage's limit bound it, or the server
        // said nothing for the silence limit (also in the middle of a transfer).
        if (stageLimited && std::chrono::steady_clock::now() + milliseconds(50) >= m_deadline)
            fail(Error::Timeout, QStringLiteral("Timed out after %1, the time limit for the whole upload")
                                     .arg(secondsText(m_timeouts.stage)));
        else
            fail(Error::Timeout,
                 QStringLiteral("Timed out after %1 waiting for the server").arg(secondsText(silence)));
        return;
    case CURLE_FTP_ACCEPT_TIMEOUT:
        fail(Error::Timeout, QStringLiteral("Timed out after %1 waiting for the server to connect back for "
                                            "the data (active mode)")
                                 .arg(secondsText(silence)));
        return;
    case CURLE_COULDNT_CONNECT:
        if (m_connected && m_passivePort > 0)
            fail(Error::CannotConnect,
                 QStringLiteral("Could not open the data connection to port %1").arg(m_passivePort));
        else
            fail(Error::CannotConnect, QStringLiteral("Could not connect to ") + shownHost(m_host));
        return;
    case CURLE_COULDNT_RESOLVE_HOST:
        fail(Error::NameNotResolved, QStringLiteral("Host not found: ") + shownHost(m_host));
        return;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_USE_SSL_FAILED:
        fail(Error::CertificateRefused, QStringLiteral("Certificate refused: ") + detail);
        return;
    case CURLE_LOGIN_DENIED:
        fail(Error::Refused, QStringLiteral("Login refused") + withDetail);
        return;
    default:
        break;
    }
    // libcurl's words on a lost connection name its own internals, not the cause.
    const Error error = errorOfCode(code);
    fail(error, error == Error::ConnectionAborted ? QStringLiteral("Connection to the server lost") : detail);
}

void CurlSession::restartStageLimit()
{
    m_deadline = std::chrono::steady_clock::now() + m_timeouts.stage;
}

Result<void> CurlSession::connect(const QString& host, const QString& user, const QString& password)
{
    close();
    m_gaveUp = false;
    m_lastReply.clear();
    m_lastReplyCode = 0;
    m_failureText.clear();
    m_reason.clear();
    // An own copy: the session ends on the worker, and a buffer shared with the caller's text
    // would be released on two threads.
    m_host = QString(host.constData(), host.size());
    m_deadline = std::chrono::steady_clock::now() + m_timeouts.stage;

    std::optional<QByteArray> base = baseUrlFor(host);
    if (!base)
        return outcome(false);
    // Line ends in the login would end the command early and start another.
    for (const auto& [text, what] : {std::pair{user, "user name"}, std::pair{password, "password"}}) {
        if (hasControlCharacter(text)) {
            fail(Error::InvalidParameter,
                 QStringLiteral("The %1 contains a line break or another control character, which "
                                "cannot be sent to the server")
                     .arg(QLatin1String(what)));
            return outcome(false);
        }
    }
    if (!readyToLogIn())
        return outcome(false);
    m_multi.reset(curl_multi_init());
    m_curl.reset(curl_easy_init());
    CURL* curl = m_curl.get();
    if (!curl || !m_multi) {
        m_curl.reset();
        m_multi.reset();
        fail(Error::Internal, QStringLiteral("The network library could not be set up"));
        return outcome(false);
    }
    m_baseUrl = *base;

    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, scheme().constData());
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L); // the debug callback sees the replies only then
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &CurlSession::onDebug);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlSession::discard);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CurlSession::discard);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    // Every socket is known, so cancel() can cut what libcurl waits on, also inside its goodbye.
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &CurlSession::onOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &CurlSession::onCloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &CurlSession::onRead);
    curl_easy_setopt(curl, CURLOPT_READDATA, this);
    curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, &CurlSession::onSeek);
    curl_easy_setopt(curl, CURLOPT_SEEKDATA, this);
    configure(curl, user, password);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeouts.connect.count()));

    if (!logIn()) {
        m_curl.reset();
        m_multi.reset();
        return outcome(false);
    }
    m_connected = true;
    return outcome(true);
}

std::optional<QByteArray> CurlSession::baseUrlFor(const QString& host)
{
    std::optional<Endpoint> endpoint = parseHost(host);
    if (!endpoint) {
        fail(Error::InvalidUrl, QStringLiteral("Not a usable host name: ") + shownHost(host));
        return std::nullopt;
    }
    // A host field without a port means the protocol's own.
    if (!endpoint->hasPort)
        endpoint->port = defaultPort();
    const bool v6 = endpoint->host.contains(QLatin1Char(':'));
    return scheme() + "://" + (v6 ? '[' + endpoint->host.toUtf8() + ']' : endpoint->host.toUtf8()) + ':' +
           QByteArray::number(endpoint->port) + '/';
}

bool CurlSession::logIn()
{
    // Without a transfer: a body-less request on the login folder.
    curl_easy_setopt(m_curl.get(), CURLOPT_URL, loginFolderUrl().constData());
    curl_easy_setopt(m_curl.get(), CURLOPT_NOBODY, 1L);
    return perform(m_timeouts.connect, m_timeouts.connect);
}

bool CurlSession::checkConnected()
{
    m_lastReply.clear();
    m_lastReplyCode = 0;
    m_reason.clear();
    if (m_cancelled.load()) {
        m_lastError = Error::Cancelled;
        return false;
    }
    if (!m_connected || !m_curl) {
        fail(Error::NotConnected, QStringLiteral("Not connected"));
        return false;
    }
    if (m_gaveUp) {
        fail(Error::Timeout,
             QStringLiteral("Not tried: the server stopped answering earlier in this upload"));
        return false;
    }
    return true;
}

bool CurlSession::checkRemotePath(const QString& remotePath)
{
    if (hasControlCharacter(remotePath)) {
        fail(Error::InvalidUrl,
             QStringLiteral("The remote folder or file name contains a line break or another "
                            "control character, which cannot be sent to the server"));
        return false;
    }
    if (remotePath.isEmpty() || remotePath.endsWith(QLatin1Char('/'))) {
        fail(Error::InvalidUrl, QStringLiteral("Not a file name: ") + OutsideText::line(remotePath));
        return false;
    }
    return true;
}

Result<void> CurlSession::put(const QString& localPath, const QString& remotePath, Transfer transfer,
                              const QString&)
{
    m_storeStarted = false;
    if (!checkConnected() || !checkRemotePath(remotePath))
        return outcome(false);
    CURL* curl = m_curl.get();
    const std::unique_ptr<std::FILE, FileCloser> file(
        std::fopen(QFile::encodeName(localPath).constData(), "rb"));
    const QFileInfo info(localPath);
    if (!file || !info.isFile()) {
        fail(Error::FileNotFound, QStringLiteral("Local file not found: ") + OutsideText::line(localPath));
        return outcome(false);
    }
    const QByteArray url = urlFor(remotePath);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, transfer == Transfer::Text ? 1L : 0L);
    m_upload = file.get();
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.size()));
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(m_timeouts.response.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, wholeSeconds(m_timeouts.response));
    // A connection lost after an earlier failure is opened again with the same login.
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeouts.connect.count()));

    const bool ok = perform(m_timeouts.stage, m_timeouts.response);
    m_upload = nullptr;
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    return outcome(ok);
}

Result<std::optional<qint64>> CurlSession::remoteSize(const QString& remotePath)
{
    if (!checkConnected() || !checkRemotePath(remotePath))
        return outcome(false).failure();
    CURL* curl = m_curl.get();
    // A body-less request on the file asks SIZE (FTP) or stats it (SFTP).
    const QByteArray url = urlFor(remotePath);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    const bool ok = perform(m_timeouts.response, m_timeouts.response);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    if (!ok)
        return outcome(false).failure();
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
        return std::optional<qint64>(static_cast<qint64>(length));
    return sizeOtherwise(remotePath);
}

bool CurlSession::quote(const QList<QByteArray>& commands)
{
    CURL* curl = m_curl.get();
    std::unique_ptr<void, SlistDeleter> list;
    for (const QByteArray& command : commands)
        list.reset(curl_slist_append(static_cast<curl_slist*>(list.release()), command.constData()));
    curl_easy_setopt(curl, CURLOPT_URL, loginFolderUrl().constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_QUOTE, list.get());
    const bool ok = perform(m_timeouts.response, m_timeouts.response);
    curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    return ok;
}

void CurlSession::close()
{
    if (!m_multi) {
        m_curl.reset();
        m_connected = false;
        return;
    }
    // Cleaning up the handles says goodbye on the connection the multi handle keeps, if that is
    // still alive, and libcurl waits for the answer; the easy handle goes first, the multi handle
    // owns the connection. A watch cuts the sockets once the goodbye takes too long; it waits on
    // an event file, which runs on the monotonic clock.
    const int finished = ::eventfd(0, EFD_CLOEXEC);
    std::thread watch;
    if (finished >= 0) {
        watch = std::thread([this, finished] {
            pollfd wait{finished, POLLIN, 0};
            if (::poll(&wait, 1, static_cast<int>(m_timeouts.quit.count())) == 0)
                cutSockets();
        });
    }
    m_curl.reset();
    m_multi.reset();
    if (finished >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t written = ::write(finished, &one, sizeof one);
        watch.join();
        ::close(finished);
    }
    m_connected = false;
}

Result<QStringList> CurlSession::list(const QString& remoteFolder)
{
    if (!checkConnected())
        return outcome(false).failure();
    if (hasControlCharacter(remoteFolder)) {
        m_lastError = Error::InvalidUrl;
        return outcome(false).failure();
    }
    // A URL that ends in "/" asks for a listing; without a CWD libcurl names the folder in the
    // NLST command, the root "/" too.
    QString folder = remoteFolder;
    if (folder.endsWith(QLatin1Char('/')) && folder.size() > 1)
        folder.chop(1);
    const QByteArray url = folder.isEmpty() ? loginFolderUrl() : urlFor(folder) + '/';
    CURL* curl = m_curl.get();
    QByteArray listing;
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_DIRLISTONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &listing);
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, static_cast<long>(m_timeouts.response.count()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, wholeSeconds(m_timeouts.response));
    const bool ok = perform(m_timeouts.stage, m_timeouts.response);
    curl_easy_setopt(curl, CURLOPT_DIRLISTONLY, 0L);
    curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CurlSession::discard);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    if (!ok)
        return outcome(false).failure();
    QStringList names;
    for (const QByteArray& line : listing.split('\n')) {
        // Some servers name the folder with each file, some do not.
        QString name = QString::fromUtf8(line.trimmed());
        name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        if (!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."))
            names << name;
    }
    return names;
}
