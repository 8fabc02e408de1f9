#pragma once

#include "common/Result.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Writes Windows bitmap files: 24 bits per pixel, bottom-up rows padded to 4 bytes.
class BmpWriter final
{
public:
    // Writes pixels laid out as B, G, R, X bytes (QImage::Format_RGB32 on little-endian machines).
    // A failure leaves no file behind.
    [[nodiscard]] Result<void> writeFromBgrx(const QString& path, const uchar* pixels, int width, int height,
                                             int stride);
    // The same file's bytes, for a caller that writes them itself; fails for an empty frame.
    [[nodiscard]] Result<QByteArray> fromBgrx(const uchar* pixels, int width, int height, int stride);

private:
    // Lays the file out in the buffer; its length, or 0 for an empty frame.
    qsizetype encode(const uchar* pixels, int width, int height, int stride);

    // Kept between calls: a fresh megabyte per still would be page-faulted in every time.
    std::vector<uchar> m_buffer;
};
