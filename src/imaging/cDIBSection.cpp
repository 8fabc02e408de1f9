#include "imaging/cDIBSection.h"

#include "common/Prompter.h"
#include "imaging/BmpHeader.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <cstring>
#include <utility>

namespace {

// Decoding never needs more than the largest accepted picture at 32 bits, plus headroom.
constexpr int kAllocationLimitMb = 128;
static_assert(cDIBSection::kMaxPixels * 4 < kAllocationLimitMb * 1024LL * 1024);

QString cantLoadText()
{
    return QStringLiteral("Can't load BMP image");
}

} // namespace

cDIBSection::cDIBSection(cDIBSection&& other) noexcept
    : m_bits(std::move(other.m_bits)), m_width(std::exchange(other.m_width, 0)),
      m_height(std::exchange(other.m_height, 0)), m_bitCount(std::exchange(other.m_bitCount, 0))
{
    other.m_bits.clear();
}

cDIBSection& cDIBSection::operator=(cDIBSection&& other) noexcept
{
    if (this != &other) {
        m_bits = std::move(other.m_bits);
        other.m_bits.clear();
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

bool cDIBSection::allocate(int width, int height, int bitCount)
{
    CleanUp();
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        std::int64_t{width} * height > kMaxPixels)
        return false;
    const std::int64_t stride = (std::int64_t{bitCount / 8} * width + 3) / 4 * 4;
    try {
        m_bits.assign(static_cast<std::size_t>(stride * height), 0);
    } catch (const std::bad_alloc&) {
        m_bits.clear();
        return false;
    }
    m_width = width;
    m_height = height;
    m_bitCount = bitCount;
    return true;
}

bool cDIBSection::Create(int width, int height, int channels)
{
    return allocate(width, height, channels == 3 ? 24 : 32);
}

bool cDIBSection::fromImage(const QImage& image)
{
    CleanUp();
    if (image.isNull())
        return false;
    QImage source = image;
    if (source.hasAlphaChannel()) {
        // A bitmap's alpha byte is not part of its colour: drop it instead of blending.
        source = source.convertToFormat(QImage::Format_ARGB32);
        source.reinterpretAsFormat(QImage::Format_RGB32);
    }
    source = source.convertToFormat(QImage::Format_BGR888);
    if (source.isNull() || !allocate(source.width(), source.height(), 24))
        return false;
    const int stride = BytesPerScanLine();
    const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 3;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(m_bits.data() + static_cast<std::size_t>(m_height - 1 - y) * stride,
                    source.constScanLine(y), rowBytes);
    return true;
}

bool cDIBSection::fromImage32(const QImage& image)
{
    CleanUp();
    if (image.isNull())
        return false;
    const QImage source =
        image.format() == QImage::Format_RGB32 ? image : image.convertToFormat(QImage::Format_RGB32);
    if (source.isNull() || !allocate(source.width(), source.height(), 32))
        return false;
    const int stride = BytesPerScanLine();
    const std::size_t rowBytes = static_cast<std::size_t>(m_width) * 4;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(m_bits.data() + static_cast<std::size_t>(m_height - 1 - y) * stride,
                    source.constScanLine(y), rowBytes);
    return true;
}

bool cDIBSection::Load(const QString& path, Prompter& prompter)
{
    CleanUp();
    const auto fail = [&] {
        CleanUp();
        prompter.message(cantLoadText(), Prompter::Icon::None, Prompter::Buttons::Ok);
        return false;
    };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > BmpHeader::kMaxFileSize)
        return fail();
    QByteArray bytes = file.readAll();
    file.close();

    const std::optional<BmpHeader> header = BmpHeader::parse(bytes);
    if (!header || header->width > kMaxSide || header->height > kMaxSide ||
        std::int64_t{header->width} * header->height > kMaxPixels)
        return fail();

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
        return fail();
    if (!fromImage(image))
        return fail();
    return true;
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
    m_bits.clear();
    m_bits.shrink_to_fit();
    m_width = 0;
    m_height = 0;
    m_bitCount = 0;
}

QImage cDIBSection::bottomUpView() const
{
    if (isEmpty())
        return {};
    const QImage::Format format = m_bitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32;
    return QImage(m_bits.data(), m_width, m_height, BytesPerScanLine(), format);
}

QImage cDIBSection::toImage() const
{
    return bottomUpView().mirrored();
}
