#include "app/WindowedProgram.h"

#include "app/CommandLine.h"
#include "app/ProgramCapture.h"
#include "app/TerminationSignals.h"
#include "common/AppPaths.h"
#include "common/ProgramIcon.h"
#include "help/Help.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxPrompter.h"
#include "ui/ProgramEnd.h"
#include "ui/QtCaptureDialogs.h"
#include "ui/QtSettingsDialogs.h"
#include "ui/SingleInstance.h"
#include "ui/StatusPanels.h"
#include "ui/TrayHost.h"
#include "ui/TrayStatus.h"
#include "ui/VideoView.h"
#include "upload/UploadCycle.h"
#include "upload/UploadEngine.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {
// For measurements and screenshots: VELMORA_SCREENSHOT=file.png saves the main window once the
// first frame is on screen, VELMORA_EXIT_AFTER_FIRST_FRAME=1 then ends the program.
void watchFirstFrame(MainWindow& window, const std::function<void()>& endNow)
{
    const QString screenshot = qEnvironmentVariable("VELMORA_SCREENSHOT");
    const bool exitAfter = qEnvironmentVariableIntValue("VELMORA_EXIT_AFTER_FIRST_FRAME") == 1;
    if (screenshot.isEmpty() && !exitAfter)
        return;
    QObject::connect(
        &window.videoView(), &VideoView::firstFramePainted, &window,
        [&window, screenshot, exitAfter, endNow] {
            if (!screenshot.isEmpty())
                window.grab().save(screenshot);
            if (exitAfter) {
                std::fputs("first frame painted\n", stdout);
                std::fflush(stdout);
                endNow();
            }
        },
        Qt::QueuedConnection); // after the paint: grabbing repaints the window
}
} // namespace

namespace WindowedProgram {
int run(const CommandLine& commandLine, int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    // Every window and message box carries the program's icon; the desktop matches the windows
    // to velmora.desktop (and so to the icon in the icon theme).
    QApplication::setWindowIcon(ProgramIcon::icon());
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
    // Windows hide to the tray; only an explicit end stops the program.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance(SingleInstance::runtimeFolder(commandLine.workDir()), commandLine.storePath());
    if (!instance.acquire()) {
        if (!instance.askToShow())
            std::fputs("velmora: another Velmora is starting or not answering\n", stderr);
        return 0;
    }

    MessageBoxPrompter prompter;
    StatusPanels status;
    UploadEngine engine(
        {commandLine.storePath(), commandLine.workDir()}, prompter, status, [] { QApplication::beep(); },
        makeProgramCapture(commandLine));
    // The windows are shown all the same; the status bar and the FTP log say that this program
    // does not upload.
    if (!engine.isUploader())
        std::fprintf(stderr,
                     "velmora: another Velmora program uploads with the settings store %s; this one shows "
                     "its windows but does not upload\n",
                     qPrintable(commandLine.storePath()));
    Help help(AppPaths::dataFolder());
    QtSettingsDialogs dialogs;
    QtCaptureDialogs captureDialogs;
    // exit(), not quit(): quit() would first ask every window to close, and the main window
    // answers a close in tray mode by hiding.
    ProgramEnd end(engine, [](int exitStatus) { QCoreApplication::exit(exitStatus); });
    const std::function<void()> endNow = [&end] { end.request(); };

    std::unique_ptr<MainWindow> mainWindow;
    const TrayHost* trayHost = nullptr;
    auto ensureMainWindow = [&]() -> MainWindow& {
        if (!mainWindow) {
            mainWindow = std::make_unique<MainWindow>(MainWindow::Dependencies{
                engine, prompter, help, dialogs, captureDialogs, status,
                QCoreApplication::applicationFilePath(), AppPaths::dataFolder(), endNow});
            watchFirstFrame(*mainWindow, endNow);
            if (trayHost)
                mainWindow->setTrayPresence([trayHost] { return trayHost->hasIcon(); });
        }
        return *mainWindow;
    };
    TrayHost tray(engine.options(), ensureMainWindow, endNow);
    trayHost = &tray;
    TrayStatus trayStatus(engine.monitor(), engine.options(), tray);

    QObject::connect(&instance, &SingleInstance::showRequested, &tray,
                     [&] { ensureMainWindow().showWindow(); });
    // The close-after option ends the program at once, without the closing steps.
    QObject::connect(&engine.cycle(), &UploadCycle::quitRequested, &end, &ProgramEnd::request);
    QObject::connect(&end, &ProgramEnd::requested, &tray, [&tray] { tray.icon().hide(); });
    // SIGINT, SIGTERM and SIGHUP (the session ending, a service manager, a closed terminal) end the
    // program like the tray's Exit, without storing the window size.
    TerminationSignals terminations;
    QObject::connect(&terminations, &TerminationSignals::received, &end, &ProgramEnd::request);

    QTimer::singleShot(0, &tray, &TrayHost::start);
    const int exitCode = app.exec();
    mainWindow.reset();
    return exitCode;
}
} // namespace WindowedProgram
