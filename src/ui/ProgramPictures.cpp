#include "ui/ProgramPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ProgramPictures {
namespace {
// A camera: body, lens and the small window on top, scaled to the pixmap.
QPixmap camera(int size, const QColor& body)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    p.setPen(QPen(QColor(40, 40, 40), 0.8));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1.5, 4.5, 13, 9), 1.5, 1.5);
    p.drawRect(QRectF(5, 2.5, 5, 2));
    p.setBrush(QColor(30, 30, 60));
    p.drawEllipse(QPointF(8, 9), 3.2, 3.2);
    p.setBrush(QColor(120, 180, 255));
    p.drawEllipse(QPointF(8, 9), 1.6, 1.6);
    return pixmap;
}

QPixmap canvas()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap drawTool(Tool tool)
{
    if (tool == Tool::CaptureImage)
        return camera(16, QColor(200, 200, 210));
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen outline(QColor(40, 40, 40), 1);
    switch (tool) {
    case Tool::CaptureMovie: {
        // Mid tones throughout: a near-black film strip would vanish on a dark toolbar.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(128, 132, 145));
        p.drawRect(QRectF(1, 2, 14, 12));
        p.setBrush(Qt::white);
        for (int y : {4, 7, 10}) {
            p.drawRect(QRectF(2.5, y, 1.5, 1.5));
            p.drawRect(QRectF(12, y, 1.5, 1.5));
        }
        p.setBrush(QColor(120, 180, 255));
        p.drawRect(QRectF(5, 4.5, 6, 7));
        break;
    }
    case Tool::UploadNow: {
        p.setPen(outline);
        p.setBrush(QColor(60, 170, 60));
        QPainterPath arrow;
        arrow.moveTo(8, 1.5);
        arrow.lineTo(14, 8);
        arrow.lineTo(10.5, 8);
        arrow.lineTo(10.5, 14.5);
        arrow.lineTo(5.5, 14.5);
        arrow.lineTo(5.5, 8);
        arrow.lineTo(2, 8);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    case Tool::UploadSettings: {
        p.setPen(outline);
        p.setBrush(QColor(90, 150, 230));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(230, 240, 255), 1));
        p.drawEllipse(QRectF(5, 1.5, 6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        break;
    }
    case Tool::Image: {
        p.setPen(outline);
        p.setBrush(QColor(150, 200, 255));
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.setBrush(QColor(60, 150, 60));
        QPainterPath hill;
        hill.moveTo(2, 13);
        hill.lineTo(6, 7);
        hill.lineTo(9, 11);
        hill.lineTo(11, 9);
        hill.lineTo(14, 13);
        hill.closeSubpath();
        p.drawPath(hill);
        p.setBrush(QColor(255, 220, 60));
        p.drawEllipse(QPointF(11.5, 5.5), 1.5, 1.5);
        break;
    }
    case Tool::Picture: {
        p.drawPixmap(0, 0, camera(16, QColor(230, 200, 120)));
        break;
    }
    case Tool::HideInSystray: {
        p.setPen(outline);
        p.setBrush(QColor(170, 190, 215));
        p.drawRect(QRectF(1.5, 1.5, 13, 9));
        p.setBrush(QColor(105, 110, 125));
        p.drawRect(QRectF(1.5, 12.5, 13, 2));
        p.setBrush(QColor(60, 120, 200));
        QPainterPath arrow;
        arrow.moveTo(8, 11.5);
        arrow.lineTo(4.5, 6.5);
        arrow.lineTo(11.5, 6.5);
        arrow.closeSubpath();
        p.drawPath(arrow);
        break;
    }
    case Tool::CaptureImage:
        break;
    }
    return pixmap;
}
} // namespace

QIcon toolIcon(Tool tool)
{
    return QIcon(drawTool(tool));
}
} // namespace ProgramPictures
