#pragma once

#include <QObject>
#include <QString>

class Help;
class QWidget;

// F1 anywhere in the program opens the help at the page of the window in front.
class HelpKey final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HelpKey)

public:
    // Listens from within owner's window to the whole program's F1.
    HelpKey(Help& help, QWidget& owner);

    // The help page (a node of the topic tree) of a window, by its object name; empty for none.
    static QString pageOf(const QString& windowName);
    // Opens the page of window; the help window itself and unknown windows open nothing.
    void showHelpFor(const QWidget* window);

private:
    Help& m_help;
};
