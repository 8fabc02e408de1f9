#include "ui/CloseGuard.h"

#include <QEvent>
#include <QWidget>

CloseGuard::CloseGuard(QObject* parent) : QObject(parent) {}

void CloseGuard::apply(QWidget& window)
{
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window.installEventFilter(new CloseGuard(&window));
}

bool CloseGuard::eventFilter(QObject* watched, QEvent* event)
{
    // Only requests from outside the program are refused; the program itself hides these
    // windows and never closes them.
    if (event->type() == QEvent::Close && event->spontaneous()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
