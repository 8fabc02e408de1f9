#pragma once

#include "ui/AccountTab.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SettingsDialogs;

// "&Destination" (Frame3): the remote folder and file name, the local copy, "Safe replace".
class DestinationTab final : public AccountTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DestinationTab)

public:
    DestinationTab(AccountBook& book, SettingsDialogs& dialogs, QWidget* parent = nullptr);

protected:
    void showAccount(const Account& account) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows why name cannot be a destination file name, or hides the note; true when it can.
    bool showFileNameProblem(const QString& name);
    void browseLocalFolder();

    SettingsDialogs& m_dialogs;
    QLineEdit* m_folder;
    QLineEdit* m_fileName;
    QLabel* m_fileNameProblem; // why the typed destination file name is not used
    QCheckBox* m_locally;
    QLineEdit* m_localFolder;
    QPushButton* m_browse;
    QCheckBox* m_onlyLocally;
    QCheckBox* m_safeReplace;
};
