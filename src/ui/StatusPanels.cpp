#include "ui/StatusPanels.h"

StatusPanels::StatusPanels(QObject* parent) : QObject(parent) {}

QString StatusPanels::panel(int number) const
{
    if (number < 1 || number > kCount)
        return {};
    return m_texts[size_t(number - 1)];
}

void StatusPanels::setPanel(int number, const QString& text)
{
    if (number < 1 || number > kCount)
        return;
    QString& stored = m_texts[size_t(number - 1)];
    if (stored == text)
        return;
    stored = text;
    emit panelChanged(number, text);
}
