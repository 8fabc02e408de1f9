#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <cstddef>
#include <malloc.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VELMORA_CAMERA_FOOTPRINT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_CAMERA_FOOTPRINT_ASAN 1
#endif
#endif

#ifdef VELMORA_CAMERA_FOOTPRINT_ASAN
// The sanitizer's count of the bytes its allocator hands out now (its runtime has it; GCC ships no
// header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

// What this process holds while cameras come and go: its open descriptors, its resident memory
// now and at its peak, and the memory its allocator hands out. Under AddressSanitizer freed memory
// stays resident for a while (its quarantine), so there the allocator's count is what says whether
// memory came back; in an ordinary build the resident size says it.
struct CameraFootprint
{
    int descriptors = 0;
    double residentMb = 0;
    double peakMb = 0;
    double heapMb = 0;

    static CameraFootprint now()
    {
        // Freed memory the allocator still keeps goes back first, so that only what is held counts.
        malloc_trim(0);
        CameraFootprint footprint;
        footprint.descriptors =
            int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
        QFile status(QStringLiteral("/proc/self/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n')) {
                auto kilobytes = [&](const char* key) {
                    return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toDouble() /
                           1024.0;
                };
                if (line.startsWith("VmRSS:"))
                    footprint.residentMb = kilobytes("VmRSS:");
                else if (line.startsWith("VmHWM:"))
                    footprint.peakMb = kilobytes("VmHWM:");
            }
        }
#ifdef VELMORA_CAMERA_FOOTPRINT_ASAN
        footprint.heapMb = double(__sanitizer_get_current_allocated_bytes()) / (1024.0 * 1024.0);
#else
        const struct mallinfo2 info = mallinfo2();
        footprint.heapMb = double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
#endif
        return footprint;
    }

    // The memory that shows whether what was taken came back (see above).
    double heldMb() const
    {
#ifdef VELMORA_CAMERA_FOOTPRINT_ASAN
        return heapMb;
#else
        return residentMb;
#endif
    }
};
