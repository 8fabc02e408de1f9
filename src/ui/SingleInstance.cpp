#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr char kShow = 'S';

bool fillAddress(sockaddr_un& address, const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (size_t(encoded.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    return true;
}
} // namespace

SingleInstance::SingleInstance(const QString& folder, const QString& key, QObject* parent) : QObject(parent)
{
    // The key may be a long path: a short hash keeps the socket path within its limit.
    const QByteArray hash =
        QCryptographicHash::hash(QFileInfo(key).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    m_base =
        QDir(folder).filePath(QStringLiteral("velmora-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash)));
}

SingleInstance::~SingleInstance()
{
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
        ::unlink(QFile::encodeName(socketPath()).constData());
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd); // releases the lock
}

QString SingleInstance::runtimeFolder(const QString& fallback)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : fallback;
}

bool SingleInstance::acquire()
{
    if (m_lockFd >= 0)
        return true;
    QDir().mkpath(QFileInfo(lockPath()).absolutePath());
    const int fd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // no place for a lock: better two programs than none
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    // An open-file-description lock: held per open file, so it also keeps a second start within
    // the same process out, and goes away with the descriptor.
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        return false;
    }
    m_lockFd = fd;

    // Holding the lock makes any socket file left by a crashed program ours to replace.
    sockaddr_un address;
    if (!fillAddress(address, socketPath()))
        return true;
    ::unlink(address.sun_path);
    const int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd < 0)
        return true;
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd, 4) != 0) {
        ::close(listenFd);
        return true;
    }
    m_listenFd = listenFd;
    m_notifier = new QSocketNotifier(m_listenFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::acceptConnection);
    return true;
}

bool SingleInstance::askToShow() const
{
    sockaddr_un address;
    if (!fillAddress(address, socketPath()))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool sent = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        sent = ::write(fd, &kShow, 1) == 1;
    ::close(fd);
    return sent;
}

void SingleInstance::acceptConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        // The caller writes its one byte before closing; wait briefly for it rather than keep
        // a connection open in the event loop.
        pollfd waiting = {fd, POLLIN, 0};
        char byte = 0;
        if (::poll(&waiting, 1, 200) > 0 && ::read(fd, &byte, 1) == 1 && byte == kShow)
            emit showRequested();
        ::close(fd);
    }
}
