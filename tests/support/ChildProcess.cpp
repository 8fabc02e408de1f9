#include "ChildProcess.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

ChildProcess::~ChildProcess()
{
    kill();
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, bool withErrors)
{
    kill();
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    std::vector<QByteArray> texts{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    m_pid = ::fork();
    if (m_pid == 0) {
        // A test that ends abruptly (a sanitizer's report) takes its servers with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(pipe[1], STDOUT_FILENO);
        if (withErrors)
            ::dup2(pipe[1], STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    if (m_pid < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(pipe[0]);
        return false;
    }
    m_ended = false;
    m_output = pipe[0];
    return true;
}

QByteArray ChildProcess::readUntil(const QByteArray& marker, int limitMs)
{
    QByteArray output;
    const QDeadlineTimer deadline(limitMs);
    while (!deadline.hasExpired() && m_output >= 0) {
        const qsizetype at = marker.isEmpty() ? -1 : output.indexOf(marker);
        if (at >= 0 && output.indexOf('\n', at) > at)
            break;
        pollfd wait{m_output, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(deadline.remainingTime())) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = ::read(m_output, buffer, sizeof buffer);
        if (got <= 0)
            break;
        output.append(buffer, got);
    }
    return output;
}

int ChildProcess::run(const QString& program, const QStringList& arguments, int limitMs, QByteArray* output)
{
    ChildProcess child;
    if (!child.start(program, arguments, true))
        return -1;
    const QDeadlineTimer deadline(limitMs);
    const QByteArray text = child.readUntil(QByteArray(), limitMs);
    if (output)
        *output = text;
    while (!child.reap(WNOHANG) && !deadline.hasExpired())
        QThread::msleep(5);
    if (!child.m_ended)
        return -1;
    return WIFEXITED(child.m_status) ? WEXITSTATUS(child.m_status) : -1;
}

bool ChildProcess::reap(int options)
{
    if (m_pid <= 0 || m_ended)
        return m_ended;
    int status = 0;
    if (::waitpid(m_pid, &status, options) == m_pid) {
        m_ended = true;
        m_status = status;
    }
    return m_ended;
}

bool ChildProcess::isRunning()
{
    return m_pid > 0 && !reap(WNOHANG);
}

void ChildProcess::kill()
{
    if (m_output >= 0) {
        ::close(m_output);
        m_output = -1;
    }
    if (m_pid <= 0)
        return;
    if (!reap(WNOHANG)) {
        ::kill(m_pid, SIGKILL);
        reap(0);
    }
    m_pid = -1;
}
