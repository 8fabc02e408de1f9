#pragma once

#include "ScriptedPrompter.h"
#include "capture/GstCaptureComponent.h"
#include "help/Help.h"
#include "ui/MainWindow.h"
#include "ui/QtCaptureDialogs.h"
#include "ui/QtSettingsDialogs.h"
#include "ui/StatusPanels.h"
#include "upload/UploadEngine.h"

#include <QTemporaryDir>

#include <memory>

// The program's core and main window as the windowed program builds them, on a fresh store, with
// the GStreamer capture component (the test pattern with testPattern), for benchmarks.
struct BenchWindow
{
    explicit BenchWindow(bool testPattern)
        : engine(
              {dir.filePath(QStringLiteral("store.db")), dir.filePath(QStringLiteral("work"))}, prompter,
              status, [] {},
              std::make_unique<GstCaptureComponent>(dir.filePath(QStringLiteral("work")), testPattern)),
          window(MainWindow::Dependencies{engine, prompter, help, dialogs, captureDialogs, status, QString(),
                                          dir.path(), [] {}})
    {
    }

    QTemporaryDir dir;
    ScriptedPrompter prompter;
    StatusPanels status;
    QtSettingsDialogs dialogs; // never opened
    QtCaptureDialogs captureDialogs;
    Help help{dir.path()};
    UploadEngine engine;
    MainWindow window;
};
