#pragma once

#include <QObject>

// SIGINT, SIGTERM and SIGHUP as a Qt signal on the event loop: the handler only writes a byte to a
// socket pair that the loop watches. SIGHUP (the terminal or the SSH session of the run closing)
// ends the program like SIGTERM, never in the middle of a transfer. SIGPIPE is ignored meanwhile:
// writing the log to a terminal or pipe that went away fails quietly rather than ending the
// process. One instance at a time, made once the program runs: with its end the signals are
// ignored for the rest of the process's life, which is only the teardown.
class TerminationSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationSignals)

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the socket pair could not be made (the signals then end the process as usual).
    bool isWatching() const { return m_watching; }

signals:
    // Once per signal received.
    void received();

private:
    bool m_watching = false;
};
