#include "ui/WindowParts.h"

#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

namespace WindowParts {
QLabel* label(const QString& name, const QString& caption)
{
    return named(new QLabel(caption), name);
}

QFrame* frame(const QString& name)
{
    return named(new QFrame, name);
}

QLabel* problemLabel(const QString& name)
{
    QLabel* problem = label(name, QString());
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color: #b00000"));
    problem->hide();
    return problem;
}

void showText(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}

QPushButton* button(const QString& caption, const QString& objectName, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    return button;
}

QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* button : buttons)
        row->addWidget(button);
    return row;
}

void answerEnterWith(QWidget& window, QPushButton* defaultButton)
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), &window);
        QObject::connect(shortcut, &QShortcut::activated, defaultButton, [&window, defaultButton] {
            auto* focused = qobject_cast<QPushButton*>(window.focusWidget());
            (focused && focused->isEnabled() ? focused : defaultButton)->click();
        });
    }
}

void closeWithEscape(QWidget& window, QPushButton* button)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
    QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
}

int widthForTitle(const QWidget& window)
{
    // Title bars use a bold font of about the window's size, beside the icon and three buttons.
    QFont titleFont = window.font();
    titleFont.setBold(true);
    constexpr int kIconAndButtons = 140;
    return QFontMetrics(titleFont).horizontalAdvance(window.windowTitle()) + kIconAndButtons;
}

OkHelpButtons layOutWithOkHelp(QWidget& window, QWidget* frame)
{
    OkHelpButtons buttons{button(QStringLiteral("&OK"), QStringLiteral("Command1"), &window),
                          button(QStringLiteral("&Help"), QStringLiteral("cmdHelp"), &window)};
    buttons.ok->setDefault(true);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(frame);
    layout->addLayout(buttonRow({buttons.ok, buttons.help}));
    answerEnterWith(window, buttons.ok);
    // The window keeps the size of what it holds, and grows with it: a note that appears under a
    // box makes it taller instead of squeezing the box.
    const QMargins margins = layout->contentsMargins();
    frame->setMinimumWidth(widthForTitle(window) - margins.left() - margins.right());
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return buttons;
}
} // namespace WindowParts
