#pragma once

#include <QString>
#include <QStringList>

// The program's command line:
//   velmora [--store FILE] [--workdir DIR] [--test-pattern] [COMMAND ARGS...]
//   velmora [options] --upload-now | --headless
// Options come before a command; the only command is "reg" (the store tool). Without a command
// or a mode the program runs with its windows. Qt's own options (-style, -platform, -reverse, ...)
// are left to Qt.
class CommandLine final
{
public:
    enum class Mode { Program, UploadNow, Headless, Reg, Help, Version, UsageError };

    // arguments as QCoreApplication::arguments() gives them, program name first.
    static CommandLine parse(const QStringList& arguments);
    static QString usage();

    Mode mode() const { return m_mode; }
    // The settings store: --store, else $VELMORA_STORE, else the user's config folder.
    QString storePath() const;
    // The working folder: --workdir, else the user's data folder.
    QString workDir() const;
    bool testPattern() const { return m_testPattern; }
    // The words after the command name.
    const QStringList& commandArguments() const { return m_commandArguments; }
    const QString& error() const { return m_error; }

private:
    Mode m_mode = Mode::Program;
    QString m_store;
    QString m_workDir;
    bool m_testPattern = false;
    QStringList m_commandArguments;
    QString m_error;
};
