#pragma once

#include "help/SystemInfoTool.h"

#include <QDialog>
#include <QString>

#include <functional>

class Prompter;
class QLabel;
class QPushButton;
class QToolButton;
class QUrl;

// The About box: version, credits and the contact points the build names. The main window hides
// it and shows it modal (exec()); "OK" hides it and asks for the main window.
class AboutBox final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutBox)

public:
    struct Contacts
    {
        QString webAddress;
        QString mailAddress;
        static Contacts fromBuild();
    };
    using UrlOpener = std::function<bool(const QUrl&)>;

    explicit AboutBox(Prompter& prompter, SystemInfoTool systemInfo = SystemInfoTool(),
                      Contacts contacts = Contacts::fromBuild(), QWidget* parent = nullptr);

    // Replaces QDesktopServices::openUrl, for tests.
    void setUrlOpener(UrlOpener opener);

    // "&System Info...": starts the tool or says it is unavailable.
    void showSystemInformation();

signals:
    // "OK" was pressed: the main window is to be shown (also when it sits in the tray).
    void mainWindowRequested();

private:
    void openWebSite();
    void openAddress(const QString& address);

    Prompter& m_prompter;
    SystemInfoTool m_systemInfo;
    Contacts m_contacts;
    UrlOpener m_openUrl;
};
