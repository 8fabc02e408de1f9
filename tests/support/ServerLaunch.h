#pragma once

#include <QString>
#include <QStringList>

class ChildProcess;

// What the test servers that are daemons of their own (Apache, vsftpd) need to start and to end.
namespace ServerLaunch {
// A port on 127.0.0.1 that nobody listens on right now (the kernel's choice for a bound socket);
// 0 when there is none. Another program may take it before the server does: callers retry.
int freePort();
// Waits until something listens on 127.0.0.1:port, read from /proc/net/tcp so that the check
// opens no connection the server would count or log. False when process ended or limitMs passed.
bool waitForListener(int port, ChildProcess& process, int limitMs);
// The command line that runs program in a PID namespace of its own when the tests run as root:
// killing the returned process (as ChildProcess does with itself, and the kernel does when the
// test dies) ends every worker process the server forked, which daemons that change their user
// would otherwise leave behind. A shell is the namespace's first process, since vsftpd does not
// serve as process 1. Run by an ordinary user, the program as it is.
QStringList contained(const QString& program, const QStringList& arguments);
// The text of a file, empty when it cannot be read.
QByteArray readFile(const QString& path);
} // namespace ServerLaunch
