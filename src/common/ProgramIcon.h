#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

// The program's own picture, a webcam on its stand: the tray icon, every window's icon, the About
// box and the icons installed into the desktop's icon theme all come from this one drawing. It is
// kept as a few plain shapes so it can be painted at any size and also written out as SVG.
namespace ProgramIcon {
// A mark in the lower right corner for the notification area: uploads running or failing.
enum class Badge { None, Uploading, Failing };

// The picture at size x size pixels, transparent around it.
QImage image(int size, Badge badge = Badge::None);
// Every size the desktop commonly asks for (16 to 256 pixels).
QIcon icon(Badge badge = Badge::None);
// The same shapes as an SVG document.
QByteArray svg();
// The sizes installed into the icon theme as PNG files.
inline constexpr int kThemeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
} // namespace ProgramIcon
