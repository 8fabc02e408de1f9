#pragma once

#include "common/Result.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

class QPainter;

// An owned pixel buffer laid out like a Windows DIB section: rows from the bottom of the picture
// up, each row padded to a multiple of 4 bytes, blue-green-red (24 bits) or blue-green-red-unused
// (32 bits). Load always gives 24 bits. There is no device context on Linux, so the handle
// properties are gone and PaintPicture draws through a QPainter.
class cDIBSection final
{
public:
    // Larger pictures are refused before anything is decoded or allocated. Far above any camera
    // frame, and low enough that a tiny file claiming a huge picture cannot exhaust memory.
    static constexpr int kMaxSide = 20000;
    static constexpr std::int64_t kMaxPixels = 25'000'000;
    // The sentence of every failed Load, which the windows show as it stands.
    static inline const QString kCantLoad = QStringLiteral("Can't load BMP image");

    cDIBSection() = default;
    ~cDIBSection() { CleanUp(); }
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;
    cDIBSection(cDIBSection&& other) noexcept;
    cDIBSection& operator=(cDIBSection&& other) noexcept;

    // Each of these first empties the instance, and leaves it empty when it fails.
    // A zeroed buffer; channels 3 gives 24 bits per pixel, any other value 32. Fails for a size
    // beyond the limits or when the memory is not there.
    Result<void> Create(int width, int height, int channels);

    // Reads a bitmap file and converts it to 24 bits. A file that is missing, damaged or absurdly
    // large fails with kCantLoad (its kind says which); showing it is the caller's decision.
    Result<void> Load(const QString& path);

    // Fills the instance with a 24-bit copy of the picture.
    Result<void> fromImage(const QImage& image);
    // The same at 32 bits (blue, green, red, unused): an RGB32 picture is copied row by row with
    // no pixel conversion, which is what the upload cycle wants for speed.
    Result<void> fromImage32(const QImage& image);

    int BytesPerScanLine() const;
    int dib_width() const { return m_width; }
    int dib_height() const { return m_height; }
    int dib_channels() const { return m_bitCount / 8; }

    // Copies a part of the picture onto the painter at its natural size; a negative width or
    // height means the picture's own.
    void PaintPicture(QPainter& painter, int destLeft, int destTop, int destWidth = -1, int destHeight = -1,
                      int srcLeft = 0, int srcTop = 0) const;

    // Start of the pixel memory (the bottom row of the picture); null when empty.
    std::uint8_t* DIBSectionBitsPtr() { return m_bits.get(); }
    const std::uint8_t* DIBSectionBitsPtr() const { return m_bits.get(); }

    void CleanUp();

    bool isEmpty() const { return !m_bits; }

    // The memory as an image without copying: row 0 of the view is the bottom row of the picture.
    // Valid while the instance holds this picture; null when empty.
    QImage bottomUpView() const;
    // An upright copy of the picture.
    QImage toImage() const;

private:
    Result<void> allocate(int width, int height, int bitCount);

    std::unique_ptr<std::uint8_t[]> m_bits;
    int m_width = 0;
    int m_height = 0;
    int m_bitCount = 0;
};
