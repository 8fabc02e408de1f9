#pragma once

#include <QString>

#include <initializer_list>

class QFrame;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Small pieces the program's tool windows are built from.
namespace WindowParts {
// A widget with the objectName tests and the program find it by.
template <typename W> W* named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}
QLabel* label(const QString& name, const QString& caption);
QFrame* frame(const QString& name);
// A label in the warning colour, wrapped, hidden until it has something to say.
QLabel* problemLabel(const QString& name);
// Sets a line edit only when its text differs, so the cursor stays put while the user types.
void showText(QLineEdit* edit, const QString& text);
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
