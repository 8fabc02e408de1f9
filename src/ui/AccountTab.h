#pragma once

#include <QFrame>

class AccountBook;
struct Account;

// One tab of the Upload Settings window: a view over the loaded account of the AccountBook. Every
// edit calls the book's setter for its field at once; refresh() shows the loaded account without
// saving anything back.
class AccountTab : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountTab)

public:
    // Shows the loaded account in the controls.
    void refresh();
    // Makes the controls' edits count before the window closes (a number box typed in shows what
    // is stored).
    virtual void finishEdits() {}

protected:
    AccountTab(AccountBook& book, const QString& objectName, QWidget* parent);

    virtual void showAccount(const Account& account) = 0;
    // Connects a control's change signal to an edit of the book, skipped while the controls are
    // being filled from the book so that loading never writes.
    template <typename Sender, typename Signal, typename Handler>
    void onEdit(Sender* sender, Signal signal, Handler handler)
    {
        connect(sender, signal, this, [this, handler](auto&&... args) {
            if (!m_refreshing)
                handler(args...);
        });
    }

    AccountBook& m_book;

private:
    bool m_refreshing = false;
};
