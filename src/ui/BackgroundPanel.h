#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

// "bgpic": the area around the live picture, in the background colour with the background
// picture at its top-left corner.
class BackgroundPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BackgroundPanel)

public:
    explicit BackgroundPanel(QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor& color);
    const QPixmap& picture() const { return m_picture; }
    // False when the file cannot be read; the panel then shows no picture.
    bool setPicture(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color = Qt::white;
    QPixmap m_picture;
};
