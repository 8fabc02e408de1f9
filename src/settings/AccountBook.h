#pragma once

#include "settings/Account.h"

#include <QObject>
#include <QString>

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
    static constexpr qint64 kMaxSeconds = 2147483; // the scheduler's milliseconds must fit an int

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

    // The account commands; questions and messages go through the Prompter.
    void addAccount();
    void renameAccount();
    void removeAccount();
    // Writes "Selected" of every row from its check box.
    void saveFlags();

    const Account& loaded() const { return m_loaded; }

    // One save per editable field: each changes the loaded account and writes that value of the
    // current account at once (with no current row only the loaded account changes).
    void setHost(const QString& text);
    void setUser(const QString& text);
    // Stored only while "Remember password" is set; an emptied field is stored in any case.
    void setPassword(const QString& text);
    // Clearing it also deletes the stored password; the loaded password stays.
    void setRememberPassword(bool remember);
    void setFolder(const QString& text);
    // The folder field lost the focus: a non-empty folder always ends with "/".
    void finishFolderEdit();
    void setFileName(const QString& text);
    void setLocally(bool set);
    void setOnlyLocally(bool set);
    void setLocalFolder(const QString& text);
    // Choosing an interval item: presets set the seconds, "Never" empties them, "Custom" keeps
    // them; stores "Upload image every:" and "Custom".
    void setIntervalItem(int position);
    // The seconds field changed: normalises the text (returned, for the field to show), switches
    // to "Custom" for a number that is no preset unless "Never" is chosen, stores "Custom".
    QString setSecondsText(const QString& text);
    void setBetween(bool set);
    void setDateFrom(const QDate& date);
    void setDateTo(const QDate& date);
    void setTimestamp(bool set);
    void setTextTime(bool set);
    void setBackColor(quint32 color);
    void setForeColor(quint32 color);
    void setFont(bool bold, bool italic, const QString& name, double size);
    void setProtocol(Account::Protocol protocol);
    void setPassive(bool set);
    void setVerifyCertificate(bool set);
    void setKeyFile(const QString& path);
    void setSafeReplace(bool set);

    // Where the book's questions and messages go; the window's "&Test" reports there too.
    Prompter& prompter() const { return m_prompter; }

    // The seconds field's rule on its own: whole-number part, "0" for a non-number or a negative
    // number, at most kMaxSeconds, the empty text stays empty.
    static QString normalizedSeconds(const QString& text);
    // The seconds of a stored "Custom" interval: as the field's rule, except that a text that is no
    // number reads as empty (no timed upload).
    static QString storedSeconds(const QString& text);

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
    void takeOverLegacyValues();
    void rewriteList();
    QString accountKey(const QString& name) const;
    bool hasCurrentAccount() const;
    void saveField(const QString& name, const QString& text);
    // Changes one field of the loaded account, stores its text and tells the views.
    template <typename T>
    void setAndSave(T Account::*field, const T& value, const QString& valueName, const QString& text);
    // Why a name cannot be used, or empty when it can; `except` is the row being renamed.
    QString refusal(const QString& name, int except) const;

    Regedit& m_store;
    Prompter& m_prompter;
    std::vector<Row> m_rows;
    int m_current = -1;
    Account m_loaded;
};
