#include "imaging/cDIBSection.h"

#include "imaging/BmpHeader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <cstring>
#include <new>
#include <utility>

namespace {

// Decoding never needs more than the largest accepted picture at 32 bits, plus headroom.
constexpr int kAllocationLimitMb = 128;
static_assert(cDIBSection::kMaxPixels * 4 < kAllocationLimitMb * 1024LL * 1024);

bool withinLimits(std::int64_t width, std::int64_t height)
{
    return width <= cDIBSection::kMaxSide && height <= cDIBSection::kMaxSide &&
           width * height <= cDIBSection::kMaxPixels;
}

Failure cantLoad(Failure::Kind kind)
{
    return Failure::of(kind, cDIBSection::kCantLoad);
}

} // namespace

cDIBSection::cDIBSection(cDIBSection&& other) noexcept
    : m_bits(std::move(other.m_bits)), m_width(std::exchange(other.m_width, 0)),
      m_height(std::exchange(other.m_height, 0)), m_bitCount(std::exchange(other.m_bitCount, 0))
{
}

cDIBSection& cDIBSection::operator=(cDIBSection&& other) noexcept
{
    if (this != &other) {
        m_bits = std::move(other.m_bits);
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_bitCount = std::exchange(other.m_bitCount, 0);
    }
    return *this;
}

int cDIBSection::BytesPerScanLine() const
{
    return static_cast<int>((std::int64_t{m_bitCount / 8} * m_width + 3) / 4 * 4);
}

Result<void> cDIBSection::allocate(int width, int height, int bitCount)
{
    CleanUp();
    if (width <= 0 || height <= 0)
        return Failure::of(
            Failure::Kind::Invalid,
            QStringLiteral("a picture of %1 x %2 pixels has no pixels").arg(width).arg(height));
    if (!withinLimits(width, height))
        return Failure::of(Failure::Kind::TooLarge,
                           QStringLiteral("a picture of %1 x %2 pixels is larger than the program takes")
                               .arg(width)
                               .arg(height));
    const std::int64_t stride = (std::int64_t{bitCount / 8} * width + 3) / 4 * 4;
    // Zeroed, and no exception when the memory is not there.
    m_bits.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(stride * height)]());
    if (!m_bits)
        return Failure::of(Failure::Kind::Internal,
                           QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels")
                               .arg(width)
                               .arg(height));
    m_width = width;
    m_height = height;
    m_bitCount = bitCount;
    return {};
}

Result<void> cDIBSection::Create(int width, int height, int channels)
{
    return allocate(width, height, channels == 3 ? 24 : 32);
}

Result<void> cDIBSection::fromImage(const QImage& image)
{
    CleanUp();
    if (image.isNull())
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("there is no picture"));
    QImage source = image;
    if (source.hasAlphaChannel()) {
        // A bitmap's alpha byte is not part of its colour: drop it instead of blending.
        source = source.convertToFormat(QImage::Format_ARGB32);
        source.reinterpretAsFormat(QImage::Format_RGB32);
    }
    source = source.convertToFormat(QImage::Format_BGR888);
    if (source.isNull())
        return Failure::of(Failure::Kind::Internal, QStringLiteral("the picture could not be converted"));
    if (Result<void> made = allocate(source.width(), source.height(), 24); !made)
        return made;
    const int stride = BytesPerScanLine();
    const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 3;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(m_bits.get() + static_cast<std::size_t>(m_height - 1 - y) * stride,
                    source.constScanLine(y), rowBytes);
    return {};
}

Result<void> cDIBSection::fromImage32(const QImage& image)
{
    CleanUp();
    if (image.isNull())
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("there is no picture"));
    const QImage source =
        image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    if (source.isNull())
        return Failure::of(Failure::Kind::Internal, QStringLiteral("the picture could not be converted"));
    if (Result<void> made = allocate(source.width(), source.height(), 32); !made)
        return made;
    const int stride = BytesPerScanLine();
    const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 4;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(m_bits.get() + static_cast<std::size_t>(m_height - 1 - y) * stride,
                    source.constScanLine(y), rowBytes);
    return {};
}

Result<void> cDIBSection::Load(const QString& path)
{
    CleanUp();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cantLoad(file.exists() ? Failure::Kind::NoAccess : Failure::Kind::NotFound);
    if (file.size() > BmpHeader::kMaxFileSize)
        return cantLoad(Failure::Kind::TooLarge);
    QByteArray bytes = file.readAll();
    file.close();

    const Result<BmpHeader> header = BmpHeader::parse(bytes);
    if (!header)
        return cantLoad(header.failure().kind);
    if (!withinLimits(header->width, header->height))
        return cantLoad(Failure::Kind::TooLarge);

    // Qt's reader handles every variant the headers above let through (palettes, run-length
    // coding, bitfields, top-down rows, V4 and V5 headers).
    QImage image;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAllocationLimit(kAllocationLimitMb);
    if (!reader.read(&image))
        image = QImage();
    if (image.isNull() || image.width() != header->width || image.height() != header->height)
        return cantLoad(Failure::Kind::Invalid);
    if (const Result<void> converted = fromImage(image); !converted)
        return cantLoad(converted.failure().kind);
    return {};
}

void cDIBSection::PaintPicture(QPainter& painter, int destLeft, int destTop, int destWidth, int destHeight,
                               int srcLeft, int srcTop) const
{
    if (isEmpty())
        return;
    const int width = destWidth < 0 ? m_width : destWidth;
    const int height = destHeight < 0 ? m_height : destHeight;
    // Only the part that lies inside the picture is copied, as a blit would.
    const QRect wanted(srcLeft, srcTop, width, height);
    const QRect source = wanted & QRect(0, 0, m_width, m_height);
    if (source.isEmpty())
        return;
    // Picture rows top..bottom sit in memory from (height - 1 - top) down to (height - 1 - bottom).
    const QImage flippedPart =
        bottomUpView().copy(source.left(), m_height - 1 - source.bottom(), source.width(), source.height());
    painter.drawImage(QPoint(destLeft + source.left() - srcLeft, destTop + source.top() - srcTop),
                      flippedPart.mirrored());
}

void cDIBSection::CleanUp()
{
    m_bits.reset();
    m_width = 0;
    m_height = 0;
    m_bitCount = 0;
}

QImage cDIBSection::bottomUpView() const
{
    if (isEmpty())
        return {};
    const QImage::Format format = m_bitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32;
    const std::uint8_t* bits = m_bits.get();
    return QImage(bits, m_width, m_height, BytesPerScanLine(), format);
}

QImage cDIBSection::toImage() const
{
    return bottomUpView().mirrored();
}
