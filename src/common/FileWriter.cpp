#include "common/FileWriter.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
QString systemError(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

// The mode a new file gets from the process's file mode mask; read, not set, so no other thread
// ever sees a changed mask.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return static_cast<mode_t>(0666 & ~mask);
            }
        }
    }
    return 0644;
}

// The file a chain of links ends at; the path itself when it is no link or the chain does not end.
QString linkTarget(const QString& path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}
} // namespace

FileWriter::Result FileWriter::write(const QString& path, const QByteArray& data, Links links) const
{
    const QString target = links == Links::Follow ? linkTarget(path) : path;
    const QByteArray targetName = QFile::encodeName(target);
    struct stat existing = {};
    const bool exists = ::lstat(targetName.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return {false, systemError(EISDIR), Step::Replace};

    // A new name that did not exist before: a link planted under it is never opened.
    QByteArray temporary = targetName + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return {false, systemError(errno), Step::Create};
    // A replaced file keeps its mode; a new one gets the usual mode of a new file.
    // The mask is read once: the program never changes it.
    static const mode_t usualMode = newFileMode();
    ::fchmod(fd, exists && S_ISREG(existing.st_mode) ? existing.st_mode & 07777 : usualMode);

    Result result{true, {}, Step::None};
    {
        QFile file;
        if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
            result = {false, file.errorString(), Step::Write};
        } else {
            const std::unique_ptr<QIODevice> filtered = m_filter ? m_filter(file) : nullptr;
            QIODevice& device = filtered ? *filtered : file;
            for (qsizetype done = 0; done < data.size();) {
                const qint64 written = device.write(data.constData() + done, data.size() - done);
                if (written <= 0) {
                    result = {false, device.errorString(), Step::Write};
                    break;
                }
                done += written;
            }
        }
    }
    // Some file systems report a full disk only when the file is closed.
    if (::close(fd) != 0 && result.ok)
        result = {false, systemError(errno), Step::Write};
    if (result.ok && ::rename(temporary.constData(), targetName.constData()) != 0)
        result = {false, systemError(errno), Step::Replace};
    if (!result.ok)
        ::unlink(temporary.constData());
    return result;
}
