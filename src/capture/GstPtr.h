#pragma once

#include <gst/gst.h>

#include <memory>

// Owning pointers for GStreamer handles: each kind is released with its own unref function.
template <typename T> struct GstUnref;

template <> struct GstUnref<GstElement>
{
    void operator()(GstElement* p) const { gst_object_unref(p); }
};
template <> struct GstUnref<GstBus>
{
    void operator()(GstBus* p) const { gst_object_unref(p); }
};
template <> struct GstUnref<GstPad>
{
    void operator()(GstPad* p) const { gst_object_unref(p); }
};
template <> struct GstUnref<GstDevice>
{
    void operator()(GstDevice* p) const { gst_object_unref(p); }
};
template <> struct GstUnref<GstDeviceMonitor>
{
    void operator()(GstDeviceMonitor* p) const { gst_object_unref(p); }
};
template <> struct GstUnref<GstElementFactory>
{
    void operator()(GstElementFactory* p) const { gst_object_unref(p); }
};
template <> struct GstUnref<GstBuffer>
{
    void operator()(GstBuffer* p) const { gst_buffer_unref(p); }
};
template <> struct GstUnref<GstSample>
{
    void operator()(GstSample* p) const { gst_sample_unref(p); }
};
template <> struct GstUnref<GstCaps>
{
    void operator()(GstCaps* p) const { gst_caps_unref(p); }
};
template <> struct GstUnref<GstMessage>
{
    void operator()(GstMessage* p) const { gst_message_unref(p); }
};
template <> struct GstUnref<GError>
{
    void operator()(GError* p) const { g_error_free(p); }
};
template <> struct GstUnref<gchar>
{
    void operator()(gchar* p) const { g_free(p); }
};

template <typename T> using GstPtr = std::unique_ptr<T, GstUnref<T>>;

// Owns a new element: its floating reference becomes ours (null stays null).
inline GstPtr<GstElement> gstSink(GstElement* element)
{
    return GstPtr<GstElement>(element ? GST_ELEMENT(gst_object_ref_sink(element)) : nullptr);
}

// Takes a new reference on a handle that the caller does not own.
inline GstPtr<GstSample> gstRef(GstSample* sample)
{
    return GstPtr<GstSample>(sample ? gst_sample_ref(sample) : nullptr);
}
