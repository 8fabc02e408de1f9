#pragma once

#include "common/Result.h"

#include <QList>
#include <QString>

#include <optional>

// A camera reached over the network: an RTSP stream, an HTTP MJPEG stream, or an HTTP address
// that answers each request with one JPEG (a snapshot), polled. The address never holds the user
// name or password: they are kept apart, so that no address the program shows or reports carries
// them.
struct NetworkCamera
{
    enum class Kind { Rtsp, MjpegStream, Snapshot };

    // How often a snapshot camera is asked for a picture.
    static constexpr int kSnapshotIntervalMs = 1000;

    QString name;
    QString address;
    Kind kind = Kind::Rtsp;
    QString user{};
    QString password{};

    // "Network|<address>|<name>": what stays the same for the camera from one run to the next.
    QString identity() const;

    // The stored form of a kind ("RTSP", "MJPEG", "Snapshot") and back; absent when unknown.
    static QString kindText(Kind kind);
    static std::optional<Kind> kindFromText(const QString& text);
    // The kind an address suggests: RTSP for rtsp:// addresses, else an MJPEG stream.
    static Kind kindOf(const QString& address);
    // The kinds as the "Add network camera" window offers them, in Kind's order.
    static QList<QString> kindLabels();

    // Tidies typed input (blanks around it; "user:password@" in the address moves into empty user
    // and password fields) and checks it: the tidied camera, or why it cannot be used, as a
    // sentence for a message box.
    [[nodiscard]] static Result<NetworkCamera> tidy(NetworkCamera camera);

    bool operator==(const NetworkCamera&) const = default;
};
