#pragma once

#include <QLabel>

// A one-line label that gives up width to its neighbours: a text too long for it ends in an ellipsis and
// shows whole in its tooltip, instead of pushing the widgets beside it out of sight.
class ElidedLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidedLabel)

public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    // The text as far as it shows.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
