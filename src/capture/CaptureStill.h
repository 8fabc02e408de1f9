#pragma once

#include "common/Result.h"

#include <QImage>

// The answer to a request for a still picture: the frame (RGB32 at the connected size), or the
// failure that says why there is none.
using CaptureStill = Result<QImage>;
