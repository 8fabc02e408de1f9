#include "ui/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {
constexpr char kShow = 'S';
constexpr int kAskTimeoutMs = 1000;

QString basePath(const QString& folder, const QString& key)
{
    // The key may be a long path: a short hash keeps the socket path within its limit.
    const QByteArray hash =
        QCryptographicHash::hash(QFileInfo(key).absoluteFilePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QDir(folder).filePath(
        QStringLiteral("velmora-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash)));
}
} // namespace

SingleInstance::SingleInstance(const QString& folder, const QString& key, QObject* parent)
    : QObject(parent), m_base(basePath(folder, key)), m_lock(lockPath())
{
    // Only a lock whose program is gone counts as stale, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::runtimeFolder(const QString& fallback)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime).isDir() ? runtime : fallback;
}

bool SingleInstance::acquire()
{
    if (m_lock.isLocked())
        return true;
    QDir().mkpath(QFileInfo(lockPath()).absolutePath());
    if (!m_lock.tryLock(0))
        return m_lock.error() != QLockFile::LockFailedError;

    // Holding the lock makes a socket left by a program that died ours to replace.
    QLocalServer::removeServer(socketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (!m_server->listen(socketPath())) {
        delete m_server; // the program runs on; a later start just cannot reach it
        m_server = nullptr;
    }
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The asking program writes one byte; it is read when it arrives, never waited for.
        auto readRequest = [this, socket] {
            char byte = 0;
            while (socket->getChar(&byte)) {
                if (byte == kShow)
                    emit showRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readRequest);
        readRequest();
    }
}

bool SingleInstance::askToShow() const
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(kAskTimeoutMs))
        return false;
    const bool sent = socket.putChar(kShow) && socket.waitForBytesWritten(kAskTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kAskTimeoutMs);
    return sent;
}
