#pragma once

#include "ui/AccountTab.h"

class ConnectionTestRunner;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class SettingsDialogs;

// "&General" (Frame1): server, login and the connection: protocol, passive mode, certificate check,
// SFTP key file, S3 bucket, region and addressing, and "&Test".
class GeneralTab final : public AccountTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GeneralTab)

public:
    GeneralTab(AccountBook& book, SettingsDialogs& dialogs, QWidget* parent = nullptr);

    void setKnownHostsFile(const QString& path);

protected:
    void showAccount(const Account& account) override;

private:
    void chooseKeyFile();

    SettingsDialogs& m_dialogs;
    ConnectionTestRunner* m_tester;
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
    QLineEdit* m_bucket;
    QLineEdit* m_region;
    QCheckBox* m_pathStyle;
    QCheckBox* m_publicRead;
};
