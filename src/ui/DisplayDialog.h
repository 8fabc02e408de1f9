#pragma once

#include "ui/DriverDialog.h"

class QCheckBox;

// "Video Display": how the live picture is shown; "&OK" applies it.
class DisplayDialog final : public DriverDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DisplayDialog)

public:
    explicit DisplayDialog(CaptureComponent& capture, QWidget* parent = nullptr);

    void accept() override;

private:
    QCheckBox* m_preview;
};
