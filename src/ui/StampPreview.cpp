#include "ui/StampPreview.h"

#include "common/DateTimeText.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>

StampPreview::StampPreview(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(240, 40);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StampPreview::setStyle(const QColor& back, const QColor& fore, const QFont& font)
{
    m_back = back;
    m_fore = fore;
    m_font = font;
}

void StampPreview::redraw()
{
    m_text = generalDateTimeText(QDateTime::currentDateTime());
    update();
}

void StampPreview::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_back);
    painter.setPen(m_fore);
    painter.setFont(m_font);
    painter.drawText(rect().adjusted(2, 1, -2, -1), Qt::AlignLeft | Qt::AlignTop, m_text);
}

void StampPreview::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        redraw();
    QWidget::mousePressEvent(event);
}
