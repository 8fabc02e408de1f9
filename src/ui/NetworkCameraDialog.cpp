#include "ui/NetworkCameraDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QLineEdit* lineEdit(const QString& objectName, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    return edit;
}
} // namespace

NetworkCameraDialog::NetworkCameraDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NetworkCameraDialog"));
    setWindowTitle(QStringLiteral("Add Network Camera"));
    m_name = lineEdit(QStringLiteral("txtCameraName"), this);
    m_address = lineEdit(QStringLiteral("txtCameraAddress"), this);
    m_address->setPlaceholderText(QStringLiteral("rtsp://camera/stream or http://camera/video.mjpg"));
    m_address->setMinimumWidth(fontMetrics().horizontalAdvance(m_address->placeholderText()) + 24);
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("cboCameraType"));
    m_kind->addItems(NetworkCamera::kindLabels());
    m_user = lineEdit(QStringLiteral("txtCameraUser"), this);
    m_password = lineEdit(QStringLiteral("txtCameraPassword"), this);
    m_password->setEchoMode(QLineEdit::Password);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("lblCameraProblem"));
    m_problem->setWordWrap(true);
    m_problem->hide();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), m_name);
    form->addRow(QStringLiteral("&Address:"), m_address);
    form->addRow(QStringLiteral("&Type:"), m_kind);
    form->addRow(QStringLiteral("&User (optional):"), m_user);
    form->addRow(QStringLiteral("&Password (optional):"), m_password);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &NetworkCameraDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &NetworkCameraDialog::reject);
    connect(m_address, &QLineEdit::textEdited, this, &NetworkCameraDialog::addressEdited);
}

void NetworkCameraDialog::addressEdited(const QString& text)
{
    // The scheme tells RTSP from HTTP; which of the two HTTP kinds stays the person's choice.
    const QString scheme = QUrl(text.trimmed()).scheme().toLower();
    const bool rtsp = NetworkCamera::kindOf(text) == NetworkCamera::Kind::Rtsp;
    if (rtsp)
        m_kind->setCurrentIndex(int(NetworkCamera::Kind::Rtsp));
    else if (scheme.startsWith(QLatin1String("http")) &&
             m_kind->currentIndex() == int(NetworkCamera::Kind::Rtsp))
        m_kind->setCurrentIndex(int(NetworkCamera::Kind::MjpegStream));
}

void NetworkCameraDialog::accept()
{
    NetworkCamera camera;
    camera.name = m_name->text();
    camera.address = m_address->text();
    camera.kind = NetworkCamera::Kind(m_kind->currentIndex());
    camera.user = m_user->text();
    camera.password = m_password->text();
    const Result<NetworkCamera> tidied = NetworkCamera::tidy(camera);
    if (!tidied) {
        m_problem->setText(tidied.failure().sentence);
        m_problem->show();
        return;
    }
    m_camera = *tidied;
    QDialog::accept();
}
