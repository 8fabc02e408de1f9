#pragma once

#include <QString>

#include <initializer_list>

class QHBoxLayout;
class QPushButton;
class QWidget;

// Small pieces the program's tool windows are built from.
namespace WindowParts {
// A push button with its caption and the objectName tests and the program find it by.
QPushButton* button(const QString& caption, const QString& objectName, QWidget* parent);
// The row of buttons at the bottom of a tool window, right-aligned.
QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons);

// Enter and Return press the focused push button, else defaultButton, as they do in a dialog (a
// plain window has no default button of its own).
void answerEnterWith(QWidget& window, QPushButton* defaultButton);
// Escape presses button (the window's close or OK button), as it closes the desktop's windows.
void closeWithEscape(QWidget& window, QPushButton* button);
// The smallest width at which the window manager can show the whole title.
int widthForTitle(const QWidget& window);

// The layout of the small settings windows: their frame, then "&OK" (the default, answering Enter)
// and "&Help", at a fixed size wide enough for the title.
struct OkHelpButtons
{
    QPushButton* ok;
    QPushButton* help;
};
OkHelpButtons layOutWithOkHelp(QWidget& window, QWidget* frame);
} // namespace WindowParts
