#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class QFile;
class QIODevice;

// Writes whole files so that a failure leaves nothing behind: the bytes go into a new file beside
// the target, the writes and the close are checked, and only a complete file is renamed over the
// target. Until then the target keeps what it had; a file that could not be written whole never
// appears under its name.
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

    // Where a write failed: making the new file, writing into it, or putting it in place.
    enum class Step { None, Create, Write, Replace };

    struct Result
    {
        bool ok = false;
        QString error; // why not, in the system's words ("No space left on device")
        Step failedAt = Step::None;
    };

    // The device the bytes pass through into the new file, which is open for writing. Tests put
    // one in that fails as a full disk would; the program writes into the file itself.
    using DeviceFilter = std::function<std::unique_ptr<QIODevice>(QFile& file)>;

    FileWriter() = default;
    explicit FileWriter(DeviceFilter filter) : m_filter(std::move(filter)) {}

    Result write(const QString& path, const QByteArray& data, Links links = Links::Replace) const;

private:
    DeviceFilter m_filter;
};
