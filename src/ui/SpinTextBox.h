#pragma once

#include <QAbstractSpinBox>

class QLineEdit;

// One box with up and down arrows whose text is free: the window applies its own rule to what is
// typed (an empty box stays empty), while the arrows step the last number the box held within
// a range and put it into the box.
class SpinTextBox final : public QAbstractSpinBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SpinTextBox)

public:
    SpinTextBox(int minimum, int maximum, QWidget* parent = nullptr);

    QLineEdit* edit() const { return lineEdit(); }
    // The last number the box held; the arrows step from it.
    int value() const { return m_value; }
    // Takes a number (kept within the range) without changing the text.
    void setValue(int value);

    void stepBy(int steps) override;
    // Room for the widest number of the range beside the arrows, as a QSpinBox leaves.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // An arrow, a key or the wheel stepped the number to value; the text shows it.
    void stepped(int value);

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_minimum;
    int m_maximum;
    int m_value;
};
