#pragma once

#include <QWidget>

class CaptureComponent;
class Help;
class Prompter;
class QComboBox;
class QPushButton;
class Regedit;

// "Select Driver" (Form2): the list of capture drivers, kept up to date as cameras come and go;
// choosing an entry connects that driver at once. A driver that cannot be connected puts the
// previous one back, with one message. Created once, hidden and shown; "&OK" is its only way out.
class SelectDriverWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelectDriverWindow)

public:
    static inline const QString kStoredName = QStringLiteral("Select the driver you want to use:");
    static inline const QString kNoDriver = QStringLiteral("<none>");

    SelectDriverWindow(CaptureComponent& capture, Regedit& store, Prompter& prompter, Help& help,
                       QWidget* parent = nullptr);

    // The main window's load: lists the drivers and selects the connected one. Without drivers
    // the list shows "<none>" and the result is false.
    bool fillDrivers();
    // What choosing entry position in the list does.
    void selectDriver(int position);
    // "&OK": hides the window, asks for the main window and remembers the driver's name.
    void confirm();

signals:
    void mainWindowRequested();

private:
    // Lists the drivers and selects the connected one; false without drivers.
    bool listDrivers();
    void showFailure();

    CaptureComponent& m_capture;
    Regedit& m_store;
    Prompter& m_prompter;
    QComboBox* m_drivers;
    QPushButton* m_ok;
    QPushButton* m_help;
};
