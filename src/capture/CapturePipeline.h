#pragma once

#include "capture/FrameHandoff.h"
#include "capture/GstPtr.h"
#include "common/Result.h"

#include <functional>
#include <memory>

// One built pipeline with its frame hand-off: the gate in front of the decoder and the frame sink
// feed the hand-off, and the bus's errors, end of stream and state changes go to onMessage on
// GStreamer's thread. Starting and stopping block while the camera opens or closes, so they run
// on the PipelineWorker; so does the destructor, which stops the pipeline.
class CapturePipeline final
{
public:
    using MessageHandler = std::function<void(GstMessage*)>;

    CapturePipeline(GstPtr<GstElement> pipeline, MessageHandler onMessage);
    ~CapturePipeline();
    CapturePipeline(const CapturePipeline&) = delete;
    CapturePipeline& operator=(const CapturePipeline&) = delete;

    GstElement* element() const { return m_pipeline.get(); }
    // The source element (kept alive by the pipeline).
    GstElement* source() const { return m_source; }
    const std::shared_ptr<FrameHandoff>& frames() const { return m_frames; }
    // Changes the state. A change that fails at once says why when the frames know it, otherwise
    // with otherwise; later failures come as bus errors.
    Result<void> changeState(GstState state, const QString& otherwise);
    // Wakes a source that waits for its camera, so that a state change stuck in it returns.
    void interrupt();

private:
    GstPtr<GstElement> m_pipeline;
    GstElement* m_source = nullptr;
    std::shared_ptr<FrameHandoff> m_frames = std::make_shared<FrameHandoff>();
};
