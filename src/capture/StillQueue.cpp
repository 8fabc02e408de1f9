#include "capture/StillQueue.h"

#include "capture/StillRule.h"

#include <algorithm>

StillQueue::StillQueue(QObject* parent) : QObject(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &StillQueue::expire);
}

void StillQueue::setFrames(std::shared_ptr<FrameHandoff> frames)
{
    m_frames = std::move(frames);
    update();
}

Failure StillQueue::failure(Failure::Kind kind, const QString& sentence)
{
    return Failure::of(kind, sentence, CaptureComponent::kSaveFrameFailed);
}

void StillQueue::answerLater(QObject* context, Done done, CaptureStill still)
{
    QTimer::singleShot(0, context, [done = std::move(done), still = std::move(still)] { done(still); });
}

QImage StillQueue::freshFrame(FrameHandoff& frames, Clock::time_point since)
{
    if (const FrameHandoff::Frame frame = frames.newest(); frame && frame.arrived >= since)
        return FrameHandoff::image(frame);
    if (const FrameHandoff::Frame source = frames.newestSource(); source && source.arrived >= since)
        return m_decoder.toImage(source.sample.get()).valueOr(QImage());
    return {};
}

void StillQueue::request(QObject* context, Done done)
{
    const Clock::time_point asked = Clock::now();
    const Clock::duration interval = m_frames->frameInterval();
    if (QImage frame = freshFrame(*m_frames, asked - StillRule::freshWindow(interval)); !frame.isNull()) {
        answerLater(context, std::move(done), std::move(frame));
        return;
    }
    const Clock::duration limit = StillRule::waitLimit(interval);
    m_pending.push_back({context, std::move(done), asked, asked + limit, limit});
    update();
}

void StillQueue::frameArrived()
{
    if (m_pending.empty() || !m_frames)
        return;
    const FrameHandoff::Frame frame = m_frames->newest();
    if (!frame)
        return;
    const Clock::duration window = StillRule::freshWindow(m_frames->frameInterval());
    std::vector<Pending> ready;
    std::erase_if(m_pending, [&](Pending& still) {
        if (frame.arrived < still.asked - window)
            return false;
        ready.push_back(std::move(still));
        return true;
    });
    update();
    const QImage image = FrameHandoff::image(frame);
    const CaptureStill answer =
        image.isNull()
            ? CaptureStill(failure(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read")))
            : CaptureStill(image);
    for (Pending& still : ready)
        if (still.context)
            still.done(answer);
}

void StillQueue::expire()
{
    const Clock::time_point now = Clock::now();
    std::vector<Pending> expired;
    std::erase_if(m_pending, [&](Pending& still) {
        if (still.deadline > now)
            return false;
        expired.push_back(std::move(still));
        return true;
    });
    update();
    for (Pending& still : expired)
        if (still.context)
            still.done(failure(Failure::Kind::TimedOut, StillRule::noPictureText(still.limit)));
}

void StillQueue::failAll(const Failure& failure)
{
    std::vector<Pending> failed = std::exchange(m_pending, {});
    update();
    for (Pending& still : failed)
        if (still.context)
            still.done(failure);
}

void StillQueue::failAllLater(const Failure& failure)
{
    std::vector<Pending> failed = std::exchange(m_pending, {});
    update();
    for (Pending& still : failed)
        if (still.context)
            answerLater(still.context, std::move(still.done), failure);
}

void StillQueue::update()
{
    if (m_frames)
        m_frames->setStillsWanted(int(m_pending.size()));
    if (m_pending.empty()) {
        m_deadline.stop();
        return;
    }
    const auto earliest =
        std::min_element(m_pending.begin(), m_pending.end(), [](const auto& a, const auto& b) {
            return a.deadline < b.deadline;
        })->deadline;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(earliest - Clock::now()).count();
    m_deadline.start(int(std::max<qint64>(0, wait) + 1));
}

Result<QImage> StillQueue::grab(FrameHandoff& frames, const QString& cameraName)
{
    const Clock::time_point asked = Clock::now();
    const Clock::duration interval = frames.frameInterval();
    const Clock::time_point since = asked - StillRule::freshWindow(interval);
    if (QImage image = freshFrame(frames, since); !image.isNull())
        return image;
    const FrameHandoff::Frame frame = frames.waitForFrame(since, asked + StillRule::waitLimit(interval));
    if (!frame) {
        const QString failed = frames.failure();
        if (failed.isEmpty())
            return failure(Failure::Kind::TimedOut, StillRule::noPictureText(StillRule::waitLimit(interval)));
        return failure(Failure::Kind::Unreachable,
                       QStringLiteral("the camera \"%1\" failed: %2").arg(cameraName, failed));
    }
    QImage image = FrameHandoff::image(frame);
    if (image.isNull())
        return failure(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
    return image;
}
