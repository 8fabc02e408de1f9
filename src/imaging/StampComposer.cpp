#include "imaging/StampComposer.h"

#include <QPainter>

QImage StampComposer::strip(const QString& text, const Style& style)
{
    QImage image(kStripWidth, kStripHeight, QImage::Format_RGB32);
    // Point sizes as on a 96 dpi screen, whatever the platform reports.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    image.fill(style.background);
    QPainter painter(&image);
    painter.setFont(style.font);
    painter.setPen(style.text);
    painter.drawText(QRect(0, 0, kStripWidth, kStripHeight),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    return image;
}

QImage StampComposer::compose(const QImage& frame, const QString& text, const Style& style)
{
    QImage result(frame.width(), frame.height() + kBandHeight, QImage::Format_RGB32);
    result.fill(style.background);
    QPainter painter(&result);
    painter.drawImage(QPoint(0, 0), frame);
    // The strip is cut where the frame ends; a wider frame shows the background beside it.
    painter.setClipRect(QRect(0, frame.height(), frame.width(), kBandHeight));
    painter.drawImage(QRect(0, frame.height(), kStripWidth, kStripDrawnHeight), strip(text, style));
    return result;
}
