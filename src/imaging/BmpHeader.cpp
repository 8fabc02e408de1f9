#include "imaging/BmpHeader.h"

#include <limits>

namespace {

constexpr int kFileHeaderSize = 14;

std::uint32_t le16(const QByteArray& b, qsizetype at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.constData()) + at;
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8;
}

std::uint32_t le32(const QByteArray& b, qsizetype at)
{
    return le16(b, at) | le16(b, at + 2) << 16;
}

bool knownInfoSize(std::uint32_t size)
{
    // core (OS/2 1.x), Windows 3.x, the two bitfield extensions, OS/2 2.x, V4, V5
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

bool validCompression(int bitCount, std::uint32_t compression, std::uint32_t infoSize)
{
    switch (compression) {
    case BmpHeader::Rgb:
        return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
               bitCount == 32;
    case BmpHeader::Rle8:
        return bitCount == 8;
    case BmpHeader::Rle4:
        return bitCount == 4;
    case BmpHeader::Bitfields:
        // In an OS/2 2.x header, 3 means Huffman coding, which is not supported.
        return infoSize != 64 && (bitCount == 16 || bitCount == 32);
    case BmpHeader::AlphaBitfields:
        return infoSize != 64 && (bitCount == 16 || bitCount == 32);
    default:
        return false;
    }
}

// Walks run-length data without decoding it: the stream must end with an end-of-bitmap code, or
// have stepped through every row, before the file ends. Qt's reader takes a cut-off stream as a
// whole picture with the rest left blank.
bool completeRunLengthData(const QByteArray& file, qsizetype at, int height, bool fourBits)
{
    const auto* p = reinterpret_cast<const unsigned char*>(file.constData());
    const qsizetype end = file.size();
    std::int64_t row = 0;
    while (row < height) {
        if (end - at < 2)
            return false;
        const unsigned count = p[at];
        const unsigned code = p[at + 1];
        at += 2;
        if (count > 0)
            continue;
        if (code == 0) {
            ++row;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (end - at < 2)
                return false;
            row += p[at + 1];
            at += 2;
        } else {
            qsizetype bytes = fourBits ? (code + 1) / 2 : code;
            bytes += bytes % 2;
            if (end - at < bytes)
                return false;
            at += bytes;
        }
    }
    return true;
}

Failure damaged(const char* what)
{
    return Failure::of(Failure::Kind::Invalid, QLatin1String(what));
}

Failure unsupported(const char* what)
{
    return Failure::of(Failure::Kind::Unsupported, QLatin1String(what));
}

} // namespace

Result<BmpHeader> BmpHeader::parse(const QByteArray& file)
{
    const qsizetype size = file.size();
    if (size < kFileHeaderSize + 12 || file[0] != 'B' || file[1] != 'M')
        return damaged("the file is no bitmap");
    BmpHeader h;
    h.dataOffset = le32(file, 10);
    h.infoSize = le32(file, kFileHeaderSize);
    if (!knownInfoSize(h.infoSize))
        return unsupported("the bitmap has a header of an unknown kind");
    if (kFileHeaderSize + qsizetype{h.infoSize} > size)
        return damaged("the bitmap's header is cut off");
    const qsizetype info = kFileHeaderSize;
    std::int64_t height = 0;
    if (h.infoSize == 12) {
        h.width = static_cast<int>(le16(file, info + 4));
        height = le16(file, info + 6);
        h.bitCount = static_cast<int>(le16(file, info + 10));
        h.compression = Rgb;
    } else {
        h.width = static_cast<std::int32_t>(le32(file, info + 4));
        height = static_cast<std::int32_t>(le32(file, info + 8));
        h.bitCount = static_cast<int>(le16(file, info + 14));
        h.compression = le32(file, info + 16);
        h.colorsUsed = le32(file, info + 32);
    }
    h.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (h.width <= 0 || height <= 0 || height > std::numeric_limits<int>::max())
        return damaged("the bitmap has no pixels");
    h.height = static_cast<int>(height);
    if (!validCompression(h.bitCount, h.compression, h.infoSize))
        return unsupported("the bitmap's bit depth or compression is not one this program reads");
    const bool rle = h.compression == Rle8 || h.compression == Rle4;
    if (rle && h.topDown)
        return damaged("a run-length coded bitmap cannot have its rows top-down");
    if (h.bitCount <= 8 && h.colorsUsed > (1u << h.bitCount))
        return damaged("the bitmap has more colours than its bit depth holds");
    if (h.dataOffset < kFileHeaderSize + h.infoSize || h.dataOffset >= size)
        return damaged("the bitmap's pixels lie outside the file");
    if (rle && !completeRunLengthData(file, h.dataOffset, h.height, h.compression == Rle4))
        return damaged("the bitmap's pixels are cut off");
    if (!rle) {
        // Rows times height can pass the 64-bit range for a header that claims 2^31 - 1 on both
        // sides; dividing the bytes present by the height cannot.
        const std::int64_t rowBytes = (std::int64_t{h.width} * h.bitCount + 31) / 32 * 4;
        if (rowBytes > (size - std::int64_t{h.dataOffset}) / h.height)
            return damaged("the bitmap's pixels are cut off");
    }
    return h;
}
