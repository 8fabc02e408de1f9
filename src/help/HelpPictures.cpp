#include "help/HelpPictures.h"

#include <QPainter>
#include <QPainterPath>

namespace HelpPictures {
namespace {
constexpr int kTreeImageSize = 12;

void drawChapter(QPainter& p)
{
    // A closed book: cover, spine and page edge.
    p.setPen(QColor(40, 60, 120));
    p.setBrush(QColor(70, 110, 200));
    p.drawRect(2, 1, 8, 10);
    p.setPen(QColor(30, 40, 90));
    p.drawLine(3, 1, 3, 11);
    p.setPen(Qt::white);
    p.drawLine(5, 4, 8, 4);
}

void drawWebLink(QPainter& p)
{
    // A globe with a meridian and the equator.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 100, 60), 1));
    p.setBrush(QColor(110, 190, 140));
    p.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(3.5, 0.5, 5, 11));
    p.drawLine(QPointF(0.5, 6), QPointF(11.5, 6));
}

void drawPage(QPainter& p)
{
    // A sheet with a folded corner and three lines of text.
    QPainterPath sheet;
    sheet.moveTo(2, 0.5);
    sheet.lineTo(7.5, 0.5);
    sheet.lineTo(10.5, 3.5);
    sheet.lineTo(10.5, 11.5);
    sheet.lineTo(2, 11.5);
    sheet.closeSubpath();
    p.setPen(QColor(90, 90, 90));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.drawLine(QPointF(7.5, 0.5), QPointF(7.5, 3.5));
    p.drawLine(QPointF(7.5, 3.5), QPointF(10.5, 3.5));
    p.setPen(QColor(120, 120, 200));
    for (int y : {5, 7, 9})
        p.drawLine(4, y, 8, y);
}
} // namespace

QIcon treeImage(HelpTopics::Image image)
{
    QPixmap pixmap(kTreeImageSize, kTreeImageSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    switch (image) {
    case HelpTopics::Chapter:
        drawChapter(painter);
        break;
    case HelpTopics::WebLink:
        drawWebLink(painter);
        break;
    case HelpTopics::Page:
        drawPage(painter);
        break;
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace HelpPictures
