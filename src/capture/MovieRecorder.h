#pragma once

#include "capture/PipelineBuilder.h"
#include "common/Result.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

// A movie capture as a sequence of states driven by the pipeline's messages: preparing (the
// recording pipeline comes up and pre-rolls), pre-rolled (waiting for StartCaptureNow or
// AbortCapture), recording (until Escape or StopCapture), finalising (end of stream, so the AVI
// gets its index), closing (the file takes its name once the pipeline has let go of it), idle.
// It records into "<file>.part" and renames it only when complete, so an aborted or failed movie
// never touches the target. The pipeline work itself belongs to its Host.
class MovieRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieRecorder)

public:
    // How long finalising may take before the movie is given up.
    static constexpr int kFinaliseLimitMs = 1500;
    static constexpr int kYieldIntervalMs = 50;

    enum class State { Idle, Preparing, PreRolled, Recording, Finalising, Closing };

    class Host
    {
    public:
        // Puts a movie pipeline in place of the live one and pre-rolls it; prepared() follows.
        // Fails at once when it cannot be built.
        virtual Result<void> prepareMoviePipeline(const PipelineBuilder::Movie& movie) = 0;
        // Sets the movie pipeline playing; a failure comes back through failed().
        virtual void playMoviePipeline() = 0;
        virtual void endMovieStream() = 0;
        // Stops the movie pipeline, then runs fileWork once the file is closed and reports its
        // result through closed(); the live picture comes back after it.
        virtual void closeMoviePipeline(std::function<bool()> fileWork) = 0;

    protected:
        ~Host() = default;
    };

    explicit MovieRecorder(Host& host, QObject* parent = nullptr);
    ~MovieRecorder() override;

    State state() const { return m_state; }
    bool isActive() const { return m_state != State::Idle; }
    bool isRecording() const { return m_state == State::Recording; }
    const QString& target() const { return m_target; }

    // Starts preparing a movie into target; fails when a movie is running, the file cannot be
    // written or the pipeline cannot be built.
    [[nodiscard]] Result<void> start(const QString& target, PipelineBuilder::Movie movie);
    void StartCaptureNow();
    void AbortCapture();
    void StopCapture();
    void abandon();

    // What the host reports.
    void prepared(const Result<void>& paused);
    void streamEnded();
    // fromSound: the movie's sound source failed, which costs the sound, not the picture.
    void failed(const QString& error, bool fromSound = false);
    void closed(bool ok);

signals:
    void PreRoll();
    void Yield();
    void statusChanged(int number, const QString& text);
    void errorOccurred(int number, const QString& text);
    void finished(bool recorded, const QString& error);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setRecordingHooks(bool on);
    // Closes the pipeline and, once the file is free, gives it its name.
    void keep();
    // Closes the pipeline, removes the unfinished file and reports the failure now.
    void drop(const QString& error);
    void finish(bool recorded, const QString& error);
    // Prepares the movie again without sound; the movie is dropped when that fails.
    void prepareWithoutSound();

    Host& m_host;
    State m_state = State::Idle;
    QString m_target;
    PipelineBuilder::Movie m_movie;
    // Recording starts as soon as the movie is prepared again: the person already said to start.
    bool m_startWhenPrepared = false;
    // The sound was dropped after the pre-roll question went out.
    bool m_soundDropped = false;
    QTimer m_finalise;
    QTimer m_yield;
};
