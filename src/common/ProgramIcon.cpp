#include "common/ProgramIcon.h"

#include <QPainter>
#include <QPolygonF>
#include <QRectF>

namespace ProgramIcon {
namespace {
constexpr qreal kUnits = 32; // the drawing's own square

struct Shape
{
    enum Kind { Rect, Ellipse } kind;
    QRectF rect;
    qreal radius; // corner radius of a Rect
    QRgb fill;
    QRgb stroke; // 0: no outline
    qreal strokeWidth;
};

// Outlines in a mid grey stay visible on light and dark panels alike.
constexpr QRgb kOutline = 0xff3a4050;
const Shape kShapes[] = {
    {Shape::Rect, {8, 26.5, 16, 3.5}, 1.5, 0xffb8c0cc, kOutline, 1},    // foot
    {Shape::Rect, {14, 22, 4, 5}, 0, 0xffb8c0cc, kOutline, 1},          // neck
    {Shape::Ellipse, {3.5, 1.5, 25, 23}, 0, 0xffe4e8ef, kOutline, 1.2}, // head
    {Shape::Ellipse, {8.5, 5.5, 15, 15}, 0, 0xff1f2a44, 0, 0},          // lens ring
    {Shape::Ellipse, {11.5, 8.5, 9, 9}, 0, 0xff3d7fd9, 0, 0},           // lens
    {Shape::Ellipse, {13.5, 10, 3, 3}, 0, 0xffd6e6ff, 0, 0},            // glint
    {Shape::Ellipse, {22, 3.5, 3.5, 3.5}, 0, 0xffe03131, 0, 0},         // light
};

QString colourText(QRgb colour)
{
    return QStringLiteral("#%1").arg(colour & 0xffffff, 6, 16, QLatin1Char('0'));
}

QString number(qreal value)
{
    return QString::number(value, 'g', 6);
}
} // namespace

namespace {
void paintBadge(QPainter& p, Badge badge)
{
    if (badge == Badge::None)
        return;
    // A round mark over the foot, white on green (an arrow up) or white on red (an exclamation).
    const QRectF disc(17, 17, 15, 15);
    p.setPen(QPen(QColor(0xff, 0xff, 0xff), 1.2));
    p.setBrush(badge == Badge::Uploading ? QColor(0x1e, 0x8e, 0x3e) : QColor(0xd0, 0x1f, 0x1f));
    p.drawEllipse(disc);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const qreal x = disc.center().x();
    if (badge == Badge::Uploading) {
        p.drawLine(QPointF(x, 28.5), QPointF(x, 20.5));
        p.drawPolyline(QPolygonF({QPointF(x - 3.5, 24), QPointF(x, 20.5), QPointF(x + 3.5, 24)}));
    } else {
        p.drawLine(QPointF(x, 20), QPointF(x, 25.5));
        p.drawPoint(QPointF(x, 28.8));
    }
}
} // namespace

QImage image(int size, Badge badge)
{
    QImage picture(size, size, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kUnits, size / kUnits);
    for (const Shape& shape : kShapes) {
        p.setBrush(QColor::fromRgba(shape.fill));
        if (shape.stroke != 0)
            p.setPen(QPen(QColor::fromRgba(shape.stroke), shape.strokeWidth));
        else
            p.setPen(Qt::NoPen);
        if (shape.kind == Shape::Ellipse)
            p.drawEllipse(shape.rect);
        else
            p.drawRoundedRect(shape.rect, shape.radius, shape.radius);
    }
    paintBadge(p, badge);
    p.end();
    return picture;
}

QIcon icon(Badge badge)
{
    QIcon result;
    for (int size : kThemeSizes)
        result.addPixmap(QPixmap::fromImage(image(size, badge)));
    return result;
}

QByteArray svg()
{
    QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" "
                                  "viewBox=\"0 0 %1 %1\">\n")
                       .arg(number(kUnits));
    for (const Shape& shape : kShapes) {
        const QString paint =
            QStringLiteral("fill=\"%1\"").arg(colourText(shape.fill)) +
            (shape.stroke != 0 ? QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\"")
                                     .arg(colourText(shape.stroke), number(shape.strokeWidth))
                               : QString());
        const QRectF& r = shape.rect;
        if (shape.kind == Shape::Ellipse) {
            text += QStringLiteral("  <ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"%4\" %5/>\n")
                        .arg(number(r.center().x()), number(r.center().y()), number(r.width() / 2),
                             number(r.height() / 2), paint);
        } else {
            text += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" %6/>\n")
                        .arg(number(r.x()), number(r.y()), number(r.width()), number(r.height()),
                             number(shape.radius), paint);
        }
    }
    text += QStringLiteral("</svg>\n");
    return text.toUtf8();
}
} // namespace ProgramIcon
