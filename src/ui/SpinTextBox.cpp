#include "ui/SpinTextBox.h"

#include <QLineEdit>

#include <algorithm>

SpinTextBox::SpinTextBox(int minimum, int maximum, QWidget* parent)
    : QAbstractSpinBox(parent), m_minimum(minimum), m_maximum(maximum), m_value(minimum)
{
}

void SpinTextBox::setValue(int value)
{
    m_value = std::clamp(value, m_minimum, m_maximum);
}

void SpinTextBox::stepBy(int steps)
{
    setValue(m_value + steps);
    lineEdit()->setText(QString::number(m_value));
    emit stepped(m_value);
}

QAbstractSpinBox::StepEnabled SpinTextBox::stepEnabled() const
{
    StepEnabled enabled = StepNone;
    if (m_value < m_maximum)
        enabled |= StepUpEnabled;
    if (m_value > m_minimum)
        enabled |= StepDownEnabled;
    return enabled;
}
