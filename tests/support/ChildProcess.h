#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// A child process for the test servers and the camera graph: fork and exec, standard output
// through a pipe, killed with the object. QProcess starts children with vfork semantics, whose
// child runs on the parent's memory (and the parent's thread state) before exec; ThreadSanitizer
// cannot follow that and loses track of the parent's locks from then on, so anything the thread
// suites start runs this way instead. The child inherits this process's environment.
class ChildProcess final
{
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The program is looked up in PATH unless it is a path. Standard error goes where the parent's
    // goes, or with withErrors into the same pipe as standard output.
    bool start(const QString& program, const QStringList& arguments, bool withErrors = false);
    // Reads what the output has until it holds a line with marker (or, with an empty marker, until
    // the output ends), or the limit passes.
    QByteArray readUntil(const QByteArray& marker, int limitMs);
    // Runs a program to its end: its exit status, -1 when it could not run, ended by a signal or
    // outlived the limit. output receives standard output and standard error.
    static int run(const QString& program, const QStringList& arguments, int limitMs, QByteArray* output);
    bool isRunning();
    // The child's process id; -1 when none was started.
    pid_t pid() const { return m_pid; }
    void kill();
    QString error() const { return m_error; }

private:
    // Reaps the child if it has ended; true when it has.
    bool reap(int options);

    pid_t m_pid = -1;
    bool m_ended = false;
    int m_status = 0;
    int m_output = -1;
    QString m_error;
};
