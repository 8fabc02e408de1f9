#include "capture/BmpWriter.h"

#include <QFile>

#include <cstring>
#include <vector>

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr quint32 kPixelsPerMetre = 3780; // 96 dots per inch: the frame prints at its screen size

void put16(uchar* at, quint16 value)
{
    at[0] = uchar(value);
    at[1] = uchar(value >> 8);
}

void put32(uchar* at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = uchar(value >> (8 * i));
}

Failure emptyFrame()
{
    return Failure::of(Failure::Kind::Invalid, QStringLiteral("The frame is empty"));
}

Failure fileFailure(const QFile& file)
{
    // Qt reports a full disk as a resource error.
    return Failure::of(file.error() == QFileDevice::ResourceError ? Failure::Kind::NoSpace
                                                                  : Failure::Kind::Io,
                       file.errorString());
}

} // namespace

qsizetype BmpWriter::encode(const uchar* pixels, int width, int height, int stride)
{
    if (width <= 0 || height <= 0 || !pixels)
        return 0;
    const qsizetype rowBytes = (qsizetype(width) * 3 + 3) & ~qsizetype(3);
    const qsizetype imageBytes = rowBytes * height;
    const qsizetype offset = kFileHeaderSize + kInfoHeaderSize;
    const qsizetype fileBytes = offset + imageBytes;
    if (m_buffer.size() < size_t(fileBytes))
        m_buffer.resize(size_t(fileBytes));
    uchar* header = m_buffer.data();
    std::memset(header, 0, size_t(offset));
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, quint32(offset + imageBytes));
    put32(header + 10, quint32(offset));
    uchar* info = header + kFileHeaderSize;
    put32(info, kInfoHeaderSize);
    put32(info + 4, quint32(width));
    put32(info + 8, quint32(height)); // positive: bottom-up
    put16(info + 12, 1);
    put16(info + 14, 24);
    put32(info + 16, 0); // BI_RGB
    put32(info + 20, quint32(imageBytes));
    put32(info + 24, kPixelsPerMetre);
    put32(info + 28, kPixelsPerMetre);

    uchar* out = m_buffer.data() + offset;
    for (int y = 0; y < height; ++y) {
        const uchar* src = pixels + qsizetype(height - 1 - y) * stride;
        uchar* dst = out + rowBytes * y;
        for (int x = 0; x < width; ++x) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst += 3;
            src += 4;
        }
        for (qsizetype pad = qsizetype(width) * 3; pad < rowBytes; ++pad)
            *dst++ = 0;
    }
    return fileBytes;
}

Result<QByteArray> BmpWriter::fromBgrx(const uchar* pixels, int width, int height, int stride)
{
    const qsizetype fileBytes = encode(pixels, width, height, stride);
    if (fileBytes == 0)
        return emptyFrame();
    return QByteArray(reinterpret_cast<const char*>(m_buffer.data()), fileBytes);
}

Result<void> BmpWriter::writeFromBgrx(const QString& path, const uchar* pixels, int width, int height,
                                      int stride)
{
    const qsizetype fileBytes = encode(pixels, width, height, stride);
    if (fileBytes == 0)
        return emptyFrame();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fileFailure(file);
    const bool written = file.write(reinterpret_cast<const char*>(m_buffer.data()), fileBytes) == fileBytes;
    const bool flushed = written && file.flush();
    if (!flushed) {
        // A half-written bitmap would be read later as a picture; remove it.
        const Failure failure = fileFailure(file);
        file.remove();
        return failure;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        const Failure failure = fileFailure(file);
        file.remove();
        return failure;
    }
    return {};
}
