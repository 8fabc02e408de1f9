#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Writes Windows bitmap files: 24 bits per pixel, bottom-up rows padded to 4 bytes.
class BmpWriter final
{
public:
    // Writes pixels laid out as B, G, R, X bytes (QImage::Format_RGB32 on little-endian machines).
    // On failure returns false with the reason in error and leaves no file behind.
    bool writeFromBgrx(const QString& path, const uchar* pixels, int width, int height, int stride,
                       QString* error);
    // The same file's bytes, for a caller that writes them itself; empty for an empty frame.
    QByteArray fromBgrx(const uchar* pixels, int width, int height, int stride);

private:
    // Lays the file out in the buffer; its length, or 0 for an empty frame.
    qsizetype encode(const uchar* pixels, int width, int height, int stride);

    // Kept between calls: a fresh megabyte per still would be page-faulted in every time.
    std::vector<uchar> m_buffer;
};
