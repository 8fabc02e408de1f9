#include "ui/SpinTextBox.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

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

QSize SpinTextBox::sizeHint() const
{
    ensurePolished();
    const QFontMetrics metrics = fontMetrics();
    // Room for what a person may type before leaving the box (a fraction, a mistake), not only the
    // widest number of the range.
    const int text = std::max({metrics.horizontalAdvance(QString::number(m_minimum) + QLatin1Char(' ')),
                               metrics.horizontalAdvance(QString::number(m_maximum) + QLatin1Char(' ')),
                               metrics.horizontalAdvance(QStringLiteral("00000"))});
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QSize content(text + 2, lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, content, this);
}
