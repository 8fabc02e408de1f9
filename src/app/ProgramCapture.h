#pragma once

#include "capture/CaptureComponent.h"

#include <memory>

class CommandLine;

// The capture component the program runs with: the cameras GStreamer finds, plus the moving test
// pattern when the command line or the environment asks for it.
std::unique_ptr<CaptureComponent> makeProgramCapture(const CommandLine& commandLine);
