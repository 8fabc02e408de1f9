#pragma once

#include "ui/DriverDialog.h"

// "Video Source": the connected driver's adjustable settings as sliders and choices; each change
// takes effect at once.
class SourceDialog final : public DriverDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourceDialog)

public:
    explicit SourceDialog(CaptureComponent& capture, QWidget* parent = nullptr);
};
