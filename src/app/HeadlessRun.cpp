#include "app/HeadlessRun.h"

#include "app/TerminationSignals.h"
#include "common/OutsideText.h"
#include "common/Prompter.h"
#include "settings/AccountBook.h"
#include "upload/FtpLog.h"
#include "upload/UploadEngine.h"
#include "upload/UploadScheduler.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstdio>

HeadlessRun::HeadlessRun(QObject* parent) : QObject(parent) {}

HeadlessRun::~HeadlessRun() = default;

void HeadlessRun::attach(UploadEngine& engine)
{
    m_engine = &engine;
    // The log puts each line break before its line; a terminal shows standard error between the
    // lines, so each line is ended at once instead and nothing runs into the next status line.
    connect(&engine.log(), &FtpLog::appended, this, [](const QString& addition) {
        QString lines = addition;
        if (lines.startsWith(QLatin1String("\r\n")))
            lines.remove(0, 2);
        lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        std::fputs((lines + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
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
    // What the status says between the uploads, once when it changes: the "Uploading..." of every
    // cycle and the same text put back after it would only interleave with the log.
    if (text.isEmpty() || text == QLatin1String("Uploading...") || text == m_printedState)
        return;
    m_printedState = text;
    std::fprintf(stderr, "Status: %s\n", qPrintable(text));
}

bool HeadlessRun::catchSignals()
{
    m_signals = std::make_unique<TerminationSignals>();
    connect(m_signals.get(), &TerminationSignals::received, this, &HeadlessRun::onSignal);
    return m_signals->isWatching();
}

void HeadlessRun::onSignal()
{
    ++m_signalCount;
    // First: nothing new starts, the running transfer finishes. Second: it is cancelled too, and
    // the end comes within two seconds, as for the program with its windows.
    if (m_signalCount == 1)
        m_engine->stop(false);
    else
        m_engine->stop(true, QDeadlineTimer(kCleanupWithin, Qt::PreciseTimer));
}

int HeadlessRun::runEventLoop()
{
    return QCoreApplication::exec();
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
    // Timed cycles open no box; without windows their failures go to standard error as well.
    connect(&m_engine->cycle(), &UploadCycle::finished, this, [](const UploadCycle::Result& result) {
        if (!result.failure.isEmpty())
            std::fprintf(stderr, "%s: %s\n", qPrintable(kProgramTitle),
                         qPrintable(OutsideText::lines(result.failure).join(QStringLiteral(": "))));
    });
    m_engine->scheduler().StartTimer();
    return runEventLoop();
}
