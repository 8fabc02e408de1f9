#pragma once

#include <QAbstractSpinBox>
#include <QApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

// A person at the keyboard: empties a box with keys and types into it, and leaves it.
namespace Typing {
// Keys typed at the end of the box's text.
inline void type(QLineEdit* box, const QString& keys)
{
    box->end(false);
    QTest::keyClicks(box, keys);
}

// Selects all, deletes it and types the keys ("" leaves the box empty).
inline void retype(QLineEdit* box, const QString& keys)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    type(box, keys);
}

// The box loses the focus to another field; the box of a spin control loses it with its control.
inline void leave(QLineEdit* box, Qt::FocusReason reason = Qt::TabFocusReason)
{
    QWidget* holder = box->parentWidget();
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(qobject_cast<QAbstractSpinBox*>(holder) ? holder : box, &out);
}

// A click on a check box's indicator (the middle of a wide box may lie beyond its caption).
inline void tick(QWidget* box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
}

// What a number box's note beside it says; empty while it is hidden.
inline QString note(const QLineEdit* box)
{
    const auto* label = box->window()->findChild<QLabel*>(box->objectName() + QStringLiteral("Note"));
    return label && !label->isHidden() ? label->text() : QString();
}

// One row of a number box table: the keys typed into the emptied box, what it shows once left,
// and whether a note says why that differs from what was typed.
struct NumberCase
{
    const char* typed;
    const char* shown;
    bool noted;
};
} // namespace Typing
