#pragma once

#include "ResultCheck.h"
#include "capture/CaptureComponent.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>
#include <utility>

// Asks the component for a still of a camera (empty: the program's camera) and runs the event
// loop until the answer comes (at most timeoutMs; an answer that never comes is an error of its
// own).
inline CaptureStill takeStillOf(CaptureComponent& capture, const QString& camera, int timeoutMs = 15000)
{
    QObject context;
    std::optional<CaptureStill> answer;
    bool insideCall = true;
    capture.requestStillOf(camera, &context, [&](const CaptureStill& still) {
        if (insideCall)
            answer = CaptureStill(
                Failure::of(Failure::Kind::Internal, QStringLiteral("answered inside requestStill")));
        else
            answer = still;
    });
    insideCall = false;
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, timeoutMs))
        return Failure::of(Failure::Kind::TimedOut, QStringLiteral("no answer within %1 ms").arg(timeoutMs));
    return *answer;
}

inline CaptureStill takeStill(CaptureComponent& capture, int timeoutMs = 15000)
{
    return takeStillOf(capture, QString(), timeoutMs);
}

// The still's picture; null when there is none.
inline QImage frameOf(const CaptureStill& still)
{
    return still.valueOr(QImage());
}

// Runs the event loop until a still succeeds: the connection is up and pictures flow.
inline bool waitForPicture(CaptureComponent& capture, int timeoutMs = 15000)
{
    return QTest::qWaitFor(
        [&] {
            if (!capture.isConnected())
                return false;
            return takeStill(capture, timeoutMs).ok();
        },
        timeoutMs);
}

// Records a movie into path: PreRoll is answered with StartCaptureNow, and stop ends the recording
// after stopAfterMs. Returns movieFinished's arguments, or false and the refusal.
inline std::pair<bool, QString> recordMovie(CaptureComponent& capture, const QString& path, int stopAfterMs,
                                            const std::function<void()>& stop)
{
    capture.setCaptureFile(path);
    QObject context;
    QObject::connect(&capture, &CaptureComponent::PreRoll, &context, [&] {
        capture.StartCaptureNow();
        QTimer::singleShot(stopAfterMs, &context, stop);
    });
    QSignalSpy finished(&capture, &CaptureComponent::movieFinished);
    if (const Result<void> started = capture.CaptureMovie(); !started)
        return {false, started.failure().sentence};
    if (!capture.isCapturing() || !finished.wait(stopAfterMs + 10000))
        return {false, QStringLiteral("no end")};
    return {finished[0][0].toBool(), finished[0][1].toString()};
}
