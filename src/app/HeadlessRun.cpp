#include "app/HeadlessRun.h"

#include "settings/AccountBook.h"
#include "upload/FtpLog.h"
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

HeadlessRun::~HeadlessRun()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void HeadlessRun::attach(UploadEngine& engine)
{
    m_engine = &engine;
    connect(&engine.log(), &FtpLog::appended, this, [](const QString& addition) {
        std::fputs(addition.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    });
    // The close-after option ends the run like a first signal; the cycle that reached the count
    // has already ended.
    connect(&engine.cycle(), &UploadCycle::quitRequested, this, [this] { m_engine->stop(false); });
    connect(&engine, &UploadEngine::stopped, this, [this] { QCoreApplication::exit(m_exitCode); });
}

void HeadlessRun::setUploadState(const QString& text)
{
    m_state = text;
    std::fprintf(stderr, "Status: %s\n", qPrintable(text));
}

bool HeadlessRun::catchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("velmora: socketpair");
        return false;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        const ssize_t got = ::read(g_signalPipe[1], bytes, sizeof bytes);
        for (ssize_t i = 0; i < got; ++i)
            onSignal();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return true;
}

void HeadlessRun::onSignal()
{
    ++m_signals;
    // First: nothing new starts, the running transfer finishes. Second: it is cancelled too.
    m_engine->stop(m_signals > 1);
}

int HeadlessRun::runEventLoop()
{
    const int status = QCoreApplication::exec();
    std::fputs("\n", stdout);
    return status;
}

int HeadlessRun::uploadNow()
{
    if (!catchSignals())
        return 1;
    m_engine->connectCapture();
    m_engine->accounts().loadList();
    m_exitCode = 1;
    connect(&m_engine->scheduler(), &UploadScheduler::uploadNowFinished, this,
            [this](int flagged, int delivered) {
                m_exitCode = flagged > 0 && delivered == flagged ? 0 : 1;
                m_engine->stop(false);
            });
    m_engine->scheduler().mnuupload_now_Click();
    return runEventLoop();
}

int HeadlessRun::runScheduler()
{
    if (!catchSignals())
        return 1;
    m_engine->connectCapture();
    m_engine->accounts().loadList();
    m_engine->scheduler().StartTimer();
    return runEventLoop();
}
