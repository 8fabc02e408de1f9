#include "ui/CompressionDialog.h"

#include "capture/CaptureComponent.h"

#include <QFormLayout>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

CompressionDialog::CompressionDialog(CaptureComponent& capture, QWidget* parent)
    : DriverDialog(capture, QStringLiteral("Movie Compressor"), parent)
{
    setObjectName(QStringLiteral("CompressionDialog"));
    content().addWidget(new QLabel(QStringLiteral("Compressor: Motion JPEG"), this));
    m_quality = new QSpinBox(this);
    m_quality->setObjectName(QStringLiteral("txtQuality"));
    m_quality->setRange(MovieCompression::kMinQuality, MovieCompression::kMaxQuality);
    m_quality->setValue(capture.movieCompression().quality);
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(MovieCompression::kMinQuality, MovieCompression::kMaxQuality);
    slider->setValue(m_quality->value());
    connect(slider, &QSlider::valueChanged, m_quality, &QSpinBox::setValue);
    connect(m_quality, &QSpinBox::valueChanged, slider, &QSlider::setValue);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Quality:"), m_quality);
    form->addRow(QString(), slider);
    content().addLayout(form);
    finishLayout(false);
}

void CompressionDialog::accept()
{
    MovieCompression settings = capture().movieCompression();
    settings.quality = m_quality->value();
    capture().setMovieCompression(settings);
    DriverDialog::accept();
}
