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
    // The program hides these windows and never closes them, so every close request is refused.
    if (event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
