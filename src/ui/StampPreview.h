#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

// The stamp preview: the present date and time in the stamp's colours and font, as the picture
// will carry it. The time is taken when the preview is redrawn, not on every paint.
class StampPreview final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StampPreview)

public:
    explicit StampPreview(QWidget* parent = nullptr);

    void setStyle(const QColor& back, const QColor& fore, const QFont& font);
    // Clears the box and prints the present date and time.
    void redraw();

    QColor backColor() const { return m_back; }
    QColor foreColor() const { return m_fore; }
    QFont stampFont() const { return m_font; }
    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QColor m_back = Qt::black;
    QColor m_fore = Qt::white;
    QFont m_font;
    QString m_text;
};
