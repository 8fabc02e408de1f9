#pragma once

#include <QObject>

class QWidget;

// Makes a tool window one that is left only through its own buttons: no close box in the title
// bar, and a close request from the window manager (Alt+F4, the window menu) is refused.
class CloseGuard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CloseGuard)

public:
    // Sets the window's flags and installs the guard as a child of the window.
    static void apply(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit CloseGuard(QObject* parent);
};
