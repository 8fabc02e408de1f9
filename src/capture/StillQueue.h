#pragma once

#include "capture/CaptureComponent.h"
#include "capture/FrameDecoder.h"
#include "capture/FrameHandoff.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// The still requests of the connected pipeline, answered by StillRule: at once with a frame at
// hand that is fresh, otherwise with the next frame that arrives, or with the reason once the
// time limit has passed. Every answer comes later on the UI thread, never inside the request.
class StillQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StillQueue)

public:
    using Done = std::function<void(const CaptureStill&)>;
    using Clock = FrameHandoff::Clock;

    explicit StillQueue(QObject* parent = nullptr);

    // The frames of the pipeline that answers from now on (null: none); it is told how many
    // stills wait, so that its gate lets a frame through for them.
    void setFrames(std::shared_ptr<FrameHandoff> frames);
    void request(QObject* context, Done done);
    // A decoded frame arrived: the requests it is fresh for are answered.
    void frameArrived();
    // Answers every waiting request with the failure.
    void failAll(const Failure& failure);
    // The same on each context's next turn of the event loop: for a component that goes away,
    // whose stills nobody would answer otherwise.
    void failAllLater(const Failure& failure);
    // Answers on context's next turn of the event loop.
    static void answerLater(QObject* context, Done done, CaptureStill still);
    // A still's failure as the component returns it, with its code for stills.
    static Failure failure(Failure::Kind kind, const QString& sentence);

    // A fresh frame, waiting for it on the calling thread up to the still time limit; the
    // failure names the camera when the pipeline failed meanwhile. Not for the UI thread.
    Result<QImage> grab(FrameHandoff& frames, const QString& cameraName);

    // A frame at hand that arrived at or after since: the newest decoded one, or the newest the
    // source sent, decoded now. Null when there is none, or it cannot be decoded.
    QImage freshFrame(FrameHandoff& frames, Clock::time_point since);

private:
    struct Pending
    {
        QPointer<QObject> context;
        Done done;
        Clock::time_point asked;
        Clock::time_point deadline;
        Clock::duration limit;
    };

    void expire();
    // Tells the pipeline how many wait, and wakes up for the earliest deadline.
    void update();

    std::shared_ptr<FrameHandoff> m_frames;
    std::vector<Pending> m_pending;
    QTimer m_deadline;
    FrameDecoder m_decoder;
};
