#pragma once

#include "common/FileWriter.h"

#include <QFile>
#include <QIODevice>

#include <memory>

// A device in front of a real file that takes the first bytes and then fails as a full disk does:
// the bytes up to the limit reach the file, the write that passes it fails with "No space left on
// device". FileWriter's filter puts it in place.
class FailDevice final : public QIODevice
{
public:
    FailDevice(QIODevice& file, qint64 failAfter) : m_file(file), m_failAfter(failAfter)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

    // A writer whose files fill up after failAfter bytes; negative: never.
    static FileWriter writer(qint64 failAfter)
    {
        return FileWriter([failAfter](QFile& file) -> std::unique_ptr<QIODevice> {
            if (failAfter < 0)
                return nullptr;
            return std::make_unique<FailDevice>(file, failAfter);
        });
    }

    static inline const QString kDiskFull = QStringLiteral("No space left on device");

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        const qint64 room = m_failAfter - m_written;
        if (room <= 0) {
            setErrorString(kDiskFull);
            return -1;
        }
        const qint64 written = m_file.write(data, std::min(room, length));
        if (written > 0)
            m_written += written;
        return written;
    }

private:
    QIODevice& m_file;
    qint64 m_failAfter;
    qint64 m_written = 0;
};
