#pragma once

#include "ui/DriverDialog.h"

class QListWidget;

// "Video Format": the sizes and rates the connected driver offers; "&OK" switches to the chosen
// one, which resizes the live picture.
class FormatDialog final : public DriverDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormatDialog)

public:
    explicit FormatDialog(CaptureComponent& capture, QWidget* parent = nullptr);

    void accept() override;

private:
    QListWidget* m_formats;
};
