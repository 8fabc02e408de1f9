#pragma once

#include <QDialog>

class AccountBook;
class AccountListPanel;
class AccountTab;
class CaptureComponent;
class TimelapseService;
class ArchiveTab;
class GeneralTab;
class Help;
class QPushButton;
class QTabWidget;
class SettingsDialogs;

// "Upload Settings" (Form3): the account list and the loaded account's values on five tabs, views
// over the AccountBook. Every edit calls the book's setter for that field at once; the book's
// change signals refresh the controls without saving anything back. Created once and kept; "&OK",
// Escape and the close box hide it.
class UploadSettingsWindow final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadSettingsWindow)

public:
    static constexpr int kTimestampTab = 3;
    static constexpr int kArchiveTab = 4;

    // Loads the account list (the book's loadList) unless it holds rows already.
    UploadSettingsWindow(AccountBook& book, Help& help, SettingsDialogs& dialogs, QWidget* parent = nullptr);
    ~UploadSettingsWindow() override;

    // Where "&Test" looks for and adds SSH host keys; empty for ~/.ssh/known_hosts.
    void setKnownHostsFile(const QString& path);
    // Where the "Camera" choice lists its cameras from; without it only the program's camera.
    void setCameras(const CaptureComponent* capture);
    // Where the Archive tab's "Make timelapse now" goes.
    void setTimelapse(TimelapseService* service);

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

private:
    void refreshControls();
    void confirm();

    AccountBook& m_book;
    Help& m_help;
    AccountListPanel* m_list;
    QTabWidget* m_tabs;
    GeneralTab* m_general;
    ArchiveTab* m_archive = nullptr;
    QList<AccountTab*> m_tabPages;
    QPushButton* m_helpButton;
    QPushButton* m_ok;
};
