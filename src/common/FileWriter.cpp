#include "common/FileWriter.h"

#include "common/SystemError.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {
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

// The new file itself, by its descriptor, which it owns: closed at the end whatever happened.
class DescriptorFile final : public FileWriter::Device
{
public:
    explicit DescriptorFile(int fd) : m_fd(fd) {}
    ~DescriptorFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    DescriptorFile(const DescriptorFile&) = delete;
    DescriptorFile& operator=(const DescriptorFile&) = delete;

    Result<qint64> write(const char* data, qint64 size) override
    {
        for (;;) {
            const ssize_t written = ::write(m_fd, data, static_cast<size_t>(size));
            if (written > 0)
                return qint64{written};
            if (written < 0 && errno == EINTR)
                continue;
            return SystemError::failure(written < 0 ? errno : EIO);
        }
    }

    Result<void> flush() override
    {
        // A rename can reach the disk before the bytes do: without this, a power cut could leave
        // an empty file under the target's name.
        if (::fdatasync(m_fd) == 0 || errno == EINVAL)
            return {};
        return SystemError::failure(errno);
    }

    Result<void> close() override
    {
        // Some file systems (NFS, a full quota) report a failed write only here. The descriptor is
        // gone whatever close answers, so it is never closed twice.
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) == 0 || errno == EINTR)
            return {};
        return SystemError::failure(errno);
    }

private:
    int m_fd;
};

Failure atStep(Failure failure, FileWriter::Step step)
{
    failure.code = static_cast<int>(step);
    return failure;
}

Result<void> writeOut(FileWriter::Device& device, const QByteArray& data)
{
    for (qsizetype done = 0; done < data.size();) {
        const Result<qint64> written = device.write(data.constData() + done, data.size() - done);
        if (!written)
            return written.failure();
        done += *written;
    }
    if (Result<void> flushed = device.flush(); !flushed)
        return flushed;
    return device.close();
}
} // namespace

FileWriter::Step FileWriter::stepOf(const Result<void>& result)
{
    return result ? Step::None : static_cast<Step>(result.failure().code);
}

Failure FileWriter::failureAt(Step step, Failure::Kind kind, const QString& sentence)
{
    return Failure::of(kind, sentence, static_cast<int>(step));
}

Result<void> FileWriter::write(const QString& path, const QByteArray& data, Links links) const
{
    const QString target = links == Links::Follow ? linkTarget(path) : path;
    const QByteArray targetName = QFile::encodeName(target);
    struct stat existing = {};
    const bool exists = ::lstat(targetName.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return SystemError::failure(EISDIR, static_cast<int>(Step::Replace));

    // A new name that did not exist before: a link planted under it is never opened.
    QByteArray temporary = targetName + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return SystemError::failure(errno, static_cast<int>(Step::Create));
    // A replaced file keeps its mode; a new one gets the usual mode of a new file.
    // The mask is read once: the program never changes it.
    static const mode_t usualMode = newFileMode();
    ::fchmod(fd, exists && S_ISREG(existing.st_mode) ? existing.st_mode & 07777 : usualMode);

    Result<void> written;
    {
        DescriptorFile file(fd);
        const std::unique_ptr<Device> filtered = m_filter ? m_filter(file) : nullptr;
        written = writeOut(filtered ? *filtered : file, data);
    }
    if (!written) {
        ::unlink(temporary.constData());
        return atStep(written.failure(), Step::Write);
    }
    if (::rename(temporary.constData(), targetName.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return SystemError::failure(error, static_cast<int>(Step::Replace));
    }
    return {};
}
