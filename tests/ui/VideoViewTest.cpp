#include "ui/VideoView.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {
// A frame in four coloured quarters: a crop would lose some of them at the view's corners.
QImage quarters(const QSize& size)
{
    QImage frame(size, QImage::Format_RGB32);
    QPainter p(&frame);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    p.fillRect(0, 0, w, h, Qt::red);
    p.fillRect(w, 0, size.width() - w, h, Qt::green);
    p.fillRect(0, h, w, size.height() - h, Qt::blue);
    p.fillRect(w, h, size.width() - w, size.height() - h, Qt::yellow);
    return frame;
}

TEST(VideoViewTest, ALargeCameraShowsWholeWithItsShapeAndASmallOneAtItsOwnSize)
{
    QWidget room;
    room.resize(465, 335);
    VideoView view(&room);
    room.show();
    view.showFrame(quarters(QSize(1280, 720)));
    EXPECT_EQ(view.videoSize(), QSize(1280, 720));
    EXPECT_EQ(view.size(), QSize(465, 261)) << "scaled to the room's width, its shape kept";
    const QImage shown = view.grab().toImage();
    const int right = shown.width() - 3;
    const int bottom = shown.height() - 3;
    EXPECT_EQ(QColor(shown.pixel(2, 2)), QColor(Qt::red));
    EXPECT_EQ(QColor(shown.pixel(right, 2)), QColor(Qt::green));
    EXPECT_EQ(QColor(shown.pixel(2, bottom)), QColor(Qt::blue));
    EXPECT_EQ(QColor(shown.pixel(right, bottom)), QColor(Qt::yellow));

    // A taller room than wide: the height decides.
    room.resize(900, 300);
    EXPECT_EQ(view.size(), QSize(533, 300));
    // Room enough: the picture at its own size, never enlarged.
    room.resize(2000, 1000);
    EXPECT_EQ(view.size(), QSize(1280, 720));
    view.showFrame(quarters(QSize(320, 240)));
    EXPECT_EQ(view.size(), QSize(320, 240));
}
} // namespace
