#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class UploadEngine;

// The end of the windowed program, whichever way it is asked for (File > Exit, the tray's Exit,
// the close-after option): the windows go at once (open message boxes are closed, so no nested
// wait holds the end up), the engine stops what runs (a transfer is cancelled, a movie finalised),
// and the event loop ends as soon as nothing runs any more, at the latest after the deadline.
class ProgramEnd final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgramEnd)

public:
    // Leaves room for the process to tear down within two seconds of the request.
    static constexpr std::chrono::milliseconds kDeadline{1500};
    // Of the time before the deadline, what the steps after removing a leftover on the server need.
    static constexpr std::chrono::milliseconds kAfterCleanup{100};

    // exit ends the event loop with a status: QCoreApplication::exit in the program.
    ProgramEnd(UploadEngine& engine, std::function<void(int)> exit,
               std::chrono::milliseconds deadline = kDeadline, QObject* parent = nullptr);

    void request();
    bool isRequested() const { return m_requested; }

signals:
    // The end has begun: whatever shows the program outside its windows (the tray icon) goes.
    void requested();

private:
    void finish();

    UploadEngine& m_engine;
    std::function<void(int)> m_exit;
    QTimer m_deadline;
    bool m_requested = false;
    bool m_finished = false;
};
