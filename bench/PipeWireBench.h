#pragma once

#include "PipeWireGraph.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>

// A PipeWire camera of 1280 x 720 MJPEG, as HD webcams give.
inline PipeWireGraph::Camera hdMjpegCamera(const char* name)
{
    PipeWireGraph::Camera hd;
    hd.name = QString::fromLatin1(name);
    hd.width = 1280;
    hd.height = 720;
    hd.mjpeg = true;
    return hd;
}

// The main of the benchmarks with PipeWire cameras: a Qt application on the offscreen platform
// and a PipeWire graph of their own, started before any capture component (GStreamer's PipeWire
// plugin reads where PipeWire runs once). graph is null while the benchmarks run when PipeWire
// cannot start here; those benchmarks then skip.
inline int runPipeWireBenchmarks(int argc, char** argv, PipeWireGraph*& graph)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PipeWireGraph started;
    if (started.start())
        graph = &started;
    else
        std::fprintf(stderr, "PipeWire benchmarks skipped: %s\n", qPrintable(started.error()));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    graph = nullptr;
    return 0;
}
