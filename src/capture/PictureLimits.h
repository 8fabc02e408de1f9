#pragma once

#include "capture/CameraFault.h"

#include <QByteArray>
#include <QSize>

#include <cstddef>
#include <optional>

// What a picture from outside (a network camera, a camera's MJPEG frame) may be, checked before
// anything decodes it: a decoded frame costs width x height x 4 bytes whatever the file's size.
namespace PictureLimits {
// Bytes of one picture as it comes (a snapshot, a part of an MJPEG stream).
inline constexpr std::size_t kMaxBytes = std::size_t(32) << 20;
inline constexpr int kMaxSide = 16384;
// 64 megapixels: 8192 x 8192 is the largest square.
inline constexpr qint64 kMaxPixels = qint64(64) << 20;

// Whether a picture of that size may be decoded.
bool allowed(const QSize& size);
// "60000 x 60000" and "more than 32 MB", as the fault's detail says them.
QString sizeText(const QSize& size);
QString bytesText();

// Checks one picture as it came, with the type its sender gave (empty when none): empty when it is
// a JPEG within the limits, else why not. The header is read, nothing is decoded.
std::optional<CameraFault> checkJpeg(const uchar* data, std::size_t size, const QByteArray& contentType);
// Whether a sender's type can announce a JPEG picture (image/..., none, or a generic one).
bool mayBeJpeg(const QByteArray& contentType);
} // namespace PictureLimits
