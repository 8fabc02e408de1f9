#include "ui/NumberField.h"

#include <QAbstractSpinBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>

NumberField::NumberField(QLineEdit& edit, const TypedNumber::Range& range, std::function<QString()> kept,
                         std::function<void(const QString&)> keep, QObject* parent)
    : QObject(parent), m_edit(edit), m_range(range), m_kept(std::move(kept)), m_keep(std::move(keep)),
      m_note(new QLabel)
{
    m_note->setObjectName(edit.objectName() + QStringLiteral("Note"));
    m_note->setWordWrap(true);
    m_note->setStyleSheet(QStringLiteral("color: #b00000"));
    m_note->hide();
    // Only what a person types goes through the rule; text the program sets is shown as it is.
    connect(&m_edit, &QLineEdit::textEdited, this, &NumberField::edited);
    connect(&m_edit, &QLineEdit::returnPressed, this, &NumberField::finish);
    // The box of a spin control gets its focus through the spin control, which passes the focus
    // events on to it directly, past any filter.
    QWidget* holder = m_edit.parentWidget();
    m_focusWidget = qobject_cast<QAbstractSpinBox*>(holder) ? holder : &m_edit;
    m_focusWidget->installEventFilter(this);
}

void NumberField::edited(const QString& text)
{
    // Each keystroke is kept as it comes ("3" of "3e2" too), so that what is typed takes effect at
    // once; text that turns out no number goes back to what the box held before the typing began.
    // Whatever the keeping sets off, the text stays as typed while this runs.
    const QScopedValueRollback typing(m_typing, true);
    if (!m_editing) {
        m_editing = true;
        m_before = m_kept();
        emit typingStarted();
    }
    const TypedNumber::Result result = TypedNumber::read(text, m_range, m_before);
    m_note->setText(result.note);
    m_note->setVisible(!result.note.isEmpty());
    const QString keep = result.text.value_or(m_before);
    if (keep != m_kept())
        m_keep(keep);
    if (!result.text)
        emit reverted();
}

void NumberField::finish()
{
    m_editing = false;
    const QString kept = m_kept();
    if (m_edit.text() != kept)
        m_edit.setText(kept);
}

void NumberField::clearNote()
{
    m_note->clear();
    m_note->hide();
}

bool NumberField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_focusWidget && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            finish();
    }
    return QObject::eventFilter(watched, event);
}
