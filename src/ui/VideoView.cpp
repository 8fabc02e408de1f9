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

void VideoView::showFrame(const QImage& frame)
{
    m_frame = frame;
    if (frame.size() != size())
        setVideoSize(frame.size());
    update();
}

void VideoView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_frame.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    if (m_frame.size() == size())
        painter.drawImage(0, 0, m_frame);
    else
        painter.drawImage(rect(), m_frame);
    painter.end();
    if (!m_painted) {
        m_painted = true;
        emit firstFramePainted();
    }
}
