#include "ui/SelectDriverWindow.h"

#include "capture/CaptureComponent.h"
#include "common/Prompter.h"
#include "help/Help.h"
#include "help/ScreenPlacement.h"
#include "options/ProgramOptions.h"
#include "settings/Regedit.h"
#include "ui/CaptureDialogs.h"
#include "ui/CloseGuard.h"
#include "ui/WindowParts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

SelectDriverWindow::SelectDriverWindow(CaptureComponent& capture, Regedit& store, Prompter& prompter,
                                       Help& help, CaptureDialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_capture(capture), m_store(store), m_prompter(prompter), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Select Driver"));
    CloseGuard::apply(*this);

    auto* frame = new QGroupBox(kStoredName, this);
    frame->setObjectName(QStringLiteral("Frame1"));
    m_drivers = new QComboBox(frame);
    m_drivers->setObjectName(QStringLiteral("cbDriver"));
    m_drivers->setMinimumContentsLength(28);
    m_addNetwork = WindowParts::button(QStringLiteral("Add &network camera..."),
                                       QStringLiteral("cmdAddNetworkCamera"), frame);
    m_removeNetwork = WindowParts::button(QStringLiteral("&Remove network camera"),
                                          QStringLiteral("cmdRemoveNetworkCamera"), frame);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(m_drivers);
    frameLayout->addLayout(WindowParts::buttonRow({m_addNetwork, m_removeNetwork}));

    const WindowParts::OkHelpButtons buttons = WindowParts::layOutWithOkHelp(*this, frame);
    m_ok = buttons.ok;
    m_help = buttons.help;

    // The stored name is only remembered for the user: the driver at start is the one the
    // capture component reports, so it is not read here.
    connect(m_drivers, &QComboBox::activated, this, &SelectDriverWindow::selectDriver);
    // Cameras come and go while the program runs; a choice may also fail once it was accepted,
    // and the component then connects the previous driver again.
    connect(&m_capture, &CaptureComponent::driversChanged, this, &SelectDriverWindow::listDrivers);
    connect(&m_capture, &CaptureComponent::driverFailed, this,
            [this](int, const QString& reason) { showFailure(reason); });
    connect(m_drivers, &QComboBox::currentIndexChanged, this, &SelectDriverWindow::updateRemoveButton);
    connect(m_addNetwork, &QPushButton::clicked, this, &SelectDriverWindow::addNetworkCamera);
    connect(m_removeNetwork, &QPushButton::clicked, this, &SelectDriverWindow::removeNetworkCamera);
    connect(m_ok, &QPushButton::clicked, this, &SelectDriverWindow::confirm);
    // The chosen driver is in use already: Escape closes the window as "&OK" does.
    WindowParts::closeWithEscape(*this, m_ok);
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
        updateRemoveButton();
        return false;
    }
    for (int i = 0; i < count; ++i)
        m_drivers->addItem(m_capture.DriverName(i));
    m_drivers->setCurrentIndex(m_capture.DriverIndex());
    updateRemoveButton();
    return true;
}

void SelectDriverWindow::selectDriver(int position)
{
    if (m_capture.DriverCount() <= 0 || position < 0)
        return;
    if (const Result<void> chosen = m_capture.setDriverIndex(position); !chosen) {
        // Refused at once: the previous driver was never let go.
        showFailure(chosen.failure().sentence);
        return;
    }
    {
        const QSignalBlocker blocker(m_drivers);
        m_drivers->setCurrentIndex(position);
    }
    updateRemoveButton();
}

void SelectDriverWindow::showFailure(const QString& reason)
{
    {
        const QSignalBlocker blocker(m_drivers);
        m_drivers->setCurrentIndex(m_capture.DriverIndex());
    }
    updateRemoveButton();
    QString text = QStringLiteral("Could not connect to driver!");
    if (!reason.isEmpty()) {
        // The reason as a sentence of its own on a second line.
        QString sentence = reason;
        sentence[0] = sentence[0].toUpper();
        if (!sentence.endsWith(QLatin1Char('.')))
            sentence += QLatin1Char('.');
        text += QLatin1Char('\n') + sentence;
    }
    m_prompter.message(text, Prompter::Icon::None);
}

void SelectDriverWindow::updateRemoveButton()
{
    m_removeNetwork->setEnabled(m_capture.networkCamera(m_drivers->currentIndex()).has_value());
}

void SelectDriverWindow::addNetworkCamera()
{
    const std::optional<NetworkCamera> camera = m_dialogs.networkCamera(this);
    if (!camera)
        return;
    const Result<int> added = m_capture.addNetworkCamera(*camera);
    if (!added) {
        m_prompter.message(added.failure().sentence, Prompter::Icon::Exclamation);
        return;
    }
    // The list follows driversChanged; a new camera is meant to be used, so it is connected.
    listDrivers();
    selectDriver(*added);
}

void SelectDriverWindow::removeNetworkCamera()
{
    const int index = m_drivers->currentIndex();
    const std::optional<NetworkCamera> camera = m_capture.networkCamera(index);
    if (!camera)
        return;
    if (m_prompter.message(QStringLiteral("Remove the network camera \"%1\"?").arg(camera->name),
                           Prompter::Icon::Question, Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return;
    if (const Result<void> removed = m_capture.removeNetworkCamera(index); !removed)
        m_prompter.message(removed.failure().sentence, Prompter::Icon::Exclamation);
    listDrivers();
}

void SelectDriverWindow::confirm()
{
    hide();
    emit mainWindowRequested();
    m_store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kStoredName,
                       m_drivers->currentText());
}
