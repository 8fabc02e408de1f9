#include "ui/FormatDialog.h"

#include "capture/CaptureComponent.h"

#include <QBoxLayout>
#include <QLabel>
#include <QListWidget>

FormatDialog::FormatDialog(CaptureComponent& capture, QWidget* parent)
    : DriverDialog(capture, QStringLiteral("Video Format"), parent)
{
    setObjectName(QStringLiteral("FormatDialog"));
    content().addWidget(new QLabel(QStringLiteral("Image size and frame rate:"), this));
    m_formats = new QListWidget(this);
    m_formats->setObjectName(QStringLiteral("lstFormats"));
    for (const VideoFormat& format : capture.videoFormats())
        m_formats->addItem(format.description());
    m_formats->setCurrentRow(capture.videoFormatIndex());
    content().addWidget(m_formats);
    connect(m_formats, &QListWidget::itemDoubleClicked, this, &FormatDialog::accept);
    finishLayout(false);
}

void FormatDialog::accept()
{
    const int row = m_formats->currentRow();
    if (row >= 0 && row != capture().videoFormatIndex())
        keepRefusal(capture().setVideoFormatIndex(row));
    DriverDialog::accept();
}
