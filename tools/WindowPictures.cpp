#include "capture/GstCaptureComponent.h"
#include "common/AppPaths.h"
#include "common/ProgramIcon.h"
#include "help/AboutBox.h"
#include "help/Help.h"
#include "help/HelpWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageBoxPrompter.h"
#include "ui/MovieFrameRateWindow.h"
#include "ui/ProgramConfigWindow.h"
#include "ui/QtCaptureDialogs.h"
#include "ui/QtSettingsDialogs.h"
#include "ui/SelectDriverWindow.h"
#include "ui/StatusPanels.h"
#include "ui/UploadSettingsWindow.h"
#include "ui/VideoView.h"
#include "upload/UploadCycle.h"
#include "upload/UploadEngine.h"
#include "upload/UploadMonitor.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

// Pictures of the program's own windows for the help pages, made by the program's own code on a
// fresh store with the test picture as camera: the pages show the windows as they are. Run by
// scripts/help-pictures.sh on the offscreen platform; the test suite runs it too and compares the
// pictures' sizes with the committed ones, so a changed window asks for new pictures.
namespace {
// The notification area's icon in its three states, each with the tooltip the program gives it,
// from the program's own monitor fed with uploads of an account (no server is asked).
std::unique_ptr<QWidget> trayStates(UploadEngine& engine)
{
    UploadMonitor& monitor = engine.monitor();
    UploadCycle& cycle = engine.cycle();
    const QDateTime at(QDate::currentDate(), QTime(10, 15, 0));
    const QString account = QStringLiteral("My Account");
    const QString refused = QStringLiteral("Couldn't connect to server\nServer: 530 Login incorrect.");

    auto picture = std::make_unique<QWidget>();
    picture->setObjectName(QStringLiteral("TrayStates"));
    auto* grid = new QGridLayout(picture.get());
    int row = 0;
    const auto addState = [&](ProgramIcon::Badge badge) {
        auto* icon = new QLabel;
        icon->setPixmap(QPixmap::fromImage(ProgramIcon::image(32, badge)));
        icon->setAlignment(Qt::AlignTop);
        auto* tip = new QLabel(monitor.toolTip());
        tip->setStyleSheet(
            QStringLiteral("QLabel { background: palette(tooltip-base); color: palette(tooltip-text); "
                           "border: 1px solid palette(mid); padding: 4px; }"));
        grid->addWidget(icon, row, 0);
        grid->addWidget(tip, row, 1);
        ++row;
    };
    emit cycle.finished({UploadCycle::Outcome::Delivered, true, {}, account, at});
    addState(ProgramIcon::Badge::None);
    emit cycle.started(account);
    addState(ProgramIcon::Badge::Uploading);
    for (int n = 0; n < 3; ++n)
        emit cycle.finished(
            {UploadCycle::Outcome::NotConnected, false, refused, account, at.addSecs(60 * (n + 1))});
    addState(ProgramIcon::Badge::Failing);
    grid->setColumnStretch(1, 1);
    return picture;
}

bool save(QWidget& window, const QDir& folder, const QString& name)
{
    window.show();
    const QString path = folder.filePath(QStringLiteral("Window-%1.png").arg(name));
    if (window.grab().save(path, "PNG"))
        return true;
    std::fprintf(stderr, "velmora_window_pictures: cannot write %s\n", qPrintable(path));
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: velmora_window_pictures FOLDER\n", stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder.path());
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;

    MessageBoxPrompter prompter;
    StatusPanels status;
    const QString work = scratch.filePath(QStringLiteral("work"));
    UploadEngine engine(
        {scratch.filePath(QStringLiteral("store.db")), work}, prompter, status, [] {},
        std::make_unique<GstCaptureComponent>(work, true));
    Help help(AppPaths::dataFolder());
    QtSettingsDialogs dialogs;
    QtCaptureDialogs captureDialogs;
    MainWindow window(MainWindow::Dependencies{engine, prompter, help, dialogs, captureDialogs, status,
                                               QCoreApplication::applicationFilePath(),
                                               AppPaths::dataFolder(), [] {}});
    window.setTrayPresence([] { return true; });

    int result = 1;
    auto takePictures = [&] {
        AboutBox about(prompter, SystemInfoTool({}, {}), AboutBox::Contacts{});
        const bool saved =
            save(window, folder, QStringLiteral("Main")) &&
            save(window.selectDriverWindow(), folder, QStringLiteral("SelectDriver")) &&
            save(window.movieFrameRateWindow(), folder, QStringLiteral("MovieFrameRate")) &&
            save(window.uploadSettingsWindow(), folder, QStringLiteral("UploadSettings")) &&
            save(window.programConfigWindow(), folder, QStringLiteral("ProgramConfiguration")) &&
            save(help.ensureWindow(), folder, QStringLiteral("Help")) &&
            save(about, folder, QStringLiteral("About")) &&
            save(*trayStates(engine), folder, QStringLiteral("Tray"));
        result = saved ? 0 : 1;
        QCoreApplication::exit(result);
    };
    // The main window is taken once the camera's first frame is on screen.
    QObject::connect(&window.videoView(), &VideoView::firstFramePainted, &window, takePictures,
                     Qt::QueuedConnection);
    QTimer::singleShot(30000, &app, [] {
        std::fputs("velmora_window_pictures: no camera picture within 30 s\n", stderr);
        QCoreApplication::exit(1);
    });
    window.showWindow();
    app.exec();
    return result;
}
