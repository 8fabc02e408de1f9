#include "app/ProgramCapture.h"

#include "app/CommandLine.h"
#include "capture/GstCaptureComponent.h"

std::unique_ptr<CaptureComponent> makeProgramCapture(const CommandLine& commandLine)
{
    const bool testPattern =
        commandLine.testPattern() || GstCaptureComponent::testPatternRequestedByEnvironment();
    return std::make_unique<GstCaptureComponent>(commandLine.workDir(), testPattern);
}
