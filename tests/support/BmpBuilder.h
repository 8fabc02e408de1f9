#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>

#include <array>
#include <cstdint>
#include <functional>

// Writes bitmap files byte by byte, so the reader is tested against the format itself rather than
// against another library's writer. Its sizes and fields are narrowed into the format's 16 and 32
// bit fields on purpose, which the conversion warnings would ask to spell out at every byte.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
namespace BmpBuilder {

struct Format
{
    std::uint32_t infoSize = 40; // 12 (core), 40, 108 (V4), 124 (V5)
    int bitCount = 24;
    std::uint32_t compression = 0; // 0 RGB, 1 RLE8, 2 RLE4, 3 bitfields
    bool topDown = false;
    QList<QRgb> palette;                            // for 1, 4 and 8 bits
    std::array<std::uint32_t, 4> masks{0, 0, 0, 0}; // red, green, blue, alpha for bitfields
};

inline void put16(QByteArray& b, std::uint32_t v)
{
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}

inline void put32(QByteArray& b, std::uint32_t v)
{
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// value(x, y) gives the pixel at column x of picture row y (row 0 at the top): a palette index at
// 1, 4 and 8 bits, otherwise the raw pixel word at 16 and 32 bits, or 0xRRGGBB at 24 bits.
using PixelFn = std::function<std::uint32_t(int x, int y)>;

inline QByteArray packedRows(int width, int height, const Format& f, const PixelFn& value)
{
    QByteArray data;
    const int rowBytes = (width * f.bitCount + 31) / 32 * 4;
    for (int i = 0; i < height; ++i) {
        const int y = f.topDown ? i : height - 1 - i;
        QByteArray row(rowBytes, '\0');
        auto* p = reinterpret_cast<unsigned char*>(row.data());
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = value(x, y);
            switch (f.bitCount) {
            case 1:
                p[x / 8] |= (v & 1) << (7 - x % 8);
                break;
            case 4:
                p[x / 2] |= (v & 15) << (x % 2 ? 0 : 4);
                break;
            case 8:
                p[x] = v & 0xff;
                break;
            case 16:
                p[2 * x] = v & 0xff;
                p[2 * x + 1] = (v >> 8) & 0xff;
                break;
            case 24:
                p[3 * x] = v & 0xff;
                p[3 * x + 1] = (v >> 8) & 0xff;
                p[3 * x + 2] = (v >> 16) & 0xff;
                break;
            case 32:
                for (int k = 0; k < 4; ++k)
                    p[4 * x + k] = (v >> (8 * k)) & 0xff;
                break;
            }
        }
        data += row;
    }
    return data;
}

// Run-length data, bottom row first: runs of equal pixels in encoded mode, other stretches in
// absolute mode, an end-of-line after every row and an end-of-bitmap at the end.
inline QByteArray rleRows(int width, int height, int bitCount, const PixelFn& value)
{
    QByteArray data;
    for (int y = height - 1; y >= 0; --y) {
        int x = 0;
        while (x < width) {
            int run = 1;
            while (x + run < width && run < 255 && value(x + run, y) == value(x, y))
                ++run;
            if (run >= 3 || width - x < 3) {
                data.append(char(run));
                const std::uint32_t v = value(x, y) & (bitCount == 8 ? 0xff : 0x0f);
                data.append(char(bitCount == 8 ? v : (v << 4 | v)));
                x += run;
                continue;
            }
            // Absolute mode: at least 3 pixels, taken up to the next run of 3 or the row's end.
            int count = 0;
            while (x + count < width && count < 255) {
                if (count >= 3 && x + count + 2 < width && value(x + count, y) == value(x + count + 1, y) &&
                    value(x + count, y) == value(x + count + 2, y))
                    break;
                ++count;
            }
            data.append('\0');
            data.append(char(count));
            QByteArray bytes;
            for (int i = 0; i < count; ++i) {
                const std::uint32_t v = value(x + i, y);
                if (bitCount == 8)
                    bytes.append(char(v & 0xff));
                else if (i % 2 == 0)
                    bytes.append(char((v & 15) << 4));
                else
                    bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] | (v & 15));
            }
            if (bytes.size() % 2)
                bytes.append('\0');
            data += bytes;
            x += count;
        }
        data.append('\0');
        data.append('\0');
    }
    data.append('\0');
    data.append('\x01');
    return data;
}

inline QByteArray file(int width, int height, const Format& f, const QByteArray& pixelData)
{
    QByteArray info;
    put32(info, f.infoSize);
    if (f.infoSize == 12) {
        put16(info, width);
        put16(info, height);
        put16(info, 1);
        put16(info, f.bitCount);
    } else {
        put32(info, width);
        put32(info, f.topDown ? -height : height);
        put16(info, 1);
        put16(info, f.bitCount);
        put32(info, f.compression);
        put32(info, pixelData.size());
        put32(info, 2835);
        put32(info, 2835);
        put32(info, f.bitCount <= 8 ? f.palette.size() : 0);
        put32(info, 0);
        if (f.infoSize >= 108) {
            for (std::uint32_t m : f.masks)
                put32(info, m);
            put32(info, 0x73524742); // 'sRGB'
            while (info.size() < qsizetype(f.infoSize))
                info.append('\0');
        }
    }
    QByteArray extra;
    if (f.infoSize == 40 && f.compression == 3)
        for (int i = 0; i < 3; ++i)
            put32(extra, f.masks[i]);
    for (QRgb c : f.palette) {
        extra.append(char(qBlue(c)));
        extra.append(char(qGreen(c)));
        extra.append(char(qRed(c)));
        if (f.infoSize != 12)
            extra.append('\0');
    }
    const std::uint32_t offset = 14 + info.size() + extra.size();
    QByteArray out("BM");
    put32(out, offset + pixelData.size());
    put32(out, 0);
    put32(out, offset);
    return out + info + extra + pixelData;
}

} // namespace BmpBuilder
#pragma GCC diagnostic pop
