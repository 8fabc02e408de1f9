#pragma once

#include <QImage>
#include <QWidget>

// The live picture: paints the newest frame the capture component delivered, at the video size
// where the window has room for it and scaled down with its shape kept where it has not (a camera
// larger than the window shows whole, never as a crop), or the last one dimmed with a notice when
// the camera has no picture. The frame is kept as delivered (it shares the capture buffer), so
// nothing is copied per frame.
class VideoView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoView)

public:
    explicit VideoView(QWidget* parent = nullptr);

    // The camera's picture size; the view takes it, or the largest size of the same shape that fits
    // its parent, and follows the parent's size from then on.
    void setVideoSize(const QSize& size);
    QSize videoSize() const { return m_videoSize; }
    void showFrame(const QImage& frame);
    const QImage& frame() const { return m_frame; }
    // Says over the picture why there is none (the camera is gone, no frames come); the next frame
    // or an empty text takes it away.
    void showNotice(const QString& text);
    const QString& notice() const { return m_notice; }
    bool hasPaintedFrame() const { return m_painted; }

signals:
    // The first frame reached the screen.
    void firstFramePainted();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fit();

    QSize m_videoSize;
    QImage m_frame;
    QString m_notice;
    bool m_painted = false;
};
