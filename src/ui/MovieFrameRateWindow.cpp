#include "ui/MovieFrameRateWindow.h"

#include "help/Help.h"
#include "help/ScreenPlacement.h"
#include "options/ProgramOptions.h"
#include "settings/Regedit.h"
#include "ui/CloseGuard.h"
#include "ui/NumberField.h"
#include "ui/WindowParts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

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
    m_text->setFixedWidth(60);
    m_slider = new QSlider(Qt::Horizontal, frame);
    m_slider->setObjectName(QStringLiteral("sldFrameRate"));
    m_slider->setRange(1, 100);
    m_slider->setValue(kDefaultRate);
    m_textField = new NumberField(
        *m_text, {m_slider->minimum(), m_slider->maximum(), false},
        [this] { return QString::number(m_slider->value()); },
        [this](const QString& text) { m_slider->setValue(text.toInt()); }, this);
    auto* frameLayout = new QGridLayout(frame);
    frameLayout->addWidget(label, 0, 0);
    frameLayout->addWidget(m_text, 0, 1);
    frameLayout->addWidget(m_slider, 1, 0, 1, 2);
    frameLayout->addWidget(m_textField->note(), 2, 0, 1, 2);

    const WindowParts::OkHelpButtons buttons = WindowParts::layOutWithOkHelp(*this, frame);
    m_ok = buttons.ok;
    m_help = buttons.help;

    // The box follows the slider, except while it is typed in (the slider follows it then).
    connect(m_slider, &QSlider::valueChanged, this, [this](int value) {
        if (m_textField->isTyping())
            return;
        m_textField->clearNote();
        m_text->setText(QString::number(value));
    });
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

void MovieFrameRateWindow::confirm()
{
    // Enter confirms without leaving the box: it shows what is stored first.
    m_textField->finish();
    m_store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kStoredName,
                       QString::number(m_slider->value()));
    hide();
    emit mainWindowRequested();
}
