#include "ui/ProgramEnd.h"

#include "upload/UploadEngine.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QWidget>

ProgramEnd::ProgramEnd(UploadEngine& engine, std::function<void(int)> exit,
                       std::chrono::milliseconds deadline, QObject* parent)
    : QObject(parent), m_engine(engine), m_exit(std::move(exit))
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer); // a coarse timer may come 5 % early or late
    m_deadline.setInterval(deadline);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_engine.stopNow();
        finish();
    });
    connect(&m_engine, &UploadEngine::stopped, this, [this] {
        if (m_requested)
            finish();
    });
}

void ProgramEnd::request()
{
    if (m_requested)
        return;
    m_requested = true;
    m_deadline.start();
    emit requested();
    // Hiding a message box that waits for an answer ends its wait; the step after it sees the end.
    // What a cancelled transfer left on the server is removed in the time left before the deadline.
    m_engine.stop(true, QDeadlineTimer(m_deadline.intervalAsDuration() - kAfterCleanup, Qt::PreciseTimer));
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible())
            window->hide();
    }
    if (m_engine.isStopped())
        finish();
}

void ProgramEnd::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_deadline.stop();
    m_exit(0);
}
