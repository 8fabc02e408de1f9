#include "ui/DisplayDialog.h"

#include "capture/CaptureComponent.h"

#include <QBoxLayout>
#include <QCheckBox>

DisplayDialog::DisplayDialog(CaptureComponent& capture, QWidget* parent)
    : DriverDialog(capture, QStringLiteral("Video Display"), parent)
{
    setObjectName(QStringLiteral("DisplayDialog"));
    m_preview = new QCheckBox(QStringLiteral("Show the live picture"), this);
    m_preview->setObjectName(QStringLiteral("chkPreview"));
    m_preview->setChecked(capture.Preview());
    content().addWidget(m_preview);
    finishLayout(false);
}

void DisplayDialog::accept()
{
    capture().setPreview(m_preview->isChecked());
    DriverDialog::accept();
}
