#include "ServerLaunch.h"

#include "ChildProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ServerLaunch {
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool waitForListener(int port, ChildProcess& process, int limitMs)
{
    // A listening socket on 127.0.0.1 reads "0100007F:<PORT in hex> 00000000:0000 0A".
    const QByteArray wanted = QByteArrayLiteral("0100007F:") +
                              QByteArray::number(port, 16).toUpper().rightJustified(4, '0') +
                              QByteArrayLiteral(" 00000000:0000 0A");
    const QDeadlineTimer deadline(limitMs);
    while (!deadline.hasExpired() && process.isRunning()) {
        if (readFile(QStringLiteral("/proc/net/tcp")).contains(wanted))
            return true;
        QThread::msleep(10);
    }
    return false;
}

QStringList contained(const QString& program, const QStringList& arguments)
{
    if (::geteuid() != 0)
        return QStringList{program} + arguments;
    // "exit" keeps the shell from replacing itself with the program.
    return QStringList{QStringLiteral("unshare"),
                       QStringLiteral("--pid"),
                       QStringLiteral("--fork"),
                       QStringLiteral("--kill-child"),
                       QStringLiteral("--"),
                       QStringLiteral("/bin/sh"),
                       QStringLiteral("-c"),
                       QStringLiteral("\"$0\" \"$@\"; exit $?"),
                       program} +
           arguments;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace ServerLaunch
