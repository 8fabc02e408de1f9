#include "ui/WindowParts.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace WindowParts {
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

OkHelpButtons layOutWithOkHelp(QWidget& window, QWidget* frame)
{
    OkHelpButtons buttons{button(QStringLiteral("&OK"), QStringLiteral("Command1"), &window),
                          button(QStringLiteral("&Help"), QStringLiteral("cmdHelp"), &window)};
    buttons.ok->setDefault(true);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(frame);
    layout->addLayout(buttonRow({buttons.ok, buttons.help}));
    window.setFixedSize(window.sizeHint());
    return buttons;
}
} // namespace WindowParts
