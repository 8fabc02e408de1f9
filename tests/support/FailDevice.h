#pragma once

#include "common/FileWriter.h"

#include <QString>

#include <algorithm>
#include <functional>
#include <memory>

// A device in front of the real new file that fails on demand, as a disk does: a write that
// passes a limit fails as a full disk (the bytes up to the limit reach the file), a flush to the
// disk fails as a failing disk, a close fails as a full quota on a network file system reports
// it. FileWriter's filter puts it in place.
class FailDevice final : public FileWriter::Device
{
public:
    enum class Fault { None, Write, Flush, Close };

    struct Plan
    {
        Fault fault = Fault::None;
        // With Fault::Write: the bytes that still reach the file.
        qint64 failAfter = 0;
        // Told "write", "flush" and "close" as the writer asks for them, before the device acts.
        std::function<void(const QString& step)> observe;
    };

    static inline const QString kDiskFull = QStringLiteral("No space left on device");
    static inline const QString kIoError = QStringLiteral("Input/output error");
    static inline const QString kQuotaExceeded = QStringLiteral("Disk quota exceeded");

    FailDevice(FileWriter::Device& file, Plan plan) : m_file(file), m_plan(std::move(plan)) {}

    // A writer whose files fill up after failAfter bytes; negative: never.
    static FileWriter writer(qint64 failAfter)
    {
        if (failAfter < 0)
            return writer(Plan{});
        return writer(Plan{Fault::Write, failAfter, {}});
    }

    static FileWriter writer(Plan plan)
    {
        return FileWriter([plan = std::move(plan)](FileWriter::Device& file) -> std::unique_ptr<Device> {
            return std::make_unique<FailDevice>(file, plan);
        });
    }

    Result<qint64> write(const char* data, qint64 size) override
    {
        tell(QStringLiteral("write"));
        if (m_plan.fault != Fault::Write)
            return m_file.write(data, size);
        const qint64 room = m_plan.failAfter - m_written;
        if (room <= 0)
            return Failure::of(Failure::Kind::NoSpace, kDiskFull);
        const Result<qint64> written = m_file.write(data, std::min(room, size));
        if (written)
            m_written += *written;
        return written;
    }

    Result<void> flush() override
    {
        tell(QStringLiteral("flush"));
        if (m_plan.fault == Fault::Flush)
            return Failure::of(Failure::Kind::Io, kIoError);
        return m_file.flush();
    }

    Result<void> close() override
    {
        tell(QStringLiteral("close"));
        // The file is closed either way, as close(2) does.
        const Result<void> closed = m_file.close();
        if (m_plan.fault == Fault::Close)
            return Failure::of(Failure::Kind::NoSpace, kQuotaExceeded);
        return closed;
    }

private:
    void tell(const QString& step) const
    {
        if (m_plan.observe)
            m_plan.observe(step);
    }

    FileWriter::Device& m_file;
    Plan m_plan;
    qint64 m_written = 0;
};
