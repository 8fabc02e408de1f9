#include "ui/VideoView.h"

#include <QEvent>
#include <QPainter>

VideoView::VideoView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ezVidCap1"));
    // Every pixel is painted from the frame: no background fill before each frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (parent)
        parent->installEventFilter(this);
}

void VideoView::setVideoSize(const QSize& size)
{
    if (!size.isValid() || size.isEmpty() || size == m_videoSize)
        return;
    m_videoSize = size;
    fit();
}

void VideoView::fit()
{
    if (!m_videoSize.isValid())
        return;
    QSize shown = m_videoSize;
    // Before the parent is laid out its size says nothing; the picture keeps its own until then.
    const QWidget* room = parentWidget();
    if (room && room->testAttribute(Qt::WA_Resized) && room->width() > 0 && room->height() > 0 &&
        (shown.width() > room->width() || shown.height() > room->height()))
        shown = m_videoSize.scaled(room->size(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (shown != size())
        setFixedSize(shown);
}

bool VideoView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        fit();
    return QWidget::eventFilter(watched, event);
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
