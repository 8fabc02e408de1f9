#include "ui/DriverDialog.h"

#include "capture/CaptureComponent.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

DriverDialog::DriverDialog(CaptureComponent& capture, const QString& title, QWidget* parent)
    : QDialog(parent), m_capture(capture)
{
    setWindowTitle(title);
    setModal(true);
    m_content = new QVBoxLayout;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_content);
}

void DriverDialog::finishLayout(bool live)
{
    auto* buttons = new QDialogButtonBox(this);
    if (live) {
        buttons->addButton(QStringLiteral("&Close"), QDialogButtonBox::AcceptRole)
            ->setObjectName(QStringLiteral("cmdClose"));
    } else {
        buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole)
            ->setObjectName(QStringLiteral("cmdOK"));
        buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole)
            ->setObjectName(QStringLiteral("cmdCancel"));
    }
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    static_cast<QVBoxLayout*>(layout())->addWidget(buttons);
}

void DriverDialog::keepRefusal(const Result<void>& change)
{
    if (!change)
        m_error = change.failure().sentence;
}
