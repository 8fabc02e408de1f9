#include "app/HeadlessRun.h"

#include "settings/AccountBook.h"
#include "upload/FtpLog.h"
#include "upload/UploadCycle.h"
#include "upload/UploadEngine.h"
#include "upload/UploadScheduler.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Signals reach the event loop through a socket pair: the handler only writes a byte.
int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
}
} // namespace

HeadlessRun::HeadlessRun(QObject* parent) : QObject(parent) {}

void HeadlessRun::attach(UploadEngine& engine)
{
    m_engine = &engine;
    connect(&engine.log(), &FtpLog::appended, this, [](const QString& addition) {
        std::fputs(addition.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    });
    connect(&engine.cycle(), &UploadCycle::quitRequested, this, [] { QCoreApplication::exit(0); });
}

void HeadlessRun::setUploadState(const QString& text)
{
    m_state = text;
    std::fprintf(stderr, "Status: %s\n", qPrintable(text));
}

int HeadlessRun::uploadNow()
{
    m_engine->connectCapture();
    m_engine->accounts().loadList();
    const UploadScheduler::UploadNowResult result = m_engine->scheduler().mnuupload_now_Click();
    std::fputs("\n", stdout);
    return result.flagged > 0 && result.delivered == result.flagged ? 0 : 1;
}

int HeadlessRun::runScheduler()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0) {
        std::perror("velmora: socketpair");
        return 1;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[1], &byte, 1);
        notifier->setEnabled(false);
        stopWhenIdle();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    m_engine->connectCapture();
    m_engine->accounts().loadList();
    m_engine->scheduler().StartTimer();
    connect(&m_engine->scheduler(), &UploadScheduler::idle, this, [this] {
        if (m_stopping)
            QCoreApplication::exit(0);
    });
    const int status = QCoreApplication::exec();
    std::fputs("\n", stdout);
    return status;
}

void HeadlessRun::stopWhenIdle()
{
    m_stopping = true;
    m_engine->scheduler().StopTimer();
    // A cycle in progress finishes first; the scheduler's idle signal then ends the run.
    if (!m_engine->scheduler().isCycleRunning())
        QCoreApplication::exit(0);
}
