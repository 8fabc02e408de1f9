#include "ui/SelectDriverWindow.h"

#include "capture/CaptureComponent.h"
#include "capture/CaptureError.h"
#include "common/Prompter.h"
#include "help/Help.h"
#include "help/ScreenPlacement.h"
#include "options/ProgramOptions.h"
#include "settings/Regedit.h"
#include "ui/CloseGuard.h"
#include "ui/WindowParts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

SelectDriverWindow::SelectDriverWindow(CaptureComponent& capture, Regedit& store, Prompter& prompter,
                                       Help& help, QWidget* parent)
    : QWidget(parent), m_capture(capture), m_store(store), m_prompter(prompter)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Select Driver"));
    CloseGuard::apply(*this);

    auto* frame = new QGroupBox(kStoredName, this);
    frame->setObjectName(QStringLiteral("Frame1"));
    m_drivers = new QComboBox(frame);
    m_drivers->setObjectName(QStringLiteral("cbDriver"));
    m_drivers->setMinimumContentsLength(28);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(m_drivers);

    const WindowParts::OkHelpButtons buttons = WindowParts::layOutWithOkHelp(*this, frame);
    m_ok = buttons.ok;
    m_help = buttons.help;

    // The stored name is only remembered for the user: the driver at start is the one the
    // capture component reports, so it is not read here.
    connect(m_drivers, &QComboBox::activated, this, &SelectDriverWindow::selectDriver);
    // Cameras come and go while the program runs; a choice may also fail once it was accepted,
    // and the component then connects the previous driver again.
    connect(&m_capture, &CaptureComponent::driversChanged, this, &SelectDriverWindow::listDrivers);
    connect(&m_capture, &CaptureComponent::driverFailed, this, &SelectDriverWindow::showFailure);
    connect(m_ok, &QPushButton::clicked, this, &SelectDriverWindow::confirm);
    connect(m_help, &QPushButton::clicked, &help, [&help] { help.ShowHelpTopic(QStringLiteral("driver")); });
    ScreenPlacement::centreOnScreen(*this);
}

bool SelectDriverWindow::fillDrivers()
{
    if (!listDrivers())
        return false;
    const int current = m_capture.DriverIndex();
    // A driver the load connected already is not connected a second time; otherwise selecting
    // it connects it.
    if (current >= 0 && !m_capture.isConnected())
        selectDriver(current);
    return true;
}

bool SelectDriverWindow::listDrivers()
{
    const QSignalBlocker blocker(m_drivers);
    m_drivers->clear();
    const int count = m_capture.DriverCount();
    if (count <= 0) {
        m_drivers->addItem(kNoDriver);
        m_drivers->setCurrentIndex(0);
        return false;
    }
    for (int i = 0; i < count; ++i)
        m_drivers->addItem(m_capture.DriverName(i));
    m_drivers->setCurrentIndex(m_capture.DriverIndex());
    return true;
}

void SelectDriverWindow::selectDriver(int position)
{
    if (m_capture.DriverCount() <= 0 || position < 0)
        return;
    try {
        m_capture.setDriverIndex(position);
        const QSignalBlocker blocker(m_drivers);
        m_drivers->setCurrentIndex(position);
    } catch (const CaptureError&) {
        // Refused at once: the previous driver was never let go.
        showFailure();
    }
}

void SelectDriverWindow::showFailure()
{
    {
        const QSignalBlocker blocker(m_drivers);
        m_drivers->setCurrentIndex(m_capture.DriverIndex());
    }
    m_prompter.message(QStringLiteral("Could not connect to driver!"), Prompter::Icon::None);
}

void SelectDriverWindow::confirm()
{
    hide();
    emit mainWindowRequested();
    m_store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kStoredName,
                       m_drivers->currentText());
}
