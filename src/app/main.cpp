#include "app/CommandLine.h"
#include "app/ConsolePrompter.h"
#include "app/HeadlessRun.h"
#include "app/ProgramCapture.h"
#include "app/RegTool.h"
#include "app/WindowedProgram.h"
#include "common/AppPaths.h"
#include "help/BuildInfo.h"
#include "upload/UploadEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

namespace {
int runRegTool(const CommandLine& commandLine)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RegTool(commandLine.storePath(), out, err).run(commandLine.commandArguments());
}

int runHeadless(const CommandLine& commandLine, int argc, char** argv)
{
    // No windows, but the stamp needs fonts and painting: the offscreen platform gives both
    // without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ConsolePrompter prompter;
    HeadlessRun run;
    UploadEngine engine(
        {commandLine.storePath(), commandLine.workDir()}, prompter, run, [] { std::fputs("\a", stderr); },
        makeProgramCapture(commandLine));
    // Another program uploads with this store: a second uploader would send every picture twice.
    if (!engine.isUploader()) {
        std::fprintf(stderr,
                     "velmora: another Velmora program uploads with the settings store %s; not uploading\n",
                     qPrintable(commandLine.storePath()));
        return 1;
    }
    run.attach(engine);
    return commandLine.mode() == CommandLine::Mode::UploadNow ? run.uploadNow() : run.runScheduler();
}
} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);

    switch (commandLine.mode()) {
    case CommandLine::Mode::Help: {
        QCoreApplication app(argc, argv); // the help folder is found from the program's own place
        std::fputs(qPrintable(CommandLine::usage()), stdout);
        std::printf("Help pages: %s\n",
                    qPrintable(QDir(AppPaths::dataFolder()).filePath(QStringLiteral("Help/HTML"))));
        return 0;
    }
    case CommandLine::Mode::Version:
        std::printf("velmora %s\n", qPrintable(BuildInfo::programVersion()));
        return 0;
    case CommandLine::Mode::UsageError:
        std::fprintf(stderr, "velmora: %s\n%s", qPrintable(commandLine.error()),
                     qPrintable(CommandLine::usage()));
        return RegTool::kUsage;
    case CommandLine::Mode::Reg: {
        QCoreApplication app(argc, argv);
        return runRegTool(commandLine);
    }
    case CommandLine::Mode::UploadNow:
    case CommandLine::Mode::Headless:
        return runHeadless(commandLine, argc, argv);
    case CommandLine::Mode::Program:
        break;
    }
    return WindowedProgram::run(commandLine, argc, argv);
}
