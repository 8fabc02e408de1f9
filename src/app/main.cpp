#include "app/CommandLine.h"
#include "app/RegTool.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {
int runRegTool(const CommandLine& commandLine)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RegTool(commandLine.storePath(), out, err).run(commandLine.commandArguments());
}

// The program with its windows, and the headless modes, start here.
int runProgram(const CommandLine&)
{
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::parse(arguments);

    switch (commandLine.mode()) {
    case CommandLine::Mode::Help:
        std::fputs(qPrintable(CommandLine::usage()), stdout);
        return 0;
    case CommandLine::Mode::UsageError:
        std::fprintf(stderr, "velmora: %s\n%s", qPrintable(commandLine.error()),
                     qPrintable(CommandLine::usage()));
        return RegTool::kUsage;
    case CommandLine::Mode::Reg: {
        QCoreApplication app(argc, argv);
        return runRegTool(commandLine);
    }
    case CommandLine::Mode::Program:
        break;
    }
    return runProgram(commandLine);
}
