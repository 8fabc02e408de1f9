#pragma once

#include <gst/gst.h>

#include <QString>

// A live GStreamer source for cameras that answer each HTTP request with one JPEG: it asks for a
// picture at a steady rate (never faster than the camera answers) and sends each one as a frame
// (image/jpeg). Problems become errors on the bus: credentials refused
// (GST_RESOURCE_ERROR_NOT_AUTHORIZED), no answer (GST_RESOURCE_ERROR_OPEN_READ), another refusal
// (GST_RESOURCE_ERROR_READ), an answer that is no JPEG (GST_STREAM_ERROR_DECODE). Stopping
// interrupts a request or a pause at once.
namespace SnapshotSource {
// A new floating element; the password goes to the HTTP library only, never into a text.
GstElement* create(const char* name, const QString& address, const QString& user, const QString& password,
                   int intervalMs);
} // namespace SnapshotSource
