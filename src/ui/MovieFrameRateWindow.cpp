#include "ui/MovieFrameRateWindow.h"

#include "help/Help.h"
#include "help/ScreenPlacement.h"
#include "options/ProgramOptions.h"
#include "settings/Regedit.h"
#include "ui/CloseGuard.h"
#include "ui/WindowParts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

MovieFrameRateWindow::MovieFrameRateWindow(Regedit& store, Help& help, QWidget* parent)
    : QWidget(parent), m_store(store)
{
    setObjectName(QStringLiteral("movieframerate"));
    setWindowTitle(QStringLiteral("Movie Frame Rate"));
    CloseGuard::apply(*this);

    auto* frame = new QGroupBox(QStringLiteral("Movie capturing:"), this);
    frame->setObjectName(QStringLiteral("frameMovie"));
    auto* label = new QLabel(QStringLiteral("Frame Rate:"), frame);
    label->setObjectName(QStringLiteral("lblFrameRate"));
    m_text = new QLineEdit(QString::number(kDefaultRate), frame);
    m_text->setObjectName(QStringLiteral("txtFrameRate"));
    m_text->setMaximumWidth(60);
    m_slider = new QSlider(Qt::Horizontal, frame);
    m_slider->setObjectName(QStringLiteral("sldFrameRate"));
    m_slider->setRange(1, 100);
    m_slider->setValue(kDefaultRate);
    auto* frameLayout = new QGridLayout(frame);
    frameLayout->addWidget(label, 0, 0);
    frameLayout->addWidget(m_text, 0, 1);
    frameLayout->addWidget(m_slider, 1, 0, 1, 2);

    const WindowParts::OkHelpButtons buttons = WindowParts::layOutWithOkHelp(*this, frame);
    m_ok = buttons.ok;
    m_help = buttons.help;

    connect(m_slider, &QSlider::valueChanged, this,
            [this](int value) { m_text->setText(QString::number(value)); });
    connect(m_text, &QLineEdit::textChanged, this, &MovieFrameRateWindow::applyText);
    connect(m_ok, &QPushButton::clicked, this, &MovieFrameRateWindow::confirm);
    connect(m_help, &QPushButton::clicked, &help,
            [&help] { help.ShowHelpTopic(QStringLiteral("framerate")); });

    // An absent or unreadable value reads as 0 and means the default.
    const int stored = m_store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kStoredName)
                           .value_or(QString())
                           .trimmed()
                           .toInt();
    m_slider->setValue(stored == 0 ? kDefaultRate : stored);
    m_text->setText(QString::number(m_slider->value()));
    ScreenPlacement::centreOnScreen(*this);
}

int MovieFrameRateWindow::frameRate() const
{
    return m_slider->value();
}

void MovieFrameRateWindow::applyText(const QString& text)
{
    bool isNumber = false;
    const double number = text.trimmed().toDouble(&isNumber);
    if (!isNumber) {
        // Not a number at all: the box shows the slider's value again.
        m_text->setText(QString::number(m_slider->value()));
        return;
    }
    // A number outside the slider's range leaves both as they are; OK stores the slider.
    const double rounded = std::round(number);
    if (!(rounded >= m_slider->minimum() && rounded <= m_slider->maximum()))
        return;
    m_slider->setValue(int(rounded));
}

void MovieFrameRateWindow::confirm()
{
    m_store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kStoredName,
                       QString::number(m_slider->value()));
    hide();
    emit mainWindowRequested();
}
