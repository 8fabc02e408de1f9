#include "upload/UploaderLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

UploaderLock::UploaderLock(const QString& storePath) : m_path(storePath) {}

UploaderLock::~UploaderLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UploaderLock::acquire()
{
    if (m_fd >= 0)
        return true;
    // Read-only and non-blocking: a store that is a FIFO must not hold the start up.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        return true;
    }
    const bool taken = errno == EWOULDBLOCK;
    ::close(fd);
    return !taken;
}
