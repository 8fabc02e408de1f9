#pragma once

#include <QWidget>

class AccountBook;
class QLabel;
class QPushButton;
class QTreeWidget;

// "My Accounts:" of the Upload Settings window: the account list with the upload flags, the row
// that is current, and "&Add", "&Remove" and "Re&name". A row click makes it current and loads it;
// ticking a row's box changes only the row ("&OK" stores it). Above the list, why changes are not
// saved when the store takes none.
class AccountListPanel final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountListPanel)

public:
    explicit AccountListPanel(AccountBook& book, QWidget* parent = nullptr);

    // Shows the book's rows and its store problem; never writes.
    void refresh();
    // Says above the list why changes are not saved; hidden while they are.
    void showStoreProblem();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    AccountBook& m_book;
    bool m_refreshing = false;
    int m_rowAtPress = -1; // the current row when the mouse was pressed in the list
    QLabel* m_storeProblem;
    QTreeWidget* m_ftps;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_rename;
};
