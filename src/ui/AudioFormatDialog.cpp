#include "ui/AudioFormatDialog.h"

#include "capture/CaptureComponent.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>

AudioFormatDialog::AudioFormatDialog(CaptureComponent& capture, QWidget* parent)
    : DriverDialog(capture, QStringLiteral("Audio Format"), parent)
{
    setObjectName(QStringLiteral("AudioFormatDialog"));
    const AudioFormat current = capture.audioFormat();
    m_rate = new QComboBox(this);
    m_rate->setObjectName(QStringLiteral("cboRate"));
    for (int rate : AudioFormat::rates())
        m_rate->addItem(QStringLiteral("%1 Hz").arg(rate), rate);
    m_rate->setCurrentIndex(std::max(0, m_rate->findData(current.rate)));
    m_channels = new QComboBox(this);
    m_channels->setObjectName(QStringLiteral("cboChannels"));
    m_channels->addItem(QStringLiteral("Mono"), 1);
    m_channels->addItem(QStringLiteral("Stereo"), 2);
    m_channels->setCurrentIndex(current.channels == 1 ? 0 : 1);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Sample rate:"), m_rate);
    form->addRow(QStringLiteral("Channels:"), m_channels);
    form->addRow(QString(), new QLabel(QStringLiteral("%1-bit PCM").arg(AudioFormat::kBitsPerSample), this));
    content().addLayout(form);
    finishLayout(false);
}

void AudioFormatDialog::accept()
{
    AudioFormat format = capture().audioFormat();
    format.rate = m_rate->currentData().toInt();
    format.channels = m_channels->currentData().toInt();
    capture().setAudioFormat(format);
    DriverDialog::accept();
}
