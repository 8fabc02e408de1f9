#include "capture/PictureLimits.h"

#include "capture/FrameDecoder.h"

namespace {
// The type without its parameters, in lower case ("text/html; charset=utf-8" -> "text/html").
QByteArray bareType(const QByteArray& contentType)
{
    const qsizetype end = contentType.indexOf(';');
    return (end < 0 ? contentType : contentType.left(end)).trimmed().toLower();
}
} // namespace

namespace PictureLimits {
bool allowed(const QSize& size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= kMaxSide && size.height() <= kMaxSide &&
           qint64(size.width()) * size.height() <= kMaxPixels;
}

QString sizeText(const QSize& size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

QString bytesText()
{
    return QStringLiteral("more than %1 MB").arg(kMaxBytes >> 20);
}

bool mayBeJpeg(const QByteArray& contentType)
{
    const QByteArray type = bareType(contentType);
    return type.isEmpty() || type.startsWith("image/") || type == "application/octet-stream" ||
           type == "binary/octet-stream";
}

std::optional<CameraFault> checkJpeg(const uchar* data, std::size_t size, const QByteArray& contentType)
{
    const QByteArray type = bareType(contentType);
    const QString named = type.isEmpty() ? QStringLiteral("no JPEG data") : QString::fromLatin1(type);
    if (!mayBeJpeg(type))
        return CameraFault{CameraFault::Kind::NotAPicture, named};
    if (size > kMaxBytes)
        return CameraFault{CameraFault::Kind::TooLarge, bytesText()};
    if (size < 4 || data[0] != 0xff || data[1] != 0xd8)
        return CameraFault{CameraFault::Kind::NotAPicture, named};
    const QSize stated = FrameDecoder::jpegSize(data, size);
    if (stated.isEmpty())
        return CameraFault{CameraFault::Kind::Undecodable};
    if (!allowed(stated))
        return CameraFault{CameraFault::Kind::TooLarge, sizeText(stated)};
    return std::nullopt;
}
} // namespace PictureLimits
