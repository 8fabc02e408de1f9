#pragma once

#include "common/Result.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Writes whole files so that neither a failure nor a power cut leaves half a file behind: the bytes
// go into a new file beside the target, every write, the flush to the disk and the close are
// checked, and only a complete file that is on the disk is renamed over the target. Until then the
// target keeps what it had; a file that could not be written whole never appears under its name.
class FileWriter final
{
public:
    // What a symbolic link found under the target's name means.
    enum class Links {
        // The program's own files: the link itself is replaced; what it points at is never written.
        Replace,
        // A file the user named: the file the link points at is replaced.
        Follow
    };

    // Where a write failed: making the new file, writing it out (the bytes, the flush to the disk
    // and the close), or putting it in place. A failure's code is its step.
    enum class Step { None = 0, Create = 1, Write = 2, Replace = 3 };

    // The step a result failed at; None when it did not fail.
    static Step stepOf(const Result<void>& result);
    // A failure at a step, for callers that fail on the way to the writer (reading what they copy).
    static Failure failureAt(Step step, Failure::Kind kind, const QString& sentence);

    // What the bytes pass through into the new file. The program writes into the file itself;
    // tests put a device in front of it that fails as a full disk, a failing flush or a failing
    // close would. Failures carry the system's words ("No space left on device").
    class Device
    {
    public:
        virtual ~Device() = default;
        // Some of the bytes; how many were taken (at least one).
        virtual Result<qint64> write(const char* data, qint64 size) = 0;
        // Everything written so far is on the disk.
        virtual Result<void> flush() = 0;
        virtual Result<void> close() = 0;
    };
    using DeviceFilter = std::function<std::unique_ptr<Device>(Device& file)>;

    FileWriter() = default;
    explicit FileWriter(DeviceFilter filter) : m_filter(std::move(filter)) {}

    // The failure's sentence is the system's reason; its code the step (stepOf).
    Result<void> write(const QString& path, const QByteArray& data, Links links = Links::Replace) const;

private:
    DeviceFilter m_filter;
};
