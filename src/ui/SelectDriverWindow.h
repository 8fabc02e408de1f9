#pragma once

#include <QWidget>

class CaptureComponent;
class CaptureDialogs;
class Help;
class Prompter;
class QComboBox;
class QPushButton;
class Regedit;

// "Select Driver" (Form2): the list of capture drivers, kept up to date as cameras come and go;
// choosing an entry connects that driver at once. A driver that cannot be connected puts the
// previous one back, with one message that says why. Network cameras are added (and connected)
// and removed here. Created once, hidden and shown; "&OK" is its only way out.
class SelectDriverWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelectDriverWindow)

public:
    static inline const QString kStoredName = QStringLiteral("Select the driver you want to use:");
    static inline const QString kNoDriver = QStringLiteral("<none>");

    SelectDriverWindow(CaptureComponent& capture, Regedit& store, Prompter& prompter, Help& help,
                       CaptureDialogs& dialogs, QWidget* parent = nullptr);

    // The main window's load: lists the drivers and selects the connected one. Without drivers
    // the list shows "<none>" and the result is false.
    bool fillDrivers();
    // What choosing entry position in the list does.
    void selectDriver(int position);
    // "&OK": hides the window, asks for the main window and remembers the driver's name.
    void confirm();
    // "Add &network camera...": asks for the camera, lists it and connects it.
    void addNetworkCamera();
    // "&Remove network camera": removes the network camera shown in the list, after asking.
    void removeNetworkCamera();

signals:
    void mainWindowRequested();

private:
    // Lists the drivers and selects the connected one; false without drivers.
    bool listDrivers();
    void showFailure(const QString& reason);
    void updateRemoveButton();

    CaptureComponent& m_capture;
    Regedit& m_store;
    Prompter& m_prompter;
    CaptureDialogs& m_dialogs;
    QComboBox* m_drivers;
    QPushButton* m_addNetwork;
    QPushButton* m_removeNetwork;
    QPushButton* m_ok;
    QPushButton* m_help;
};
