#include "ui/SourceDialog.h"

#include "capture/CaptureComponent.h"

#include <QBoxLayout>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

namespace {
void paintSwatch(QPushButton& button, int rgb)
{
    button.setText(QColor::fromRgb(QRgb(rgb)).name());
    button.setStyleSheet(QStringLiteral("background-color: %1").arg(QColor::fromRgb(QRgb(rgb)).name()));
}
} // namespace

SourceDialog::SourceDialog(CaptureComponent& capture, QWidget* parent)
    : DriverDialog(capture, QStringLiteral("Video Source"), parent)
{
    setObjectName(QStringLiteral("SourceDialog"));
    auto* form = new QFormLayout;
    content().addLayout(form);
    const QList<CaptureControl> controls = capture.controls();
    if (controls.isEmpty())
        form->addRow(new QLabel(QStringLiteral("The driver offers no settings."), this));
    for (const CaptureControl& control : controls) {
        const QString name = control.name;
        switch (control.kind) {
        case CaptureControl::Kind::Range: {
            auto* slider = new QSlider(Qt::Horizontal, this);
            slider->setObjectName(name);
            slider->setRange(control.minimum, control.maximum);
            slider->setValue(control.value);
            slider->setMinimumWidth(200);
            connect(slider, &QSlider::valueChanged, this,
                    [this, name](int value) { this->capture().setControl(name, value); });
            form->addRow(control.label, slider);
            break;
        }
        case CaptureControl::Kind::Choice: {
            auto* box = new QComboBox(this);
            box->setObjectName(name);
            box->addItems(control.choices);
            box->setCurrentIndex(control.value);
            connect(box, &QComboBox::currentIndexChanged, this,
                    [this, name](int value) { this->capture().setControl(name, value); });
            form->addRow(control.label, box);
            break;
        }
        case CaptureControl::Kind::Colour: {
            auto* button = new QPushButton(this);
            button->setObjectName(name);
            paintSwatch(*button, control.value);
            connect(button, &QPushButton::clicked, this, [this, name, button] {
                const QColor chosen = QColorDialog::getColor(QColor(button->text()), this);
                if (!chosen.isValid())
                    return;
                const int rgb = int(chosen.rgb() & 0xFFFFFF);
                paintSwatch(*button, rgb);
                this->capture().setControl(name, rgb);
            });
            form->addRow(control.label, button);
            break;
        }
        }
    }
    finishLayout(true);
}
