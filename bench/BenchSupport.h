#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

// What the benchmarks share: the process's own CPU time and resident memory, and a main that
// runs the benchmarks inside a Qt application on the offscreen platform.
namespace BenchSupport {
inline double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// The process's CPU share, in percent of one core, while its event loop runs idle for wallMs
// (QTest::qWait would poll).
inline double cpuPercentOver(int wallMs)
{
    const double cpu = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop idle;
    QTimer::singleShot(wallMs, &idle, &QEventLoop::quit);
    idle.exec();
    return 100.0 * (processCpuSeconds() - cpu) / (double(wall.nsecsElapsed()) / 1e9);
}

template <typename Application> int runBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
} // namespace BenchSupport
