#include "capture/MovieRecorder.h"

#include "capture/CaptureComponent.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>

MovieRecorder::MovieRecorder(Host& host, QObject* parent) : QObject(parent), m_host(host)
{
    m_finalise.setSingleShot(true);
    m_finalise.setInterval(kFinaliseLimitMs);
    connect(&m_finalise, &QTimer::timeout, this, [this] {
        drop(QStringLiteral("The movie could not be completed within %1 s").arg(kFinaliseLimitMs / 1000.0));
    });
    m_yield.setInterval(kYieldIntervalMs);
    connect(&m_yield, &QTimer::timeout, this, &MovieRecorder::Yield);
}

MovieRecorder::~MovieRecorder()
{
    setRecordingHooks(false);
}

Result<void> MovieRecorder::start(const QString& target, PipelineBuilder::Movie movie)
{
    if (isActive())
        return Failure::of(Failure::Kind::Refused, QStringLiteral("A movie capture is running"),
                           CaptureComponent::kMovieFailed);
    movie.partPath = target + QStringLiteral(".part");
    // A file that cannot be written is known now, before anything is set up.
    QFile part(movie.partPath);
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return Failure::of(
            Failure::Kind::Io,
            QStringLiteral("The movie cannot be written to %1: %2").arg(target, part.errorString()),
            CaptureComponent::kMovieFailed);
    part.close();
    if (const Result<void> prepared = m_host.prepareMoviePipeline(movie); !prepared) {
        QFile::remove(movie.partPath);
        return Failure::of(prepared.failure().kind, prepared.failure().sentence,
                           CaptureComponent::kMovieFailed);
    }
    m_target = target;
    m_movie = movie;
    m_startWhenPrepared = false;
    m_soundDropped = false;
    m_state = State::Preparing;
    return {};
}

void MovieRecorder::prepared(const Result<void>& paused)
{
    if (m_state != State::Preparing)
        return;
    if (paused) {
        m_state = State::PreRolled;
        const bool askAgain = !m_soundDropped;
        m_soundDropped = false;
        if (m_startWhenPrepared)
            StartCaptureNow();
        else if (askAgain)
            emit PreRoll();
        return;
    }
    // A sound source that does not start should not cost the picture.
    if (m_movie.withAudio) {
        prepareWithoutSound();
        return;
    }
    drop(paused.failure().sentence);
}

void MovieRecorder::prepareWithoutSound()
{
    m_movie.withAudio = false;
    emit statusChanged(CaptureComponent::StatusVideoOnly,
                       QStringLiteral("The sound source failed, recording video only"));
    if (const Result<void> again = m_host.prepareMoviePipeline(m_movie); !again)
        drop(again.failure().sentence);
}

void MovieRecorder::StartCaptureNow()
{
    // An answer that arrives while the movie is prepared again without sound counts when it is ready.
    if (m_state == State::Preparing && m_soundDropped)
        m_startWhenPrepared = true;
    if (m_state != State::PreRolled)
        return;
    m_state = State::Recording;
    m_host.playMoviePipeline();
    setRecordingHooks(true);
    emit statusChanged(CaptureComponent::StatusCaptureStarted,
                       QStringLiteral("Capturing to %1").arg(m_target));
}

void MovieRecorder::AbortCapture()
{
    if (m_state == State::PreRolled || m_state == State::Preparing)
        drop(QString());
    else if (m_state == State::Recording)
        StopCapture();
}

void MovieRecorder::StopCapture()
{
    if (m_state != State::Recording)
        return;
    setRecordingHooks(false);
    m_state = State::Finalising;
    m_finalise.start();
    // End of stream lets avimux write its index, so the file plays.
    m_host.endMovieStream();
}

void MovieRecorder::abandon()
{
    if (!isActive())
        return;
    drop(QStringLiteral("The movie was abandoned"));
}

void MovieRecorder::streamEnded()
{
    // Also a source that ends by itself while recording leaves a complete movie.
    if (m_state == State::Finalising || m_state == State::Recording)
        keep();
}

void MovieRecorder::failed(const QString& error, bool fromSound)
{
    if (!isActive() || m_state == State::Closing)
        return;
    // Some sound sources open without complaint and fail only once recording starts (no
    // microphone behind them): the movie starts again without sound, at once.
    if (fromSound && m_movie.withAudio && m_state != State::Finalising) {
        // The question was asked already (or answered): it is not asked again.
        m_soundDropped = m_state != State::Preparing;
        m_startWhenPrepared = m_startWhenPrepared || m_state == State::Recording;
        setRecordingHooks(false);
        m_state = State::Preparing;
        prepareWithoutSound();
        return;
    }
    const bool running = m_state == State::Recording || m_state == State::Finalising;
    drop(error);
    if (running)
        emit errorOccurred(CaptureComponent::ErrorMovie, error);
}

void MovieRecorder::closed(bool ok)
{
    if (m_state != State::Closing)
        return;
    finish(ok, ok ? QString() : QStringLiteral("The movie cannot be written to %1").arg(m_target));
}

void MovieRecorder::keep()
{
    setRecordingHooks(false);
    m_finalise.stop();
    m_state = State::Closing;
    m_host.closeMoviePipeline([part = m_movie.partPath, target = m_target] {
        QFile::remove(target);
        const bool renamed = QFile::rename(part, target);
        QFile::remove(part);
        return renamed;
    });
}

void MovieRecorder::drop(const QString& error)
{
    setRecordingHooks(false);
    m_finalise.stop();
    // Unlinked now; the pipeline writes into nothing until it has stopped.
    QFile::remove(m_movie.partPath);
    m_state = State::Idle;
    m_host.closeMoviePipeline(
        [part = m_movie.partPath] { return QFile::remove(part) || !QFile::exists(part); });
    finish(false, error);
}

void MovieRecorder::finish(bool recorded, const QString& error)
{
    m_state = State::Idle;
    emit statusChanged(CaptureComponent::StatusCaptureEnded, QStringLiteral("Capture ended"));
    emit finished(recorded, error);
}

void MovieRecorder::setRecordingHooks(bool on)
{
    if (!qApp)
        return;
    if (on) {
        qApp->installEventFilter(this);
        m_yield.start();
    } else {
        qApp->removeEventFilter(this);
        m_yield.stop();
    }
}

bool MovieRecorder::eventFilter(QObject* watched, QEvent* event)
{
    if (m_state == State::Recording && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        StopCapture();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
