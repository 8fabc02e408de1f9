#pragma once

#include "capture/NetworkCamera.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;

// "Add Network Camera": a name, the address (RTSP, HTTP MJPEG stream or HTTP snapshot), the kind
// and an optional user name and password. "&OK" checks the entries and stays open with the
// problem shown until they can be used; the password is never shown.
class NetworkCameraDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkCameraDialog)

public:
    explicit NetworkCameraDialog(QWidget* parent = nullptr);

    // The camera as entered and tidied; meaningful once the dialog was accepted.
    const NetworkCamera& camera() const { return m_camera; }

    void accept() override;

private:
    void addressEdited(const QString& text);

    QLineEdit* m_name;
    QLineEdit* m_address;
    QComboBox* m_kind;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QLabel* m_problem;
    NetworkCamera m_camera;
};
