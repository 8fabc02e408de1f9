#pragma once

#include "capture/CameraFault.h"

#include <QByteArray>

#include <cstddef>
#include <optional>

// Splits the body of an HTTP MJPEG stream (multipart/x-mixed-replace) into its pictures as the
// bytes arrive. It holds at most one picture's worth of bytes (PictureLimits::kMaxBytes) and a
// picture that states a larger Content-Length is refused from its header, before its bytes come.
// Cameras differ: the boundary may be declared with or without its leading dashes, or not at all
// (the first line that starts with "--" gives it); a part may state its length or not, and may
// have no headers. Only the newest complete picture is kept: a live picture has no use for older.
class MjpegSplitter final
{
public:
    struct Part
    {
        QByteArray data;
        QByteArray type; // the part's Content-Type; empty when it states none
    };

    // boundary: the "boundary" parameter of the stream's type (boundaryOf); empty when it has none.
    explicit MjpegSplitter(const QByteArray& boundary);
    MjpegSplitter(const MjpegSplitter&) = delete;
    MjpegSplitter& operator=(const MjpegSplitter&) = delete;

    static QByteArray boundaryOf(const QByteArray& contentType);

    // Takes the next bytes of the body; false once the stream broke a rule or limit (fault() says
    // which), after which nothing more is taken.
    bool feed(const char* data, std::size_t size);
    // The newest picture completed since the last call.
    std::optional<Part> takeNewest();
    bool hasNewest() const { return m_newest.has_value(); }
    // The stream's closing delimiter came.
    bool ended() const { return m_state == State::Ended; }
    const std::optional<CameraFault>& fault() const { return m_fault; }
    // Bytes held now (for tests of the bound).
    std::size_t held() const { return std::size_t(m_buffer.size()); }

    // What may come before a delimiter or stand in a part's headers.
    static constexpr std::size_t kMaxBetweenParts = 64 * 1024;
    static constexpr std::size_t kMaxHeaders = 16 * 1024;

private:
    enum class State { Delimiter, Headers, Body, Ended, Failed };
    // Runs the states over the buffer until they need more bytes; false on a fault.
    bool advance();
    // The delimiter line at or after from: its start and the position after its line end (-1: none
    // complete yet).
    std::pair<qsizetype, qsizetype> findDelimiter(qsizetype from) const;
    bool learnBoundary();
    bool readHeaders();
    bool fail(CameraFault fault);
    void complete(QByteArray data);

    QByteArray m_boundary; // without leading dashes; empty until known
    QByteArray m_buffer;
    State m_state = State::Delimiter;
    qsizetype m_searchFrom = 0;
    std::optional<qint64> m_length;
    QByteArray m_partType;
    std::optional<Part> m_newest;
    std::optional<CameraFault> m_fault;
};
