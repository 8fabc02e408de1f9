#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

// JPEG pictures for camera tests: a real one of a colour, and one whose frame header states
// another size than its data has (what a hostile camera sends to make a decoder allocate).
namespace JpegBytes {
inline QByteArray of(const QSize& size, const QColor& colour = Qt::blue)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// The picture with its frame header's size changed; unchanged when it has no frame header.
inline QByteArray stating(QByteArray jpeg, const QSize& size)
{
    for (qsizetype at = 2; at + 9 <= jpeg.size();) {
        const auto marker = quint8(jpeg[at + 1]);
        const int length = quint8(jpeg[at + 2]) << 8 | quint8(jpeg[at + 3]);
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) {
            jpeg[at + 5] = char(size.height() >> 8);
            jpeg[at + 6] = char(size.height() & 0xff);
            jpeg[at + 7] = char(size.width() >> 8);
            jpeg[at + 8] = char(size.width() & 0xff);
            return jpeg;
        }
        at += 2 + length;
    }
    return jpeg;
}
} // namespace JpegBytes
