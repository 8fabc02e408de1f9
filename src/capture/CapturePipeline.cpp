#include "capture/CapturePipeline.h"

#include <gst/app/gstappsink.h>

namespace {
using SharedFrames = std::shared_ptr<FrameHandoff>;

void releaseFrames(gpointer data)
{
    delete static_cast<SharedFrames*>(data);
}

GstPadProbeReturn onGate(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    FrameHandoff& frames = **static_cast<SharedFrames*>(data);
    if (frames.admit(pad, GST_PAD_PROBE_INFO_BUFFER(info)))
        return GST_PAD_PROBE_OK;
    // A picture too large to decode ends the connection with its reason.
    if (const std::optional<CameraFault> refusal = frames.takeRefusal()) {
        GstPtr<GstElement> gate(gst_pad_get_parent_element(pad));
        if (gate)
            refusal->post(gate.get());
    }
    return GST_PAD_PROBE_DROP;
}

GstFlowReturn onNewSample(GstAppSink* sink, gpointer data)
{
    if (GstPtr<GstSample> sample{gst_app_sink_pull_sample(sink)})
        (*static_cast<SharedFrames*>(data))->deliver(std::move(sample));
    return GST_FLOW_OK;
}

// A sync handler that drops a message owns it: unreleased, each message would keep the element
// that sent it, and with it the whole pipeline and its bus's socket pair, alive for good.
GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data)
{
    (*static_cast<CapturePipeline::MessageHandler*>(data))(message);
    gst_message_unref(message);
    return GST_BUS_DROP;
}
} // namespace

CapturePipeline::CapturePipeline(GstPtr<GstElement> pipeline, MessageHandler onMessage)
    : m_pipeline(std::move(pipeline))
{
    GstPtr<GstElement> source(gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "source"));
    m_source = source.get();

    GstPtr<GstElement> gate(gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "gate"));
    GstPtr<GstPad> gateOut(gst_element_get_static_pad(gate.get(), "src"));
    gst_pad_add_probe(gateOut.get(), GST_PAD_PROBE_TYPE_BUFFER, &onGate, new SharedFrames(m_frames),
                      &releaseFrames);

    GstPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "framesink"));
    // Only the newest frame matters; never hold the stream back for a slow consumer. The gate may
    // keep every frame from the sink, so the sink must not wait for one to change state.
    g_object_set(sink.get(), "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "async", FALSE, "emit-signals",
                 FALSE, "enable-last-sample", FALSE, nullptr);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &onNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, new SharedFrames(m_frames),
                               &releaseFrames);

    GstPtr<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), &onBusMessage, new MessageHandler(std::move(onMessage)),
                             [](gpointer data) { delete static_cast<MessageHandler*>(data); });
}

CapturePipeline::~CapturePipeline()
{
    gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
    GstPtr<GstBus> bus(gst_element_get_bus(m_pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
}

Result<void> CapturePipeline::changeState(GstState state, const QString& otherwise)
{
    // A change that completes later reports its failure on the bus.
    if (gst_element_set_state(m_pipeline.get(), state) != GST_STATE_CHANGE_FAILURE)
        return {};
    const QString known = m_frames->failure();
    return Failure::of(Failure::Kind::Unreachable, known.isEmpty() ? otherwise : known);
}

void CapturePipeline::interrupt()
{
    // A flush unblocks a source that waits for its camera to negotiate; the state change waiting
    // on it then fails instead of hanging. Sent to the source's pad, not to the element, which
    // would wait for the very state change it is meant to end.
    if (!m_source)
        return;
    GstIterator* pads = gst_element_iterate_src_pads(m_source);
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        gst_pad_send_event(GST_PAD(g_value_get_object(&item)), gst_event_new_flush_start());
        g_value_unset(&item);
    }
    gst_iterator_free(pads);
}
