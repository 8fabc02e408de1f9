#pragma once

#include "ui/AccountTab.h"

class CaptureComponent;
class ConnectionTestRunner;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class SettingsDialogs;

// "&General" (Frame1): server, login and the connection: protocol, passive mode, certificate check,
// SFTP key file, S3 bucket, region and addressing, "&Test", and the camera the account uploads from.
class GeneralTab final : public AccountTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GeneralTab)

public:
    GeneralTab(AccountBook& book, SettingsDialogs& dialogs, QWidget* parent = nullptr);

    void setKnownHostsFile(const QString& path);
    // The cameras "Camera" offers: the capture component's drivers (by identity).
    void setCameras(const CaptureComponent* capture);

    static inline const QString kProgramCamera = QStringLiteral("The program's camera");

protected:
    void showAccount(const Account& account) override;

private:
    void chooseKeyFile();
    // Lists the program's camera, every driver, and the account's camera when it is not listed.
    void fillCameras(const QString& current);

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
    QComboBox* m_camera;
    const CaptureComponent* m_capture = nullptr;
};
