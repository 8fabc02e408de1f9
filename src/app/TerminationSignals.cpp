#include "app/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}

void setHandler(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

void setHandlers(void (*handler)(int))
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        setHandler(signal, handler);
    setHandler(SIGPIPE, SIG_IGN);
}
} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("velmora: socketpair");
        return;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        const ssize_t got = ::read(g_signalPipe[1], bytes, sizeof bytes);
        for (ssize_t i = 0; i < got; ++i)
            emit received();
    });
    setHandlers(onTerminationSignal);
    m_watching = true;
}

TerminationSignals::~TerminationSignals()
{
    if (!m_watching)
        return;
    // The event loop has ended and the program is on its way out: a second SIGTERM that arrives
    // during the last, bounded teardown must not kill it with a half-written log or store.
    setHandlers(SIG_IGN);
    for (int& fd : g_signalPipe) {
        ::close(fd);
        fd = -1;
    }
}
