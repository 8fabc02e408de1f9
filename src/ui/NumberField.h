#pragma once

#include "common/TypedNumber.h"

#include <QObject>

#include <functional>

class QLabel;
class QLineEdit;

// A number box under the one rule of TypedNumber: what is typed is kept at once when it is a
// number (as its whole-number part, within the range), refused otherwise, and the note beside the
// box says why whenever what is kept differs from what was typed. Leaving the box (Tab, a click
// elsewhere, Return, or finish()) shows exactly what is kept. The window only losing activation
// (another window, a menu) leaves the text as it stands, to be typed on.
class NumberField final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NumberField)

public:
    // kept: what the box holds now; keep: takes a text the rule accepted.
    NumberField(QLineEdit& edit, const TypedNumber::Range& range, std::function<QString()> kept,
                std::function<void(const QString&)> keep, QObject* parent);

    // The note beside the box, for the window's layout; hidden while there is nothing to say.
    QLabel* note() const { return m_note; }
    bool isTyping() const { return m_typing; }
    // Shows what is kept, as leaving the box does; the note stays until the next edit.
    void finish();
    // The program put a new value into the box (a slider, arrows, another account): no note.
    void clearNote();

signals:
    // The person began typing in the box (after it was last left).
    void typingStarted();
    // What was typed is no number: the box keeps what it held when the typing began.
    void reverted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void edited(const QString& text);

    QLineEdit& m_edit;
    TypedNumber::Range m_range;
    std::function<QString()> m_kept;
    std::function<void(const QString&)> m_keep;
    QLabel* m_note;
    QObject* m_focusWidget;
    bool m_typing = false;
    bool m_editing = false; // typed in since the box was last left
    QString m_before;       // what the box held when the typing began
};
