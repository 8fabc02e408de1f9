#include "ui/BackgroundPanel.h"

#include <QPaintEvent>
#include <QPainter>

BackgroundPanel::BackgroundPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("bgpic"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BackgroundPanel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

bool BackgroundPanel::setPicture(const QString& path)
{
    m_picture = path.isEmpty() ? QPixmap() : QPixmap(path);
    update();
    return !m_picture.isNull();
}

void BackgroundPanel::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), m_color);
    if (!m_picture.isNull())
        painter.drawPixmap(0, 0, m_picture);
}
