#pragma once

#include <QList>
#include <QObject>

class QLabel;
class QStatusBar;
class StatusPanels;

// The main window's status bar (StatusBar1): the four panels of StatusPanels, each kept to the
// panel's text. Only the first shows until the window's load shows the other three. The first, the
// upload state, takes the room the others leave: a longer text ends in an ellipsis.
class StatusBarView final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusBarView)

public:
    StatusBarView(QStatusBar& bar, StatusPanels& panels);

    void showAllPanels();

private:
    QList<QLabel*> m_labels;
};
