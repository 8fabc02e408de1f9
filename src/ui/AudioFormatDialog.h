#pragma once

#include "ui/DriverDialog.h"

class QComboBox;

// "Audio Format": the sample rate and channels of movie sound (16-bit PCM); "&OK" keeps them for
// the next movie.
class AudioFormatDialog final : public DriverDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AudioFormatDialog)

public:
    explicit AudioFormatDialog(CaptureComponent& capture, QWidget* parent = nullptr);

    void accept() override;

private:
    QComboBox* m_rate;
    QComboBox* m_channels;
};
