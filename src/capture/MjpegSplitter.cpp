#include "capture/MjpegSplitter.h"

#include "capture/PictureLimits.h"

#include <QList>

#include <algorithm>
#include <utility>

namespace {
constexpr qsizetype kMaxBoundary = 200;

CameraFault noPictures()
{
    return {CameraFault::Kind::NotAPicture, QStringLiteral("no pictures in the stream")};
}

QByteArray withoutDashes(QByteArray text)
{
    qsizetype dashes = 0;
    while (dashes < text.size() && text[dashes] == '-')
        ++dashes;
    return text.mid(dashes);
}

QByteArray bareType(const QByteArray& type)
{
    const qsizetype end = type.indexOf(';');
    return (end < 0 ? type : type.left(end)).trimmed().toLower();
}
} // namespace

MjpegSplitter::MjpegSplitter(const QByteArray& boundary) : m_boundary(withoutDashes(boundary.trimmed())) {}

QByteArray MjpegSplitter::boundaryOf(const QByteArray& contentType)
{
    for (const QByteArray& parameter : contentType.split(';')) {
        const qsizetype equals = parameter.indexOf('=');
        if (equals < 0 || parameter.left(equals).trimmed().toLower() != "boundary")
            continue;
        QByteArray value = parameter.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value.left(kMaxBoundary);
    }
    return {};
}

bool MjpegSplitter::feed(const char* data, std::size_t size)
{
    if (m_state == State::Failed)
        return false;
    if (m_state == State::Ended)
        return true;
    m_buffer.append(data, qsizetype(size));
    return advance();
}

std::optional<MjpegSplitter::Part> MjpegSplitter::takeNewest()
{
    return std::exchange(m_newest, std::nullopt);
}

bool MjpegSplitter::fail(CameraFault fault)
{
    m_fault = std::move(fault);
    m_state = State::Failed;
    m_buffer = QByteArray();
    m_newest.reset();
    return false;
}

void MjpegSplitter::complete(QByteArray data)
{
    m_newest = Part{std::move(data), m_partType};
}

std::pair<qsizetype, qsizetype> MjpegSplitter::findDelimiter(qsizetype from) const
{
    for (qsizetype at = m_buffer.indexOf(m_boundary, from); at >= 0;
         at = m_buffer.indexOf(m_boundary, at + 1)) {
        // A delimiter is the boundary after at least two dashes, at the start of a line (or right
        // after the end of a picture, for cameras that leave out the line break).
        qsizetype start = at;
        while (start > 0 && m_buffer[start - 1] == '-')
            --start;
        if (at - start < 2)
            continue;
        if (start > 0 && m_buffer[start - 1] != '\n' && quint8(m_buffer[start - 1]) != 0xd9)
            continue;
        const qsizetype lineEnd = m_buffer.indexOf('\n', at + m_boundary.size());
        return {start, lineEnd < 0 ? -1 : lineEnd + 1};
    }
    return {-1, -1};
}

bool MjpegSplitter::learnBoundary()
{
    // The first line that starts with "--" is the delimiter.
    for (qsizetype line = 0; line < m_buffer.size();) {
        const qsizetype end = m_buffer.indexOf('\n', line);
        if (end < 0)
            break;
        const QByteArray text = m_buffer.mid(line, end - line).trimmed();
        if (text.startsWith("--") && text.size() > 2) {
            m_boundary = withoutDashes(text).left(kMaxBoundary);
            return true;
        }
        line = end + 1;
    }
    if (std::size_t(m_buffer.size()) > kMaxBetweenParts)
        fail(noPictures());
    return false;
}

bool MjpegSplitter::readHeaders()
{
    // A part may come without headers: the picture follows the delimiter at once.
    if (m_buffer.size() >= 2 && quint8(m_buffer[0]) == 0xff && quint8(m_buffer[1]) == 0xd8) {
        m_state = State::Body;
        return true;
    }
    qsizetype end = -1;
    if (m_buffer.startsWith("\r\n"))
        end = 2;
    else if (m_buffer.startsWith('\n'))
        end = 1;
    else {
        const qsizetype crlf = m_buffer.indexOf("\r\n\r\n");
        const qsizetype lf = m_buffer.indexOf("\n\n");
        if (crlf >= 0 && (lf < 0 || crlf < lf))
            end = crlf + 4;
        else if (lf >= 0)
            end = lf + 2;
    }
    if (end < 0 || std::size_t(end) > kMaxHeaders) {
        if (end >= 0 || std::size_t(m_buffer.size()) > kMaxHeaders)
            fail(noPictures());
        return false;
    }
    for (const QByteArray& line : m_buffer.left(end).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-type") {
            m_partType = value;
        } else if (name == "content-length") {
            // Digits only; a number too long to read is too large all the same.
            if (value.isEmpty() ||
                !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            bool ok = false;
            const qint64 length = value.toLongLong(&ok);
            if (!ok || length > qint64(PictureLimits::kMaxBytes))
                return fail({CameraFault::Kind::TooLarge, PictureLimits::bytesText()});
            m_length = length;
        }
    }
    if (!m_partType.isEmpty() && !PictureLimits::mayBeJpeg(m_partType))
        return fail({CameraFault::Kind::NotAPicture, QString::fromLatin1(bareType(m_partType).left(60))});
    m_buffer.remove(0, end);
    m_state = State::Body;
    return true;
}

bool MjpegSplitter::advance()
{
    for (;;) {
        switch (m_state) {
        case State::Ended:
            return true;
        case State::Failed:
            return false;
        case State::Delimiter: {
            if (m_boundary.isEmpty() && !learnBoundary())
                return !m_fault;
            const auto [start, next] = findDelimiter(m_searchFrom);
            if (start < 0 || next < 0) {
                if (std::size_t(m_buffer.size()) > kMaxBetweenParts)
                    return fail(noPictures());
                m_searchFrom =
                    start >= 0 ? start : std::max<qsizetype>(0, m_buffer.size() - m_boundary.size());
                return true;
            }
            const qsizetype after = m_buffer.indexOf(m_boundary, start) + m_boundary.size();
            if (m_buffer.mid(after, 2) == "--") {
                m_state = State::Ended;
                m_buffer = QByteArray();
                return true;
            }
            m_buffer.remove(0, next);
            m_searchFrom = 0;
            m_length.reset();
            m_partType.clear();
            m_state = State::Headers;
            break;
        }
        case State::Headers:
            if (!readHeaders())
                return !m_fault;
            break;
        case State::Body: {
            if (m_length) {
                if (m_buffer.size() < *m_length)
                    return true;
                complete(m_buffer.left(qsizetype(*m_length)));
                m_buffer.remove(0, qsizetype(*m_length));
            } else {
                const auto [start, next] = findDelimiter(m_searchFrom);
                if (start < 0 || std::size_t(start) > PictureLimits::kMaxBytes) {
                    if (std::size_t(m_buffer.size()) > PictureLimits::kMaxBytes)
                        return fail({CameraFault::Kind::TooLarge, PictureLimits::bytesText()});
                    m_searchFrom = std::max<qsizetype>(0, m_buffer.size() - m_boundary.size());
                    return true;
                }
                qsizetype end = start;
                if (end > 0 && m_buffer[end - 1] == '\n')
                    --end;
                if (end > 0 && m_buffer[end - 1] == '\r')
                    --end;
                complete(m_buffer.left(end));
                m_buffer.remove(0, start);
            }
            m_searchFrom = 0;
            m_state = State::Delimiter;
            break;
        }
        }
    }
}
