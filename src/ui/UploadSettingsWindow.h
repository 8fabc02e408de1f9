#pragma once

#include "common/TypedNumber.h"

#include <QDialog>

#include <memory>

class AccountBook;
struct Account;
class FtpClient;
class WorkerThread;
class Help;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class NumberField;
class QPushButton;
class QTimeEdit;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class SettingsDialogs;
class StampPreview;

// "Upload Settings" (Form3): a view over the AccountBook. Every edit calls the book's setter for
// that field at once; the book's change signals refresh the controls without saving anything back.
// Created once and kept; "&OK", Escape and the close box hide it.
class UploadSettingsWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadSettingsWindow)

public:
    static constexpr int kTimestampTab = 3;
    static constexpr int kArchiveTab = 4;
    static constexpr int kMaxArchiveCount = 1'000'000;

    // Where "&Test" looks for and adds SSH host keys; empty for ~/.ssh/known_hosts.
    void setKnownHostsFile(const QString& path) { m_knownHostsFile = path; }

    // Loads the account list (the book's loadList) unless it holds rows already.
    UploadSettingsWindow(AccountBook& book, Help& help, SettingsDialogs& dialogs, QWidget* parent = nullptr);
    ~UploadSettingsWindow() override;

    // The configuration menu's command: shown non-modal (the caller stops the scheduler first).
    void showWindow();
    // The "Image" toolbar button: modal on the "&Timestamp" tab; returns when "&OK" closed it.
    void openOnTimestampTab();

    // Escape and the close box act as "&OK".
    void reject() override;

signals:
    // "&OK" stored the upload flags, reloaded the current account and hid the window: the main
    // window restarts the scheduler and shows itself.
    void confirmed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildGeneral();
    QWidget* buildDestination();
    QWidget* buildInterval();
    QWidget* buildTimestamp();
    QWidget* buildArchive();
    // The archive name as typed: stored when it can name copies, otherwise refused with the reason
    // under the field (the stored name stays).
    void editArchiveName(const QString& pattern);
    void showArchiveProblem(const QString& pattern);
    void connectControls();
    // A number box of the loaded account's whole-number field, under the one rule of number boxes.
    NumberField* numberField(QLineEdit* edit, const TypedNumber::Range& range, int Account::*field);
    void showNumber(NumberField* field, QLineEdit* edit, int value);

    void refreshRows();
    void refreshControls();
    // Says above the list why changes are not saved; hidden while they are.
    void showStoreProblem();
    void confirm();
    void browseLocalFolder();
    void chooseFont();
    void chooseBackColor();
    void chooseForeColor();
    void chooseKeyFile();
    // "&Test": log in, write and remove a small file, say what worked in one message box.
    void testConnection();
    void runTest(const Account& account, const QString& trustedKey);
    // Shows why name cannot be a destination file name, or hides the note; true when it can.
    bool showFileNameProblem(const QString& name);
    // Connects a control's change signal to an edit of the book, skipped while the controls are
    // being filled from the book so that loading never writes.
    template <typename Sender, typename Signal, typename Handler>
    void onEdit(Sender* sender, Signal signal, Handler handler);

    AccountBook& m_book;
    Help& m_help;
    SettingsDialogs& m_dialogs;
    bool m_refreshing = false;
    int m_rowAtPress = -1; // the current row when the mouse was pressed in the list
    int m_intervalBeforeTyping = -1;
    QString m_knownHostsFile;
    std::unique_ptr<WorkerThread> m_testWorker; // created for the first "&Test"
    std::shared_ptr<FtpClient> m_testClient;    // the running test's connection

    QLabel* m_storeProblem;
    QTreeWidget* m_ftps;
    QTabWidget* m_tabs;
    QLineEdit* m_host;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QCheckBox* m_remember;
    QComboBox* m_protocol;
    QCheckBox* m_passive;
    QCheckBox* m_verify;
    QLineEdit* m_keyFile;
    QPushButton* m_keyBrowse;
    QPushButton* m_test;
    QCheckBox* m_safeReplace;
    QLineEdit* m_folder;
    QLineEdit* m_fileName;
    QLabel* m_fileNameProblem; // why the typed destination file name is not used
    QCheckBox* m_locally;
    QLineEdit* m_localFolder;
    QPushButton* m_browse;
    QCheckBox* m_onlyLocally;
    QComboBox* m_interval;
    QLineEdit* m_seconds;
    NumberField* m_secondsField;
    QCheckBox* m_between;
    QDateEdit* m_dateFrom;
    QDateEdit* m_dateTo;
    QCheckBox* m_betweenTimes;
    QTimeEdit* m_timeFrom;
    QTimeEdit* m_timeTo;
    QCheckBox* m_onlyChanged;
    QLineEdit* m_changeThreshold;
    NumberField* m_changeThresholdField;
    QCheckBox* m_archiveServer;
    QCheckBox* m_archiveLocal;
    QLineEdit* m_archiveName;
    QLabel* m_archiveProblem;
    QLineEdit* m_archiveKeep;
    NumberField* m_archiveKeepField;
    QLineEdit* m_archiveDays;
    NumberField* m_archiveDaysField;
    QCheckBox* m_timestamp;
    QCheckBox* m_textTime;
    StampPreview* m_preview;
    QPushButton* m_font;
    QPushButton* m_backColor;
    QPushButton* m_foreColor;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_rename;
    QPushButton* m_helpButton;
    QPushButton* m_ok;
};
