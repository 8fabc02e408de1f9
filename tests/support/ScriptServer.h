#pragma once

#include "ChildProcess.h"

#include <QString>
#include <QStringList>

// The test servers written in Python (tests/support/*.py): each prints "PORT <n>" once it listens.
namespace ScriptServer {
// VELMORA_PYTHON, else the system's python3 (the one with the Debian test packages).
QString python();
// Starts script with arguments in process and waits (ten seconds at most) for its port; 0 with
// what went wrong in error when it does not listen. Started with fork and exec: see ChildProcess.
int start(ChildProcess& process, const QString& script, const QStringList& arguments, QString* error);
// Kills the process and waits for its end.
void stop(ChildProcess& process);
} // namespace ScriptServer
