#include "ui/VideoView.h"

#include <QPainter>

VideoView::VideoView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ezVidCap1"));
    // Every pixel is painted from the frame: no background fill before each frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void VideoView::setVideoSize(const QSize& size)
{
    if (size.isValid() && size != this->size())
        setFixedSize(size);
}

void VideoView::showNotice(const QString& text)
{
    if (text == m_notice)
        return;
    m_notice = text;
    update();
}

void VideoView::showFrame(const QImage& frame)
{
    m_frame = frame;
    m_notice.clear();
    if (frame.size() != size())
        setVideoSize(frame.size());
    update();
}

void VideoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_frame.isNull())
        painter.fillRect(rect(), Qt::black);
    else if (m_frame.size() == size())
        painter.drawImage(0, 0, m_frame);
    else
        painter.drawImage(rect(), m_frame);
    if (!m_notice.isEmpty()) {
        painter.fillRect(rect(), QColor(0, 0, 0, 170));
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_notice);
    }
    painter.end();
    if (m_frame.isNull())
        return;
    if (!m_painted) {
        m_painted = true;
        emit firstFramePainted();
    }
}
