#pragma once

#include <QColor>
#include <QFrame>

// A box filled with one colour that reports clicks; the program background colour's swatch.
class ColorSwatch final : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ColorSwatch)

public:
    explicit ColorSwatch(QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor m_color = Qt::black;
};
