#pragma once

#include "common/Result.h"
#include "settings/Account.h"
#include "settings/AccountFields.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <type_traits>
#include <vector>

class Prompter;
class Regedit;

// The FTP accounts: the account list rows (name and upload flag), the current row and the loaded
// account that ValdItem fills. The Upload Settings window shows it; the scheduler and the upload
// cycle read it. Rows are numbered from 0 here; the store's list value of row r is "Account" r+1,
// and a timer id built from a row is r+1 as well. currentRow() is -1 when no row is current.
class AccountBook final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AccountBook)

public:
    static inline const QString kProductKey = QStringLiteral("Software\\Velmora");
    static inline const QString kDefaultAccount = QStringLiteral("My Account");
    static constexpr int kMaxNameLength = 19;
    static constexpr int kMaxAccounts = 32767;

    AccountBook(Regedit& store, Prompter& prompter, QObject* parent = nullptr);

    // Take-over of the earlier single-account values, enumeration of the list with the upload
    // flags, the default account on a first start, first row current, then ValdItem.
    void loadList();
    // Loads the current account into loaded() and refreshes every row's detail columns.
    void ValdItem();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    QString rowName(int row) const;
    bool isChecked(int row) const;
    QString hostColumn(int row) const;
    QString everyColumn(int row) const;
    // Ticking a row's box changes the row only; saveFlags() stores it.
    void setChecked(int row, bool checked);

    int currentRow() const { return m_current; }
    QString currentName() const { return rowName(m_current); }
    // Makes a row current (-1 for none) without loading it.
    void setCurrentRow(int row);
    // What a click on a row does: make it current and run ValdItem.
    void selectRow(int row);
    // Makes a row current and loads it like ValdItem, without refreshing every row's detail
    // columns and without signals: for walking many rows at once, followed by one refreshRows().
    void loadRowOnly(int row);
    // Rereads the detail columns ("Host Name", "Every") of every row.
    void refreshRows();

    // The account commands; questions and messages go through the Prompter. Each changes the rows
    // only when the store took the change, and says so when it did not.
    void addAccount();
    void renameAccount();
    void removeAccount();
    // Writes "Selected" of every row from its check box.
    void saveFlags();

    const Account& loaded() const { return m_loaded; }
    // An account's values as stored (with a password typed this session), whether or not it is
    // the current one; the defaults for a name without values.
    Account accountNamed(const QString& name) const;
    // The cameras the ticked accounts upload from (their "Camera" values), read from the store.
    QStringList camerasInUse() const;
    // Why changes are not being saved (empty while they are): for the windows' status line. Each
    // command says for itself when its change did not arrive.
    QString storeProblem() const;

    // An edit of one field: changes the loaded account and writes that value of the current
    // account at once (with no current row only the loaded account changes).
    template <typename T> void set(T Account::*field, const std::type_identity_t<T>& value)
    {
        m_loaded.*field = value;
        saveField(AccountFields::of(field));
        emit loadedChanged();
    }
    // Fields with rules of their own:
    // the password is stored only while "Remember password" is set, an emptied field in any case;
    // either way the account uses it until the program ends (in memory only);
    void setPassword(const QString& text);
    // setting "Remember password" stores the password the field holds; clearing it deletes the
    // stored password, and the loaded one serves until the program ends;
    void setRememberPassword(bool remember);
    // the folder field lost the focus: a non-empty folder always ends with "/";
    void finishFolderEdit();
    // choosing an interval item: presets set the seconds, "Never" empties them, "Custom" keeps
    // them; stores "Upload image every:" and "Custom"; -1 goes back to no interval (both removed);
    void setIntervalItem(int position);
    // the seconds field's text as typed: stores the seconds it means (IntervalTable::secondsText,
    // returned) and switches to "Custom" for a number that is no preset unless "Never" is chosen;
    QString setSecondsText(const QString& typed);
    // the stamp font: only the values that differ from the loaded ones are written.
    void setFont(bool bold, bool italic, const QString& name, double size);

    // Where the book's questions and messages go; the window's "&Test" reports there too.
    Prompter& prompter() const { return m_prompter; }

signals:
    void rowsChanged();
    void loadedChanged();

private:
    struct Row
    {
        QString name;
        bool checked = false;
        QString host;
        QString every;
    };

    void loadCurrentRecord();
    // The values a new account starts with beyond the defaults; fails when one was not stored.
    Result<void> saveNewAccountValues(const QString& name);
    void keepForSession(const QString& password);
    void takeOverLegacyValues();
    // Writes the list values for these names; stops at the first write that does not arrive.
    Result<void> writeList(const std::vector<QString>& names);
    QString accountKey(const QString& name) const;
    bool hasCurrentAccount() const;
    void saveField(const AccountFields::Field& field);
    // Why a name cannot be used, or empty when it can; `except` is the row being renamed.
    QString refusal(const QString& name, int except) const;
    // Whether a row other than `except` keeps its values in the key of `name`.
    bool keyShared(const QString& name, int except) const;
    // Copies every account value from one key to another; stops at the first that does not arrive.
    Result<void> copyValues(const QString& from, const QString& to);
    // Tells that a command could not be carried out because the store took no change, and why.
    void reportUnsaved(const QString& what, const Failure& failure);
    std::vector<QString> rowNames() const;

    Regedit& m_store;
    Prompter& m_prompter;
    std::vector<Row> m_rows;
    int m_current = -1;
    Account m_loaded;
    // Passwords typed while "Remember password" was off, by folded account name; never stored.
    std::map<QString, QString> m_sessionPasswords;
};
