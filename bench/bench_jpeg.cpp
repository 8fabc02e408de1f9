// SaveJpeg against libjpeg-turbo itself on the same pixels and settings (quality 75, 4:2:0):
// an in-process encode to memory from the same buffer, and the cjpeg program on a PPM copy
// (wall time including its start-up).
#include "TempDir.h"
#include "imaging/cDIBSection.h"
#include "upload/JpegWriter.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

#include <jpeglib.h>

extern char** environ;

namespace {

constexpr int kQuality = 75;

// A webcam-like picture: smooth gradients with some sensor noise.
cDIBSection makePicture(int width, int height)
{
    cDIBSection dib;
    dib.Create(width, height, 3);
    std::uint32_t state = 1;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row =
            dib.DIBSectionBitsPtr() + static_cast<std::size_t>(height - 1 - y) * dib.BytesPerScanLine();
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            const int noise = static_cast<int>((state >> 16) & 15) - 8;
            row[3 * x] = static_cast<std::uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(y * 255 / height + noise, 0, 255));
            row[3 * x + 2] =
                static_cast<std::uint8_t>(std::clamp((x + y) * 128 / (width + height) + 60 + noise, 0, 255));
        }
    }
    return dib;
}

void BM_SaveJpeg(benchmark::State& state)
{
    const cDIBSection dib = makePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TempDir dir;
    const QString path = dir.file("webcam.jpg");
    for (auto _ : state)
        if (!SaveJpeg(dib, path, kQuality))
            state.SkipWithError("SaveJpeg failed");
    state.counters["bytes"] = static_cast<double>(QFile(path).size());
}

// The same encode as SaveJpeg's, without the temporary file and rename: to memory, or straight
// into the target file.
void libjpegEncode(benchmark::State& state, bool toFile)
{
    const cDIBSection dib = makePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int height = dib.dib_height();
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(
            dib.DIBSectionBitsPtr() + static_cast<std::size_t>(height - 1 - y) * dib.BytesPerScanLine());
    TempDir dir;
    const QByteArray path = QFile::encodeName(dir.file("plain.jpg"));
    unsigned long size = 0;
    for (auto _ : state) {
        jpeg_compress_struct cinfo{};
        jpeg_error_mgr err{};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* out = nullptr;
        FILE* file = nullptr;
        size = 0;
        if (toFile) {
            file = std::fopen(path.constData(), "wb");
            jpeg_stdio_dest(&cinfo, file);
        } else {
            jpeg_mem_dest(&cinfo, &out, &size);
        }
        cinfo.image_width = static_cast<JDIMENSION>(dib.dib_width());
        cinfo.image_height = static_cast<JDIMENSION>(height);
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, kQuality, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        jpeg_write_scanlines(&cinfo, rows.data(), static_cast<JDIMENSION>(height));
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        if (file) {
            size = static_cast<unsigned long>(std::ftell(file));
            std::fclose(file);
        }
        std::free(out);
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_LibjpegToMemory(benchmark::State& state)
{
    libjpegEncode(state, false);
}

void BM_LibjpegToFile(benchmark::State& state)
{
    libjpegEncode(state, true);
}

void BM_CjpegProgram(benchmark::State& state)
{
    const cDIBSection dib = makePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    TempDir dir;
    const QString ppm = dir.file("in.ppm");
    {
        QFile f(ppm);
        f.open(QIODevice::WriteOnly);
        f.write(QStringLiteral("P6\n%1 %2\n255\n").arg(dib.dib_width()).arg(dib.dib_height()).toLatin1());
        const QImage upright = dib.toImage().convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < upright.height(); ++y)
            f.write(reinterpret_cast<const char*>(upright.constScanLine(y)), upright.width() * 3);
    }
    const QByteArray in = QFile::encodeName(ppm);
    const QByteArray out = QFile::encodeName(dir.file("out.jpg"));
    const char* argv[] = {"/usr/bin/cjpeg", "-quality",      "75",           "-sample", "2x2",
                          "-outfile",       out.constData(), in.constData(), nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
            state.SkipWithError("cannot start cjpeg");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("cjpeg failed");
            break;
        }
    }
    state.counters["bytes"] = static_cast<double>(QFile(dir.file("out.jpg")).size());
}

void sizes(benchmark::internal::Benchmark* b)
{
    b->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMillisecond)->UseRealTime();
}

} // namespace

BENCHMARK(BM_SaveJpeg)->Apply(sizes);
BENCHMARK(BM_LibjpegToMemory)->Apply(sizes);
BENCHMARK(BM_LibjpegToFile)->Apply(sizes);
BENCHMARK(BM_CjpegProgram)->Apply(sizes);

BENCHMARK_MAIN();
