#pragma once

// Initialises GStreamer once per process; safe to call from anywhere, any number of times.
void ensureGstInitialized();
