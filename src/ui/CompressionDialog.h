#pragma once

#include "ui/DriverDialog.h"

class QSpinBox;

// "Movie Compressor": the JPEG quality of each movie frame; "&OK" keeps it for the next movie.
class CompressionDialog final : public DriverDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompressionDialog)

public:
    explicit CompressionDialog(CaptureComponent& capture, QWidget* parent = nullptr);

    void accept() override;

private:
    QSpinBox* m_quality;
};
