#include "capture/GstInit.h"

#include <gst/gst.h>

#include <mutex>

void ensureGstInitialized()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}
